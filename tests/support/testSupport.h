// Files, temporary directories and an in-process runner for the library's
// exports, shared by the test suites.
#ifndef VESK_TESTS_TEST_SUPPORT_H
#define VESK_TESTS_TEST_SUPPORT_H

#include <sys/stat.h>

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#if defined(__SANITIZE_ADDRESS__)
#define VESK_TESTS_ASAN 1
#elif defined(__has_feature)
#if __has_feature(address_sanitizer)
#define VESK_TESTS_ASAN 1
#endif
#endif

namespace zipTest {

#if defined(VESK_TESTS_ASAN)
constexpr bool sanitizerBuild = true;
#else
constexpr bool sanitizerBuild = false;
#endif

// A fresh directory below the system's temporary directory, removed with
// everything in it when the object goes.
class TempDir {
public:
    TempDir();
    ~TempDir();
    TempDir(const TempDir&) = delete;
    TempDir& operator=(const TempDir&) = delete;
    const std::string& path() const { return path_; }
    std::string operator/(const std::string& name) const { return path_ + "/" + name; }

private:
    std::string path_;
};

std::string readFile(const std::string& path);
// Writes bytes starting `offset` bytes into the file; what lies before is
// a hole, so a file of several GiB costs only the bytes written.
void writeFile(const std::string& path, const std::string& bytes, std::uint64_t offset = 0);
bool exists(const std::string& path);
struct stat statOf(const std::string& path);

// Every file and directory below root, relative to it, directories with a
// trailing slash, sorted.
std::vector<std::string> listTree(const std::string& root);

// Number of open file descriptors of this process, to catch leaked streams.
int openDescriptorCount();

// A counter of this process's input and output so far: "rchar:" for the
// bytes read, "wchar:" for those written.
std::uint64_t ioCount(const std::string& field);

// The library takes Windows paths: slashes become backslashes.
std::string libraryPath(std::string path);

struct Outcome {
    int result = -1;
    // Lines of standard error, the message box caption stripped.
    std::vector<std::string> messages;
    std::string output;  // standard output, byte for byte
};

// Runs a call of the library with standard output and standard error
// captured at the file-descriptor level.
Outcome captureOutput(const std::function<int()>& call);
// Runs a call with writes past `bytes` of any file failing (EFBIG), as on a
// full disk; 0: no limit.
int withFileSizeLimit(std::uint64_t bytes, const std::function<int()>& call);
Outcome runUnzip(const std::string& archivePath, const std::string& destination);

}  // namespace zipTest

#endif

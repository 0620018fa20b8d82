// unzip on arbitrary archive bytes, into a fresh destination each time. Every
// call through which the library writes must name a path inside the
// destination: a file opened for writing or made (openat, unnamed ones with
// O_TMPFILE too), a directory made or removed (mkdir, mkdirat, unlinkat), a
// file removed (unlinkat), either name of a rename (renameat) and the new
// name of a link (linkat). Paths relative to a directory descriptor are taken
// from where the descriptor leads. A directory made may also be one of the
// destination's parents. After the call no stream may be left open and the
// fuzzer's folder holds nothing beside the archive and the destination.
#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <climits>
#include <cstdarg>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

#include "archive.h"
#include "library.h"
#include "messageCount.h"
#include "platform.h"
#include "vesk.h"

namespace fs = std::filesystem;

namespace {

std::string root;         // the fuzzer's own temporary folder
std::string archivePath;  // root/archive.zip
// Two levels down, so that a name climbing out of it lands inside root.
std::string destination;  // root/a/b/out
// unzip is running; the library's worker threads read it too.
std::atomic<bool> watching;

[[noreturn]] void finding(const char* what, const std::string& path = "")
{
    std::fprintf(stderr, "finding: %s %s\n", what, path.c_str());
    std::abort();
}

// Where the path leads, resolved lexically: the library makes no symbolic
// links.
std::string resolve(const char* path)
{
    std::string full = path[0] == '/' ? path : fs::current_path().string() + "/" + path;
    std::vector<std::string> parts;
    std::size_t begin = 0;
    while (begin <= full.size()) {
        std::size_t end = full.find('/', begin);
        if (end == std::string::npos)
            end = full.size();
        std::string part = full.substr(begin, end - begin);
        if (part == "..") {
            if (!parts.empty())
                parts.pop_back();
        } else if (!part.empty() && part != ".") {
            parts.push_back(part);
        }
        begin = end + 1;
    }
    std::string resolved;
    for (const std::string& part : parts)
        resolved += "/" + part;
    return resolved.empty() ? "/" : resolved;
}

bool startsWithFolder(const std::string& path, const std::string& folder)
{
    return path.compare(0, folder.size(), folder) == 0
           && (path.size() == folder.size() || path[folder.size()] == '/');
}

// Whether a write to the path, taken relative to a directory descriptor,
// stays in the destination. The wrappers run on several threads at once:
// nothing here is shared but the strings set at start.
void checkTarget(int directory, const char* path, bool parentsToo = false)
{
    if (!watching)
        return;
    std::string full = path;
    if (path[0] != '/' && directory != AT_FDCWD) {
        std::string link = "/proc/self/fd/" + std::to_string(directory);
        char folder[PATH_MAX];
        ssize_t length = readlink(link.c_str(), folder, sizeof folder);
        // A descriptor closed while in use may reach anywhere once reused.
        if (length < 0)
            finding("written through a closed descriptor:", path);
        full = std::string(folder, std::size_t(length)) + "/" + path;
    }
    std::string resolved = resolve(full.c_str());
    if (!startsWithFolder(resolved, destination)
        && !(parentsToo && (resolved == "/" || startsWithFolder(destination, resolved))))
        finding("written outside the destination:", resolved);
}

int descriptorCount()
{
    int count = 0;
    DIR* listing = opendir("/proc/self/fd");
    while (readdir(listing))
        ++count;
    closedir(listing);
    return count;
}

// The names a folder holds, sorted.
std::vector<std::string> namesIn(const std::string& folder)
{
    std::vector<std::string> names;
    for (const auto& item : fs::directory_iterator(folder))
        names.push_back(item.path().filename().string());
    std::sort(names.begin(), names.end());
    return names;
}

void removeRoot()
{
    std::error_code ignored;
    fs::remove_all(root, ignored);
}

}  // namespace

// The library's writing calls, linked through these with --wrap. The library
// is built with 64-bit file positions, which names openat openat64.
extern "C" {
int __real_openat64(int directory, const char* path, int flags, ...);
int __real_mkdir(const char* path, mode_t mode);
int __real_mkdirat(int directory, const char* path, mode_t mode);
int __real_renameat(int fromDirectory, const char* from, int toDirectory, const char* to);
int __real_unlinkat(int directory, const char* path, int flags);
int __real_linkat(int fromDirectory, const char* from, int toDirectory, const char* to, int flags);

int __wrap_openat64(int directory, const char* path, int flags, ...)
{
    // Only these flags make a file, and only then is there a mode to pass on.
    bool makes = (flags & O_CREAT) || (flags & O_TMPFILE) == O_TMPFILE;
    if (makes || (flags & O_ACCMODE) != O_RDONLY)
        checkTarget(directory, path);
    mode_t mode = 0;
    if (makes) {
        std::va_list rest;
        va_start(rest, flags);
        mode = va_arg(rest, mode_t);
        va_end(rest);
    }
    return __real_openat64(directory, path, flags, mode);
}

int __wrap_mkdir(const char* path, mode_t mode)
{
    checkTarget(AT_FDCWD, path, true);
    return __real_mkdir(path, mode);
}

int __wrap_mkdirat(int directory, const char* path, mode_t mode)
{
    checkTarget(directory, path, true);
    return __real_mkdirat(directory, path, mode);
}

int __wrap_renameat(int fromDirectory, const char* from, int toDirectory, const char* to)
{
    checkTarget(fromDirectory, from);
    checkTarget(toDirectory, to);
    return __real_renameat(fromDirectory, from, toDirectory, to);
}

int __wrap_unlinkat(int directory, const char* path, int flags)
{
    checkTarget(directory, path);
    return __real_unlinkat(directory, path, flags);
}

// The file linked in may be named by its descriptor alone: only the new name
// is written.
int __wrap_linkat(int fromDirectory, const char* from, int toDirectory, const char* to, int flags)
{
    checkTarget(toDirectory, to);
    return __real_linkat(fromDirectory, from, toDirectory, to, flags);
}
}

extern "C" int LLVMFuzzerInitialize(int*, char***)
{
    std::string pattern = (fs::temp_directory_path() / "veskFuzz-XXXXXX").string();
    if (!mkdtemp(&pattern[0]))
        finding("mkdtemp");
    // Canonical, as the paths read back from descriptors are.
    root = fs::canonical(pattern).string();
    archivePath = root + "/archive.zip";
    destination = root + "/a/b/out";
    std::atexit(removeRoot);
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    int file = open(archivePath.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    if (file < 0 || write(file, data, size) != ssize_t(size) || close(file) != 0)
        finding("cannot write the archive");
    fs::remove_all(root + "/a");
    fs::create_directories(destination);
    std::string libraryDestination = destination;
    for (char& c : libraryDestination)
        if (c == '/')
            c = '\\';

    int descriptorsBefore = descriptorCount();
    unsigned long messagesBefore = shownMessageCount;
    watching = true;
    int result = unzip(archivePath.c_str(), libraryDestination.c_str());
    watching = false;
    unsigned long messages = shownMessageCount - messagesBefore;

    if (result != 0 && result != 1)
        finding("result neither 0 nor 1");
    if (messages > 1 || (result == 0 && messages != 0))
        finding("more than one message, or a message on success");
    if (holdsOpenStreams() || descriptorCount() != descriptorsBefore)
        finding("a stream was left open");
    if (namesIn(root) != std::vector<std::string>{"a", "archive.zip"} || namesIn(root + "/a").size() != 1
        || namesIn(root + "/a/b").size() != 1)
        finding("something appeared beside the destination");
    return 0;
}

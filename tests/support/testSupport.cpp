#include "testSupport.h"

#include <sys/resource.h>
#include <unistd.h>

#include <algorithm>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <sstream>
#include <stdexcept>

#include "vesk.h"

#if defined(VESK_TESTS_ASAN)
#include <sanitizer/common_interface_defs.h>
#endif

namespace fs = std::filesystem;

namespace zipTest {

TempDir::TempDir()
{
    std::string pattern = (fs::temp_directory_path() / "veskTest-XXXXXX").string();
    if (!mkdtemp(&pattern[0]))
        throw std::runtime_error("mkdtemp failed");
    path_ = pattern;
}

TempDir::~TempDir()
{
    std::error_code ignored;
    fs::remove_all(path_, ignored);
}

std::string readFile(const std::string& path)
{
    std::ifstream in(path, std::ios::binary);
    if (!in)
        throw std::runtime_error("cannot read " + path);
    return std::string(std::istreambuf_iterator<char>(in), {});
}

void writeFile(const std::string& path, const std::string& bytes, std::uint64_t offset)
{
    std::FILE* file = std::fopen(path.c_str(), "wb");
    bool written = file && fseeko(file, off_t(offset), SEEK_SET) == 0
                   && std::fwrite(bytes.data(), 1, bytes.size(), file) == bytes.size();
    if (!file || std::fclose(file) != 0 || !written)
        throw std::runtime_error("cannot write " + path);
}

bool exists(const std::string& path)
{
    struct stat status;
    return lstat(path.c_str(), &status) == 0;
}

struct stat statOf(const std::string& path)
{
    struct stat status {};
    if (stat(path.c_str(), &status) != 0)
        throw std::runtime_error("cannot stat " + path);
    return status;
}

std::vector<std::string> listTree(const std::string& root)
{
    std::vector<std::string> names;
    for (const auto& item : fs::recursive_directory_iterator(root)) {
        std::string name = fs::relative(item.path(), root).string();
        names.push_back(item.is_directory() && !item.is_symlink() ? name + "/" : name);
    }
    std::sort(names.begin(), names.end());
    return names;
}

std::uint64_t ioCount(const std::string& field)
{
    std::ifstream io("/proc/self/io");
    std::string name;
    std::uint64_t value = 0;
    while (io >> name >> value && name != field) {
    }
    return value;
}

int openDescriptorCount()
{
    auto items = fs::directory_iterator("/proc/self/fd");
    // Less the descriptor of the listing itself.
    return int(std::distance(fs::begin(items), fs::end(items))) - 1;
}

std::string libraryPath(std::string path)
{
    std::replace(path.begin(), path.end(), '/', '\\');
    return path;
}

namespace {

std::string readStream(std::FILE* stream)
{
    std::string text;
    std::rewind(stream);
    char buffer[4096];
    std::size_t arrived;
    while ((arrived = std::fread(buffer, 1, sizeof buffer, stream)) != 0)
        text.append(buffer, arrived);
    std::fclose(stream);
    return text;
}

}  // namespace

Outcome captureOutput(const std::function<int()>& call)
{
    // Sanitizer reports keep going to the real standard error, so that a
    // fault inside the call is not lost in a capture file.
    static const int originalError = dup(2);
#if defined(VESK_TESTS_ASAN)
    __sanitizer_set_report_fd(reinterpret_cast<void*>(std::intptr_t(originalError)));
#endif
    std::fflush(stdout);
    std::fflush(stderr);
    std::FILE* output = std::tmpfile();
    std::FILE* error = std::tmpfile();
    if (!output || !error)
        throw std::runtime_error("tmpfile failed");
    int savedOutput = dup(1);
    dup2(fileno(output), 1);
    dup2(fileno(error), 2);

    Outcome outcome;
    outcome.result = call();

    std::fflush(stdout);
    std::fflush(stderr);
    dup2(savedOutput, 1);
    dup2(originalError, 2);
    close(savedOutput);
    outcome.output = readStream(output);

    static const std::string caption = "ZEL Development Environment: ";
    std::istringstream lines(readStream(error));
    for (std::string line; std::getline(lines, line);)
        outcome.messages.push_back(line.compare(0, caption.size(), caption) == 0 ? line.substr(caption.size())
                                                                                 : line);
    return outcome;
}

Outcome runUnzip(const std::string& archivePath, const std::string& destination)
{
    return captureOutput([&] { return unzip(archivePath.c_str(), destination.c_str()); });
}

int withFileSizeLimit(std::uint64_t bytes, const std::function<int()>& call)
{
    if (bytes == 0)
        return call();
    // The signal would end the process; the write's error is what counts.
    void (*previousHandler)(int) = std::signal(SIGXFSZ, SIG_IGN);
    rlimit previous;
    getrlimit(RLIMIT_FSIZE, &previous);
    rlimit limited = previous;
    limited.rlim_cur = rlim_t(bytes);
    setrlimit(RLIMIT_FSIZE, &limited);
    int result = call();
    setrlimit(RLIMIT_FSIZE, &previous);
    std::signal(SIGXFSZ, previousHandler);
    return result;
}

}  // namespace zipTest

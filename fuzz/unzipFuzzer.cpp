// unzip on arbitrary archive bytes, into a fresh destination each time. Every
// file the library opens for writing and every directory it makes must lie
// inside the destination (or be the destination or one of its parents);
// after the call no stream may be left open and the fuzzer's folder holds
// nothing beside the archive and the destination.
#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <string>
#include <vector>

#include "library.h"
#include "platform.h"
#include "vesk.h"

namespace fs = std::filesystem;

namespace {

std::string root;         // the fuzzer's own temporary folder
std::string archivePath;  // root/archive.zip
// Two levels down, so that a name climbing out of it lands inside root.
std::string destination;  // root/a/b/out
bool watching;            // unzip is running

[[noreturn]] void finding(const char* what, const std::string& path = "")
{
    std::fprintf(stderr, "finding: %s %s\n", what, path.c_str());
    std::abort();
}

// Where the path leads, resolved lexically: the library makes no links.
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

void checkTarget(const char* path)
{
    std::string resolved = resolve(path);
    if (!startsWithFolder(resolved, destination)
        && !(resolved == "/" || startsWithFolder(destination, resolved)))
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

// The library's file calls, linked through these with --wrap.
extern "C" {
std::FILE* __real_fopen64(const char* path, const char* mode);
int __real_mkdir(const char* path, mode_t mode);

std::FILE* __wrap_fopen64(const char* path, const char* mode)
{
    if (watching && (mode[0] != 'r' || std::strchr(mode, '+')))
        checkTarget(path);
    return __real_fopen64(path, mode);
}

int __wrap_mkdir(const char* path, mode_t mode)
{
    if (watching)
        checkTarget(path);
    return __real_mkdir(path, mode);
}
}

extern "C" int LLVMFuzzerInitialize(int*, char***)
{
    std::string pattern = (fs::temp_directory_path() / "veskFuzz-XXXXXX").string();
    if (!mkdtemp(&pattern[0]))
        finding("mkdtemp");
    root = resolve(pattern.c_str());
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

// Command-line host: loads the vesk library at run time, as the package's
// development environment does, and extracts one archive.
#include <dlfcn.h>
#include <unistd.h>

#include <cstdio>
#include <string>

namespace {

using UnzipFunction = int (*)(const char*, const char*);

// The library works with Windows paths, so the destination is handed over
// with backslashes, and the library creates every directory along it.
std::string toLibraryPath(std::string path)
{
    for (char& c : path)
        if (c == '/')
            c = '\\';
    return path;
}

// The library lies beside this program.
std::string libraryPath()
{
    char program[4096];
    ssize_t length = readlink("/proc/self/exe", program, sizeof program - 1);
    std::string path(program, length > 0 ? std::size_t(length) : 0);
    return path.substr(0, path.rfind('/') + 1) + "libvesk.so";
}

}  // namespace

int main(int argc, char** argv)
{
    if (argc < 2 || argc > 3) {
        std::fprintf(stderr, "usage: vesk-extract ARCHIVE [DEST]\n");
        return 2;
    }
    void* library = dlopen(libraryPath().c_str(), RTLD_NOW);
    if (!library) {
        std::fprintf(stderr, "vesk-extract: %s\n", dlerror());
        return 2;
    }
    auto unzip = reinterpret_cast<UnzipFunction>(dlsym(library, "unzip"));
    if (!unzip) {
        std::fprintf(stderr, "vesk-extract: %s\n", dlerror());
        return 2;
    }
    return unzip(argv[1], argc == 3 ? toLibraryPath(argv[2]).c_str() : "");
}

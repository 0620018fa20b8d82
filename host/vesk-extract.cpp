// Command-line host: loads the vesk library at run time, as the package's
// development environment does, and extracts one archive. Exit code: the
// result of unzip, or 2 when the host itself cannot go on.
#include <cstdio>
#include <cstring>
#include <string>

#include "vesk.h"
#include "veskVersion.h"

#if defined(_WIN32)
#define WIN32_LEAN_AND_MEAN
#include <windows.h>
#else
#include <dlfcn.h>
#include <unistd.h>
#endif

namespace {

using UnzipFunction = int(VESK_CALL*)(const char*, const char*);

const char usage[] = "usage: vesk-extract ARCHIVE [DEST]";

#if defined(_WIN32)
const char libraryName[] = "vesk.dll";

// The folder of this program, with its backslash.
std::string programFolder()
{
    char program[MAX_PATH];
    DWORD length = GetModuleFileNameA(nullptr, program, sizeof program);
    std::string path(program, length < sizeof program ? length : 0);
    return path.substr(0, path.rfind('\\') + 1);
}

// The DLL lies beside this program.
UnzipFunction loadUnzip(std::string& error)
{
    HMODULE library = LoadLibraryA((programFolder() + libraryName).c_str());
    FARPROC function = library ? GetProcAddress(library, "unzip") : nullptr;
    if (!function)
        error = std::string("cannot load unzip from ") + libraryName;
    return reinterpret_cast<UnzipFunction>(reinterpret_cast<void*>(function));
}

// Windows paths go to the library as they are.
std::string toLibraryPath(const char* path)
{
    return path;
}
#else
const char libraryName[] = "libvesk.so.1";

std::string programFolder()
{
    char program[4096];
    ssize_t length = readlink("/proc/self/exe", program, sizeof program - 1);
    std::string path(program, length > 0 ? std::size_t(length) : 0);
    return path.substr(0, path.rfind('/') + 1);
}

// The library lies beside this program, as in the build tree, or in the
// lib folder beside its bin folder, as in an install tree.
UnzipFunction loadUnzip(std::string& error)
{
    void* library = nullptr;
    for (const char* folder : {"", "../lib/"}) {
        library = dlopen((programFolder() + folder + libraryName).c_str(), RTLD_NOW);
        if (library)
            break;
        error = dlerror();
    }
    void* function = library ? dlsym(library, "unzip") : nullptr;
    if (library && !function)
        error = dlerror();
    return reinterpret_cast<UnzipFunction>(function);
}

// The library works with Windows paths, so the destination is handed over
// with backslashes, and the library creates every directory along it.
std::string toLibraryPath(std::string path)
{
    for (char& c : path)
        if (c == '/')
            c = '\\';
    return path;
}
#endif

}  // namespace

int main(int argc, char** argv)
{
    if (argc == 2 && std::strcmp(argv[1], "--version") == 0) {
        std::printf("vesk-extract %s\n", VESK_VERSION);
        return 0;
    }
    if (argc == 2 && std::strcmp(argv[1], "--help") == 0) {
        std::printf("%s\n"
                    "Extracts the ZIP archive ARCHIVE below DEST (default: the current folder)\n"
                    "with the vesk library (%s). Exit code: 0 when every entry was\n"
                    "extracted, 1 after a failure, which has been shown, 2 for a wrong call\n"
                    "or a library that cannot be loaded.\n",
                    usage, libraryName);
        return 0;
    }
    if (argc < 2 || argc > 3) {
        std::fprintf(stderr, "%s\n", usage);
        return 2;
    }
    std::string error;
    UnzipFunction extract = loadUnzip(error);
    if (!extract) {
        std::fprintf(stderr, "vesk-extract: %s\n", error.c_str());
        return 2;
    }
    return extract(argv[1], argc == 3 ? toLibraryPath(argv[2]).c_str() : "");
}

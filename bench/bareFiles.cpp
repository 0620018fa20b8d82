// The floor under extracting many small files on Windows: makes COUNT files
// as bench/wineFiles.py's archive lays them out (dNNN\fNNNNN.txt, 100 to a
// folder, 64 B to 16 KiB), each created new, written in one call, given a
// last-write time and closed, and nothing else.
#define WIN32_LEAN_AND_MEAN
#include <windows.h>

#include <cstdio>
#include <cstdlib>

int main(int argc, char** argv)
{
    if (argc != 3) {
        std::fprintf(stderr, "usage: bare-files DEST COUNT\n");
        return 2;
    }
    static char data[16384];
    const FILETIME lastWrite = {0, 0x01CB0000};
    unsigned long count = std::strtoul(argv[2], nullptr, 10);
    wchar_t path[MAX_PATH];
    for (unsigned long i = 0; i < count; ++i) {
        if (i % 100 == 0) {
            _snwprintf(path, MAX_PATH, L"%hs\\d%03lu", argv[1], i / 100);
            CreateDirectoryW(path, nullptr);
        }
        _snwprintf(path, MAX_PATH, L"%hs\\d%03lu\\f%05lu.txt", argv[1], i / 100, i);
        HANDLE file =
            CreateFileW(path, GENERIC_WRITE, 0, nullptr, CREATE_NEW, FILE_ATTRIBUTE_NORMAL, nullptr);
        DWORD written;
        if (file == INVALID_HANDLE_VALUE || !WriteFile(file, data, 64u << (i % 9), &written, nullptr)
            || !SetFileTime(file, nullptr, nullptr, &lastWrite) || !CloseHandle(file)) {
            std::fprintf(stderr, "bare-files: file %lu failed\n", i);
            return 1;
        }
    }
    return 0;
}

// Prints a value under HKEY_LOCAL_MACHINE as a 32-bit program sees it:
// "<type> <data length> <data>", each NUL byte shown as <NUL>, or "missing".
#define WIN32_LEAN_AND_MEAN
#include <windows.h>

#include <cstdio>

int main(int argc, char** argv)
{
    if (argc != 3) {
        std::fprintf(stderr, "usage: read-value KEY VALUE\n");
        return 2;
    }
    HKEY key;
    BYTE data[1024];
    DWORD type = 0;
    DWORD size = sizeof data;
    if (RegOpenKeyExA(HKEY_LOCAL_MACHINE, argv[1], 0, KEY_QUERY_VALUE, &key) != ERROR_SUCCESS) {
        std::printf("missing\n");
        return 0;
    }
    LONG status = RegQueryValueExA(key, argv[2], nullptr, &type, data, &size);
    RegCloseKey(key);
    if (status != ERROR_SUCCESS) {
        std::printf("missing\n");
        return 0;
    }
    std::printf("%lu %lu ", type, size);
    for (DWORD i = 0; i < size; ++i) {
        if (data[i])
            std::putchar(data[i]);
        else
            std::fputs("<NUL>", stdout);
    }
    std::printf("\n");
    return 0;
}

// Prints a value under HKEY_LOCAL_MACHINE as a program reads it from the
// 32-bit or the 64-bit view: "<type> <data length> <data>", or "missing".
// Text (REG_SZ, REG_EXPAND_SZ, REG_MULTI_SZ) is read wide and printed in
// UTF-8, each NUL shown as <NUL>; other data is printed in hex.
#define WIN32_LEAN_AND_MEAN
#include <windows.h>

#include <cstdio>
#include <cstring>

int main(int argc, char** argv)
{
    if (argc != 4 || (std::strcmp(argv[1], "32") != 0 && std::strcmp(argv[1], "64") != 0)) {
        std::fprintf(stderr, "usage: read-value 32|64 KEY VALUE\n");
        return 2;
    }
    const REGSAM view = argv[1][0] == '3' ? KEY_WOW64_32KEY : KEY_WOW64_64KEY;
    HKEY key;
    wchar_t name[256];
    BYTE data[1024];
    DWORD type = 0;
    DWORD size = sizeof data;
    if (RegOpenKeyExA(HKEY_LOCAL_MACHINE, argv[2], 0, KEY_QUERY_VALUE | view, &key) != ERROR_SUCCESS) {
        std::printf("missing\n");
        return 0;
    }
    MultiByteToWideChar(CP_ACP, 0, argv[3], -1, name, 256);
    LONG status = RegQueryValueExW(key, name, nullptr, &type, data, &size);
    RegCloseKey(key);
    if (status != ERROR_SUCCESS) {
        std::printf("missing\n");
        return 0;
    }
    std::printf("%lu %lu ", type, size);
    if (type == REG_SZ || type == REG_EXPAND_SZ || type == REG_MULTI_SZ) {
        char text[4096];
        const int length =
            WideCharToMultiByte(CP_UTF8, 0, reinterpret_cast<const wchar_t*>(data),
                                static_cast<int>(size / 2), text, sizeof text, nullptr, nullptr);
        for (int i = 0; i < length; ++i) {
            if (text[i])
                std::putchar(text[i]);
            else
                std::fputs("<NUL>", stdout);
        }
    } else {
        for (DWORD i = 0; i < size; ++i)
            std::printf("%02x", data[i]);
    }
    std::printf("\n");
    return 0;
}

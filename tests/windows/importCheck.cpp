// Links vesk.dll through its import library and the public header, as a
// host built against the library would, and calls both exports on inputs
// that fail without a message box.
#include <cstdio>

#include "vesk.h"

int main()
{
    // More than 100 bytes without an end record: refused silently.
    const char archive[] = "import-check.bin";
    std::FILE* file = std::fopen(archive, "wb");
    for (int i = 0; i < 200; ++i)
        std::fputc('x', file);
    std::fclose(file);
    char record[64] = "";
    int walk = unzip(archive, "import-check");
    int entry = unzipOneFile("", record);  // no archive is open
    std::remove(archive);
    std::printf("unzip %d, unzipOneFile %d\n", walk, entry);
    return walk == 1 && entry == 1 ? 0 : 1;
}

// State and services shared by the parts of the library.
//
// Results inside the library: a function that can fail in one way returns
// bool, true when it succeeded; one that can fail in several ways returns,
// as the exports do, 0 when it succeeded and a small number that names the
// failure (1, 2), which its comment lists.
#ifndef VESK_LIBRARY_H
#define VESK_LIBRARY_H

#include <cstdint>
#include <cstdio>
#include <cstring>

// The archive that unzip() holds open, and the output of the current entry.
extern std::FILE* archiveFile;
extern std::FILE* outputFile;

// Formats a printf-style message and shows it in the library's error box.
int showError(const char* format, ...)
#if defined(__GNUC__)
    __attribute__((format(printf, 1, 2)))
#endif
    ;

bool findEndOfCentralDirectory(unsigned char* endRecord, std::uint64_t* endPosition);
// Makes every directory that a backslash of `path` ends, outermost first,
// and the path itself `withLast`; 0 when all of them are directories then,
// 1 when one below the destination (its first `destinationLength`
// characters) is a link, 2 when one is anything else. Leaves path as it
// found it.
int createPathDirectories(char* path, std::size_t destinationLength, bool withLast);
void forgetCreatedDirectories();
bool copyStoredEntry(std::uint64_t compressedSize, std::uint64_t declaredSize);

// Archive fields are little-endian whatever the host's byte order.
inline unsigned readLittle16(const unsigned char* bytes)
{
    return bytes[0] | (bytes[1] << 8);
}

inline std::uint32_t readLittle32(const unsigned char* bytes)
{
    return bytes[0] | (bytes[1] << 8) | (bytes[2] << 16) | (std::uint32_t(bytes[3]) << 24);
}

// One load where the compiler would otherwise assemble eight bytes.
inline std::uint64_t readLittle64(const unsigned char* bytes)
{
    std::uint64_t value;
    std::memcpy(&value, bytes, sizeof value);
#if defined(__BYTE_ORDER__) && __BYTE_ORDER__ == __ORDER_BIG_ENDIAN__
    value = __builtin_bswap64(value);
#endif
    return value;
}

#endif

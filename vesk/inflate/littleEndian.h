// Four or eight bytes in little-endian order, as Deflate's bits and the
// archive's fields come, whatever the host's byte order.
#ifndef VESK_INFLATE_LITTLE_ENDIAN_H
#define VESK_INFLATE_LITTLE_ENDIAN_H

#include <cstdint>
#include <cstring>

// One load where the compiler would otherwise assemble the bytes.
inline std::uint32_t readLittle32(const unsigned char* bytes)
{
    std::uint32_t value;
    std::memcpy(&value, bytes, sizeof value);
#if defined(__BYTE_ORDER__) && __BYTE_ORDER__ == __ORDER_BIG_ENDIAN__
    value = __builtin_bswap32(value);
#endif
    return value;
}

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

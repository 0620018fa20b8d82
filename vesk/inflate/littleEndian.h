// Four or eight bytes in little-endian order, as Deflate's bits and the
// archive's fields come, whatever the host's byte order.
#ifndef VESK_INFLATE_LITTLE_ENDIAN_H
#define VESK_INFLATE_LITTLE_ENDIAN_H

#include <cstdint>
#include <cstring>

// One load where the compiler would otherwise assemble the bytes.
template <typename Word>
inline Word readLittle(const unsigned char* bytes)
{
    static_assert(sizeof(Word) == 4 || sizeof(Word) == 8, "a word of four or eight bytes");
    Word value;
    std::memcpy(&value, bytes, sizeof value);
#if defined(__BYTE_ORDER__) && __BYTE_ORDER__ == __ORDER_BIG_ENDIAN__
    if constexpr (sizeof(Word) == 8)
        value = __builtin_bswap64(value);
    else
        value = __builtin_bswap32(value);
#endif
    return value;
}

inline std::uint32_t readLittle32(const unsigned char* bytes)
{
    return readLittle<std::uint32_t>(bytes);
}

inline std::uint64_t readLittle64(const unsigned char* bytes)
{
    return readLittle<std::uint64_t>(bytes);
}

#endif

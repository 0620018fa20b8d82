// Input of the decoder: archive bytes read ahead in blocks and delivered as
// bits in Deflate's order, least significant bit of each byte first.
#ifndef VESK_INFLATE_BIT_READER_H
#define VESK_INFLATE_BIT_READER_H

#include <cstdint>
#include <cstring>

constexpr std::int32_t inputSize = 65536;

extern unsigned char inputBuffer[inputSize];
extern std::int32_t inputPosition;  // next byte to take
extern std::int32_t inputLimit;     // bytes the last refill delivered
// Zero bytes handed out beyond the end of the archive. The reader runs up to
// eight bytes ahead of the decoder, so only zeros that the decoder actually
// consumes mean the stream is cut short.
extern std::int32_t inputOverrun;

// Stream bits not yet consumed, the next one in bit 0; bitCount of them are
// valid. Bits above bitCount are zero or the true bits that follow.
extern std::uint64_t bitBuffer;
extern unsigned bitCount;

void startInput();
void fillBitsSlowly();
void checkStreamEnd();
std::int32_t takeInputBytes(const unsigned char** bytes, std::int32_t wanted);

// Tops bitBuffer up to at least 56 valid bits: eight bytes at once while the
// input block holds them.
inline void fillBits()
{
    if (inputLimit - inputPosition < 8) {
        fillBitsSlowly();
        return;
    }
    std::uint64_t word;
    std::memcpy(&word, inputBuffer + inputPosition, sizeof word);
#if defined(__BYTE_ORDER__) && __BYTE_ORDER__ == __ORDER_BIG_ENDIAN__
    word = __builtin_bswap64(word);  // the stream's bytes are little-endian
#endif
    bitBuffer |= word << bitCount;
    inputPosition += std::int32_t((63 - bitCount) >> 3);
    bitCount |= 56;
}

inline void dropBits(unsigned n)
{
    bitBuffer >>= n;
    bitCount -= n;
}

// The next n stream bits, 0 to 32, the first in bit 0.
inline unsigned getBits(unsigned n)
{
    if (bitCount < n)
        fillBits();
    unsigned value = unsigned(bitBuffer & ((std::uint64_t(1) << n) - 1));
    dropBits(n);
    return value;
}

// Skips the rest of a partly consumed byte.
inline void alignToByte()
{
    dropBits(bitCount & 7);
}

#endif

// Input of an entry: archive bytes read ahead in blocks, from the local header
// on, and delivered to the decoder as bits in Deflate's order, least
// significant bit of each byte first.
//
// Two kinds of call: startInput, limitInput and readInput serve the entry
// code (its local header, stored data) and return what they could do. The
// calls that take bits, and takeInputBytes, fail a stream that runs out by
// jumping to the point that inflateEntry sets (decodeFailure.h): they run
// only inside inflateEntry.
#ifndef VESK_INFLATE_BIT_READER_H
#define VESK_INFLATE_BIT_READER_H

#include <cstdint>

#include "../library.h"

constexpr std::int32_t inputSize = 65536;

extern unsigned char inputBuffer[inputSize];
extern std::int32_t inputPosition;  // next byte to take
extern std::int32_t inputLimit;     // end of the entry's bytes in the block
// Zero bytes handed out beyond the end of the archive. The reader runs up to
// eight bytes ahead of the decoder, so only zeros that the decoder actually
// consumes mean the stream is cut short.
extern std::int32_t inputOverrun;

// Stream bits not yet consumed, the next one in bit 0; bitCount of them are
// valid. Bits above bitCount are zero or the true bits that follow.
extern std::uint64_t bitBuffer;
extern unsigned bitCount;

void forgetInput();
bool startInput(std::uint64_t position, std::uint64_t expected);
void limitInput(std::uint64_t end);
std::int32_t readInput(const unsigned char** bytes, std::int32_t wanted);
void startBits();
void fillBitsSlowly();
void checkStreamEnd();
std::int32_t takeInputBytes(const unsigned char** bytes, std::int32_t wanted);

// Tops `buffer` up from `next` to at least 56 valid bits with one eight-byte
// load, and returns where the next load starts: only the bytes that fit
// whole count as taken; the rest are loaded again, to the same places, the
// next time. The eight bytes at `next` must be in the input block.
inline const unsigned char* loadBits(std::uint64_t& buffer, unsigned& count, const unsigned char* next)
{
    buffer |= readLittle64(next) << count;
    next += (63 - count) >> 3;
    count |= 56;
    return next;
}

// Tops bitBuffer up to at least 56 valid bits.
inline void fillBits()
{
    if (inputLimit - inputPosition < 8) {
        fillBitsSlowly();
        return;
    }
    inputPosition = std::int32_t(loadBits(bitBuffer, bitCount, inputBuffer + inputPosition) - inputBuffer);
}

// Takes the next n bits, 0 to 32, off `buffer`, the first in bit 0.
inline unsigned takeBits(std::uint64_t& buffer, unsigned& count, unsigned n)
{
    unsigned value = unsigned(buffer & ((std::uint64_t(1) << n) - 1));
    buffer >>= n;
    count -= n;
    return value;
}

inline void dropBits(unsigned n)
{
    takeBits(bitBuffer, bitCount, n);
}

// The next n stream bits, 0 to 32, the first in bit 0.
inline unsigned getBits(unsigned n)
{
    if (bitCount < n)
        fillBits();
    return takeBits(bitBuffer, bitCount, n);
}

// Skips the rest of a partly consumed byte.
inline void alignToByte()
{
    dropBits(bitCount & 7);
}

#endif

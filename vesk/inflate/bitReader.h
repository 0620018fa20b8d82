// The decoder's bits: bytes of the input delivered in Deflate's order,
// least significant bit of each byte first. A stream that runs out fails
// (decodeFailure.h): these calls run only inside inflateBlock.
#ifndef VESK_INFLATE_BIT_READER_H
#define VESK_INFLATE_BIT_READER_H

#include <cstdint>

#include "inflate.h"
#include "littleEndian.h"

void fillBitsSlowly(Decoder& decoder);
void checkStreamEnd(Decoder& decoder);
std::int32_t takeInputBytes(Decoder& decoder, const unsigned char** bytes, std::int32_t wanted);

// Bits that a refill guarantees in a buffer of one Word: all but a partly
// fitting byte. The decoder's own buffer is 64 bits wide; the fast loop may
// run on 32 (fastLoop.cpp).
template <typename Word>
constexpr unsigned refilledBits = sizeof(Word) * 8 - 8;

// Tops `buffer` up from `next` to at least refilledBits valid bits with one
// load of a Word, and returns where the next load starts: only the bytes
// that fit whole count as taken; the rest are loaded again, to the same
// places, the next time. The Word at `next` must be in the input's stretch.
template <typename Word>
inline const unsigned char* loadBits(Word& buffer, unsigned& count, const unsigned char* next)
{
    constexpr unsigned wordBits = sizeof(Word) * 8;
    buffer |= readLittle<Word>(next) << count;
    next += (wordBits - 1 - count) >> 3;
    count |= refilledBits<Word>;
    return next;
}

// Tops the bit buffer up to at least 56 valid bits.
inline void fillBits(Decoder& decoder)
{
    DecoderInput& input = decoder.input;
    if (input.end - input.next < 8) {
        fillBitsSlowly(decoder);
        return;
    }
    input.next = loadBits(decoder.bitBuffer, decoder.bitCount, input.next);
}

// Takes the next n bits off `buffer`, the first in bit 0: 0 to 32 of them,
// and fewer than a Word.
template <typename Word>
inline unsigned takeBits(Word& buffer, unsigned& count, unsigned n)
{
    unsigned value = unsigned(buffer & ((Word(1) << n) - 1));
    buffer >>= n;
    count -= n;
    return value;
}

// The next n stream bits, 0 to 32, the first in bit 0.
inline unsigned getBits(Decoder& decoder, unsigned n)
{
    if (decoder.bitCount < n)
        fillBits(decoder);
    return takeBits(decoder.bitBuffer, decoder.bitCount, n);
}

// Skips the rest of a partly consumed byte.
inline void alignToByte(Decoder& decoder)
{
    takeBits(decoder.bitBuffer, decoder.bitCount, decoder.bitCount & 7);
}

#endif

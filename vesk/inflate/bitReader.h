// Input of the decoder: archive bytes read ahead in 1024-byte blocks and
// delivered as bits in Deflate's order, least significant bit of each byte
// first.
#ifndef VESK_INFLATE_BIT_READER_H
#define VESK_INFLATE_BIT_READER_H

#include <cstdint>

extern unsigned char inputBuffer[1024];
extern std::int32_t inputPosition;  // next byte to take
extern std::int32_t inputLimit;     // bytes the last refill delivered
// Bytes handed out beyond the end of the archive, as zeros. The reader runs
// up to two bytes ahead of the decoder, so a stream that ends at the end of
// the file may need two; a third means the stream itself is cut short.
extern std::int32_t inputOverrun;

// The unconsumed rest of one stream byte (bitCount bits, 1..8) in the low
// bits, the following stream byte whole above it: the low 8 bits are always
// valid stream bits.
extern std::uint32_t bitBuffer;
extern std::uint32_t bitCount;
extern const unsigned char bitMasks[9];

void refillInput();
unsigned nextByteAfterRefill();
void startInput();
void primeBitBuffer();
void checkStreamEnd();

inline unsigned nextInputByte()
{
    if (inputPosition == inputLimit)
        return nextByteAfterRefill();
    return inputBuffer[inputPosition++];
}

inline void loadBitByte()
{
    bitBuffer |= nextInputByte() << 8;
    bitCount = 8;
}

// Consumes n bits, 0 to 8; the next byte comes in as soon as the current one
// is used up.
inline void dropBits(unsigned n)
{
    if (n >= bitCount) {
        bitBuffer >>= bitCount;
        n -= bitCount;
        loadBitByte();
    }
    bitBuffer >>= n;
    bitCount -= n;
}

// The next n stream bits, 1 to 16, the first in bit 0.
inline unsigned getBits(unsigned n)
{
    if (n > 8) {
        unsigned low = getBits(8);
        return low + (getBits(n - 8) << 8);
    }
    unsigned value = bitBuffer & bitMasks[n];
    dropBits(n);
    return value;
}

// Skips to the next byte boundary; afterwards bitBuffer holds exactly the
// next two stream bytes.
inline void alignToByte()
{
    if (bitCount != 8)
        dropBits(bitCount);
}

#endif

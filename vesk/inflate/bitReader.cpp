#include "bitReader.h"

#include "decodeFailure.h"

namespace {

unsigned nextInputByte(Decoder& decoder)
{
    const unsigned char* byte;
    if (readInput(*decoder.input, &byte, 1) == 1)
        return *byte;
    // More zeros than the bit buffer holds: some of them were consumed.
    if (++decoder.inputOverrun > 8)
        failDecoding(decoder);
    return 0;
}

}  // namespace

void fillBitsSlowly(Decoder& decoder)
{
    while (decoder.bitCount < 56) {
        decoder.bitBuffer |= std::uint64_t(nextInputByte(decoder)) << decoder.bitCount;
        decoder.bitCount += 8;
    }
}

// Fails when the stream consumed zeros from beyond the end of the input.
void checkStreamEnd(Decoder& decoder)
{
    if (unsigned(decoder.inputOverrun) * 8 > decoder.bitCount)
        failDecoding(decoder);
}

// Whole bytes behind the bits already taken (stored data, after the bit
// buffer has been drained); the input must hold them.
std::int32_t takeInputBytes(Decoder& decoder, const unsigned char** bytes, std::int32_t wanted)
{
    std::int32_t taken = readInput(*decoder.input, bytes, wanted);
    if (taken == 0)
        failDecoding(decoder);
    return taken;
}

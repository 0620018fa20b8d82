#include "bitReader.h"

#include "decodeFailure.h"

namespace {

// Whether a byte of input waits, once the stretch that is used up has been
// followed by the next.
bool inputWaits(Decoder& decoder)
{
    DecoderInput& input = decoder.input;
    while (input.next == input.end) {
        if (!input.more(input.source, input))
            return false;
        decoder.stretchBegin = input.next;
    }
    return true;
}

unsigned nextInputByte(Decoder& decoder)
{
    if (inputWaits(decoder))
        return *decoder.input.next++;
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
    if (!inputWaits(decoder))
        failDecoding(decoder);
    DecoderInput& input = decoder.input;
    std::int32_t taken = input.end - input.next < wanted ? std::int32_t(input.end - input.next) : wanted;
    *bytes = input.next;
    input.next += taken;
    return taken;
}

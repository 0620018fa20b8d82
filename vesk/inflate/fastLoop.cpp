// The bit buffer, the input and output positions and the tables live in
// locals here, so that the compiler keeps them in registers; the decoder's
// state is read once on entry and written once on the way out. The margins
// below spare every per-byte check of the input's stretch and the window.
#include "fastLoop.h"

#include "bitReader.h"
#include "decodeFailure.h"
#include "huffman.h"
#include "window.h"

namespace {

// A step loads eight bytes twice, the second load at most seven bytes after
// the first, and writes at most two literals and a longest match with the
// copy's overrun.
constexpr std::int32_t stepInput = 7 + 8;
constexpr std::int32_t stepOutput = 2 + longestMatch + copyOverrun;

}  // namespace

bool decodeFast(Decoder& decoder)
{
    const std::uint32_t* const literalTable = decoder.literalTable;
    const std::uint32_t* const distanceTable = decoder.distanceTable;
    std::uint64_t bits = decoder.bitBuffer;
    unsigned count = decoder.bitCount;
    const unsigned char* next = decoder.input.next;
    const unsigned char* const inputLimit = decoder.input.end;
    unsigned char* const window = decoder.window;
    unsigned char* out = window + decoder.windowFill;
    unsigned char* const lastOutput = window + decoder.pieceEnd - stepOutput;
    const unsigned char* const streamBegin = window + streamStart(decoder);
    bool endOfBlock = false;

    while (inputLimit - next >= stepInput && out <= lastOutput) {
        next = loadBits(bits, count, next);
        // 56 bits hold three literal codes, or two and then a length code
        // with its extra bits.
        std::uint32_t entry = lookUpSymbol(literalTable, literalRootBits, bits);
        int literals = 0;
        while (isKind(entry, literalKind)) {
            takeBits(bits, count, entry & 0xFF);
            *out++ = static_cast<unsigned char>(valueOf(entry));
            if (++literals == 3)
                break;
            entry = lookUpSymbol(literalTable, literalRootBits, bits);
        }
        if (literals == 3)
            continue;
        if (!isKind(entry, matchKind)) {
            if (!isKind(entry, endOfBlockKind))
                failDecoding(decoder);
            takeBits(bits, count, entry & 0xFF);
            endOfBlock = true;
            break;
        }
        std::int32_t length = std::int32_t(takeSymbol(bits, count, entry));

        next = loadBits(bits, count, next);
        entry = lookUpSymbol(distanceTable, distanceRootBits, bits);
        if (!isKind(entry, matchKind))
            failDecoding(decoder);
        std::int32_t distance = std::int32_t(takeSymbol(bits, count, entry));
        if (out - streamBegin < distance)
            failDecoding(decoder);  // before the stream's first byte
        out = copyBytes(out, length, distance);
    }

    decoder.bitBuffer = bits;
    decoder.bitCount = count;
    decoder.input.next = next;
    decoder.windowFill = std::int32_t(out - window);
    return endOfBlock;
}

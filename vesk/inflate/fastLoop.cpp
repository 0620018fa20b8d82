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

// A step refills at most twice, and the first step once more before it;
// each load takes eight bytes at most seven bytes after the last one. A step
// writes two literals or a longest match with the copy's overrun.
constexpr std::int32_t stepInput = 7 + 7 + 8;
constexpr std::int32_t stepOutput = longestMatch + copyOverrun;

// Each step starts with the bits refilled and the entry of its first symbol
// looked up, and it looks up the entry of the next step's first symbol
// before it writes its output: the lookup's latency then overlaps the
// writes and the refill instead of heading the next step.
bool decodeFastWith(Decoder& decoder)
{
    using Word = std::uint64_t;
    const std::uint32_t* const literalTable = decoder.literalTable;
    const std::uint32_t* const distanceTable = decoder.distanceTable;
    Word bits = decoder.bitBuffer;
    unsigned count = decoder.bitCount;
    const unsigned char* next = decoder.input.next;
    const unsigned char* const inputLimit = decoder.input.end - stepInput;
    unsigned char* const window = decoder.window;
    unsigned char* out = window + decoder.windowFill;
    unsigned char* const lastOutput = window + decoder.pieceEnd - stepOutput;
    const unsigned char* const streamBegin = window + streamStart(decoder);
    bool endOfBlock = false;

    if (next > inputLimit || out > lastOutput)
        return false;
    next = loadBits(bits, count, next);
    std::uint32_t entry = lookUpSymbol(literalTable, literalRootBits, bits);
    do {
        if (isKind(entry, literalKind)) {
            // Two literals a refill: 2 × 15 bits, and the lookups after them
            // find the 15 bits they need.
            unsigned char literal = static_cast<unsigned char>(valueOf(entry));
            takeBits(bits, count, entry & 0xFF);
            entry = lookUpSymbol(literalTable, literalRootBits, bits);
            *out++ = literal;
            if (isKind(entry, literalKind)) {
                literal = static_cast<unsigned char>(valueOf(entry));
                takeBits(bits, count, entry & 0xFF);
                entry = lookUpSymbol(literalTable, literalRootBits, bits);
                *out++ = literal;
            }
            next = loadBits(bits, count, next);
            continue;
        }
        if (!isKind(entry, matchKind)) {
            if (!isKind(entry, endOfBlockKind))
                failDecoding(decoder);
            takeBits(bits, count, entry & 0xFF);
            endOfBlock = true;
            break;
        }
        // A length code and its extra bits take at most 21 bits, and the
        // distance's lookup 15 more.
        std::int32_t length = std::int32_t(takeSymbol(bits, count, entry));
        entry = lookUpSymbol(distanceTable, distanceRootBits, bits);
        next = loadBits(bits, count, next);
        if (!isKind(entry, matchKind))
            failDecoding(decoder);
        // A distance code and its extra bits take at most 28 bits, and the
        // next lookup 15 more.
        std::int32_t distance = std::int32_t(takeSymbol(bits, count, entry));
        if (out - streamBegin < distance)
            failDecoding(decoder);  // before the stream's first byte
        entry = lookUpSymbol(literalTable, literalRootBits, bits);
        next = loadBits(bits, count, next);
        out = copyBytes(out, length, distance);
    } while (next <= inputLimit && out <= lastOutput);

    decoder.bitBuffer = bits;
    decoder.bitCount = count;
    decoder.input.next = next;
    decoder.windowFill = std::int32_t(out - window);
    return endOfBlock;
}

}  // namespace

bool decodeFast(Decoder& decoder)
{
    return decodeFastWith(decoder);
}

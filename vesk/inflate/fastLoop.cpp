// The bit buffer and the input and output positions live in locals here, so
// that the compiler keeps them in registers; the module-level state is read
// once on entry and written once on the way out. The margins below spare
// every per-byte check of the input block and the window.
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

bool decodeFast(const std::uint32_t* literalTable, const std::uint32_t* distanceTable)
{
    std::uint64_t bits = bitBuffer;
    unsigned count = bitCount;
    const unsigned char* next = inputBuffer + inputPosition;
    const unsigned char* const inputEnd = inputBuffer + inputLimit;
    unsigned char* out = outputWindow + windowFill;
    unsigned char* const lastOutput = outputWindow + windowSize - stepOutput;
    const unsigned char* const entryBegin = outputWindow + entryStart();
    bool endOfBlock = false;

    while (inputEnd - next >= stepInput && out <= lastOutput) {
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
                failDecoding();
            takeBits(bits, count, entry & 0xFF);
            endOfBlock = true;
            break;
        }
        std::int32_t length = std::int32_t(takeSymbol(bits, count, entry));

        next = loadBits(bits, count, next);
        entry = lookUpSymbol(distanceTable, distanceRootBits, bits);
        if (!isKind(entry, matchKind))
            failDecoding();
        std::int32_t distance = std::int32_t(takeSymbol(bits, count, entry));
        if (out - entryBegin < distance)
            failDecoding();  // before the entry's first byte
        out = copyBytes(out, length, distance);
    }

    bitBuffer = bits;
    bitCount = count;
    inputPosition = std::int32_t(next - inputBuffer);
    windowFill = std::int32_t(out - outputWindow);
    return endOfBlock;
}

// The bit buffer, the input and output positions and the tables live in
// locals here, so that the compiler keeps them in registers; the decoder's
// state is read once on entry and written once on the way out. The margins
// below spare every per-byte check of the input's stretch and the window.
#include "fastLoop.h"

#if defined(__x86_64__) || defined(__i386__)
#include <cpuid.h>
#endif

#include "bitReader.h"
#include "decodeFailure.h"
#include "huffman.h"
#include "window.h"

namespace {

// A step with a 64-bit buffer refills at most twice, and the first step once
// more before it, each load eight bytes at most seven after the last one; a
// 32-bit buffer's step refills at most three times, four bytes at most three
// after the last. A step writes two literals or a longest match with the
// copy's overrun.
constexpr std::int32_t stepInput = 7 + 7 + 8;
constexpr std::int32_t stepOutput = longestMatch + copyOverrun;

// The bits come in a Word of 64 bits, or of 32 where 64-bit shifts cost
// register pairs. After a refill a 64-bit buffer holds at least 56 bits to
// take, a 32-bit one 24, and all its bits are the stream's, so that a lookup
// may read past the count (a lookup reads at most 15 bits).
//
// Each step starts with the bits refilled and the entry of its first symbol
// looked up, and it looks up the entry of the next step's first symbol
// before it writes its output: the lookup's latency then overlaps the
// writes and the refill instead of heading the next step.
template <typename Word>
[[gnu::always_inline]] inline bool decodeFastWith(Decoder& decoder)
{
    constexpr bool narrow = sizeof(Word) == 4;
    const std::uint32_t* const literalTable = decoder.literalTable;
    const std::uint32_t* const distanceTable = decoder.distanceTable;
    const unsigned char* next = decoder.input.next;
    const unsigned char* const inputEnd = decoder.input.end;
    unsigned char* const window = decoder.window;
    unsigned char* out = window + decoder.windowFill;
    unsigned char* const lastOutput = window + decoder.pieceEnd - stepOutput;
    const unsigned char* const streamBegin = window + streamStart(decoder);
    if (inputEnd - next < stepInput || out > lastOutput)
        return false;
    Word bits;
    unsigned count;
    if constexpr (narrow) {
        // The whole bytes of the decoder's buffer go back to the input, to be
        // loaded again, unless they came from an earlier stretch.
        unsigned wholeBytes = decoder.bitCount >> 3;
        if (std::int32_t(wholeBytes) > next - decoder.stretchBegin)
            return false;
        next -= wholeBytes;
        count = decoder.bitCount & 7;
        bits = Word(decoder.bitBuffer) & ((Word(1) << count) - 1);
    } else {
        bits = decoder.bitBuffer;
        count = decoder.bitCount;
    }
    bool endOfBlock = false;

    // Looks up the entry that follows and refills. A 64-bit buffer still
    // holds the bits the lookup reads and refills after it, so that the
    // lookup need not wait; a 32-bit one may not, and refills first.
    auto lookUpAndRefill = [&](const std::uint32_t* table, unsigned rootBits) {
        if constexpr (narrow)
            next = loadBits(bits, count, next);
        std::uint32_t found = lookUpSymbol(table, rootBits, bits);
        if constexpr (!narrow)
            next = loadBits(bits, count, next);
        return found;
    };
    // Writes the literal of `entry` and looks up the entry that follows.
    auto takeLiteral = [&](std::uint32_t& entry) {
        unsigned char literal = static_cast<unsigned char>(valueOf(entry));
        takeBits(bits, count, entry & 0xFF);
        entry = lookUpSymbol(literalTable, literalRootBits, bits);
        *out++ = literal;
    };

    next = loadBits(bits, count, next);
    std::uint32_t entry = lookUpSymbol(literalTable, literalRootBits, bits);
    do {
        if (isKind(entry, literalKind)) {
            takeLiteral(entry);
            // A 64-bit buffer takes two literals a refill.
            if (!narrow && isKind(entry, literalKind))
                takeLiteral(entry);
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
        // A length code and its extra bits take at most 21 bits; what a 32-bit
        // buffer has left is too few for the distance's lookup.
        std::int32_t length = std::int32_t(takeSymbol(bits, count, entry));
        entry = lookUpAndRefill(distanceTable, distanceRootBits);
        if (!isKind(entry, matchKind))
            failDecoding(decoder);
        // A distance code and its extra bits take at most 28 bits: more than
        // a 32-bit buffer is sure to hold, which then takes the code first
        // and refills for the extra bits.
        std::int32_t distance;
        if (narrow && (entry & 0xFF) > count) {
            takeBits(bits, count, codeLengthOf(entry));
            next = loadBits(bits, count, next);
            distance = std::int32_t(valueOf(entry) + takeBits(bits, count, extraBitsOf(entry)));
        } else {
            distance = std::int32_t(takeSymbol(bits, count, entry));
        }
        if (out - streamBegin < distance)
            failDecoding(decoder);  // before the stream's first byte
        entry = lookUpAndRefill(literalTable, literalRootBits);
        out = copyBytes(out, length, distance);
    } while (inputEnd - next >= stepInput && out <= lastOutput);

    decoder.bitBuffer = bits;
    decoder.bitCount = count;
    decoder.input.next = next;
    decoder.windowFill = std::int32_t(out - window);
    return endOfBlock;
}

bool decodeWide(Decoder& decoder)
{
    return decodeFastWith<std::uint64_t>(decoder);
}

bool decodeNarrow(Decoder& decoder)
{
    return decodeFastWith<std::uint32_t>(decoder);
}

#if defined(__x86_64__) || defined(__i386__)
[[gnu::target("bmi2")]] bool decodeWideBmi2(Decoder& decoder)
{
    return decodeFastWith<std::uint64_t>(decoder);
}

[[gnu::target("bmi2")]] bool decodeNarrowBmi2(Decoder& decoder)
{
    return decodeFastWith<std::uint32_t>(decoder);
}

bool processorHasBmi2()
{
    unsigned eax, ebx, ecx, edx;
    return __get_cpuid_count(7, 0, &eax, &ebx, &ecx, &edx) && (ebx & bit_BMI2);
}
#else
constexpr bool (*decodeWideBmi2)(Decoder&) = nullptr;
constexpr bool (*decodeNarrowBmi2)(Decoder&) = nullptr;

bool processorHasBmi2()
{
    return false;
}
#endif

bool (*const fastLoops[fastLoopWays])(Decoder&) = {decodeWide, decodeNarrow, decodeWideBmi2,
                                                   decodeNarrowBmi2};
FastLoopWay chosenWay = wideLoop;

}  // namespace

void chooseFastLoop()
{
    FastLoopWay way = sizeof(void*) == 4 ? narrowLoop : wideLoop;
    if (processorHasBmi2())
        way = FastLoopWay(way + wideLoopBmi2);
    chosenWay = way;
}

FastLoopWay fastLoopWay()
{
    return chosenWay;
}

bool setFastLoop(FastLoopWay way)
{
    if (way >= wideLoopBmi2 && !processorHasBmi2())
        return false;
    chosenWay = way;
    return true;
}

bool decodeFast(Decoder& decoder)
{
    return fastLoops[chosenWay](decoder);
}

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
// 32-bit buffer's step refills at most four times, four bytes at most three
// after the last. A step writes two literals or a match of at most Deflate's
// longest length with the copy's overrun; Deflate64's longer matches leave
// the loop.
constexpr std::int32_t stepInput = 7 + 7 + 8;
static_assert(stepInput >= 3 + 3 + 3 + 3 + 4, "a 32-bit buffer's step");
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
//
// The loop is built for each format: Deflate's needs no test for the longer
// lengths of Deflate64, which would cost it a few per cent.
template <typename Word, DeflateFormat format>
[[gnu::always_inline]] inline bool decodeFastWith(Decoder& decoder)
{
    constexpr bool narrow = sizeof(Word) == 4;
    constexpr bool deflate64 = format == deflate64Format;
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
    std::int32_t longLength = 0;
    std::int32_t longDistance = 0;

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
    // Takes a length or distance code with its extra bits: up to 31 bits,
    // which a 64-bit buffer holds after a refill. A 32-bit buffer holds 24,
    // more than Deflate's lengths take (21): for more it takes the code
    // first and refills for the extra bits.
    auto takeValue = [&](std::uint32_t entry, bool mayOutrun) {
        if (narrow && mayOutrun && (entry & 0xFF) > count) {
            takeBits(bits, count, codeLengthOf(entry));
            next = loadBits(bits, count, next);
            return valueOf(entry) + takeBits(bits, count, extraBitsOf(entry));
        }
        return takeSymbol(bits, count, entry);
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
        // What a 32-bit buffer has left after the length is too few for the
        // distance's lookup; a 64-bit one still holds 25 bits.
        std::int32_t length = std::int32_t(takeValue(entry, deflate64));
        entry = lookUpAndRefill(distanceTable, distanceRootBits);
        if (!isKind(entry, matchKind))
            failDecoding(decoder);
        std::int32_t distance = std::int32_t(takeValue(entry, true));
        if (out - streamBegin < distance)
            failDecoding(decoder);  // before the stream's first byte
        if (deflate64 && length > longestMatch) {
            // Deflate64's longest matches outrun the margin: the window's
            // own copy writes them once the state is back in the decoder.
            longLength = length;
            longDistance = distance;
            break;
        }
        entry = lookUpAndRefill(literalTable, literalRootBits);
        out = copyBytes(out, length, distance);
    } while (inputEnd - next >= stepInput && out <= lastOutput);

    decoder.bitBuffer = bits;
    decoder.bitCount = count;
    decoder.input.next = next;
    decoder.windowFill = std::int32_t(out - window);
    if (longLength != 0)
        copyMatch(decoder, longLength, longDistance);
    return endOfBlock;
}

template <typename Word, DeflateFormat format>
bool decodePlain(Decoder& decoder)
{
    return decodeFastWith<Word, format>(decoder);
}

#if defined(__x86_64__) || defined(__i386__)
template <typename Word, DeflateFormat format>
[[gnu::target("bmi2")]] bool decodeBmi2(Decoder& decoder)
{
    return decodeFastWith<Word, format>(decoder);
}

bool processorHasBmi2()
{
    unsigned eax, ebx, ecx, edx;
    return __get_cpuid_count(7, 0, &eax, &ebx, &ecx, &edx) && (ebx & bit_BMI2);
}
#else
template <typename Word, DeflateFormat format>
constexpr bool (*decodeBmi2)(Decoder&) = nullptr;

bool processorHasBmi2()
{
    return false;
}
#endif

// The loops of each format in the order of FastLoopWay.
template <DeflateFormat format>
constexpr bool (*loopsOf[fastLoopWays])(Decoder&) = {
    decodePlain<std::uint64_t, format>, decodePlain<std::uint32_t, format>, decodeBmi2<std::uint64_t, format>,
    decodeBmi2<std::uint32_t, format>};
bool (*const* const fastLoops[])(Decoder&) = {loopsOf<deflateFormat>, loopsOf<deflate64Format>};
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
    return fastLoops[decoder.format][chosenWay](decoder);
}

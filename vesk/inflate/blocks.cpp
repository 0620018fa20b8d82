// The block loop of the decoder: stored, fixed-code and dynamic-code blocks.
#include <cstring>

#include "../library.h"
#include "bitReader.h"
#include "decodeFailure.h"
#include "fastLoop.h"
#include "huffman.h"
#include "inflate.h"
#include "window.h"

std::jmp_buf errorContext;

namespace {

// What each symbol of the three codes means, with its extra bits.
struct SymbolEntries {
    std::uint32_t literal[288];
    std::uint32_t distance[32];
    std::uint32_t codeLength[19];

    constexpr SymbolEntries() : literal(), distance(), codeLength()
    {
        for (unsigned symbol = 0; symbol < 256; ++symbol)
            literal[symbol] = makeEntry(literalKind, symbol, 0);
        literal[256] = makeEntry(endOfBlockKind, 0, 0);
        for (unsigned symbol = 257; symbol < 265; ++symbol)
            literal[symbol] = makeEntry(matchKind, symbol - 254, 0);
        // Lengths 11 to 257 in groups of four with one to five extra bits.
        // 286 and 287 have codes in every fixed block, and in a dynamic one
        // that gives 288 lengths; Deflate assigns them no length, and zlib
        // refuses them. This decoder has always read them as the series
        // goes on, with six extra bits (lengths 323 to 450), and keeps doing
        // so, so that what it extracted once it extracts again.
        for (unsigned symbol = 265; symbol < 288; ++symbol) {
            unsigned group = symbol - 257;
            unsigned extra = (group >> 2) - 1;
            literal[symbol] = makeEntry(matchKind, 3 + ((4 + (group & 3)) << extra), extra);
        }
        literal[285] = makeEntry(matchKind, 258, 0);
        for (unsigned symbol = 0; symbol < 4; ++symbol)
            distance[symbol] = makeEntry(matchKind, symbol + 1, 0);
        for (unsigned symbol = 4; symbol < 30; ++symbol) {
            unsigned extra = (symbol >> 1) - 1;
            distance[symbol] = makeEntry(matchKind, ((2 + (symbol & 1)) << extra) + 1, extra);
        }
        // Symbols 30 and 31 have no distance.
        distance[30] = distance[31] = makeEntry(noCodeKind, 0, 0);
        for (unsigned symbol = 0; symbol < 19; ++symbol)
            codeLength[symbol] = makeEntry(literalKind, symbol, 0);
    }
};

constexpr SymbolEntries symbolEntries;
constexpr std::uint32_t longestLengthSymbol = symbolEntries.literal[287];
static_assert(valueOf(longestLengthSymbol) + (1u << extraBitsOf(longestLengthSymbol)) - 1 == longestMatch,
              "the fast loop's margin must hold the longest match");

// Code lengths of the current block. While a dynamic header is read,
// literalLengths takes the whole run of literal/length and distance lengths.
unsigned char literalLengths[320];
unsigned char distanceLengths[32];
int literalCount;
int distanceCount;
std::uint32_t literalTable[literalTableSize];
std::uint32_t distanceTable[distanceTableSize];
unsigned char codeLengthLengths[19];
std::uint32_t codeLengthTable[codeLengthTableSize];

// The order in which a dynamic header gives the code-length code's lengths.
const unsigned char codeLengthOrder[19] = {16, 17, 18, 0, 8, 7, 9, 6, 10, 5, 11, 4, 12, 3, 13, 2, 14, 1, 15};

void setFixedLengths()
{
    std::memset(literalLengths, 8, 144);
    std::memset(literalLengths + 144, 9, 112);
    std::memset(literalLengths + 256, 7, 24);
    std::memset(literalLengths + 280, 8, 8);
    literalCount = 288;
    std::memset(distanceLengths, 5, 32);
    distanceCount = 32;
}

void readDynamicLengths()
{
    literalCount = int(getBits(5)) + 257;
    distanceCount = int(getBits(5)) + 1;
    std::memset(codeLengthLengths, 0, sizeof codeLengthLengths);
    unsigned given = getBits(4) + 4;
    for (unsigned i = 0; i < given; ++i)
        codeLengthLengths[codeLengthOrder[i]] = static_cast<unsigned char>(getBits(3));
    buildHuffmanTable(codeLengthTable, codeLengthRootBits, codeLengthLengths, symbolEntries.codeLength, 19);

    int remaining = literalCount + distanceCount;
    int position = 0;
    while (remaining > 0) {
        fillBits();
        unsigned symbol;
        decodeSymbol(codeLengthTable, codeLengthRootBits, symbol);
        if (symbol < 16) {
            literalLengths[position++] = static_cast<unsigned char>(symbol);
            --remaining;
            continue;
        }
        int repeated = 0;
        int run;
        if (symbol == 16) {
            if (position == 0)  // nothing to repeat
                failDecoding();
            repeated = literalLengths[position - 1];
            run = int(getBits(2)) + 3;
        } else if (symbol == 17) {
            run = int(getBits(3)) + 3;
        } else {
            run = int(getBits(7)) + 11;
        }
        remaining -= run;
        if (remaining < 0)
            failDecoding();
        std::memset(literalLengths + position, repeated, std::size_t(run));
        position += run;
    }
    // One run: a repeat may cross from literal/length into distance lengths.
    std::memcpy(distanceLengths, literalLengths + literalCount, std::size_t(distanceCount));
}

// Stored data starts at a byte boundary: first the whole bytes the bit
// buffer already holds, then straight from the input blocks. None of it may
// come from beyond the end of the archive.
void copyStoredBlock()
{
    alignToByte();
    unsigned length = getBits(16);
    unsigned lengthComplement = getBits(16);
    if (length + lengthComplement != 0xFFFF)
        failDecoding();
    for (; length > 0 && bitCount >= 8; --length)
        appendByte(static_cast<unsigned char>(getBits(8)));
    checkStreamEnd();
    if (length == 0)
        return;
    bitBuffer = 0;  // it held only bytes already taken
    while (length > 0) {
        const unsigned char* bytes;
        std::int32_t part = takeInputBytes(&bytes, std::int32_t(length));
        appendBytes(bytes, part);
        length -= unsigned(part);
    }
}

void decodeCompressedBlock()
{
    buildHuffmanTable(literalTable, literalRootBits, literalLengths, symbolEntries.literal, literalCount);
    buildHuffmanTable(distanceTable, distanceRootBits, distanceLengths, symbolEntries.distance,
                      distanceCount);
    for (;;) {
        if (decodeFast(literalTable, distanceTable))
            return;
        // Near the end of the input block or of the window: one symbol at a
        // time. 56 bits cover the longest length code and its extra bits (21)
        // and the longest distance code and its extra bits (28).
        fillBits();
        unsigned value;
        std::uint32_t entry = decodeSymbol(literalTable, literalRootBits, value);
        if (isKind(entry, literalKind)) {
            appendByte(static_cast<unsigned char>(value));
            continue;
        }
        if (isKind(entry, endOfBlockKind))
            return;
        std::int32_t length = std::int32_t(value);
        decodeSymbol(distanceTable, distanceRootBits, value);
        std::int32_t distance = std::int32_t(value);
        if (windowFill - entryStart() < distance)
            failDecoding();  // before the entry's first byte
        copyMatch(length, distance);
    }
}

}  // namespace

int inflateEntry(std::uint64_t declaredSize)
{
    startWindow(declaredSize);
    switch (setjmp(errorContext)) {
    case 0:
        break;
    case longerThanDeclared:
        return 2;
    case writeFailed:
        return 3;
    default:
        showError(" Bad Table ");
        return 1;
    }
    startBits();
    bool final;
    do {
        final = getBits(1);
        switch (getBits(2)) {
        case 0:
            copyStoredBlock();
            break;
        case 1:
            setFixedLengths();
            decodeCompressedBlock();
            break;
        case 2:
            readDynamicLengths();
            decodeCompressedBlock();
            break;
        default:
            failDecoding();
        }
    } while (!final);
    checkStreamEnd();
    flushWindow(true);
    return 0;
}

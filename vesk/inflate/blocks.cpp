// The block loop of the decoder: stored, fixed-code and dynamic-code blocks.
#include <cstring>

#include "../library.h"
#include "bitReader.h"
#include "decodeFailure.h"
#include "huffman.h"
#include "inflate.h"
#include "window.h"

std::jmp_buf errorContext;

namespace {

// Code lengths of the current block. While a dynamic header is read,
// literalLengths takes the whole run of literal/length and distance lengths.
unsigned char literalLengths[320];
unsigned char distanceLengths[32];
int literalCount;
int distanceCount;
std::int16_t literalTable[256];
std::int16_t distanceTable[256];
std::int16_t literalTree[576];
std::int16_t distanceTree[64];
unsigned char codeLengthLengths[19];
std::int16_t codeLengthTable[256];

// The order in which a dynamic header gives the code-length code's lengths.
const unsigned char codeLengthOrder[19] = {16, 17, 18, 0, 8, 7, 9, 6, 10, 5,
                                           11, 4, 12, 3, 13, 2, 14, 1, 15};

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
    buildHuffmanTable(nullptr, codeLengthTable, codeLengthLengths, 19);

    int remaining = literalCount + distanceCount;
    int position = 0;
    while (remaining > 0) {
        int symbol = decodeSymbol(codeLengthTable, nullptr, codeLengthLengths);
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

// A literal (0..255), 256 for the end of the block, or match length + 254.
int decodeLiteralLength()
{
    int symbol = decodeSymbol(literalTable, literalTree, literalLengths);
    if (symbol <= 264)
        return symbol;
    if (symbol == 285)
        return 258 + 254;
    int base = symbol - 257;
    unsigned extra = unsigned(base >> 2) - 1;
    return 257 + ((4 + (base & 3)) << extra) + int(getBits(extra));
}

// Match distance - 1. Symbols 30 and 31 have no distance.
int decodeDistance()
{
    int symbol = decodeSymbol(distanceTable, distanceTree, distanceLengths);
    if (symbol < 4)
        return symbol;
    if (symbol >= 30)
        failDecoding();
    unsigned extra = unsigned(symbol >> 1) - 1;
    return ((2 + (symbol & 1)) << extra) + int(getBits(extra));
}

// Stored data bypasses the bit reader, so none of it may come from beyond the
// end of the archive.
unsigned nextStoredByte()
{
    unsigned byte = nextInputByte();
    if (inputOverrun != 0)
        failDecoding();
    return byte;
}

void copyStoredBlock(bool final)
{
    alignToByte();
    unsigned length = bitBuffer;
    if (inputOverrun != 0)
        failDecoding();
    unsigned lengthComplement = nextStoredByte();
    lengthComplement |= nextStoredByte() << 8;
    if (length + lengthComplement != 0xFFFF)
        failDecoding();
    for (unsigned i = 0; i < length; ++i)
        appendByte(static_cast<unsigned char>(nextStoredByte()));
    if (!final)
        primeBitBuffer();
}

void decodeCompressedBlock()
{
    buildHuffmanTable(literalTree, literalTable, literalLengths, literalCount);
    buildHuffmanTable(distanceTree, distanceTable, distanceLengths, distanceCount);
    for (;;) {
        int value = decodeLiteralLength();
        if (value < 256) {
            appendByte(static_cast<unsigned char>(value));
            continue;
        }
        if (value == 256)
            return;
        int length = value - 254;
        int distance = decodeDistance() + 1;
        if (!windowMoved && distance > windowFill - historySize)
            failDecoding();  // before the entry's first byte
        // One byte at a time, so a distance below the length repeats what the
        // copy has just written.
        int source = windowFill - distance;
        while (length-- > 0)
            if (appendByte(outputWindow[source++]))
                source -= historySize;
    }
}

}  // namespace

int inflateEntry()
{
    startWindow();
    if (setjmp(errorContext) != 0) {
        showError(" Bad Table ");
        return 0;
    }
    startInput();
    bool final;
    do {
        final = bitBuffer & 1;
        dropBits(1);
        switch (getBits(2)) {
        case 0:
            copyStoredBlock(final);
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
    return 1;
}

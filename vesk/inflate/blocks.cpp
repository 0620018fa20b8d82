// The block loop of the decoder: stored, fixed-code and dynamic-code blocks.
#include <cstring>

#include "bitReader.h"
#include "decodeFailure.h"
#include "fastLoop.h"
#include "huffman.h"
#include "inflate.h"
#include "window.h"

namespace {

// What each symbol of the three codes means in a stream of `format`, with
// its extra bits.
struct SymbolEntries {
    std::uint32_t literal[288];
    std::uint32_t distance[32];
    std::uint32_t codeLength[19];

    constexpr SymbolEntries(DeflateFormat format) : literal(), distance(), codeLength()
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
        // so, so that what it extracted once it extracts again. Deflate64
        // has no such past: there they are damaged data.
        for (unsigned symbol = 265; symbol < 288; ++symbol) {
            unsigned group = symbol - 257;
            unsigned extra = (group >> 2) - 1;
            literal[symbol] = makeEntry(matchKind, 3 + ((4 + (group & 3)) << extra), extra);
        }
        for (unsigned symbol = 0; symbol < 4; ++symbol)
            distance[symbol] = makeEntry(matchKind, symbol + 1, 0);
        for (unsigned symbol = 4; symbol < 32; ++symbol) {
            unsigned extra = (symbol >> 1) - 1;
            distance[symbol] = makeEntry(matchKind, ((2 + (symbol & 1)) << extra) + 1, extra);
        }
        if (format == deflate64Format) {
            literal[285] = makeEntry(matchKind, 3, 16);
            literal[286] = literal[287] = makeEntry(noCodeKind, 0, 0);
        } else {
            literal[285] = makeEntry(matchKind, 258, 0);
            // Symbols 30 and 31 have no distance.
            distance[30] = distance[31] = makeEntry(noCodeKind, 0, 0);
        }
        for (unsigned symbol = 0; symbol < 19; ++symbol)
            codeLength[symbol] = makeEntry(literalKind, symbol, 0);
    }
};

constexpr SymbolEntries symbolEntries[] = {SymbolEntries(deflateFormat), SymbolEntries(deflate64Format)};
constexpr std::uint32_t longestLengthSymbol = symbolEntries[deflateFormat].literal[287];
static_assert(valueOf(longestLengthSymbol) + (1u << extraBitsOf(longestLengthSymbol)) - 1 == longestMatch,
              "the fast loop's margin must hold Deflate's longest match");
constexpr std::uint32_t farthestDistanceSymbol = symbolEntries[deflate64Format].distance[31];
static_assert(valueOf(farthestDistanceSymbol) + (1u << extraBitsOf(farthestDistanceSymbol)) - 1
                  == farthestDistance,
              "the window's history must hold Deflate64's farthest distance");

// The order in which a dynamic header gives the code-length code's lengths.
const unsigned char codeLengthOrder[19] = {16, 17, 18, 0, 8, 7, 9, 6, 10, 5, 11, 4, 12, 3, 13, 2, 14, 1, 15};

void setFixedLengths(Decoder& decoder)
{
    std::memset(decoder.literalLengths, 8, 144);
    std::memset(decoder.literalLengths + 144, 9, 112);
    std::memset(decoder.literalLengths + 256, 7, 24);
    std::memset(decoder.literalLengths + 280, 8, 8);
    decoder.literalCount = 288;
    std::memset(decoder.distanceLengths, 5, 32);
    decoder.distanceCount = 32;
}

void readDynamicLengths(Decoder& decoder)
{
    decoder.literalCount = int(getBits(decoder, 5)) + 257;
    decoder.distanceCount = int(getBits(decoder, 5)) + 1;
    std::memset(decoder.codeLengthLengths, 0, sizeof decoder.codeLengthLengths);
    unsigned given = getBits(decoder, 4) + 4;
    for (unsigned i = 0; i < given; ++i)
        decoder.codeLengthLengths[codeLengthOrder[i]] = static_cast<unsigned char>(getBits(decoder, 3));
    if (!buildHuffmanTable(decoder.codeLengthTable, codeLengthRootBits, decoder.codeLengthLengths,
                           symbolEntries[decoder.format].codeLength, 19))
        failDecoding(decoder);

    unsigned char* lengths = decoder.literalLengths;
    int remaining = decoder.literalCount + decoder.distanceCount;
    int position = 0;
    while (remaining > 0) {
        fillBits(decoder);
        unsigned symbol;
        decodeSymbol(decoder, decoder.codeLengthTable, codeLengthRootBits, symbol);
        if (symbol < 16) {
            lengths[position++] = static_cast<unsigned char>(symbol);
            --remaining;
            continue;
        }
        int repeated = 0;
        int run;
        if (symbol == 16) {
            if (position == 0)  // nothing to repeat
                failDecoding(decoder);
            repeated = lengths[position - 1];
            run = int(getBits(decoder, 2)) + 3;
        } else if (symbol == 17) {
            run = int(getBits(decoder, 3)) + 3;
        } else {
            run = int(getBits(decoder, 7)) + 11;
        }
        remaining -= run;
        if (remaining < 0)
            failDecoding(decoder);
        std::memset(lengths + position, repeated, std::size_t(run));
        position += run;
    }
    // One run: a repeat may cross from literal/length into distance lengths.
    std::memcpy(decoder.distanceLengths, lengths + decoder.literalCount, std::size_t(decoder.distanceCount));
}

// Stored data starts at a byte boundary: first the whole bytes the bit
// buffer already holds, then straight from the input. None of it may come
// from beyond the end of the input.
void copyStoredBlock(Decoder& decoder)
{
    alignToByte(decoder);
    unsigned length = getBits(decoder, 16);
    unsigned lengthComplement = getBits(decoder, 16);
    if (length + lengthComplement != 0xFFFF)
        failDecoding(decoder);
    for (; length > 0 && decoder.bitCount >= 8; --length)
        appendByte(decoder, static_cast<unsigned char>(getBits(decoder, 8)));
    checkStreamEnd(decoder);
    if (length == 0)
        return;
    decoder.bitBuffer = 0;  // it held only bytes already taken
    while (length > 0) {
        const unsigned char* bytes;
        std::int32_t part = takeInputBytes(decoder, &bytes, std::int32_t(length));
        appendBytes(decoder, bytes, part);
        length -= unsigned(part);
    }
}

void decodeCompressedBlock(Decoder& decoder)
{
    if (!buildHuffmanTable(decoder.literalTable, literalRootBits, decoder.literalLengths,
                           symbolEntries[decoder.format].literal, decoder.literalCount)
        || !buildHuffmanTable(decoder.distanceTable, distanceRootBits, decoder.distanceLengths,
                              symbolEntries[decoder.format].distance, decoder.distanceCount))
        failDecoding(decoder);
    for (;;) {
        if (decodeFast(decoder))
            return;
        // Near the end of the input's stretch or of the window: one symbol at
        // a time, refilled for each code with its extra bits (up to 31).
        fillBits(decoder);
        unsigned value;
        std::uint32_t entry = decodeSymbol(decoder, decoder.literalTable, literalRootBits, value);
        if (isKind(entry, literalKind)) {
            appendByte(decoder, static_cast<unsigned char>(value));
            continue;
        }
        if (isKind(entry, endOfBlockKind))
            return;
        std::int32_t length = std::int32_t(value);
        fillBits(decoder);
        decodeSymbol(decoder, decoder.distanceTable, distanceRootBits, value);
        std::int32_t distance = std::int32_t(value);
        if (decoder.windowFill - streamStart(decoder) < distance)
            failDecoding(decoder);  // before the stream's first byte
        copyMatch(decoder, length, distance);
    }
}

}  // namespace

void startDecoder(Decoder& decoder, const DecoderInput& input, const DecoderOutput& output,
                  DeflateFormat format)
{
    decoder.format = format;
    decoder.input = input;
    decoder.stretchBegin = input.next;
    decoder.output = output;
    decoder.bitBuffer = 0;
    decoder.bitCount = 0;
    decoder.inputOverrun = 0;
    decoder.windowFill = farthestDistance;
    decoder.pieceEnd = farthestDistance + pieceSize;
    decoder.windowMoved = false;
}

DecodeResult inflateBlock(Decoder& decoder)
{
    switch (setjmp(decoder.failure)) {
    case 0:
        break;
    case outputRefused:
        return outputRefused;
    default:
        return corruptStream;
    }
    bool final = getBits(decoder, 1);
    switch (getBits(decoder, 2)) {
    case 0:
        copyStoredBlock(decoder);
        break;
    case 1:
        setFixedLengths(decoder);
        decodeCompressedBlock(decoder);
        break;
    case 2:
        readDynamicLengths(decoder);
        decodeCompressedBlock(decoder);
        break;
    default:
        failDecoding(decoder);
    }
    if (!final)
        return blockDecoded;
    checkStreamEnd(decoder);
    flushWindow(decoder, true);
    return streamDecoded;
}

DecodeResult inflateStream(Decoder& decoder, const DecoderInput& input, const DecoderOutput& output,
                           DeflateFormat format)
{
    startDecoder(decoder, input, output, format);
    DecodeResult result;
    while ((result = inflateBlock(decoder)) == blockDecoded) {
    }
    return result;
}

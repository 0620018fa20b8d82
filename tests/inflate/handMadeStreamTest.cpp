// Hand-made Deflate streams for the edges of the bit reader, the window, the
// table builder and the block loop.
#include <gtest/gtest.h>
#include <zlib.h>

#include <cstdio>
#include <string>
#include <vector>

#include "bitWriter.h"
#include "decodeHarness.h"
#include "inflate/bitReader.h"

namespace {

using Bytes = std::vector<unsigned char>;

const std::vector<std::string> badTable = {" Bad Table "};

std::uint32_t crcOf(const Bytes& data)
{
    return std::uint32_t(crc32(0, data.data(), uInt(data.size())));
}

void expectDecodes(const Decoded& decoded, const Bytes& expected)
{
    EXPECT_EQ(decoded.result, 0);
    EXPECT_TRUE(decoded.messages.empty());
    EXPECT_EQ(decoded.output, expected);
    EXPECT_EQ(decoded.crc, crcOf(expected));
}

void expectFails(const Decoded& decoded, const Bytes& flushed = {})
{
    EXPECT_EQ(decoded.result, 1);
    EXPECT_EQ(decoded.messages, badTable);
    EXPECT_EQ(decoded.output, flushed);
    EXPECT_EQ(decoded.crc, crcOf(flushed));
}

Bytes pattern(std::size_t size)
{
    Bytes data(size);
    for (std::size_t i = 0; i < size; ++i)
        data[i] = static_cast<unsigned char>((i * 7 + i / 251) & 0xFF);
    return data;
}

// Stored blocks carrying `data`, the last one final when `final`.
void storeAll(BitWriter& writer, const Bytes& data, bool final)
{
    for (std::size_t at = 0; at < data.size(); at += 65535) {
        std::size_t end = std::min(data.size(), at + 65535);
        writer.storedBlock(final && end == data.size(),
                           Bytes(data.begin() + long(at), data.begin() + long(end)));
    }
}

// A fixed-code match of `length` (3..258, or 323..450 through symbols 286
// and 287; in Deflate64 up to 65538) at `distance` (1..32768; in Deflate64
// up to 65536).
void fixedMatch(BitWriter& writer, unsigned length, unsigned distance, DeflateFormat format = deflateFormat)
{
    // Symbols 257..287: 286 and 287 take six extra bits, like 281..284.
    static const unsigned lengthBase[] = {3,  4,   5,   6,   7,   8,   9,   10,  11, 13, 15,
                                          17, 19,  23,  27,  31,  35,  43,  51,  59, 67, 83,
                                          99, 115, 131, 163, 195, 227, 258, 323, 387};
    static const unsigned distanceBase[] = {
        1,   2,   3,   4,   5,    7,    9,    13,   17,   25,   33,   49,    65,    97,    129,   193,
        257, 385, 513, 769, 1025, 1537, 2049, 3073, 4097, 6145, 8193, 12289, 16385, 24577, 32769, 49153};
    if (format == deflate64Format && length > 257) {
        writer.fixedLiteral(285);  // 3 + sixteen extra bits
        writer.bits(length - 3, 16);
    } else {
        unsigned symbol = 30;
        while (lengthBase[symbol] > length)
            --symbol;
        writer.fixedLiteral(257 + symbol);
        unsigned extra = symbol < 8 || symbol == 28 ? 0 : (symbol - 4) / 4;
        writer.bits(length - lengthBase[symbol], extra);
    }
    unsigned distanceSymbol = 31;
    while (distanceBase[distanceSymbol] > distance)
        --distanceSymbol;
    writer.fixedDistance(distanceSymbol);
    writer.bits(distance - distanceBase[distanceSymbol], distanceSymbol < 4 ? 0 : distanceSymbol / 2 - 1);
}

// What a match appends, byte by byte.
void referenceMatch(Bytes& output, unsigned length, unsigned distance)
{
    for (unsigned i = 0; i < length; ++i)
        output.push_back(output[output.size() - distance]);
}

// A dynamic header whose code-length code gives 0..15 five bits, 16 two and
// 17 and 18 three, followed by the given code-length symbols and extras.
struct LengthItem {
    unsigned symbol;
    unsigned extra = 0;
};

void dynamicHeader(BitWriter& writer, bool final, unsigned literalCount, unsigned distanceCount,
                   const std::vector<LengthItem>& items)
{
    static const unsigned order[19] = {16, 17, 18, 0, 8, 7, 9, 6, 10, 5, 11, 4, 12, 3, 13, 2, 14, 1, 15};
    std::vector<unsigned> lengths(19, 5);
    lengths[16] = 2;
    lengths[17] = lengths[18] = 3;
    std::vector<unsigned> codes = canonicalCodes(lengths);
    writer.blockHeader(final, 2);
    writer.bits(literalCount - 257, 5);
    writer.bits(distanceCount - 1, 5);
    writer.bits(19 - 4, 4);
    for (unsigned symbol : order)
        writer.bits(lengths[symbol], 3);
    for (const LengthItem& item : items) {
        writer.code(codes[item.symbol], lengths[item.symbol]);
        static const unsigned extraBits[19] = {0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 2, 3, 7};
        writer.bits(item.extra, extraBits[item.symbol]);
    }
}

std::vector<LengthItem> plainItems(const std::vector<unsigned>& lengths)
{
    std::vector<LengthItem> items;
    for (unsigned length : lengths)
        items.push_back({length});
    return items;
}

// A complete literal/length code over 288 symbols (literals 9 bits, the rest
// 6 bits) and the given distance lengths.
struct DynamicCode {
    std::vector<unsigned> literalLengths, distanceLengths, literalCodes, distanceCodes;
    void literal(BitWriter& writer, unsigned symbol) const
    {
        writer.code(literalCodes[symbol], literalLengths[symbol]);
    }
    void distance(BitWriter& writer, unsigned symbol) const
    {
        writer.code(distanceCodes[symbol], distanceLengths[symbol]);
    }
};

DynamicCode wideCode(const std::vector<unsigned>& distanceLengths)
{
    DynamicCode code;
    code.literalLengths.assign(288, 6);
    std::fill(code.literalLengths.begin(), code.literalLengths.begin() + 256, 9);
    code.distanceLengths = distanceLengths;
    code.literalCodes = canonicalCodes(code.literalLengths);
    code.distanceCodes = canonicalCodes(distanceLengths);
    return code;
}

void writeDynamicHeader(BitWriter& writer, bool final, const DynamicCode& code)
{
    std::vector<unsigned> all = code.literalLengths;
    all.insert(all.end(), code.distanceLengths.begin(), code.distanceLengths.end());
    dynamicHeader(writer, final, unsigned(code.literalLengths.size()), unsigned(code.distanceLengths.size()),
                  plainItems(all));
}

TEST(BitReader, TakesBitsLeastSignificantFirst)
{
    static Decoder decoder;
    static MemoryStream stream;
    // Short and long inputs in pieces of one byte and whole: the
    // byte-at-a-time and the eight-byte refill.
    for (std::size_t padding : {0u, 20u})
        for (std::size_t piece : {1u, 4093u}) {
            stream.bytes = {0xB5, 0x01, 0xFF, 0x5A, 0x3C, 0xC3};
            stream.bytes.resize(stream.bytes.size() + padding, 0xEE);
            stream.piece = piece;
            startDecoder(decoder, inputOf(stream), outputOf(stream));
            EXPECT_EQ(getBits(decoder, 3), 5u);
            EXPECT_EQ(getBits(decoder, 6), 54u);  // five high bits of 0xB5, low bit of 0x01
            EXPECT_EQ(getBits(decoder, 7), 0u);   // the rest of 0x01
            alignToByte(decoder);                 // at a boundary nothing is skipped
            EXPECT_EQ(getBits(decoder, 13), 0xFFu + 256u * (0x5A & 0x1F));
            alignToByte(decoder);  // the 3 bits left of 0x5A are skipped
            EXPECT_EQ(getBits(decoder, 16), 0xC33Cu);
        }
}

TEST(Blocks, EmptyFixedBlockGivesEmptyOutput)
{
    expectDecodes(decode({0x03, 0x00}), {});
}

TEST(Blocks, StoredBlocks)
{
    BitWriter writer;
    writer.storedBlock(false, {});
    writer.storedBlock(false, {'a', 'b'});
    writer.blockHeader(true, 1);  // the fixed block starts right behind the data
    writer.fixedLiteral('c');
    writer.fixedLiteral(256);
    expectDecodes(decode(writer.bytes), {'a', 'b', 'c'});
}

TEST(Blocks, StoredHeaderEndingOnByteBoundaryKeepsLength)
{
    BitWriter writer;
    writer.blockHeader(false, 1);
    for (int i = 0; i < 3; ++i)
        writer.fixedLiteral(200);  // nine bits each: the next header ends on a boundary
    writer.fixedLiteral(256);
    writer.blockHeader(true, 0);
    ASSERT_TRUE(writer.atByteBoundary());
    writer.bits(1, 16);
    writer.bits(0xFFFE, 16);
    writer.byte('z');
    expectDecodes(decode(writer.bytes), {200, 200, 200, 'z'});
}

TEST(Blocks, DamagedBlocksFail)
{
    expectFails(decode({0x01, 0x05, 0x00, 0xFA, 0xFE, 'a'}));  // NLEN is not ~LEN
    expectFails(decode({0x07, 0x00}));                         // block type 3
}

TEST(Lengths, LongMatchesAndSymbols284To287)
{
    BitWriter writer;
    writer.blockHeader(true, 1);
    writer.fixedLiteral('x');
    writer.fixedLiteral(285);  // 258, no extra bits
    writer.fixedDistance(0);
    writer.fixedLiteral(284);  // 227 + 31 = 258
    writer.bits(31, 5);
    writer.fixedDistance(0);
    writer.fixedLiteral(286);  // 323 + 63
    writer.bits(63, 6);
    writer.fixedDistance(0);
    writer.fixedLiteral(287);  // 387
    writer.bits(0, 6);
    writer.fixedDistance(0);
    writer.fixedLiteral(256);
    expectDecodes(decode(writer.bytes), Bytes(1 + 258 + 258 + 386 + 387, 'x'));
}

TEST(Distances, FarthestMatchAndMatchAcrossFlush)
{
    // 32768 bytes, a match reaching back to the first of them, then history
    // up to 100 bytes before the window fills and a match that crosses the
    // flush.
    Bytes expected = pattern(pieceSize - 100);
    BitWriter writer;
    storeAll(writer, Bytes(expected.begin(), expected.begin() + 32768), false);
    storeAll(writer, Bytes(expected.begin() + 32768, expected.end()), false);
    writer.blockHeader(true, 1);
    fixedMatch(writer, 258, 32768);
    referenceMatch(expected, 258, 32768);
    fixedMatch(writer, 3, 1);
    referenceMatch(expected, 3, 1);
    writer.fixedLiteral(256);
    expectDecodes(decode(writer.bytes), expected);
}

TEST(Distances, LongestDistanceCodesWithAllTheirExtraBits)
{
    // Distance symbols 28 and 29 with 15-bit codes and 13 extra bits: 28
    // bits, more than a 32-bit bit buffer is sure to hold after a refill.
    // The literals between the matches move where in the buffer each starts.
    std::vector<unsigned> distances(30, 0);
    for (unsigned symbol = 14; symbol < 28; ++symbol)
        distances[symbol] = symbol - 13;
    distances[28] = distances[29] = 15;
    DynamicCode code = wideCode(distances);
    BitWriter writer;
    writeDynamicHeader(writer, true, code);
    Bytes expected = pattern(33000);
    for (unsigned char c : expected)
        code.literal(writer, c);
    for (unsigned k = 0; k < 48; ++k) {
        for (unsigned i = 0; i < k % 8; ++i) {
            code.literal(writer, 'a' + i);
            expected.push_back(static_cast<unsigned char>('a' + i));
        }
        unsigned symbol = 28 + k % 2;
        unsigned extra = (k * 2731) % 8192;
        code.literal(writer, 258);  // length 4
        code.distance(writer, symbol);
        writer.bits(extra, 13);
        referenceMatch(expected, 4, (symbol == 28 ? 16385 : 24577) + extra);
    }
    code.literal(writer, 256);
    for (std::size_t trailing : {0u, 64u})
        expectDecodes(decode(writer.bytes, trailing), expected);
}

TEST(Distances, ShortAndLongMatchesAroundTheWindowsEnd)
{
    // Matches land from well before the end of the window to across it, with
    // distances below, at and above the copy's eight- and sixteen-byte steps. The first is
    // the longest of the regular codes (258) or of a fixed block's symbol 287
    // (450). Both loops meet them: the fast one when input follows the stream.
    // The end of the first piece, and of the window, where the history moves.
    for (std::int32_t end : {pieceSize, windowSize - farthestDistance})
        for (unsigned distance : {1u, 2u, 3u, 7u, 8u, 9u, 15u, 16u, 17u, 23u, 300u}) {
            for (unsigned room : {600u, 480u, 479u, 478u, 473u, 472u, 400u, 281u, 280u, 279u, 267u, 266u,
                                  265u, 262u, 258u, 100u, 22u, 21u, 1u}) {
                for (unsigned first : {258u, 450u}) {
                    Bytes expected = pattern(std::size_t(end) - room);
                    BitWriter writer;
                    storeAll(writer, expected, false);
                    writer.blockHeader(true, 1);
                    for (unsigned length : {first, 3u, 17u, 24u, 25u}) {
                        fixedMatch(writer, length, distance);
                        referenceMatch(expected, length, distance);
                    }
                    writer.fixedLiteral(256);
                    for (std::size_t trailing : {0u, 64u}) {
                        SCOPED_TRACE("distance " + std::to_string(distance) + ", room " + std::to_string(room)
                                     + ", first " + std::to_string(first) + ", trailing "
                                     + std::to_string(trailing));
                        expectDecodes(decode(writer.bytes, trailing), expected);
                    }
                }
            }
        }
}

TEST(Distances, WindowMovingJustBeforeTheEndOfAnInputBlock)
{
    // Matches of 31 bits (length 257, distance 32768) write 257 bytes each, so
    // the window fills again while the first input block still has bytes
    // left; depending on the amount stored first, it moves with 0 to 140
    // bytes left. The decode must go on with exactly those bytes and then
    // the next block, whatever the bit buffer held when the window moved.
    for (std::size_t stored = 64440; stored < 64580; ++stored) {
        Bytes expected = pattern(stored);
        BitWriter writer;
        storeAll(writer, expected, false);
        writer.blockHeader(true, 1);
        for (int i = 0; i < 330; ++i) {
            fixedMatch(writer, 257, 32768);
            referenceMatch(expected, 257, 32768);
        }
        writer.fixedLiteral(256);
        SCOPED_TRACE("stored " + std::to_string(stored));
        expectDecodes(decode(writer.bytes), expected);
    }
}

TEST(Distances, SymbolsThirtyAndThirtyOneFail)
{
    // Behind a full window, so that only the symbol itself is wrong.
    Bytes history = pattern(pieceSize + 10);
    for (unsigned symbol : {30u, 31u}) {
        BitWriter writer;
        storeAll(writer, history, false);
        writer.blockHeader(true, 1);
        writer.fixedLiteral(257);
        writer.fixedDistance(symbol);
        writer.bits(0, 14);
        writer.fixedLiteral(256);
        for (std::size_t trailing : {0u, 64u})
            expectFails(decode(writer.bytes, trailing), Bytes(history.begin(), history.begin() + pieceSize));
    }
}

// Deflate64: 64 KiB back, distance codes 30 and 31, length code 285 with
// sixteen extra bits, from the shortest to the longest at both ends of each
// code's extra bits; long matches near the window's end and across its move,
// which both loops meet.
TEST(Deflate64, FarDistancesAndLongLengths)
{
    struct Match {
        unsigned length, distance;
    };
    const Match matches[] = {{3, 32769},     {258, 49152}, {259, 49153}, {65538, 65536}, {65538, 1},
                             {60000, 61440}, {4, 65536},   {300, 3},     {1000, 40000}};
    Bytes expected = pattern(65536);
    BitWriter writer;
    storeAll(writer, expected, false);
    writer.blockHeader(true, 1);
    for (int round = 0; round < 4; ++round)
        for (const Match& match : matches) {
            fixedMatch(writer, match.length, match.distance, deflate64Format);
            referenceMatch(expected, match.length, match.distance);
        }
    writer.fixedLiteral(256);
    for (std::size_t trailing : {0u, 64u})
        expectDecodes(decode(writer.bytes, trailing, deflate64Format), expected);
    // The first match reaches a byte before a stream of 32768 bytes.
    for (std::size_t cut : {32768u, 32769u}) {
        BitWriter shorter;
        storeAll(shorter, Bytes(expected.begin(), expected.begin() + long(cut)), false);
        shorter.blockHeader(true, 1);
        fixedMatch(shorter, 3, 32769, deflate64Format);
        shorter.fixedLiteral(256);
        EXPECT_EQ(decode(shorter.bytes, 64, deflate64Format).result, cut == 32768u ? 1 : 0);
    }
}

TEST(Deflate64, SymbolsTwoEightySixAndSevenFailAndEveryCutFails)
{
    for (unsigned symbol : {286u, 287u}) {
        BitWriter writer;
        writer.blockHeader(true, 1);
        writer.fixedLiteral('a');
        writer.fixedLiteral(symbol);
        writer.bits(0, 6);
        writer.fixedDistance(0);
        writer.fixedLiteral(256);
        for (std::size_t trailing : {0u, 64u})
            expectFails(decode(writer.bytes, trailing, deflate64Format));
    }
    // Every cut of a stream made of Deflate64's own codes.
    Bytes expected = pattern(49153);
    BitWriter writer;
    storeAll(writer, expected, false);
    std::size_t compressedStart = writer.bytes.size();
    writer.blockHeader(true, 1);
    for (unsigned distance : {49153u, 32769u, 65535u, 1u}) {
        fixedMatch(writer, 40000, distance, deflate64Format);
        referenceMatch(expected, 40000, distance);
    }
    writer.fixedLiteral(256);
    expectDecodes(decode(writer.bytes, 0, deflate64Format), expected);
    for (std::size_t cut = compressedStart; cut < writer.bytes.size(); ++cut)
        EXPECT_EQ(
            decode(Bytes(writer.bytes.begin(), writer.bytes.begin() + long(cut)), 0, deflate64Format).result,
            1)
            << "cut at " << cut;
}

TEST(Distances, ReachingBeforeTheEntryFails)
{
    // Earlier output stays in the window's history; it must not leak into
    // the next entry.
    Bytes earlier = pattern(40000);
    BitWriter first;
    storeAll(first, earlier, true);
    expectDecodes(decode(first.bytes), earlier);

    BitWriter writer;
    writer.blockHeader(true, 1);
    writer.fixedLiteral('a');
    fixedMatch(writer, 3, 2);
    writer.fixedLiteral(256);
    expectFails(decode(writer.bytes));
    expectFails(decode(writer.bytes, 64));

    // One byte short of the entry's first byte, after a stretch long enough
    // for the fast loop; and exactly reaching it.
    for (unsigned distance : {401u, 400u}) {
        BitWriter far;
        far.blockHeader(true, 1);
        for (int i = 0; i < 400; ++i)
            far.fixedLiteral('a' + i % 26);
        fixedMatch(far, 10, distance);
        far.fixedLiteral(256);
        for (std::size_t trailing : {0u, 64u}) {
            Decoded decoded = decode(far.bytes, trailing);
            EXPECT_EQ(decoded.result, distance == 400u ? 0 : 1) << "trailing " << trailing;
        }
    }
}

TEST(Window, OutputIsHandedOnInPieces)
{
    Bytes exact = pattern(pieceSize);
    BitWriter whole;
    storeAll(whole, exact, true);
    expectDecodes(decode(whole.bytes), exact);

    // A failure keeps exactly what was flushed before it.
    Bytes data = pattern(pieceSize + 4464);
    BitWriter writer;
    storeAll(writer, data, false);
    writer.blockHeader(true, 3);
    expectFails(decode(writer.bytes), Bytes(data.begin(), data.begin() + pieceSize));

    // The next entry starts clean: its own bytes, its own CRC.
    BitWriter next;
    next.blockHeader(true, 1);
    next.fixedLiteral('n');
    fixedMatch(next, 10, 1);
    next.fixedLiteral(256);
    expectDecodes(decode(next.bytes), Bytes(11, 'n'));
}

TEST(DynamicCodes, WidestHeaderAndOneCodeDistances)
{
    for (unsigned distanceLength : {1u, 7u}) {
        std::vector<unsigned> distances(32, 0);
        distances[3] = distanceLength;  // one code: distance 4
        DynamicCode code = wideCode(distances);
        BitWriter writer;
        writeDynamicHeader(writer, true, code);
        for (unsigned char c : {'w', 'x', 'y', 'z'})
            code.literal(writer, c);
        code.literal(writer, 258);  // length 4
        code.distance(writer, 3);
        code.literal(writer, 287);  // 387..450
        writer.bits(5, 6);
        code.distance(writer, 3);
        code.literal(writer, 256);
        Bytes expected = {'w', 'x', 'y', 'z'};
        referenceMatch(expected, 4, 4);
        referenceMatch(expected, 392, 4);
        expectDecodes(decode(writer.bytes), expected);
    }
}

TEST(DynamicCodes, EmptyDistanceCodeServesLiteralsOnly)
{
    DynamicCode code = wideCode(std::vector<unsigned>(32, 0));
    BitWriter writer;
    writeDynamicHeader(writer, true, code);
    code.literal(writer, 'q');
    code.literal(writer, 256);
    expectDecodes(decode(writer.bytes), {'q'});

    // A match needs a distance the code does not have.
    BitWriter matching;
    writeDynamicHeader(matching, true, code);
    code.literal(matching, 'q');
    code.literal(matching, 257);
    matching.bits(0, 16);
    expectFails(decode(matching.bytes));
}

TEST(DynamicCodes, IncompleteAndOversubscribedCodesFail)
{
    std::vector<unsigned> twoDistances(32, 0);
    twoDistances[0] = twoDistances[1] = 2;  // half the code space unused
    BitWriter incomplete;
    writeDynamicHeader(incomplete, true, wideCode(twoDistances));
    incomplete.bits(0, 32);
    expectFails(decode(incomplete.bytes));

    DynamicCode over = wideCode(std::vector<unsigned>(32, 5));
    over.literalLengths[0] = 8;  // one literal a bit shorter: too many codes
    BitWriter oversubscribed;
    writeDynamicHeader(oversubscribed, true, over);
    oversubscribed.bits(0, 32);
    expectFails(decode(oversubscribed.bytes));
}

TEST(DynamicCodes, UncoveredPatternFails)
{
    // Literal/length code of one symbol: end of block is bit 0, and bit 1
    // belongs to no code.
    std::vector<unsigned> lengths(257 + 1, 0);
    lengths[256] = 1;
    for (unsigned bit : {0u, 1u}) {
        BitWriter writer;
        dynamicHeader(writer, true, 257, 1, plainItems(lengths));
        writer.bits(bit, 1);
        writer.bits(0, 16);
        for (std::size_t trailing : {0u, 64u}) {
            Decoded decoded = decode(writer.bytes, trailing);
            if (bit == 0)
                expectDecodes(decoded, {});
            else
                expectFails(decoded);
        }
    }
}

TEST(DynamicCodes, RepeatCodes)
{
    // 257 literal/length lengths and one distance length; literal 'a' and
    // end of block have length 1, everything else 0.
    auto header = [](BitWriter& writer, std::vector<LengthItem> items) {
        dynamicHeader(writer, true, 257, 1, items);
        writer.bits(0, 1);  // 'a' (the lower symbol gets code 0)
        writer.bits(1, 1);  // end of block
        writer.bits(0, 16);
    };
    // 97 zeros, 'a', 158 zeros, end of block, one distance length of 0:
    // the last 18 ends exactly at the last length.
    std::vector<LengthItem> exact = {{18, 97 - 11}, {1}, {18, 138 - 11}, {18, 20 - 11}, {1}, {0}};
    BitWriter fits;
    header(fits, exact);
    expectDecodes(decode(fits.bytes), {'a'});

    std::vector<LengthItem> past = {{18, 97 - 11}, {1}, {18, 138 - 11}, {18, 20 - 11}, {1}, {17, 0}};
    BitWriter tooFar;
    header(tooFar, past);
    expectFails(decode(tooFar.bytes));

    // 16 repeats the previous length; as the first symbol there is none.
    std::vector<LengthItem> leading = {{16, 0}, {18, 94 - 11}, {1}, {18, 138 - 11}, {18, 20 - 11}, {1}, {0}};
    BitWriter first;
    header(first, leading);
    expectFails(decode(first.bytes));
}

TEST(EndOfInput, StreamEndingAtTheEndOfTheFileDecodes)
{
    // The last code ends inside the last byte, or exactly at its end.
    BitWriter partial;
    partial.blockHeader(true, 1);
    partial.fixedLiteral('e');
    partial.fixedLiteral(256);
    expectDecodes(decode(partial.bytes), {'e'});

    BitWriter whole;
    whole.blockHeader(true, 1);
    for (int i = 0; i < 6; ++i)
        whole.fixedLiteral(250);
    whole.fixedLiteral(256);
    ASSERT_TRUE(whole.atByteBoundary());
    expectDecodes(decode(whole.bytes), Bytes(6, 250));
}

TEST(EndOfInput, TruncatedStreamsFailAndNeverLoop)
{
    // Every proper prefix of a real stream needs bits the file lacks. The
    // fixed end-of-block code is seven zero bits, so a cut just before it
    // must fail too, not decode from zeros read past the end.
    Bytes data = pattern(3000);
    data.insert(data.end(), 500, 'r');
    Bytes stream(compressBound(uLong(data.size())) + 64);
    z_stream z{};
    ASSERT_EQ(deflateInit2(&z, 9, Z_DEFLATED, -15, 9, Z_FIXED), Z_OK);
    z.next_in = data.data();
    z.avail_in = uInt(data.size());
    z.next_out = stream.data();
    z.avail_out = uInt(stream.size());
    ASSERT_EQ(deflate(&z, Z_FINISH), Z_STREAM_END);
    stream.resize(z.total_out);
    deflateEnd(&z);

    expectDecodes(decode(stream), data);
    for (std::size_t cut = 0; cut < stream.size(); ++cut) {
        Decoded decoded = decode(Bytes(stream.begin(), stream.begin() + long(cut)));
        EXPECT_EQ(decoded.result, 1) << "cut at " << cut;
        EXPECT_EQ(decoded.messages, badTable);
    }

    BitWriter stored;
    storeAll(stored, pattern(100), true);
    stored.bytes.pop_back();
    expectFails(decode(stored.bytes));
}

}  // namespace

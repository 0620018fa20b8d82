#include "huffman.h"

#include <cstring>

namespace {

std::uint16_t lengthCounts[16];
std::uint32_t nextCode[16];
std::uint16_t symbolCodes[320];

// The code's bits in reverse, so that its first stream bit is bit 0: all
// sixteen bits swapped in halves, quarters, nibbles and pairs, then moved
// down to the code's length.
unsigned reverseBits(unsigned code, unsigned length)
{
    code = (code >> 8 & 0x00FF) | (code & 0x00FF) << 8;
    code = (code >> 4 & 0x0F0F) | (code & 0x0F0F) << 4;
    code = (code >> 2 & 0x3333) | (code & 0x3333) << 2;
    code = (code >> 1 & 0x5555) | (code & 0x5555) << 1;
    return code >> (16 - length);
}

void fill(std::uint32_t* entries, unsigned first, unsigned step, unsigned end, std::uint32_t entry)
{
    for (unsigned index = first; index < end; index += step)
        entries[index] = entry;
}

}  // namespace

// Builds the decoding table of a set of code lengths; symbolEntries says what
// each symbol means. Only complete codes, or a single code or none, are
// accepted: any other set is damaged data.
void buildHuffmanTable(std::uint32_t* table, unsigned rootBits, const unsigned char* lengths,
                       const std::uint32_t* symbolEntries, int count)
{
    std::memset(lengthCounts, 0, sizeof lengthCounts);
    for (int i = 0; i < count; ++i)
        ++lengthCounts[lengths[i]];

    // The first code of each length; one step further, the sum over all codes
    // of 2^(16 - length), which is 2^16 exactly for a complete code.
    std::uint32_t codeSum = 0;
    unsigned longest = 0;
    for (unsigned length = 1; length <= 15; ++length) {
        nextCode[length] = codeSum;
        codeSum = (codeSum + lengthCounts[length]) << 1;
        if (lengthCounts[length] != 0)
            longest = length;
    }
    // A complete code covers every bit pattern; only a single code or none
    // leaves patterns that must be marked as covered by no code.
    bool complete = codeSum == 65536;
    if (!complete && count - lengthCounts[0] > 1)
        failDecoding();

    for (int i = 0; i < count; ++i)
        symbolCodes[i] =
            lengths[i] ? std::uint16_t(reverseBits(nextCode[lengths[i]]++, lengths[i])) : 0;

    const unsigned rootSize = 1u << rootBits;
    const std::uint32_t noCode = makeEntry(noCodeKind, 0, 0);
    if (!complete)
        fill(table, 0, 1, rootSize, noCode);
    else if (longest > rootBits) {
        // The root entries that will link to subtables must not hold links
        // left from an earlier table.
        for (int symbol = 0; symbol < count; ++symbol)
            if (lengths[symbol] > rootBits)
                table[symbolCodes[symbol] & (rootSize - 1)] = noCode;
    }
    const unsigned subtableBits = longest > rootBits ? longest - rootBits : 0;
    unsigned nextSubtable = rootSize;
    for (int symbol = 0; symbol < count; ++symbol) {
        unsigned length = lengths[symbol];
        unsigned code = symbolCodes[symbol];
        if (length == 0)
            continue;
        if (length <= rootBits) {
            fill(table, code, 1u << length, rootSize, symbolEntries[symbol] + length);
            continue;
        }
        std::uint32_t& root = table[code & (rootSize - 1)];
        if (!isKind(root, linkKind)) {
            root = makeEntry(linkKind, nextSubtable, subtableBits);
            if (!complete)
                fill(table, nextSubtable, 1, nextSubtable + (1u << subtableBits), noCode);
            nextSubtable += 1u << subtableBits;
        }
        fill(table + valueOf(root), code >> rootBits, 1u << (length - rootBits),
             1u << subtableBits, symbolEntries[symbol] + length);
    }
}

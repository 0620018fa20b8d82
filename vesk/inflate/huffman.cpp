#include "huffman.h"

#include <cstring>

namespace {

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

bool buildHuffmanTable(std::uint32_t* table, unsigned rootBits, const unsigned char* lengths,
                       const std::uint32_t* symbolEntries, int count)
{
    std::uint16_t lengthCounts[16] = {};
    std::uint32_t nextCode[16];
    // Symbols in the order of their canonical codes: by length, then by symbol.
    std::uint16_t sortedSymbols[320];
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
        return false;

    unsigned sortedEnd[16];
    sortedEnd[1] = 0;
    for (unsigned length = 1; length < 15; ++length)
        sortedEnd[length + 1] = sortedEnd[length] + lengthCounts[length];
    for (int symbol = 0; symbol < count; ++symbol)
        if (lengths[symbol] != 0)
            sortedSymbols[sortedEnd[lengths[symbol]]++] = std::uint16_t(symbol);

    // Codes up to rootBits: the table grows from one entry by doubling, and
    // each length's codes are written once, at their bit-reversed index, when
    // the table is that many bits wide; the doublings after it copy each code
    // to every index that starts with its bits. Patterns that no code covers
    // keep the no-code entry the table started with, and so do the root
    // entries of longer codes until they are linked below.
    const std::uint32_t noCode = makeEntry(noCodeKind, 0, 0);
    table[0] = noCode;
    int position = 0;
    for (unsigned length = 1; length <= rootBits; ++length) {
        std::memcpy(table + (1u << (length - 1)), table, sizeof *table << (length - 1));
        for (int end = position + lengthCounts[length]; position < end; ++position) {
            unsigned symbol = sortedSymbols[position];
            table[reverseBits(nextCode[length]++, length)] = symbolEntries[symbol] + (length << 8 | length);
        }
    }

    // Longer codes continue in subtables, one per root entry they share.
    const unsigned rootSize = 1u << rootBits;
    const unsigned subtableBits = longest > rootBits ? longest - rootBits : 0;
    unsigned nextSubtable = rootSize;
    for (int end = count - lengthCounts[0]; position < end; ++position) {
        unsigned symbol = sortedSymbols[position];
        unsigned length = lengths[symbol];
        unsigned code = reverseBits(nextCode[length]++, length);
        std::uint32_t& root = table[code & (rootSize - 1)];
        if (!isKind(root, linkKind)) {
            root = makeLink(nextSubtable, subtableBits);
            if (!complete)
                fill(table, nextSubtable, 1, nextSubtable + (1u << subtableBits), noCode);
            nextSubtable += 1u << subtableBits;
        }
        fill(table + valueOf(root), code >> rootBits, 1u << (length - rootBits), 1u << subtableBits,
             symbolEntries[symbol] + (length << 8 | length));
    }
    return true;
}

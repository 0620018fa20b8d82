#include "huffman.h"

#include <cstring>

#include "bitReader.h"
#include "decodeFailure.h"

namespace {

std::uint16_t lengthCounts[16];
std::uint32_t nextCode[16];
std::uint16_t symbolCodes[320];
std::int16_t treeNodeCount;

// The code's L bits in reverse, so that its first stream bit is bit 0.
unsigned reverseBits(unsigned code, unsigned length)
{
    unsigned reversed = 0;
    for (unsigned i = 0; i < length; ++i)
        reversed |= ((code >> i) & 1) << (length - 1 - i);
    return reversed;
}

// Follows a code longer than 8 bits from its first-level link, one pair per
// further bit.
int walkTree(int entry, const std::int16_t* tree)
{
    dropBits(8);
    unsigned path = bitBuffer & 0xFF;
    unsigned steps = 0;
    do {
        entry = tree[~entry + (path & 1)];
        path >>= 1;
        ++steps;
    } while (entry < 0);
    if (entry == noCode)
        failDecoding();
    dropBits(steps);
    return entry;
}

}  // namespace

// Builds the decoding table (and tree, for codes longer than 8 bits) of a
// set of code lengths. Only complete codes, or a single code or none, are
// accepted: any other set is damaged data.
void buildHuffmanTable(std::int16_t* tree, std::int16_t* table, const unsigned char* lengths,
                       int count)
{
    if (count == 0)
        return;
    std::memset(lengthCounts, 0, sizeof lengthCounts);
    std::memset(nextCode, 0, sizeof nextCode);
    for (int i = 0; i < count; ++i)
        ++lengthCounts[lengths[i]];

    // The first code of each length; one step further, the sum over all codes
    // of 2^(16 - length), which is 2^16 exactly for a complete code.
    std::uint32_t codeSum = 0;
    for (unsigned length = 1; length <= 15; ++length) {
        codeSum = (codeSum + lengthCounts[length]) << 1;
        if (length < 15)
            nextCode[length + 1] = codeSum;
    }
    if (codeSum != 65536 && count - lengthCounts[0] > 1)
        failDecoding();

    for (int i = 0; i < count; ++i)
        symbolCodes[i] = lengths[i] ? std::uint16_t(reverseBits(nextCode[lengths[i]]++, lengths[i]))
                                    : 0;

    for (int i = 0; i < 256; ++i)
        table[i] = noCode;
    treeNodeCount = 0;
    for (int symbol = count - 1; symbol >= 0; --symbol) {
        unsigned length = lengths[symbol];
        unsigned code = symbolCodes[symbol];
        if (length == 0)
            continue;
        if (length <= 8) {
            for (unsigned index = code; index < 256; index += 1u << length)
                table[index] = std::int16_t(symbol);
            continue;
        }
        std::int16_t* entry = &table[code & 0xFF];
        for (unsigned bit = 8; bit < length; ++bit) {
            if (*entry == noCode) {
                *entry = std::int16_t(~treeNodeCount);
                tree[treeNodeCount] = noCode;
                tree[treeNodeCount + 1] = noCode;
                treeNodeCount = std::int16_t(treeNodeCount + 2);
            }
            entry = &tree[~*entry + ((code >> bit) & 1)];
        }
        *entry = std::int16_t(symbol);
    }
}

// Decodes one symbol: codes of up to 8 bits by one look-up of the low byte of
// bitBuffer, longer ones through the tree.
int decodeSymbol(const std::int16_t* table, const std::int16_t* tree,
                 const unsigned char* lengths)
{
    int entry = table[bitBuffer & 0xFF];
    if (entry < 0)
        return walkTree(entry, tree);
    if (entry == noCode)
        failDecoding();
    dropBits(lengths[entry]);
    return entry;
}

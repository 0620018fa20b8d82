// Canonical Huffman codes: the table builder and the symbol decoder.
//
// A table is indexed by the next rootBits stream bits. Codes longer than
// rootBits continue in a subtable that the root entry links to. Each entry
// says how many bits its code takes and what the symbol means:
//   bits 0..7   bits to consume (for a link: 0)
//   bits 8..11  extra bits that follow the code (for a link: subtable bits)
//   bits 12..15 kind
//   bits 16..31 value: literal byte, match length or distance, subtable start
#ifndef VESK_INFLATE_HUFFMAN_H
#define VESK_INFLATE_HUFFMAN_H

#include <cstdint>

#include "bitReader.h"
#include "decodeFailure.h"

enum EntryKind : std::uint32_t { literalKind, matchKind, endOfBlockKind, linkKind, noCodeKind };

constexpr std::uint32_t makeEntry(EntryKind kind, std::uint32_t value, std::uint32_t extraBits)
{
    return value << 16 | std::uint32_t(kind) << 12 | extraBits << 8;
}
constexpr EntryKind kindOf(std::uint32_t entry)
{
    return EntryKind((entry >> 12) & 0xF);
}
constexpr unsigned extraBitsOf(std::uint32_t entry)
{
    return (entry >> 8) & 0xF;
}
constexpr unsigned valueOf(std::uint32_t entry)
{
    return entry >> 16;
}

// Codes are at most 15 bits long; the tables hold the root and, for each code
// longer than the root, at most one subtable of 2^(15 - rootBits) entries.
constexpr unsigned literalRootBits = 10;
constexpr unsigned distanceRootBits = 8;
constexpr unsigned codeLengthRootBits = 7;
constexpr int literalTableSize = (1 << literalRootBits) + 288 * (1 << (15 - literalRootBits));
constexpr int distanceTableSize = (1 << distanceRootBits) + 32 * (1 << (15 - distanceRootBits));
constexpr int codeLengthTableSize = 1 << codeLengthRootBits;

void buildHuffmanTable(std::uint32_t* table, unsigned rootBits, const unsigned char* lengths,
                       const std::uint32_t* symbolEntries, int count);

// Decodes one symbol and consumes its code; bit patterns that no code covers
// are damaged data. Needs 15 valid bits in bitBuffer.
inline std::uint32_t decodeSymbol(const std::uint32_t* table, unsigned rootBits)
{
    std::uint32_t entry = table[bitBuffer & ((1u << rootBits) - 1)];
    if (kindOf(entry) == linkKind) {
        dropBits(rootBits);
        entry = table[valueOf(entry) + (bitBuffer & ((1u << extraBitsOf(entry)) - 1))];
    }
    if (kindOf(entry) == noCodeKind)
        failDecoding();
    dropBits(entry & 0xFF);
    return entry;
}

#endif

// Canonical Huffman codes: the table builder and the symbol decoder.
//
// A table (its size in inflate.h) is indexed by the next rootBits stream
// bits. Codes longer than rootBits continue in a subtable that the root
// entry links to. Each entry says how many bits its code takes and what
// the symbol means:
//   bits 0..7   bits the code and its extra bits take together
//   bits 8..11  bits of the code alone (for a link: subtable bits)
//   bits 12..15 kind
//   bits 16..31 value: literal byte, match length or distance, subtable start
#ifndef VESK_INFLATE_HUFFMAN_H
#define VESK_INFLATE_HUFFMAN_H

#include <cstdint>

#include "bitReader.h"
#include "decodeFailure.h"

// One bit per kind (none for a literal), so that each test is one mask.
enum EntryKind : std::uint32_t {
    literalKind = 0,
    matchKind = 1,
    endOfBlockKind = 2,
    linkKind = 4,
    noCodeKind = 8
};

// A symbol's meaning before its code is known: its code's length is added
// to bits 0..7 and 8..11 when the table is built.
constexpr std::uint32_t makeEntry(EntryKind kind, std::uint32_t value, std::uint32_t extraBits)
{
    return value << 16 | std::uint32_t(kind) << 12 | extraBits;
}
constexpr std::uint32_t makeLink(std::uint32_t subtableStart, std::uint32_t subtableBits)
{
    return subtableStart << 16 | std::uint32_t(linkKind) << 12 | subtableBits << 8;
}
constexpr bool isKind(std::uint32_t entry, EntryKind kind)
{
    return kind == literalKind ? (entry & 0xF000) == 0 : (entry & std::uint32_t(kind) << 12) != 0;
}
constexpr unsigned codeLengthOf(std::uint32_t entry)
{
    return (entry >> 8) & 0xF;
}
constexpr unsigned extraBitsOf(std::uint32_t entry)
{
    return (entry & 0xFF) - codeLengthOf(entry);
}
constexpr unsigned valueOf(std::uint32_t entry)
{
    return entry >> 16;
}

// Builds the decoding table of a set of code lengths; symbolEntries says
// what each symbol means. False for a set that is neither a complete code
// nor a single code or none: damaged data.
bool buildHuffmanTable(std::uint32_t* table, unsigned rootBits, const unsigned char* lengths,
                       const std::uint32_t* symbolEntries, int count);

// The entry of the code at the start of `bits`, which must hold 15 valid
// bits; nothing is consumed.
template <typename Word>
inline std::uint32_t lookUpSymbol(const std::uint32_t* table, unsigned rootBits, Word bits)
{
    std::uint32_t entry = table[bits & ((1u << rootBits) - 1)];
    if (isKind(entry, linkKind))
        entry = table[valueOf(entry) + ((bits >> rootBits) & ((1u << codeLengthOf(entry)) - 1))];
    return entry;
}

// Consumes the code of `entry` and the extra bits that follow it, and returns
// the symbol's value with the extra bits added. Both come off `bits` with one
// shift.
template <typename Word>
inline unsigned takeSymbol(Word& bits, unsigned& count, std::uint32_t entry)
{
    Word before = bits;
    unsigned taken = entry & 0xFF;
    takeBits(bits, count, taken);
    Word codeAndExtra = before & ((Word(1) << taken) - 1);
    return valueOf(entry) + unsigned(codeAndExtra >> codeLengthOf(entry));
}

// Decodes one symbol from the bit buffer, which must hold 15 valid bits
// plus the symbol's extra bits; returns its entry and sets `value` to its
// value with the extra bits added. Bit patterns that no code covers are
// damaged data.
inline std::uint32_t decodeSymbol(Decoder& decoder, const std::uint32_t* table, unsigned rootBits,
                                  unsigned& value)
{
    std::uint32_t entry = lookUpSymbol(table, rootBits, decoder.bitBuffer);
    if (isKind(entry, noCodeKind))
        failDecoding(decoder);
    value = takeSymbol(decoder.bitBuffer, decoder.bitCount, entry);
    return entry;
}

#endif

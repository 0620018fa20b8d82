// Canonical Huffman codes: the table builder and the symbol decoder.
//
// A first-level table has 256 entries, indexed by the next 8 stream bits.
// An entry of 0 or more is a symbol; a negative entry ~k links to the pair
// tree[k] (next bit 0) and tree[k + 1] (next bit 1) of a code longer than
// 8 bits; noCode marks bit patterns that no code covers.
#ifndef VESK_INFLATE_HUFFMAN_H
#define VESK_INFLATE_HUFFMAN_H

#include <cstdint>

constexpr std::int16_t noCode = 0x7FFF;

void buildHuffmanTable(std::int16_t* tree, std::int16_t* table, const unsigned char* lengths,
                       int count);
int decodeSymbol(const std::int16_t* table, const std::int16_t* tree,
                 const unsigned char* lengths);

#endif

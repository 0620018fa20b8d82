// Writes hand-made Deflate streams: fields least significant bit first,
// Huffman codes most significant bit first, as the format packs them.
#ifndef VESK_TESTS_BIT_WRITER_H
#define VESK_TESTS_BIT_WRITER_H

#include <cstdint>
#include <vector>

class BitWriter {
public:
    void bits(unsigned value, unsigned count)
    {
        for (unsigned i = 0; i < count; ++i)
            bit((value >> i) & 1);
    }
    void code(unsigned value, unsigned length)
    {
        for (unsigned i = length; i-- > 0;)
            bit((value >> i) & 1);
    }
    void alignToByte()
    {
        while (used != 0)
            bit(0);
    }
    void byte(unsigned char value)
    {
        alignToByte();
        bytes.push_back(value);
    }
    bool atByteBoundary() const { return used == 0; }

    // Fixed-code symbols.
    void fixedLiteral(unsigned symbol)
    {
        if (symbol < 144)
            code(0x30 + symbol, 8);
        else if (symbol < 256)
            code(0x190 + symbol - 144, 9);
        else if (symbol < 280)
            code(symbol - 256, 7);
        else
            code(0xC0 + symbol - 280, 8);
    }
    void fixedDistance(unsigned symbol) { code(symbol, 5); }
    void blockHeader(bool final, unsigned type)
    {
        bits(final, 1);
        bits(type, 2);
    }
    void storedBlock(bool final, const std::vector<unsigned char>& data)
    {
        blockHeader(final, 0);
        alignToByte();
        unsigned length = unsigned(data.size());
        bits(length, 16);
        bits(~length & 0xFFFF, 16);
        bytes.insert(bytes.end(), data.begin(), data.end());
    }

    std::vector<unsigned char> bytes;

private:
    void bit(unsigned value)
    {
        if (used == 0)
            bytes.push_back(0);
        bytes.back() = static_cast<unsigned char>(bytes.back() | (value << used));
        used = (used + 1) & 7;
    }
    unsigned used = 0;
};

// Canonical codes of a set of lengths, as Deflate assigns them.
inline std::vector<unsigned> canonicalCodes(const std::vector<unsigned>& lengths)
{
    unsigned counts[16] = {};
    for (unsigned length : lengths)
        ++counts[length];
    counts[0] = 0;
    unsigned next[16] = {};
    for (unsigned length = 1, code = 0; length < 16; ++length) {
        code = (code + counts[length - 1]) << 1;
        next[length] = code;
    }
    std::vector<unsigned> codes(lengths.size());
    for (std::size_t i = 0; i < lengths.size(); ++i)
        if (lengths[i])
            codes[i] = next[lengths[i]]++;
    return codes;
}

#endif

#include "crc.h"

std::uint32_t crcTable[256];
std::uint32_t crcSlices[15][256];
std::uint32_t crcRegister;

void buildCrcTable()
{
    for (std::uint32_t i = 0; i < 256; ++i) {
        std::uint32_t v = i;
        for (int bit = 0; bit < 8; ++bit)
            v = (v & 1) ? (v >> 1) ^ 0xEDB88320u : v >> 1;
        crcTable[i] = v;
    }
    for (std::uint32_t i = 0; i < 256; ++i) {
        std::uint32_t v = crcTable[i];
        for (auto& slice : crcSlices) {
            v = crcTable[v & 0xFF] ^ (v >> 8);
            slice[i] = v;
        }
    }
}

namespace {

std::uint32_t readLittle32(const unsigned char* bytes)
{
    return bytes[0] | bytes[1] << 8 | bytes[2] << 16 | std::uint32_t(bytes[3]) << 24;
}

// The byte at position i of a 4-byte word, advanced over the bytes that
// follow it in a 16-byte step.
std::uint32_t advance(std::uint32_t word, int last)
{
    return crcSlices[last][word & 0xFF] ^ crcSlices[last - 1][(word >> 8) & 0xFF]
           ^ crcSlices[last - 2][(word >> 16) & 0xFF] ^ (last == 2 ? crcTable : crcSlices[last - 3])[word >> 24];
}

}  // namespace

void updateCrc(const unsigned char* data, std::int32_t length)
{
    std::uint32_t crc = crcRegister;
    for (; length >= 16; length -= 16, data += 16)
        crc = advance(crc ^ readLittle32(data), 14) ^ advance(readLittle32(data + 4), 10)
              ^ advance(readLittle32(data + 8), 6) ^ advance(readLittle32(data + 12), 2);
    for (; length > 0; --length)
        crc = crcTable[(crc ^ *data++) & 0xFF] ^ (crc >> 8);
    crcRegister = crc;
}

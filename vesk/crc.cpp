#include "crc.h"

std::uint32_t crcTable[256];
std::uint32_t crcSlices[7][256];
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

void updateCrc(const unsigned char* data, std::int32_t length)
{
    std::uint32_t crc = crcRegister;
    for (; length >= 8; length -= 8, data += 8) {
        std::uint32_t low = crc ^ (data[0] | data[1] << 8 | data[2] << 16 | std::uint32_t(data[3]) << 24);
        crc = crcSlices[6][low & 0xFF] ^ crcSlices[5][(low >> 8) & 0xFF]
              ^ crcSlices[4][(low >> 16) & 0xFF] ^ crcSlices[3][low >> 24]
              ^ crcSlices[2][data[4]] ^ crcSlices[1][data[5]] ^ crcSlices[0][data[6]]
              ^ crcTable[data[7]];
    }
    for (; length > 0; --length)
        crc = crcTable[(crc ^ *data++) & 0xFF] ^ (crc >> 8);
    crcRegister = crc;
}

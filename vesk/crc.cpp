#include "crc.h"

std::uint32_t crcTable[256];
std::uint32_t crcRegister;

void buildCrcTable()
{
    for (std::uint32_t i = 0; i < 256; ++i) {
        std::uint32_t v = i;
        for (int bit = 0; bit < 8; ++bit)
            v = (v & 1) ? (v >> 1) ^ 0xEDB88320u : v >> 1;
        crcTable[i] = v;
    }
}

void updateCrc(const unsigned char* data, std::int32_t length)
{
    std::uint32_t crc = crcRegister;
    for (std::int32_t i = 0; i < length; ++i)
        crc = crcTable[(crc ^ data[i]) & 0xFF] ^ (crc >> 8);
    crcRegister = crc;
}

#include "crc.h"

#include "crcFolding.h"

namespace {

// table advances the register by one byte. slices[k] advances it by one
// byte followed by k + 1 zero bytes, so that sixteen bytes can be folded in
// with sixteen independent look-ups.
struct CrcTables {
    std::uint32_t table[256];
    std::uint32_t slices[15][256];

    constexpr CrcTables() : table(), slices()
    {
        for (std::uint32_t i = 0; i < 256; ++i) {
            std::uint32_t v = i;
            for (int bit = 0; bit < 8; ++bit)
                v = (v & 1) ? (v >> 1) ^ 0xEDB88320u : v >> 1;
            table[i] = v;
        }
        for (std::uint32_t i = 0; i < 256; ++i) {
            std::uint32_t v = table[i];
            for (auto& slice : slices) {
                v = table[v & 0xFF] ^ (v >> 8);
                slice[i] = v;
            }
        }
    }
};

constexpr CrcTables tables;
constexpr const auto& crcSlices = tables.slices;
constexpr const auto& table = tables.table;
bool byFolding;

}  // namespace

const std::uint32_t (&crcTable)[256] = tables.table;

void chooseCrcWay()
{
    byFolding = processorCanFoldCrc();
}

bool crcFolds()
{
    return byFolding;
}

void setCrcFolding(bool folding)
{
    byFolding = folding;
}

std::uint32_t advanceCrc(std::uint32_t crc, const unsigned char* data, std::int32_t length)
{
    if (byFolding && length >= 16) {
        crc = foldCrc(crc, data, std::size_t(length));
        data += length & ~15;
        length &= 15;
    }
    for (; length >= 16; length -= 16, data += 16) {
        // The register meets the first four bytes; each byte then travels
        // over the bytes behind it in the step.
        std::uint32_t low = crc ^ (data[0] | data[1] << 8 | data[2] << 16 | std::uint32_t(data[3]) << 24);
        crc = crcSlices[14][low & 0xFF] ^ crcSlices[13][(low >> 8) & 0xFF] ^ crcSlices[12][(low >> 16) & 0xFF]
              ^ crcSlices[11][low >> 24] ^ crcSlices[10][data[4]] ^ crcSlices[9][data[5]]
              ^ crcSlices[8][data[6]] ^ crcSlices[7][data[7]] ^ crcSlices[6][data[8]] ^ crcSlices[5][data[9]]
              ^ crcSlices[4][data[10]] ^ crcSlices[3][data[11]] ^ crcSlices[2][data[12]]
              ^ crcSlices[1][data[13]] ^ crcSlices[0][data[14]] ^ table[data[15]];
    }
    for (; length > 0; --length)
        crc = table[(crc ^ *data++) & 0xFF] ^ (crc >> 8);
    return crc;
}

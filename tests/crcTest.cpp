// The library's CRC-32 against zlib's.
#include <gtest/gtest.h>

#include <algorithm>

#include "crc.h"
#include "zipWriter.h"

using namespace zipTest;

namespace {

std::uint32_t libraryCrc(const std::string& data, std::size_t piece)
{
    crcRegister = 0xFFFFFFFF;
    for (std::size_t at = 0; at < data.size(); at += piece)
        updateCrc(reinterpret_cast<const unsigned char*>(data.data()) + at,
                  std::int32_t(std::min(piece, data.size() - at)));
    return ~crcRegister;
}

// The table is built when the library is loaded, before any call.
TEST(Crc, tableIsReadyAtLoad)
{
    EXPECT_EQ(crcTable[0], 0u);
    EXPECT_EQ(crcTable[1], 0x77073096u);
    EXPECT_EQ(crcTable[128], 0xEDB88320u);
    EXPECT_EQ(crcTable[255], 0x2D02EF8Du);
}

TEST(Crc, matchesZlib)
{
    EXPECT_EQ(libraryCrc("", 1), 0u);
    EXPECT_EQ(libraryCrc("123456789", 9), 0xCBF43926u);
    for (std::size_t size : {1, 3, 255, 4096, 100003}) {
        std::string data = randomBytes(size, unsigned(size) + 7);
        for (std::size_t piece : {std::size_t(1), std::size_t(7), size})
            EXPECT_EQ(libraryCrc(data, piece), crc32Of(data)) << size << " in " << piece;
    }
}

}  // namespace

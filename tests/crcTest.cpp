// The library's CRC-32 against zlib's.
#include <gtest/gtest.h>

#include <algorithm>
#include <iostream>

#include "crc.h"
#include "zipWriter.h"

using namespace zipTest;

namespace {

std::uint32_t libraryCrc(const std::string& data, std::size_t piece)
{
    std::uint32_t crc = startCrc();
    for (std::size_t at = 0; at < data.size(); at += piece)
        crc = advanceCrc(crc, reinterpret_cast<const unsigned char*>(data.data()) + at,
                         std::int32_t(std::min(piece, data.size() - at)));
    return finishCrc(crc);
}

// The table is ready when the library is loaded, before any call.
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

// The table and, where the processor can, the folding way against zlib:
// every length up to 4 KiB at every alignment in 16 bytes, and 8 MiB whole.
TEST(Crc, bothWaysMatchZlib)
{
    const bool processorFolds = crcFolds();
    std::cout << "CRC-32 on this processor: " << (processorFolds ? "carry-less multiplication" : "table")
              << std::endl;
    const std::string data = randomBytes((8 << 20) + 16, 11);
    const auto* bytes = reinterpret_cast<const unsigned char*>(data.data());
    for (bool folding : {false, processorFolds}) {
        setCrcFolding(folding);
        int mismatches = 0;
        for (std::size_t offset = 0; offset < 16; ++offset) {
            for (std::size_t length = 0; length <= 4096; ++length) {
                std::uint32_t expected = std::uint32_t(crc32(0, bytes + offset, uInt(length)));
                if (finishCrc(advanceCrc(startCrc(), bytes + offset, std::int32_t(length))) != expected
                    && mismatches++ == 0)
                    ADD_FAILURE() << "folding " << folding << ", offset " << offset << ", length " << length;
            }
        }
        EXPECT_EQ(mismatches, 0);
        EXPECT_EQ(libraryCrc(data, data.size()), crc32Of(data)) << "folding " << folding;
        EXPECT_EQ(libraryCrc(data, 65536), crc32Of(data)) << "folding " << folding;
    }
    setCrcFolding(processorFolds);
}

}  // namespace

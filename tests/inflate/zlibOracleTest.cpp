// zlib's deflate as an independent producer: every level and strategy, sizes
// around the window's borders, each stream extracted through unzip() and
// compared byte for byte.
#include <gtest/gtest.h>

#include <random>
#include <string>

#include "testSupport.h"
#include "zipWriter.h"

namespace {

using namespace zipTest;

// Text, machine code and noise in turn, so that every kind of block and
// match turns up.
std::string mixedData(std::size_t size)
{
    static const std::string program = readFile("/proc/self/exe");
    static const char* words[] = {"window ", "history ", "symbol ", "table\n",   "stream ",
                                  "block ",  "literal ", "length ", "distance ", "code "};
    std::mt19937 random{unsigned(size)};
    std::string data;
    while (data.size() < size) {
        switch (data.size() / 20000 % 4) {
        case 0:
            data += words[random() % 10];
            break;
        case 1:
            data.append(program, random() % (program.size() - 4096), 4096);
            break;
        case 2:
            data += char(random());
            break;
        default:
            data.append(1 + random() % 300, char('a' + random() % 3));
        }
    }
    data.resize(size);
    return data;
}

class ZlibOracle : public ::testing::TestWithParam<std::size_t> {};

TEST_P(ZlibOracle, EveryLevelAndStrategyExtractsByteExact)
{
    const std::string data = mixedData(GetParam());
    Archive archive;
    for (int strategy : {Z_DEFAULT_STRATEGY, Z_FILTERED, Z_HUFFMAN_ONLY, Z_RLE, Z_FIXED}) {
        for (int level = 0; level <= 9; ++level) {
            Entry entry("s" + std::to_string(strategy) + "l" + std::to_string(level), data, 8);
            entry.level = level;
            entry.strategy = strategy;
            archive.entries.push_back(entry);
        }
    }
    TempDir dir;
    writeFile(dir / "archive.zip", buildArchive(archive).bytes);
    Outcome outcome = runUnzip(dir / "archive.zip", libraryPath(dir / "out"));
    EXPECT_EQ(outcome.result, 0);
    EXPECT_TRUE(outcome.messages.empty());
    for (const Entry& entry : archive.entries)
        EXPECT_TRUE(readFile(dir / "out/" + entry.name) == data) << entry.name;
}

INSTANTIATE_TEST_SUITE_P(WindowBorders, ZlibOracle,
                         ::testing::Values(0, 1, 65535, 65536, 65537, 131072, 3 << 20));

}  // namespace

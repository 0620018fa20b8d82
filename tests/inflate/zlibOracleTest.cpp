// zlib's deflate as an independent producer: every level and strategy, sizes
// around the window's borders, each stream decoded from memory and compared
// byte for byte.
#include <gtest/gtest.h>

#include <cstdio>
#include <random>
#include <string>

#include "crc.h"
#include "decodeHarness.h"
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

TEST_P(ZlibOracle, EveryLevelAndStrategyDecodesByteExact)
{
    const std::string data = mixedData(GetParam());
    for (int strategy : {Z_DEFAULT_STRATEGY, Z_FILTERED, Z_HUFFMAN_ONLY, Z_RLE, Z_FIXED})
        for (int level = 0; level <= 9; ++level) {
            const std::string stream = deflateRaw(data, level, strategy);
            Decoded decoded = decode(std::vector<unsigned char>(stream.begin(), stream.end()));
            EXPECT_EQ(decoded.result, 0) << strategy << " " << level;
            EXPECT_TRUE(std::string(decoded.output.begin(), decoded.output.end()) == data)
                << strategy << " " << level;
            EXPECT_EQ(decoded.crc, crc32Of(data)) << strategy << " " << level;
        }
}

INSTANTIATE_TEST_SUITE_P(WindowBorders, ZlibOracle,
                         ::testing::Values(0, 1, 65535, 65536, 65537, 131072, 3 << 20));

// Two decoders side by side, each with its own input and output: the blocks
// of two streams decoded in turn come out as each stream alone.
TEST(TwoDecoders, InterleavedBlocksDecodeAsEachStreamAlone)
{
    static MemoryStream streams[2];
    static Decoder decoders[2];
    const std::string data[2] = {mixedData(400000), mixedData(250001)};
    for (int i = 0; i < 2; ++i) {
        const std::string stream = deflateRaw(data[i], 9 - 3 * i);
        streams[i].bytes.assign(stream.begin(), stream.end());
        startDecoder(decoders[i], inputOf(streams[i]), outputOf(streams[i]));
    }
    DecodeResult results[2] = {blockDecoded, blockDecoded};
    int blocks[2] = {0, 0};
    while (results[0] == blockDecoded || results[1] == blockDecoded)
        for (int i = 0; i < 2; ++i)
            if (results[i] == blockDecoded) {
                results[i] = inflateBlock(decoders[i]);
                ++blocks[i];
            }
    for (int i = 0; i < 2; ++i) {
        EXPECT_EQ(results[i], streamDecoded) << i;
        EXPECT_GT(blocks[i], 3) << i;
        EXPECT_TRUE(std::string(streams[i].output.begin(), streams[i].output.end()) == data[i]) << i;
        EXPECT_EQ(finishCrc(streams[i].crc), crc32Of(data[i])) << i;
    }
}

}  // namespace

// zlib's deflate as an independent producer: every level and strategy, sizes
// around the window's borders, each stream extracted through unzip() and
// compared byte for byte.
#include <gtest/gtest.h>

#include <cstdio>
#include <random>
#include <string>

#include "crc.h"
#include "entryInput.h"
#include "inflate/inflate.h"
#include "outputSink.h"
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

// Two decoders side by side, each with its own input and sink: the blocks of
// two streams decoded in turn come out as each stream alone.
TEST(TwoDecoders, InterleavedBlocksDecodeAsEachStreamAlone)
{
    static EntryInput inputs[2];
    static OutputSink sinks[2];
    static Decoder decoders[2];
    const std::string data[2] = {mixedData(400000), mixedData(250001)};
    std::FILE* archives[2];
    std::FILE* outputs[2];
    for (int i = 0; i < 2; ++i) {
        const std::string stream = deflateRaw(data[i], 9 - 3 * i);
        archives[i] = std::tmpfile();
        std::fwrite(stream.data(), 1, stream.size(), archives[i]);
        std::rewind(archives[i]);
        outputs[i] = std::tmpfile();
        startInput(inputs[i], archives[i]);
        startSink(sinks[i], outputs[i], data[i].size());
        startDecoder(decoders[i], inputs[i], sinks[i]);
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
        std::string output;
        std::rewind(outputs[i]);
        for (int c; (c = std::fgetc(outputs[i])) != EOF;)
            output += char(c);
        EXPECT_TRUE(output == data[i]) << i;
        EXPECT_EQ(finishCrc(sinks[i].crc), crc32Of(data[i])) << i;
        std::fclose(outputs[i]);
        std::fclose(archives[i]);
    }
}

}  // namespace

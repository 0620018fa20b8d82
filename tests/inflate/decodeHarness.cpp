#include "decodeHarness.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>

#include "crc.h"

namespace {

// The suite runs once for each way of the fast loop (tests/inflate's
// CMakeLists), named by VESK_FAST_LOOP; a way this processor cannot run is
// skipped.
class FastLoopChoice : public ::testing::Environment {
    void SetUp() override
    {
        static const char* const names[fastLoopWays] = {"wide", "narrow", "wideBmi2", "narrowBmi2"};
        const char* wanted = std::getenv("VESK_FAST_LOOP");
        if (!wanted)
            return;
        int way = 0;
        while (way < fastLoopWays && std::strcmp(names[way], wanted) != 0)
            ++way;
        ASSERT_LT(way, fastLoopWays) << "no fast loop named " << wanted;
        if (!setFastLoop(FastLoopWay(way)))
            GTEST_SKIP() << "this processor cannot run the " << wanted << " loop";
    }
};

const auto* const fastLoopChoice = ::testing::AddGlobalTestEnvironment(new FastLoopChoice);

bool moreBytes(void* source, DecoderInput& input)
{
    MemoryStream& stream = *static_cast<MemoryStream*>(source);
    std::size_t left = stream.bytes.size() - stream.handed;
    std::size_t length = left < stream.piece ? left : stream.piece;
    input.next = stream.bytes.data() + stream.handed;
    input.end = input.next + length;
    stream.handed += length;
    return length != 0;
}

bool takeBytes(void* target, const unsigned char* bytes, std::int32_t length)
{
    MemoryStream& stream = *static_cast<MemoryStream*>(target);
    stream.output.insert(stream.output.end(), bytes, bytes + length);
    stream.crc = advanceCrc(stream.crc, bytes, length);
    return true;
}

}  // namespace

DecoderInput inputOf(MemoryStream& stream)
{
    stream.handed = 0;
    return DecoderInput{nullptr, nullptr, moreBytes, &stream};
}

DecoderOutput outputOf(MemoryStream& stream)
{
    stream.output.clear();
    stream.crc = startCrc();
    return DecoderOutput{takeBytes, &stream};
}

Decoded decode(const std::vector<unsigned char>& bytes, std::size_t trailing, DeflateFormat format)
{
    static Decoder decoder;
    static MemoryStream stream;
    stream.bytes = bytes;
    for (std::size_t i = 0; i < trailing; ++i)
        stream.bytes.push_back(static_cast<unsigned char>(0x50 + i % 5));
    bool decoded = inflateStream(decoder, inputOf(stream), outputOf(stream), format) == streamDecoded;
    Decoded result{decoded ? 0 : 1, stream.output, {}, finishCrc(stream.crc)};
    if (!decoded)
        result.messages.push_back(" Bad Table ");
    return result;
}

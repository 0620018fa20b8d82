#include "decodeHarness.h"

#include "crc.h"

namespace {

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

Decoded decode(const std::vector<unsigned char>& bytes, std::size_t trailing)
{
    static Decoder decoder;
    static MemoryStream stream;
    stream.bytes = bytes;
    for (std::size_t i = 0; i < trailing; ++i)
        stream.bytes.push_back(static_cast<unsigned char>(0x50 + i % 5));
    bool decoded = inflateStream(decoder, inputOf(stream), outputOf(stream)) == streamDecoded;
    Decoded result{decoded ? 0 : 1, stream.output, {}, finishCrc(stream.crc)};
    if (!decoded)
        result.messages.push_back(" Bad Table ");
    return result;
}

// The decoder alone: arbitrary bytes from memory into memory, as Deflate and
// as Deflate64, in every way of its fast loop. zlib is the oracle for
// Deflate: a stream it decodes to its end must decode to the same bytes
// here. This decoder may accept more (a single code of any length, up to 288
// and 32 symbols, match symbols 286 and 287), never less. Deflate64 has no
// oracle here; its ways must agree.
#include <zlib.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>

#include "inflate/inflate.h"

namespace {

[[noreturn]] void finding(const char* what)
{
    std::fprintf(stderr, "finding: %s\n", what);
    std::abort();
}

// zlib's verdict: true with the output when the stream ends within the data.
bool zlibDecode(const std::uint8_t* data, std::size_t size, std::string& output)
{
    z_stream stream{};
    if (inflateInit2(&stream, -15) != Z_OK)
        finding("zlib init");
    stream.next_in = const_cast<std::uint8_t*>(data);
    stream.avail_in = unsigned(size);
    unsigned char chunk[65536];
    int status;
    do {
        stream.next_out = chunk;
        stream.avail_out = sizeof chunk;
        status = inflate(&stream, Z_NO_FLUSH);
        output.append(reinterpret_cast<char*>(chunk), sizeof chunk - stream.avail_out);
    } while (status == Z_OK);
    inflateEnd(&stream);
    return status == Z_STREAM_END;
}

// The fuzzer's bytes, handed to the decoder in pieces that end anywhere in
// a code, and what it hands back.
struct Stream {
    const std::uint8_t* data;
    std::size_t size;
    std::size_t handed;
    std::string output;
};

bool moreBytes(void* source, DecoderInput& input)
{
    Stream& stream = *static_cast<Stream*>(source);
    std::size_t length = stream.size - stream.handed < 997 ? stream.size - stream.handed : 997;
    input.next = stream.data + stream.handed;
    input.end = input.next + length;
    stream.handed += length;
    return length != 0;
}

bool takeBytes(void* target, const unsigned char* bytes, std::int32_t length)
{
    static_cast<Stream*>(target)->output.append(reinterpret_cast<const char*>(bytes), std::size_t(length));
    return true;
}

}  // namespace

namespace {

// Decodes the bytes in every way of the fast loop this processor runs; each
// must end as the first did, with the same output.
DecodeResult decodeEveryWay(const std::uint8_t* data, std::size_t size, DeflateFormat format,
                            std::string& output)
{
    static Decoder decoder;
    DecodeResult firstResult = corruptStream;
    int ways = 0;
    for (int way = 0; way < fastLoopWays; ++way) {
        if (!setFastLoop(FastLoopWay(way)))
            continue;
        Stream stream{data, size, 0, {}};
        DecodeResult result = inflateStream(decoder, DecoderInput{nullptr, nullptr, moreBytes, &stream},
                                            DecoderOutput{takeBytes, &stream}, format);
        if (result == outputRefused || result == blockDecoded)
            finding("neither decoded nor corrupt");
        if (ways++ == 0) {
            firstResult = result;
            output = stream.output;
        } else if (result != firstResult || stream.output != output) {
            finding("the ways of the fast loop disagree");
        }
    }
    return firstResult;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    std::string output;
    decodeEveryWay(data, size, deflate64Format, output);
    DecodeResult result = decodeEveryWay(data, size, deflateFormat, output);
    std::string expected;
    if (zlibDecode(data, size, expected)) {
        if (result != streamDecoded)
            finding("zlib decodes the stream, the decoder fails");
        if (output != expected)
            finding("output differs from zlib's");
    }
    return 0;
}

// The decoder alone: arbitrary bytes as an entry's data, handed over as
// the entry code hands them (input at the data, sink started on an open
// output). zlib is the oracle: a stream it decodes to its end must decode to
// the same bytes here. This decoder may accept more (a single code of any
// length, up to 288 and 32 symbols, match symbols 286 and 287), never less.
#include <zlib.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>

#include "crc.h"
#include "entry.h"
#include "platform.h"

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

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    static unsigned char none;
    static EntryInput input;
    static OutputSink sink;
    static Decoder decoder;
    std::FILE* archive = fmemopen(size ? const_cast<std::uint8_t*>(data) : &none, size, "rb");
    char* written = nullptr;
    std::size_t writtenSize = 0;
    std::FILE* outputStream = open_memstream(&written, &writtenSize);
    if (!archive || !outputStream)
        finding("streams");
    unsigned long messagesBefore = shownMessageCount;

    startInput(input, archive);
    startSink(sink, outputStream, ~std::uint64_t(0));
    int result = inflateEntryData(decoder, input, sink) ? 0 : 1;
    if (result != 0)
        showError(badTable);  // as the entry code shows it
    bool refused = sink.overran || std::ferror(outputStream);

    std::fclose(archive);
    std::fclose(outputStream);
    std::string output(written, writtenSize);
    std::free(written);

    unsigned long messages = shownMessageCount - messagesBefore;
    if (refused)
        finding("the sink refused what a memory stream of unbounded room takes");
    if (messages != (result == 1 ? 1u : 0u))
        finding("a failure without exactly one message, or a message without failure");
    if (finishCrc(sink.crc)
        != crc32(0, reinterpret_cast<const Bytef*>(output.data()), unsigned(output.size())))
        finding("CRC register does not cover what reached the file");

    std::string expected;
    if (zlibDecode(data, size, expected)) {
        if (result != 0)
            finding("zlib decodes the stream, the decoder fails");
        if (output != expected)
            finding("output differs from zlib's");
    }
    return 0;
}

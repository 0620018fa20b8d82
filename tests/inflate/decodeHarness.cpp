#include "decodeHarness.h"

#include <cstdio>

#include "crc.h"
#include "entry.h"
#include "library.h"
#include "testSupport.h"

Decoded decode(const std::vector<unsigned char>& stream, std::size_t trailing)
{
    static EntryInput input;
    static OutputSink sink;
    static Decoder decoder;
    std::FILE* archive = std::tmpfile();
    if (!stream.empty())
        std::fwrite(stream.data(), 1, stream.size(), archive);
    for (std::size_t i = 0; i < trailing; ++i)
        std::fputc(0x50 + int(i % 5), archive);
    std::rewind(archive);
    std::FILE* output = std::tmpfile();

    Decoded decoded{};
    // The stream stands where an entry's data would, behind nothing.
    zipTest::Outcome outcome = zipTest::captureOutput([&] {
        startInput(input, archive);
        startSink(sink, output, ~std::uint64_t(0));
        // The entry code shows a corrupt stream's message.
        if (inflateEntryData(decoder, input, sink))
            return 0;
        showError(badTable);
        return 1;
    });
    decoded.result = outcome.result;
    decoded.messages = outcome.messages;
    decoded.crc = finishCrc(sink.crc);

    std::fflush(output);
    std::rewind(output);
    for (int c; (c = std::fgetc(output)) != EOF;)
        decoded.output.push_back(static_cast<unsigned char>(c));
    std::fclose(output);
    std::fclose(archive);
    return decoded;
}

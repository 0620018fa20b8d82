#include "decodeHarness.h"

#include <cstdio>

#include "crc.h"
#include "inflate/bitReader.h"
#include "inflate/inflate.h"
#include "library.h"
#include "testSupport.h"

Decoded decode(const std::vector<unsigned char>& stream, std::size_t trailing)
{
    archiveFile = std::tmpfile();
    if (!stream.empty())
        std::fwrite(stream.data(), 1, stream.size(), archiveFile);
    for (std::size_t i = 0; i < trailing; ++i)
        std::fputc(0x50 + int(i % 5), archiveFile);
    std::rewind(archiveFile);
    outputFile = std::tmpfile();
    crcRegister = 0xFFFFFFFF;

    Decoded decoded{};
    // The stream stands where an entry's data would, behind nothing.
    zipTest::Outcome outcome = zipTest::captureOutput([] {
        forgetInput();
        startInput(0, inputSize);
        return inflateEntry(~std::uint64_t(0));
    });
    decoded.result = outcome.result;
    decoded.messages = outcome.messages;
    decoded.crc = ~crcRegister;

    std::fflush(outputFile);
    std::rewind(outputFile);
    for (int c; (c = std::fgetc(outputFile)) != EOF;)
        decoded.output.push_back(static_cast<unsigned char>(c));
    std::fclose(outputFile);
    std::fclose(archiveFile);
    outputFile = archiveFile = nullptr;
    return decoded;
}

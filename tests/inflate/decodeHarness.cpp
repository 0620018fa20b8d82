#include "decodeHarness.h"

#include <fcntl.h>
#include <unistd.h>

#include <cstdio>

#include "crc.h"
#include "inflate/inflate.h"
#include "library.h"

namespace {

std::vector<unsigned char> contents(std::FILE* file)
{
    std::fflush(file);
    std::rewind(file);
    std::vector<unsigned char> data;
    for (int c; (c = std::fgetc(file)) != EOF;)
        data.push_back(static_cast<unsigned char>(c));
    return data;
}

}  // namespace

Decoded decode(const std::vector<unsigned char>& stream, const std::vector<unsigned char>& trailer)
{
    archiveFile = std::tmpfile();
    for (const std::vector<unsigned char>* part : {&stream, &trailer})
        if (!part->empty())
            std::fwrite(part->data(), 1, part->size(), archiveFile);
    std::rewind(archiveFile);
    outputFile = std::tmpfile();
    crcRegister = 0xFFFFFFFF;

    std::FILE* errors = std::tmpfile();
    std::fflush(stderr);
    int savedStderr = dup(2);
    dup2(fileno(errors), 2);
    Decoded decoded{};
    decoded.result = inflateEntry();
    std::fflush(stderr);
    dup2(savedStderr, 2);
    close(savedStderr);

    decoded.crc = ~crcRegister;
    decoded.output = contents(outputFile);
    std::vector<unsigned char> shown = contents(errors);
    decoded.messages.assign(shown.begin(), shown.end());
    std::fclose(errors);
    std::fclose(outputFile);
    std::fclose(archiveFile);
    outputFile = archiveFile = nullptr;
    return decoded;
}

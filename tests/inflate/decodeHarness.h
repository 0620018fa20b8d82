// Runs the decoder from memory to memory: a stream handed over in pieces,
// its output collected with the CRC-32 of what arrived.
#ifndef VESK_TESTS_DECODE_HARNESS_H
#define VESK_TESTS_DECODE_HARNESS_H

#include <cstdint>
#include <string>
#include <vector>

#include "inflate/inflate.h"

// Bytes handed to a decoder `piece` at a time, and what it hands back.
struct MemoryStream {
    std::vector<unsigned char> bytes;
    std::size_t handed = 0;
    std::size_t piece = 4093;  // odd, so that pieces end anywhere in a code
    std::vector<unsigned char> output;
    std::uint32_t crc;  // register over the output, as the entry code keeps it
};

// The decoder's input and output on the stream's bytes and output.
DecoderInput inputOf(MemoryStream& stream);
DecoderOutput outputOf(MemoryStream& stream);

struct Decoded {
    int result;
    std::vector<unsigned char> output;  // what the decoder handed on
    std::vector<std::string> messages;  // what the entry code shows for it
    std::uint32_t crc;                  // CRC-32 of the output
};

// `trailing` bytes follow the stream, as the next header follows an entry's
// data: they let the fast loop run up to the stream's last symbols, which
// without them the careful loop decodes.
Decoded decode(const std::vector<unsigned char>& stream, std::size_t trailing = 0,
               DeflateFormat format = deflateFormat);

#endif

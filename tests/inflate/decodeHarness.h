// Runs the decoder on a stream held in memory, as unzipOneFile would: the
// archive positioned at the stream, an empty output file, the CRC preset.
#ifndef VESK_TESTS_DECODE_HARNESS_H
#define VESK_TESTS_DECODE_HARNESS_H

#include <cstdint>
#include <string>
#include <vector>

struct Decoded {
    int result;
    std::vector<unsigned char> output;  // what reached the output file
    std::vector<std::string> messages;  // what the error box showed
    std::uint32_t crc;                  // CRC-32 of what reached the file
};

// `trailing` bytes follow the stream in the file, as the next header follows
// an entry's data: they let the fast loop run up to the stream's last
// symbols, which without them the careful loop decodes.
Decoded decode(const std::vector<unsigned char>& stream, std::size_t trailing = 0);

#endif

// Input of an entry: archive bytes read ahead in blocks, from the local
// header on, up to the end of the entry's compressed data and never beyond.
// The entry code reads the local header and stored data from it; the
// decoder reads Deflate data from it.
#ifndef VESK_ENTRY_INPUT_H
#define VESK_ENTRY_INPUT_H

#include <cstdint>

#include "platform.h"
#include "records.h"

constexpr std::int32_t inputSize = 65536;

struct EntryInput {
    FileHandle archive;
    alignas(64) unsigned char buffer[inputSize];
    std::int32_t position;  // next byte of the buffer to take
    std::int32_t limit;     // end of the entry's bytes in the buffer
    // Archive position of buffer[0] and the bytes the last read delivered.
    std::uint64_t blockPosition;
    std::int32_t blockLength;
    std::int32_t readSize;  // what the next read asks for
    // Archive position where the entry's bytes end: nothing behind it is
    // handed out, so that no entry reads another's data.
    std::uint64_t endPosition;
};

// Starts an input on the call's archive; nothing of an earlier archive
// stays in the buffer.
void startInput(EntryInput& input, FileHandle archive);

// Moves the input to the entry's local header, which must carry its
// signature, reads past the header, name and extra field, whose time may
// raise the record's exact time, and ends the input where the entry's
// compressed data ends. The data lies from `dataStart` to `dataEnd`. False
// when the header cannot be read or is none.
bool openEntryData(EntryInput& input, CentralRecord& record, std::uint64_t* dataStart,
                   std::uint64_t* dataEnd);

// Moves the input to an entry's data, which openEntryData found, unless it
// stands there.
void moveToEntryData(EntryInput& input, std::uint64_t dataStart, std::uint64_t dataEnd);

// Hands out up to `wanted` bytes that follow in the input, straight from
// the buffer: at least one, or none when the entry's bytes or the archive
// have ended.
std::int32_t readInput(EntryInput& input, const unsigned char** bytes, std::int32_t wanted);

#endif

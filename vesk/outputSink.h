// Output of an entry: its file, the running CRC-32 of what reached it, and
// the room that the entry's record leaves it.
#ifndef VESK_OUTPUT_SINK_H
#define VESK_OUTPUT_SINK_H

#include <atomic>
#include <cstdint>
#include <cstdio>

#include "platform.h"

struct OutputSink {
    std::FILE* file;
    std::uint32_t crc;   // register over every byte written
    std::uint64_t room;  // bytes the entry may still write
    // Whether a write was refused because it would have passed the room.
    bool overran;
    // Set by another thread when the entry will not be committed: every
    // later write is refused (nullptr: never).
    const std::atomic<bool>* stop;
    // Kept from entry to entry of a call.
    StampMinute stampMinute;
};

// Starts the sink for a call: no time stamp converted yet, nothing to stop
// it.
void startSinkForCall(OutputSink& sink);

// Starts the sink of an entry on its open file, which may take
// `declaredSize` bytes.
void startSink(OutputSink& sink, std::FILE* file, std::uint64_t declaredSize);

// Folds the bytes into the CRC and writes them; false when they would pass
// the room (nothing is written, and overran tells it), the entry is
// stopped, or the write failed (the file's error flag tells it).
bool writeOutput(OutputSink& sink, const unsigned char* bytes, std::int32_t length);

#endif

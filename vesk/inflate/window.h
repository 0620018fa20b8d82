// Output of the decoder: 128 KiB whose lower half keeps the 64 KiB of history
// that back-references reach into, and whose upper half collects new bytes
// until it is full and goes to the CRC and the output file.
#ifndef VESK_INFLATE_WINDOW_H
#define VESK_INFLATE_WINDOW_H

#include <cstdint>
#include <cstring>

constexpr std::int32_t historySize = 65536;
constexpr std::int32_t farthestDistance = 32768;
constexpr std::int32_t windowSize = 2 * historySize;

extern unsigned char outputWindow[windowSize];
extern std::int32_t windowFill;  // next byte to write, historySize..windowSize-1
// Whether the window has moved during this entry: until it has, the history
// half holds bytes of earlier entries, which no reference may reach.
extern bool windowMoved;

// The first window position that a reference of this entry may reach.
inline std::int32_t firstReachable()
{
    return windowMoved ? 0 : historySize;
}

// The entry may write `declaredSize` bytes; a flush that would pass them
// fails the stream instead.
void startWindow(std::uint64_t declaredSize);
bool flushWindow(bool final);
void appendBytes(const unsigned char* bytes, std::int32_t length);
void copyMatchAcrossFlush(std::int32_t length, std::int32_t distance);

// Appends one byte; true when the window moved, so that a copy running
// behind windowFill must move its source back by historySize.
inline bool appendByte(unsigned char byte)
{
    outputWindow[windowFill++] = byte;
    return windowFill == windowSize && flushWindow(false);
}

// A copy of a match may write this many bytes past the match's end.
constexpr std::int32_t copyOverrun = 21;
// The longest match a stream can ask for: a fixed block's symbol 287 with
// all six extra bits set, beyond the 258 of the regular length codes.
constexpr std::int32_t longestMatch = 450;

// Writes `length` bytes at `to` that start `distance` bytes back, and returns
// the end of the copy. A distance below the length repeats what the copy has
// just written, as if byte by byte.
inline unsigned char* copyBytes(unsigned char* to, std::int32_t length, std::int32_t distance)
{
    const unsigned char* from = to - distance;
    if (distance >= 8) {
        // Eight bytes a step; most matches are short enough for the first
        // three steps, which go without a loop test.
        std::memcpy(to, from, 8);
        std::memcpy(to + 8, from + 8, 8);
        std::memcpy(to + 16, from + 16, 8);
        for (std::int32_t i = 24; i < length; i += 8)
            std::memcpy(to + i, from + i, 8);
    } else if (distance == 1) {
        std::memset(to, *from, std::size_t(length));
    } else {
        for (std::int32_t i = 0; i < length; ++i)
            to[i] = from[i];
    }
    return to + length;
}

// Appends a match: `length` bytes that start `distance` bytes back.
inline void copyMatch(std::int32_t length, std::int32_t distance)
{
    if (windowFill + length + copyOverrun > windowSize) {
        copyMatchAcrossFlush(length, distance);
        return;
    }
    copyBytes(outputWindow + windowFill, length, distance);
    windowFill += length;
}

#endif

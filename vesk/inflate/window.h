// Output of the decoder: appending to the window, which inflate.h lays out,
// and copying matches within it.
#ifndef VESK_INFLATE_WINDOW_H
#define VESK_INFLATE_WINDOW_H

#include <cstdint>
#include <cstring>

#include "inflate.h"

// Where this stream's bytes begin in the window: behind the history until
// the window has moved, and after that everything a reference can reach is
// this stream's.
inline std::int32_t streamStart(const Decoder& decoder)
{
    return decoder.windowMoved ? 0 : farthestDistance;
}

void flushWindow(Decoder& decoder, bool final);
void appendBytes(Decoder& decoder, const unsigned char* bytes, std::int32_t length);
void copyMatchAcrossFlush(Decoder& decoder, std::int32_t length, std::int32_t distance);

// How far the history moves back when the window is full.
constexpr std::int32_t windowShift = windowSize - farthestDistance;

inline void appendByte(Decoder& decoder, unsigned char byte)
{
    decoder.window[decoder.windowFill++] = byte;
    if (decoder.windowFill == decoder.pieceEnd)
        flushWindow(decoder, false);
}

// A copy of a match may write this many bytes past the match's end: a
// shortest match, 3 bytes, is copied in 32.
constexpr std::int32_t copyOverrun = 29;
// The longest match a Deflate stream can ask for: a fixed block's symbol 287
// with all six extra bits set, beyond the 258 of the regular length codes.
// Deflate64's symbol 285 reaches 65538.
constexpr std::int32_t longestMatch = 450;

// Copies `length` bytes `step` at a time, `from` at least `step` bytes
// behind `to`. Most matches are at most 32 bytes long: those steps go
// without a loop test.
template <int step>
inline void copySteps(unsigned char* to, const unsigned char* from, std::int32_t length)
{
    for (int i = 0; i < 32; i += step)
        std::memcpy(to + i, from + i, step);
    for (std::int32_t i = 32; i < length; i += step)
        std::memcpy(to + i, from + i, step);
}

// Writes `length` bytes at `to` that start `distance` bytes back, and returns
// the end of the copy. A distance below the length repeats what the copy has
// just written, as if byte by byte.
inline unsigned char* copyBytes(unsigned char* to, std::int32_t length, std::int32_t distance)
{
    const unsigned char* from = to - distance;
    if (distance >= 16) {
        copySteps<16>(to, from, length);
    } else if (distance >= 8) {
        copySteps<8>(to, from, length);
    } else if (distance == 1) {
        // A run of one byte: that byte in every lane of a word, eight bytes a
        // step, as the longer distances go.
        std::uint64_t run = *from * 0x0101010101010101u;
        for (std::int32_t i = 0; i < length; i += 8)
            std::memcpy(to + i, &run, 8);
    } else {
        for (std::int32_t i = 0; i < length; ++i)
            to[i] = from[i];
    }
    return to + length;
}

// Appends a match: `length` bytes that start `distance` bytes back.
inline void copyMatch(Decoder& decoder, std::int32_t length, std::int32_t distance)
{
    if (decoder.windowFill + length + copyOverrun > decoder.pieceEnd) {
        copyMatchAcrossFlush(decoder, length, distance);
        return;
    }
    copyBytes(decoder.window + decoder.windowFill, length, distance);
    decoder.windowFill += length;
}

#endif

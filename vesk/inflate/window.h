// Output of the decoder: 128 KiB whose lower half keeps the 64 KiB of history
// that back-references reach into, and whose upper half collects new bytes
// until it is full and goes to the CRC and the output file.
#ifndef VESK_INFLATE_WINDOW_H
#define VESK_INFLATE_WINDOW_H

#include <cstdint>

constexpr std::int32_t historySize = 65536;
constexpr std::int32_t windowSize = 2 * historySize;

extern unsigned char outputWindow[windowSize];
extern std::int32_t windowFill;  // next byte to write, historySize..windowSize-1
// Whether the window has moved during this entry: until it has, the history
// half holds bytes of earlier entries, which no reference may reach.
extern bool windowMoved;

void startWindow();
bool flushWindow(bool final);

// Appends one byte; true when the window moved, so that a copy running
// behind windowFill must move its source back by historySize.
inline bool appendByte(unsigned char byte)
{
    outputWindow[windowFill++] = byte;
    return windowFill == windowSize && flushWindow(false);
}

#endif

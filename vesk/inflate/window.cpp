#include "window.h"

#include <cstring>

#include "../crc.h"
#include "../library.h"

unsigned char outputWindow[windowSize];
std::int32_t windowFill = historySize;
bool windowMoved;

void startWindow()
{
    windowFill = historySize;
    windowMoved = false;
}

// Writes the new half out when it is full, or whatever it holds when final;
// then the new half becomes the history.
bool flushWindow(bool final)
{
    if (!final && windowFill < windowSize)
        return false;
    std::int32_t length = windowFill - historySize;
    updateCrc(outputWindow + historySize, length);
    std::fwrite(outputWindow + historySize, 1, std::size_t(length), outputFile);
    std::memcpy(outputWindow, outputWindow + historySize, historySize);
    windowFill = historySize;
    windowMoved = true;
    return true;
}

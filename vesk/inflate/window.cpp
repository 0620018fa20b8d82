#include "window.h"

#include "../crc.h"
#include "../library.h"
#include "decodeFailure.h"

unsigned char outputWindow[windowSize];
std::int32_t windowFill = pieceSize;
bool windowMoved;

namespace {

// Bytes the entry may still write.
std::uint64_t outputRoom;

}  // namespace

void startWindow(std::uint64_t declaredSize)
{
    windowFill = pieceSize;
    windowMoved = false;
    outputRoom = declaredSize;
}

// Writes the new half out when it is full, or whatever it holds when final;
// then the new half becomes the history. Only its last 32 KiB move: no
// distance reaches farther back. After the final piece no reference can
// reach back into it (the next entry may not look before its own first
// byte), so nothing moves.
bool flushWindow(bool final)
{
    if (!final && windowFill < windowSize)
        return false;
    std::int32_t length = windowFill - pieceSize;
    if (std::uint64_t(length) > outputRoom)
        failDecoding(longerThanDeclared);
    outputRoom -= std::uint64_t(length);
    updateCrc(outputWindow + pieceSize, length);
    if (std::fwrite(outputWindow + pieceSize, 1, std::size_t(length), outputFile) != std::size_t(length))
        failDecoding(writeFailed);
    if (!final)
        std::memcpy(outputWindow + pieceSize - farthestDistance, outputWindow + windowSize - farthestDistance,
                    farthestDistance);
    windowFill = pieceSize;
    windowMoved = true;
    return true;
}

void appendBytes(const unsigned char* bytes, std::int32_t length)
{
    while (length > 0) {
        std::int32_t room = windowSize - windowFill;
        std::int32_t part = length < room ? length : room;
        std::memcpy(outputWindow + windowFill, bytes, std::size_t(part));
        windowFill += part;
        bytes += part;
        length -= part;
        flushWindow(false);
    }
}

// Near the end of the window, one byte at a time; when the window moves, the
// source moves back with it and still designates the same bytes.
void copyMatchAcrossFlush(std::int32_t length, std::int32_t distance)
{
    std::int32_t source = windowFill - distance;
    while (length-- > 0)
        if (appendByte(outputWindow[source++]))
            source -= pieceSize;
}

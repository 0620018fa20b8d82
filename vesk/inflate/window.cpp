#include "window.h"

#include "decodeFailure.h"

// Hands the piece on when it is full, or whatever it holds when final. When
// the window is full, its last 32 KiB become the history: no distance
// reaches farther back. After the final piece no reference can reach back
// into it (the next stream may not look before its own first byte), so
// nothing moves. A piece that the output refuses ends the stream. True
// when the window moved.
bool flushWindow(Decoder& decoder, bool final)
{
    if (!final && decoder.windowFill < decoder.pieceEnd)
        return false;
    std::int32_t start = decoder.pieceEnd - pieceSize;
    if (!decoder.output.take(decoder.output.target, decoder.window + start, decoder.windowFill - start))
        failDecoding(decoder, outputRefused);
    bool moving = !final && decoder.pieceEnd == windowSize;
    if (moving) {
        std::memcpy(decoder.window, decoder.window + windowShift, farthestDistance);
        decoder.windowFill = farthestDistance;
        decoder.windowMoved = true;
    }
    decoder.pieceEnd = decoder.windowFill + pieceSize;
    return moving;
}

void appendBytes(Decoder& decoder, const unsigned char* bytes, std::int32_t length)
{
    while (length > 0) {
        std::int32_t room = decoder.pieceEnd - decoder.windowFill;
        std::int32_t part = length < room ? length : room;
        std::memcpy(decoder.window + decoder.windowFill, bytes, std::size_t(part));
        decoder.windowFill += part;
        bytes += part;
        length -= part;
        flushWindow(decoder, false);
    }
}

// Near the end of a piece, one byte at a time; when the window moves, the
// source moves back with it and still designates the same bytes.
void copyMatchAcrossFlush(Decoder& decoder, std::int32_t length, std::int32_t distance)
{
    std::int32_t source = decoder.windowFill - distance;
    while (length-- > 0)
        if (appendByte(decoder, decoder.window[source++]))
            source -= windowShift;
}

#include "window.h"

#include "decodeFailure.h"

// Writes the new half out when it is full, or whatever it holds when final;
// then the new half becomes the history. Only its last 32 KiB move: no
// distance reaches farther back. After the final piece no reference can
// reach back into it (the next stream may not look before its own first
// byte), so nothing moves. A piece that the output refuses ends the stream.
bool flushWindow(Decoder& decoder, bool final)
{
    if (!final && decoder.windowFill < windowSize)
        return false;
    std::int32_t length = decoder.windowFill - pieceSize;
    if (!decoder.output.take(decoder.output.target, decoder.window + pieceSize, length))
        failDecoding(decoder, outputRefused);
    if (!final)
        std::memcpy(decoder.window + pieceSize - farthestDistance,
                    decoder.window + windowSize - farthestDistance, farthestDistance);
    decoder.windowFill = pieceSize;
    decoder.windowMoved = true;
    return true;
}

void appendBytes(Decoder& decoder, const unsigned char* bytes, std::int32_t length)
{
    while (length > 0) {
        std::int32_t room = windowSize - decoder.windowFill;
        std::int32_t part = length < room ? length : room;
        std::memcpy(decoder.window + decoder.windowFill, bytes, std::size_t(part));
        decoder.windowFill += part;
        bytes += part;
        length -= part;
        flushWindow(decoder, false);
    }
}

// Near the end of the window, one byte at a time; when the window moves, the
// source moves back with it and still designates the same bytes.
void copyMatchAcrossFlush(Decoder& decoder, std::int32_t length, std::int32_t distance)
{
    std::int32_t source = decoder.windowFill - distance;
    while (length-- > 0)
        if (appendByte(decoder, decoder.window[source++]))
            source -= pieceSize;
}

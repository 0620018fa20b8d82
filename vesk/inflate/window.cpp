#include "window.h"

#include "decodeFailure.h"

// Hands the piece on when it is full, or whatever it holds when final. When
// the window is full, its end becomes the history: no distance reaches
// farther back. After the final piece no reference can reach back
// into it (the next stream may not look before its own first byte), so
// nothing moves. A piece that the output refuses ends the stream.
void flushWindow(Decoder& decoder, bool final)
{
    if (!final && decoder.windowFill < decoder.pieceEnd)
        return;
    std::int32_t start = decoder.pieceEnd - pieceSize;
    if (!decoder.output.take(decoder.output.target, decoder.window + start, decoder.windowFill - start))
        failDecoding(decoder, outputRefused);
    if (!final && decoder.pieceEnd == windowSize) {
        // Only as much as the stream's format reaches back moves, to the
        // end of the history: Deflate's half of it leaves the rest stale
        // and out of reach.
        std::int32_t reach = decoder.format == deflate64Format ? farthestDistance : farthestDistance / 2;
        std::memcpy(decoder.window + farthestDistance - reach, decoder.window + windowSize - reach,
                    std::size_t(reach));
        decoder.windowFill = farthestDistance;
        decoder.windowMoved = true;
    }
    decoder.pieceEnd = decoder.windowFill + pieceSize;
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

// A match that runs to the end of the piece or past it: in steps while what
// the copy writes stays inside the piece (at most 32 bytes more than a part
// of any length), then byte by byte to its end. The
// source stays `distance` back when the window moves, as the history moves
// with the fill.
void copyMatchAcrossFlush(Decoder& decoder, std::int32_t length, std::int32_t distance)
{
    while (length > 0) {
        std::int32_t room = decoder.pieceEnd - decoder.windowFill;
        unsigned char* to = decoder.window + decoder.windowFill;
        std::int32_t part;
        if (room > 32) {
            part = length < room - 32 ? length : room - 32;
            copyBytes(to, part, distance);
        } else {
            part = length < room ? length : room;
            for (std::int32_t i = 0; i < part; ++i)
                to[i] = to[i - distance];
        }
        decoder.windowFill += part;
        length -= part;
        flushWindow(decoder, false);
    }
}

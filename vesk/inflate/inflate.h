// The Deflate decoder: one stream from an entry's input into its output
// sink. It knows nothing of archives, files or messages; all its state is
// in a Decoder, so that decoders can run side by side.
#ifndef VESK_INFLATE_H
#define VESK_INFLATE_H

#include <csetjmp>
#include <cstdint>

#include "../entryInput.h"
#include "../outputSink.h"

// The output window: its upper half collects a 64 KiB piece of new bytes;
// when the piece is full it goes to the sink, and its last 32 KiB, the
// history that back-references reach into, move to the end of the lower
// half.
constexpr std::int32_t pieceSize = 65536;
constexpr std::int32_t farthestDistance = 32768;
constexpr std::int32_t windowSize = 2 * pieceSize;

// Huffman tables are indexed by the next rootBits stream bits. Codes are at
// most 15 bits long; the tables hold the root and, for each code longer than
// the root, at most one subtable of 2^(15 - rootBits) entries.
constexpr unsigned literalRootBits = 10;
constexpr unsigned distanceRootBits = 8;
constexpr unsigned codeLengthRootBits = 7;
constexpr int literalTableSize = (1 << literalRootBits) + 288 * (1 << (15 - literalRootBits));
constexpr int distanceTableSize = (1 << distanceRootBits) + 32 * (1 << (15 - distanceRootBits));
constexpr int codeLengthTableSize = 1 << codeLengthRootBits;

struct Decoder {
    EntryInput* input;
    OutputSink* sink;

    // Stream bits not yet consumed, the next one in bit 0; bitCount of them
    // are valid. Bits above bitCount are zero or the true bits that follow.
    std::uint64_t bitBuffer;
    unsigned bitCount;
    // Zero bytes handed out beyond the end of the input. The bits run up to
    // eight bytes ahead of the decoder, so only zeros that the decoder
    // actually consumes mean the stream is cut short.
    std::int32_t inputOverrun;

    // On a cache line, as the input's buffer: the CRC reads its pieces in
    // 16-byte loads, and the copies in 8-byte ones.
    alignas(64) unsigned char window[windowSize];
    std::int32_t windowFill;  // next byte to write, pieceSize..windowSize-1
    // Whether the window has moved during this stream: until it has, the
    // lower half holds bytes of earlier streams, which no reference may reach.
    bool windowMoved;

    // Code lengths of the current block. While a dynamic header is read,
    // literalLengths takes the whole run of literal/length and distance
    // lengths.
    unsigned char literalLengths[320];
    unsigned char distanceLengths[32];
    int literalCount;
    int distanceCount;
    unsigned char codeLengthLengths[19];
    std::uint32_t literalTable[literalTableSize];
    std::uint32_t distanceTable[distanceTableSize];
    std::uint32_t codeLengthTable[codeLengthTableSize];

    // Where a failure returns to (decodeFailure.h).
    std::jmp_buf failure;
};

enum DecodeResult {
    streamDecoded,  // the final block has ended, and its bytes are in the sink
    blockDecoded,   // a block has ended, and another follows
    corruptStream,  // damaged or cut short
    outputRefused   // the sink refused a piece: see its overran and error flag
};

// Starts the decoder on a stream at the input's position; what it decodes
// goes to the sink.
void startDecoder(Decoder& decoder, EntryInput& input, OutputSink& sink);

// Decodes the next block; after any result but blockDecoded the stream is
// done with.
DecodeResult inflateBlock(Decoder& decoder);

// Starts the decoder and decodes the whole stream.
DecodeResult inflateStream(Decoder& decoder, EntryInput& input, OutputSink& sink);

#endif

// The Deflate decoder: one stream from bytes in memory into its window,
// whose full stretches it hands on. It knows nothing of archives, files or
// messages; all its state is in a Decoder, so that decoders can run side by
// side.
#ifndef VESK_INFLATE_H
#define VESK_INFLATE_H

#include <csetjmp>
#include <cstdint>

// Where the decoder reads: the bytes from `next` to `end`, which it takes
// in order, and a way to ask for the stretch that follows once they are
// taken; `more` sets `next` and `end` anew, and is false when the data has
// ended.
struct DecoderInput {
    const unsigned char* next;
    const unsigned char* end;
    bool (*more)(void* source, DecoderInput& input);
    void* source;
};

// Where the decoder hands each full stretch of its output, and the last
// one; `take` is false when it refuses them, which ends the stream.
struct DecoderOutput {
    bool (*take)(void* target, const unsigned char* bytes, std::int32_t length);
    void* target;
};

// The two streams the decoder reads: Deflate, and Deflate64, which reaches
// 64 KiB back, gives length code 285 sixteen extra bits and adds distance
// codes 30 and 31.
enum DeflateFormat { deflateFormat, deflate64Format };

// The output window: the history that back-references reach into, 64 KiB
// (Deflate reaches only half as far), then room for four pieces of new
// bytes. Each completed 64 KiB piece goes to the output; once the window is
// full, its last 64 KiB move down to become the history, once for every four
// pieces.
constexpr std::int32_t farthestDistance = 65536;
constexpr std::int32_t pieceSize = 65536;
constexpr std::int32_t windowSize = farthestDistance + 4 * pieceSize;

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
    DecoderInput input;
    DecoderOutput output;
    DeflateFormat format;

    // Stream bits not yet consumed, the next one in bit 0; bitCount of them
    // are valid. Bits above bitCount are zero or the true bits that follow.
    std::uint64_t bitBuffer;
    unsigned bitCount;
    // Where the input's current stretch began: the bytes from here to `next`
    // are still in memory, so that a narrower bit buffer can give the whole
    // bytes it holds back to the input and load them again.
    const unsigned char* stretchBegin;
    // Zero bytes handed out beyond the end of the input. The bits run up to
    // eight bytes ahead of the decoder, so only zeros that the decoder
    // actually consumes mean the stream is cut short.
    std::int32_t inputOverrun;

    // On a cache line: whoever takes the output may read it in 16-byte
    // loads, and the copies go in 8-byte ones.
    alignas(64) unsigned char window[windowSize];
    std::int32_t windowFill;  // next byte to write
    // Where the piece being filled ends; between two symbols windowFill lies
    // before it.
    std::int32_t pieceEnd;
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
    streamDecoded,  // the final block has ended, and its bytes are handed on
    blockDecoded,   // a block has ended, and another follows
    corruptStream,  // damaged or cut short
    outputRefused   // the output refused a stretch
};

// Starts the decoder on a stream that begins at the input's `next`; what it
// decodes goes to the output.
void startDecoder(Decoder& decoder, const DecoderInput& input, const DecoderOutput& output,
                  DeflateFormat format = deflateFormat);

// Decodes the next block; after any result but blockDecoded the stream is
// done with.
DecodeResult inflateBlock(Decoder& decoder);

// Starts the decoder and decodes the whole stream.
DecodeResult inflateStream(Decoder& decoder, const DecoderInput& input, const DecoderOutput& output,
                           DeflateFormat format = deflateFormat);

// The ways the bulk of a block can be decoded, all to the same bytes: with a
// bit buffer of 64 or 32 bits, each with the processor's plain shifts or
// with BMI2's, which take their count from any register and leave the flags
// alone.
enum FastLoopWay { wideLoop, narrowLoop, wideLoopBmi2, narrowLoopBmi2, fastLoopWays };

// Chooses the way once, when the library is loaded: the bit buffer that
// the target's registers hold best, with BMI2 where the processor has it.
void chooseFastLoop();
FastLoopWay fastLoopWay();
// Sets the way (for tests); false, and nothing changed, when this processor
// or build cannot run it.
bool setFastLoop(FastLoopWay way);

#endif

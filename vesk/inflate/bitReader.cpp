#include "bitReader.h"

#include "../library.h"
#include "decodeFailure.h"

unsigned char inputBuffer[inputSize];
std::int32_t inputPosition;
std::int32_t inputLimit;
std::int32_t inputOverrun;
std::uint64_t bitBuffer;
unsigned bitCount;

namespace {

// The first read of an entry asks for what the entry is expected to need, so
// that a small entry costs one small read; later reads double up to the
// block's size.
std::int32_t refillSize;

void refillInput()
{
    inputLimit = std::int32_t(std::fread(inputBuffer, 1, std::size_t(refillSize), archiveFile));
    inputPosition = 0;
    refillSize = refillSize < inputSize / 2 ? 2 * refillSize : inputSize;
}

unsigned nextInputByte()
{
    if (inputPosition == inputLimit) {
        refillInput();
        if (inputLimit == 0) {
            // More zeros than bitBuffer holds: some of them were consumed.
            if (++inputOverrun > 8)
                failDecoding();
            return 0;
        }
    }
    return inputBuffer[inputPosition++];
}

}  // namespace

// Reading starts afresh at the current position of the archive; `expected`
// is the number of bytes the caller expects to take.
void startInput(std::uint64_t expected)
{
    refillSize = expected < std::uint64_t(inputSize) ? std::int32_t(expected) : inputSize;
    refillInput();
}

// Hands out up to `wanted` bytes that follow in the input, straight from the
// input block: at least one, or none when the archive has ended.
std::int32_t readInput(const unsigned char** bytes, std::int32_t wanted)
{
    if (inputPosition == inputLimit)
        refillInput();
    std::int32_t available = inputLimit - inputPosition;
    std::int32_t taken = wanted < available ? wanted : available;
    *bytes = inputBuffer + inputPosition;
    inputPosition += taken;
    return taken;
}

// The decoder's bits start at the current position of the input.
void startBits()
{
    inputOverrun = 0;
    bitBuffer = 0;
    bitCount = 0;
}

void fillBitsSlowly()
{
    while (bitCount < 56) {
        bitBuffer |= std::uint64_t(nextInputByte()) << bitCount;
        bitCount += 8;
    }
}

// Fails when the stream consumed zeros from beyond the end of the archive.
void checkStreamEnd()
{
    if (unsigned(inputOverrun) * 8 > bitCount)
        failDecoding();
}

// Whole bytes behind the bits already taken (stored data, after the bit
// buffer has been drained); the archive must hold them.
std::int32_t takeInputBytes(const unsigned char** bytes, std::int32_t wanted)
{
    std::int32_t taken = readInput(bytes, wanted);
    if (taken == 0)
        failDecoding();
    return taken;
}

#include "bitReader.h"

#include "../library.h"
#include "../platform.h"
#include "decodeFailure.h"

unsigned char inputBuffer[inputSize];
std::int32_t inputPosition;
std::int32_t inputLimit;
std::int32_t inputOverrun;
std::uint64_t bitBuffer;
unsigned bitCount;

namespace {

// The first read of an entry asks for what the entry is expected to need, but
// at least 16 KiB, so that the small entries that follow it are mostly read
// along; later reads double up to the block's size.
constexpr std::int32_t firstReadMinimum = 16384;
std::int32_t refillSize;
// Archive position of inputBuffer[0]. Blocks are read one after the other,
// so the archive stands at inputStart + inputLimit.
std::uint64_t inputStart;

void refillInput()
{
    inputStart += std::uint64_t(inputLimit);
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

// Forgets the input block: the archive it came from has been closed, or
// another one is about to be read.
void forgetInput()
{
    inputStart = 0;
    inputLimit = 0;
    inputPosition = 0;
}

// Reading starts at `position` of the archive: inside the input block when
// the block already holds the `expected` bytes that the caller expects to
// take from there (a small entry usually follows the one before it), else
// after a seek.
bool startInput(std::uint64_t position, std::uint64_t expected)
{
    refillSize = expected < std::uint64_t(firstReadMinimum) ? firstReadMinimum
                 : expected < std::uint64_t(inputSize)      ? std::int32_t(expected)
                                                            : inputSize;
    if (position >= inputStart && position - inputStart + expected <= std::uint64_t(inputLimit)) {
        inputPosition = std::int32_t(position - inputStart);
        return true;
    }
    if (!seekStream(archiveFile, position))
        return false;
    inputStart = position;
    inputLimit = 0;
    refillInput();
    return true;
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

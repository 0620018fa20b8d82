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
std::int32_t blockReadSize;
// Archive position of inputBuffer[0] and the bytes the last read delivered.
// Blocks are read one after the other, so the archive stands at inputStart +
// blockLength.
std::uint64_t inputStart;
std::int32_t blockLength;
// Archive position where the current entry's bytes end: nothing behind it
// is handed out, so that no entry reads another's data.
std::uint64_t inputEnd;

// inputLimit: the bytes of the block that belong to the current entry.
void limitToEntry()
{
    std::uint64_t left = inputEnd - inputStart;
    inputLimit = left < std::uint64_t(blockLength) ? std::int32_t(left) : blockLength;
}

void readInputBlock()
{
    if (inputEnd - inputStart <= std::uint64_t(blockLength))
        return;  // the entry ends in this block
    inputStart += std::uint64_t(blockLength);
    blockLength = std::int32_t(std::fread(inputBuffer, 1, std::size_t(blockReadSize), archiveFile));
    inputPosition = 0;
    blockReadSize = blockReadSize < inputSize / 2 ? 2 * blockReadSize : inputSize;
    limitToEntry();
}

unsigned nextInputByte()
{
    if (inputPosition == inputLimit) {
        readInputBlock();
        if (inputPosition == inputLimit) {
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
    blockLength = 0;
    inputLimit = 0;
    inputPosition = 0;
    inputEnd = ~std::uint64_t(0);
}

// Reading starts at `position` of the archive: inside the input block when
// the block already holds the `expected` bytes that the caller expects to
// take from there (a small entry usually follows the one before it), else
// after a seek. Until limitInput, the input runs to the end of the archive.
bool startInput(std::uint64_t position, std::uint64_t expected)
{
    blockReadSize = expected < std::uint64_t(firstReadMinimum) ? firstReadMinimum
                    : expected < std::uint64_t(inputSize)      ? std::int32_t(expected)
                                                               : inputSize;
    inputEnd = ~std::uint64_t(0);
    std::uint64_t held = std::uint64_t(blockLength);
    if (position >= inputStart && position - inputStart <= held
        && expected <= held - (position - inputStart)) {
        inputPosition = std::int32_t(position - inputStart);
        limitToEntry();
        return true;
    }
    if (!seekStream(archiveFile, position))
        return false;
    inputStart = position;
    blockLength = 0;
    inputLimit = 0;
    inputPosition = 0;
    readInputBlock();
    return true;
}

// The input ends at archive position `end`, at or behind where it stands.
void limitInput(std::uint64_t end)
{
    inputEnd = end;
    limitToEntry();
}

// Hands out up to `wanted` bytes that follow in the input, straight from the
// input block: at least one, or none when the archive has ended.
std::int32_t readInput(const unsigned char** bytes, std::int32_t wanted)
{
    if (inputPosition == inputLimit)
        readInputBlock();
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

#include "bitReader.h"

#include "../library.h"

unsigned char inputBuffer[inputSize];
std::int32_t inputPosition;
std::int32_t inputLimit;
std::int32_t inputOverrun;
std::uint64_t bitBuffer;
unsigned bitCount;

namespace {

// Reads start small and grow, so that a small entry costs a small read.
std::int32_t refillSize;

}  // namespace

void refillInput()
{
    inputLimit = std::int32_t(std::fread(inputBuffer, 1, std::size_t(refillSize), archiveFile));
    inputPosition = 0;
    if (refillSize < inputSize)
        refillSize *= 2;
}

// Reading starts afresh at the current position of the archive.
void startInput()
{
    refillSize = 4096;
    inputOverrun = 0;
    bitBuffer = 0;
    bitCount = 0;
    refillInput();
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

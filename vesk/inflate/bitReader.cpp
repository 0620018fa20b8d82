#include "bitReader.h"

#include "../library.h"
#include "decodeFailure.h"

unsigned char inputBuffer[1024];
std::int32_t inputPosition;
std::int32_t inputLimit;
std::int32_t inputOverrun;
std::uint32_t bitBuffer;
std::uint32_t bitCount;
const unsigned char bitMasks[9] = {0x00, 0x01, 0x03, 0x07, 0x0F, 0x1F, 0x3F, 0x7F, 0xFF};

void refillInput()
{
    inputLimit = std::int32_t(std::fread(inputBuffer, 1, sizeof inputBuffer, archiveFile));
    inputPosition = 0;
}

unsigned nextByteAfterRefill()
{
    refillInput();
    if (inputLimit != 0)
        return inputBuffer[inputPosition++];
    if (++inputOverrun > 2)
        failDecoding();
    return 0;
}

void primeBitBuffer()
{
    bitBuffer = nextInputByte();
    bitBuffer |= nextInputByte() << 8;
    bitCount = 8;
}

// Reading starts afresh at the current position of the archive.
void startInput()
{
    inputOverrun = 0;
    refillInput();
    primeBitBuffer();
}

// At the end of a stream: two bytes read past the end are only look-ahead
// while the first of them is still whole.
void checkStreamEnd()
{
    if (inputOverrun == 2 && bitCount != 8)
        failDecoding();
}

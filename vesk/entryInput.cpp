#include "entryInput.h"

#include "library.h"
#include "platform.h"

namespace {

// The first read of an entry asks for what the entry is expected to need, but
// at least 16 KiB, so that the small entries that follow it are mostly read
// along; later reads double up to the buffer's size.
constexpr std::int32_t firstReadMinimum = 16384;

// a + b, or the largest position where that does not fit: no archive
// reaches it, so reading stops at the archive's end as it would anyway.
std::uint64_t addPositions(std::uint64_t a, std::uint64_t b)
{
    return b > ~std::uint64_t(0) - a ? ~std::uint64_t(0) : a + b;
}

// limit: the bytes of the block that belong to the current entry.
void limitToEntry(EntryInput& input)
{
    std::uint64_t left = input.endPosition - input.blockPosition;
    input.limit = left < std::uint64_t(input.blockLength) ? std::int32_t(left) : input.blockLength;
}

void readInputBlock(EntryInput& input)
{
    if (input.endPosition - input.blockPosition <= std::uint64_t(input.blockLength))
        return;  // the entry ends in this block
    input.blockPosition += std::uint64_t(input.blockLength);
    input.blockLength = std::int32_t(
        readArchive(input.archive, input.blockPosition, input.buffer, std::size_t(input.readSize)));
    input.position = 0;
    input.readSize = input.readSize < inputSize / 2 ? 2 * input.readSize : inputSize;
    limitToEntry(input);
}

// Reading starts at `position` of the archive: inside the buffer when it
// already holds the `expected` bytes that the caller expects to take from
// there (a small entry usually follows the one before it), else with a new
// read there. Until the entry's end is known, the input runs to the end of
// the archive.
void moveInput(EntryInput& input, std::uint64_t position, std::uint64_t expected)
{
    input.readSize = expected < std::uint64_t(firstReadMinimum) ? firstReadMinimum
                     : expected < std::uint64_t(inputSize)      ? std::int32_t(expected)
                                                                : inputSize;
    input.endPosition = ~std::uint64_t(0);
    std::uint64_t held = std::uint64_t(input.blockLength);
    if (position >= input.blockPosition && position - input.blockPosition <= held
        && expected <= held - (position - input.blockPosition)) {
        input.position = std::int32_t(position - input.blockPosition);
        limitToEntry(input);
        return;
    }
    input.blockPosition = position;
    input.blockLength = 0;
    input.limit = 0;
    input.position = 0;
    readInputBlock(input);
}

// Skips up to `length` bytes, fewer where the archive ends.
void skipInput(EntryInput& input, std::int32_t length)
{
    const unsigned char* bytes;
    for (std::int32_t part; length > 0 && (part = readInput(input, &bytes, length)) != 0;)
        length -= part;
}

}  // namespace

void startInput(EntryInput& input, FileHandle archive)
{
    input.archive = archive;
    input.blockPosition = 0;
    input.blockLength = 0;
    input.limit = 0;
    input.position = 0;
    input.readSize = inputSize;
    input.endPosition = ~std::uint64_t(0);
}

// A name or extra field cut off by the end of the archive leaves the input
// at the end, where reading the data fails. The central record's sizes tell
// how much to read first: the local header's own extra field may be a
// little longer.
bool openEntryData(EntryInput& input, CentralRecord& record, std::uint64_t* dataStart, std::uint64_t* dataEnd)
{
    std::uint64_t nearby = localHeaderSize + record.nameLength + record.extraLength + 64;
    moveInput(input, record.localHeader, addPositions(nearby, record.compressedSize));
    const unsigned char* localHeader;
    if (readInput(input, &localHeader, localHeaderSize) != localHeaderSize
        || readLittle32(localHeader) != localSignature)
        return false;
    std::int32_t nameLength = std::int32_t(readLittle16(localHeader + localNameLength));
    std::int32_t extraLength = std::int32_t(readLittle16(localHeader + localExtraLength));
    *dataStart = addPositions(record.localHeader, localHeaderSize + std::uint64_t(nameLength + extraLength));
    *dataEnd = addPositions(*dataStart, record.compressedSize);
    skipInput(input, nameLength);
    // The extra field arrives whole: the input holds the header with room for
    // the central record's extra field, 64 bytes more and the data. Only one
    // far longer than the central one, which archivers do not write, may
    // arrive in two pieces; it is skipped unread, as one cut short is.
    const unsigned char* extra;
    std::int32_t arrived = readInput(input, &extra, extraLength);
    if (arrived == extraLength)
        raiseExactTime(extra, std::size_t(arrived), &record);
    skipInput(input, extraLength - arrived);
    input.endPosition = *dataEnd;
    limitToEntry(input);
    return true;
}

void moveToEntryData(EntryInput& input, std::uint64_t dataStart, std::uint64_t dataEnd)
{
    if (input.endPosition == dataEnd && input.blockPosition + std::uint64_t(input.position) == dataStart)
        return;
    moveInput(input, dataStart, dataEnd - dataStart);
    input.endPosition = dataEnd;
    limitToEntry(input);
}

std::int32_t readInput(EntryInput& input, const unsigned char** bytes, std::int32_t wanted)
{
    if (input.position == input.limit)
        readInputBlock(input);
    std::int32_t available = input.limit - input.position;
    std::int32_t taken = wanted < available ? wanted : available;
    *bytes = input.buffer + input.position;
    input.position += taken;
    return taken;
}

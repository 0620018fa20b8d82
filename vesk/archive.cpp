// The library's first export: recognise the archive, find its end record and
// walk the central directory, one entry at a time.
#include <cstring>

#include "inflate/bitReader.h"
#include "library.h"
#include "names.h"
#include "platform.h"
#include "records.h"
#include "spans.h"
#include "vesk.h"

std::FILE* archiveFile;

namespace {

const std::uint32_t sevenZipSignature = 0xAFBC7A37;
const std::uint32_t gzipDeflateSignature = 0x088B1F;  // low three bytes

// The directory walk reads through its own stream and buffer, so that the
// entries' reads, which go to the archive stream in blocks of their own,
// never discard what it has buffered.
char directoryBuffer[65536];
std::FILE* directoryFile;

// One central-directory record: 46 fixed bytes and a name, an extra field
// and a comment of up to 65535 bytes each, and room for the NUL that
// unzipOneFile writes behind the name.
unsigned char record[centralName + 3 * 65535 + 1];
// Where directoryFile stands after the last record read whole: the next
// record normally starts there and needs no seek.
std::uint64_t directoryPosition;
const std::uint64_t unknownPosition = ~std::uint64_t(0);

// An argument as the library's text; false when it does not fit the path
// limit with `spare` units to add.
bool takeArgument(char* text, const char* argument, std::size_t spare)
{
    return toLibraryText(argument, text) && fitsPathLimit(text, spare);
}

// What follows a record's 46 fixed bytes: name, extra field and comment.
std::size_t recordTail()
{
    return std::size_t(readLittle16(record + centralNameLength)) + readLittle16(record + centralExtraLength)
           + readLittle16(record + centralCommentLength);
}

// Reads the record at position into `record`; false when its fixed part or
// name cannot be read or it is no central-directory record (a count larger
// than the records present lands on the end record or beyond the file). The
// extra field and comment are read along, so that the stream ends up at the
// next record; the archive may end inside them.
bool readRecord(std::uint64_t position)
{
    if (position != directoryPosition && !seekStream(directoryFile, position))
        return false;
    directoryPosition = unknownPosition;
    if (std::fread(record, 1, centralName, directoryFile) != centralName
        || readLittle32(record) != centralSignature)
        return false;
    std::size_t tail = recordTail();
    std::size_t arrived = std::fread(record + centralName, 1, tail, directoryFile);
    if (arrived == tail)
        directoryPosition = position + centralName + tail;
    // What the archive cut off reads as zeros, never as an earlier record's.
    std::memset(record + centralName + arrived, 0, tail - arrived);
    return arrived >= readLittle16(record + centralNameLength);
}

// Adds every record's local-header position for the overlap check, which
// needs them all before the first entry is extracted; false when there is
// no memory for them. A record that cannot be read ends the list: the walk
// reports it when it gets there, and extracts nothing after it.
bool gatherSpanStarts(std::uint64_t recordCount, std::uint64_t recordPosition)
{
    EntryPlace place;
    for (std::uint64_t recordIndex = 0;
         recordIndex < recordCount && readRecord(recordPosition) && readEntryPlace(record, &place);
         ++recordIndex) {
        if (!addSpanStart(place.localHeader))
            return false;
        recordPosition += centralName + recordTail();
    }
    return sortSpanStarts();
}

// Hands every central-directory record to unzipOneFile, in order, up to the
// first that fails.
int walkDirectory(const char* destination, std::uint64_t recordCount, std::uint64_t recordPosition)
{
    // A record takes at least 46 bytes, so a count larger than the records
    // present ends at the first position that holds none.
    for (std::uint64_t recordIndex = 0; recordIndex < recordCount; ++recordIndex) {
        if (!readRecord(recordPosition)) {
            showError("Damaged archive :-(");
            return 1;
        }
        if (unzipOneFile(destination, reinterpret_cast<char*>(record)) != 0)
            return 1;
        recordPosition += centralName + recordTail();
    }
    return 0;
}

bool readArchiveAt(std::uint64_t position, unsigned char* bytes, std::size_t length)
{
    return seekStream(archiveFile, position) && std::fread(bytes, 1, length, archiveFile) == length;
}

// How many records the central directory holds and where it starts. Values
// too large for the end record (all ones there) are in the Zip64 end record,
// which a locator just before the end record points to; where the end
// record has all ones but no locator, its values are the true ones (Python
// writes an archive of exactly 65,535 entries so). False when a locator
// leads to no Zip64 end record, or the two records disagree.
bool locateDirectory(const unsigned char* endRecord, std::uint64_t endPosition, std::uint64_t* recordCount,
                     std::uint64_t* directoryOffset)
{
    unsigned count = readLittle16(endRecord + endRecordCount);
    std::uint32_t offset = readLittle32(endRecord + endDirectoryOffset);
    *recordCount = count;
    *directoryOffset = offset;
    bool zip64 = count == zip64Marker16 || readLittle16(endRecord + endDiskRecordCount) == zip64Marker16
                 || offset == zip64Marker32 || readLittle32(endRecord + endDirectorySize) == zip64Marker32;
    unsigned char locator[zip64LocatorSize];
    if (!zip64 || endPosition < zip64LocatorSize
        || !readArchiveAt(endPosition - zip64LocatorSize, locator, sizeof locator)
        || readLittle32(locator) != zip64LocatorSignature)
        return true;
    // The Zip64 end record lies whole before the locator.
    std::uint64_t zip64End = readLittle64(locator + zip64LocatorEndOffset);
    unsigned char zip64Record[zip64EndRecordSize];
    if (endPosition < zip64LocatorSize + zip64EndRecordSize
        || zip64End > endPosition - zip64LocatorSize - zip64EndRecordSize
        || !readArchiveAt(zip64End, zip64Record, sizeof zip64Record)
        || readLittle32(zip64Record) != zip64EndSignature)
        return false;
    *recordCount = readLittle64(zip64Record + zip64EndRecordCount);
    *directoryOffset = readLittle64(zip64Record + zip64EndDirectoryOffset);
    return (count == zip64Marker16 || count == *recordCount)
           && (offset == zip64Marker32 || offset == *directoryOffset);
}

int walkArchive(const char* archiveName, char* destination)
{
    unsigned char firstBytes[32];
    if (std::fread(firstBytes, 1, sizeof firstBytes, archiveFile) != sizeof firstBytes) {
        showError("File is faulty/empty/ridiculously small :-(");
        return 1;
    }
    std::uint32_t signature = readLittle32(firstBytes);
    if (signature == sevenZipSignature) {
        std::fputs("7-", stdout);
        std::fflush(stdout);
        showError(" (SORRY!)");
        return 1;
    }
    if ((signature & 0xFFFFFF) == gzipDeflateSignature) {
        std::fputc('G', stdout);
        std::fflush(stdout);
        showError(" (SORRY!)");
        return 1;
    }

    std::size_t length = std::strlen(destination);
    if (length != 0 && destination[length - 1] != '\\')
        std::strcpy(destination + length, "\\");

    unsigned char endRecord[endRecordSize];
    std::uint64_t endPosition;
    if (!findEndOfCentralDirectory(endRecord, &endPosition))
        return 1;
    std::uint64_t recordCount;
    std::uint64_t directoryOffset;
    if (!locateDirectory(endRecord, endPosition, &recordCount, &directoryOffset)) {
        showError("Damaged archive :-(");
        return 1;
    }
    forgetCreatedDirectories();
    directoryFile = openArchiveStream(archiveName);
    if (!directoryFile) {
        showError("Cannot open input file #%s# :-(", archiveName);
        return 1;
    }
    std::setvbuf(directoryFile, directoryBuffer, _IOFBF, sizeof directoryBuffer);
    directoryPosition = unknownPosition;
    int result = 1;
    if (!gatherSpanStarts(recordCount, directoryOffset))
        showError("Out of memory :-(");
    else
        result = walkDirectory(destination, recordCount, directoryOffset);
    forgetClaimedSpans();
    std::fclose(directoryFile);
    directoryFile = nullptr;
    return result;
}

}  // namespace

namespace {

// The end-record search reads the file backwards in blocks of this size:
// large reads, so that a file with no record is scanned at memory speed.
unsigned char scanBuffer[1 << 18];

// The last end-record signature among the first `length` bytes of `bytes`,
// or nullptr. memchr finds the candidates: the signature's last byte, 06, is
// rare in text and no commoner than any other in compressed data.
const unsigned char* lastEndSignature(const unsigned char* bytes, std::size_t length)
{
    const unsigned char* last = nullptr;
    const unsigned char* end = bytes + length;
    for (const unsigned char* candidate = bytes + 3;
         (candidate =
              static_cast<const unsigned char*>(std::memchr(candidate, 0x06, std::size_t(end - candidate))));
         ++candidate)
        if (readLittle32(candidate - 3) == endSignature)
            last = candidate - 3;
    return last;
}

}  // namespace

// Finds the last end-of-central-directory signature of the archive that has
// a whole record behind it: one closer to the file's end (inside a comment,
// say) is no record, and one at the very first byte does not count.
// Scanning backward from the end, the first signature met is the last one,
// so the search costs what lies behind it. `endPosition` is where the record
// starts.
bool findEndOfCentralDirectory(unsigned char* endRecord, std::uint64_t* endPosition)
{
    std::uint64_t size;
    // The smallest archive is an end record alone.
    if (!streamSize(archiveFile, &size) || size < endRecordSize)
        return false;
    // The bytes before `end` may hold a signature that a record follows.
    std::uint64_t end = size - endRecordSize + 4;
    for (;;) {
        std::uint64_t start = end > sizeof scanBuffer ? end - sizeof scanBuffer : 0;
        std::size_t length = std::size_t(end - start);
        if (!readArchiveAt(start, scanBuffer, length))
            return false;
        if (const unsigned char* found = lastEndSignature(scanBuffer, length)) {
            *endPosition = start + std::uint64_t(found - scanBuffer);
            return *endPosition != 0 && readArchiveAt(*endPosition, endRecord, endRecordSize);
        }
        if (start == 0)
            return false;
        end = start + 3;  // a signature may straddle two blocks
    }
}

int unzip(const char* archivePath, const char* destinationDirectory)
{
    char archiveName[pathCapacity];
    char destination[pathCapacity];
    if (!archivePath)
        archivePath = "";
    if (!destinationDirectory)
        destinationDirectory = "";
    if (!takeArgument(archiveName, archivePath, 0)) {
        showError("File name too long #%s# :-(", archiveName);
        return 1;
    }
    // Room for the backslash that may be appended.
    if (!takeArgument(destination, destinationDirectory, 1)) {
        showError("File name too long #%s# :-(", destination);
        return 1;
    }

    archiveFile = openArchiveStream(archiveName);
    if (!archiveFile) {
        showError("Cannot open input file #%s# :-(", archiveName);
        return 1;
    }
    // Entries read their data in blocks into the input block; a stream
    // buffer would only copy every byte once more.
    std::setvbuf(archiveFile, nullptr, _IONBF, 0);
    forgetInput();
    int result = walkArchive(archiveName, destination);
    std::fclose(archiveFile);
    archiveFile = nullptr;
    return result;
}

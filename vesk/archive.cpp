// The library's exports: unzip recognises the archive, finds its end record
// and walks the central directory, preparing one entry at a time and
// handing it to the call's workers; unzipOneFile extracts one entry with the
// call's state.
#include <cstring>

#include "archive.h"
#include "entry.h"
#include "library.h"
#include "names.h"
#include "platform.h"
#include "vesk.h"
#include "workers.h"

namespace {

const std::uint32_t sevenZipSignature = 0xAFBC7A37;
const std::uint32_t gzipDeflateSignature = 0x088B1F;  // low three bytes

// The state of the one call at a time.
CallState callState;

// An argument as the library's text; false when it does not fit the path
// limit with `spare` units to add.
bool takeArgument(char* text, const char* argument, std::size_t spare)
{
    return toLibraryText(argument, text) && fitsPathLimit(text, spare);
}

// What follows a record's 46 fixed bytes: name, extra field and comment.
std::size_t recordTail(const unsigned char* record)
{
    return std::size_t(readLittle16(record + centralNameLength)) + readLittle16(record + centralExtraLength)
           + readLittle16(record + centralCommentLength);
}

// Reads up to `length` bytes of the central directory at `position`,
// through the walk's buffer, which is refilled there when it does not hold
// them; what is longer than the buffer is read straight. Returns how many
// arrived.
std::size_t readDirectory(ArchiveWalk& walk, std::uint64_t position, unsigned char* bytes, std::size_t length)
{
    std::uint64_t offset = position - walk.bufferPosition;
    if (position < walk.bufferPosition || offset > walk.bufferLength || length > walk.bufferLength - offset) {
        if (length > sizeof walk.directoryBuffer)
            return readArchive(walk.archive, position, bytes, length);
        walk.bufferPosition = position;
        walk.bufferLength =
            readArchive(walk.archive, position, walk.directoryBuffer, sizeof walk.directoryBuffer);
        offset = 0;
    }
    std::size_t arrived =
        length < walk.bufferLength - offset ? length : std::size_t(walk.bufferLength - offset);
    std::memcpy(bytes, walk.directoryBuffer + offset, arrived);
    return arrived;
}

// Reads the record at position into the walk's record; false when its fixed
// part or name cannot be read or it is no central-directory record (a count
// larger than the records present lands on the end record or beyond the
// file). The archive may end inside its extra field and comment.
bool readRecord(ArchiveWalk& walk, std::uint64_t position)
{
    unsigned char* record = walk.record;
    if (readDirectory(walk, position, record, centralName) != centralName
        || readLittle32(record) != centralSignature)
        return false;
    std::size_t tail = recordTail(record);
    std::size_t arrived = readDirectory(walk, position + centralName, record + centralName, tail);
    // What the archive cut off reads as zeros, never as an earlier record's.
    std::memset(record + centralName + arrived, 0, tail - arrived);
    return arrived >= readLittle16(record + centralNameLength);
}

// Reads the record at `*position` into the walk's record and moves
// `*position` on to the next one.
bool readNextRecord(ArchiveWalk& walk, std::uint64_t* position)
{
    if (!readRecord(walk, *position))
        return false;
    *position += centralName + recordTail(walk.record);
    return true;
}

// Adds every record's local-header position for the overlap check, which
// needs them all before the first entry is extracted; false when there is
// no memory for them. A record that cannot be read ends the list: the walk
// reports it when it gets there, and extracts nothing after it.
bool gatherSpanStarts(ArchiveWalk& walk)
{
    std::uint64_t position = walk.directoryOffset;
    CentralRecord place;
    for (std::uint64_t recordIndex = 0; recordIndex < walk.recordCount && readNextRecord(walk, &position)
                                        && readEntryPlace(walk.record, &place);
         ++recordIndex)
        if (!addSpanStart(walk.spans, place.localHeader))
            return false;
    return sortSpanStarts(walk.spans);
}

// Prepares every central-directory record's entry, in order, and hands it
// to the workers, up to the first that fails: the first in this order
// decides the result.
bool walkDirectory(ArchiveWalk& walk, EntryInput& input, Workers& workers, const char* destination)
{
    // A record takes at least 46 bytes, so a count larger than the records
    // present ends at the first position that holds none.
    std::uint64_t position = walk.directoryOffset;
    for (std::uint64_t recordIndex = 0; recordIndex < walk.recordCount; ++recordIndex) {
        PendingEntry* entry = nextEntry(workers);
        if (!entry)
            break;
        PreparedEntry prepared = readNextRecord(walk, &position)
                                     ? prepareEntry(walk.directories, workers.onTheirWay, walk.spans, input,
                                                    destination, reinterpret_cast<char*>(walk.record), *entry)
                                     : refuseEntry(*entry, damagedArchive);
        // A directory to be made waits for the entries on their way: they
        // are committed, and the entry goes on. One of them failed: it ends
        // here, unseen, as the walk does.
        while (prepared == entryWaits)
            prepared = settleEntries(workers) ? placeEntry(walk.directories, workers.onTheirWay, *entry)
                                              : refuseEntry(*entry, cannotOpenOutput);
        handEntry(workers);
        if (prepared == entryRefused)
            break;
    }
    return settleEntries(workers);
}

bool readArchiveAt(FileHandle archive, std::uint64_t position, unsigned char* bytes, std::size_t length)
{
    return readArchive(archive, position, bytes, length) == length;
}

// How many records the central directory holds and where it starts. Values
// too large for the end record (all ones there) are in the Zip64 end record,
// which a locator just before the end record points to; where the end
// record has all ones but no locator, its values are the true ones (Python
// writes an archive of exactly 65,535 entries so). False when a locator
// leads to no Zip64 end record, or the two records disagree.
bool locateDirectory(ArchiveWalk& walk)
{
    const unsigned char* endRecord = walk.endRecord;
    std::uint64_t endPosition = walk.endPosition;
    unsigned count = readLittle16(endRecord + endRecordCount);
    std::uint32_t offset = readLittle32(endRecord + endDirectoryOffset);
    walk.recordCount = count;
    walk.directoryOffset = offset;
    bool zip64 = count == zip64Marker16 || readLittle16(endRecord + endDiskRecordCount) == zip64Marker16
                 || offset == zip64Marker32 || readLittle32(endRecord + endDirectorySize) == zip64Marker32;
    unsigned char locator[zip64LocatorSize];
    if (!zip64 || endPosition < zip64LocatorSize
        || !readArchiveAt(walk.archive, endPosition - zip64LocatorSize, locator, sizeof locator)
        || readLittle32(locator) != zip64LocatorSignature)
        return true;
    // The Zip64 end record lies whole before the locator.
    std::uint64_t zip64End = readLittle64(locator + zip64LocatorEndOffset);
    unsigned char zip64Record[zip64EndRecordSize];
    if (endPosition < zip64LocatorSize + zip64EndRecordSize
        || zip64End > endPosition - zip64LocatorSize - zip64EndRecordSize
        || !readArchiveAt(walk.archive, zip64End, zip64Record, sizeof zip64Record)
        || readLittle32(zip64Record) != zip64EndSignature)
        return false;
    walk.recordCount = readLittle64(zip64Record + zip64EndRecordCount);
    walk.directoryOffset = readLittle64(zip64Record + zip64EndDirectoryOffset);
    return (count == zip64Marker16 || count == walk.recordCount)
           && (offset == zip64Marker32 || offset == walk.directoryOffset);
}

bool walkArchive(CallState& call, char* destination)
{
    ArchiveWalk& walk = call.walk;
    unsigned char firstBytes[32];
    if (!readArchiveAt(walk.archive, 0, firstBytes, sizeof firstBytes)) {
        showError(fileTooSmall);
        return false;
    }
    std::uint32_t signature = readLittle32(firstBytes);
    if (signature == sevenZipSignature) {
        std::fputs("7-", stdout);
        std::fflush(stdout);
        showError(notZip);
        return false;
    }
    if ((signature & 0xFFFFFF) == gzipDeflateSignature) {
        std::fputc('G', stdout);
        std::fflush(stdout);
        showError(notZip);
        return false;
    }

    // Either separator may divide the destination's folders: they are made
    // and opened at each backslash, which ends the destination too.
    std::size_t length = 0;
    for (; destination[length] != '\0'; ++length)
        if (destination[length] == '/')
            destination[length] = '\\';
    if (length != 0 && destination[length - 1] != '\\')
        std::strcpy(destination + length, "\\");

    if (!findEndOfCentralDirectory(walk))
        return false;
    if (!locateDirectory(walk)) {
        showError(damagedArchive);
        return false;
    }
    bool extracted = false;
    if (!gatherSpanStarts(walk)
        || !startWorkers(call.workers, chooseWorkerCount(walk.recordCount), walk.archive, call.input,
                         call.sink, call.decoder, walk.directories)) {
        showError(outOfMemory);
    } else {
        extracted = walkDirectory(walk, call.input, call.workers, destination);
        stopWorkers(call.workers);
    }
    forgetClaimedSpans(walk.spans);
    closeDirectories(walk.directories);
    return extracted;
}

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

void startWalk(ArchiveWalk& walk, FileHandle archive)
{
    walk.archive = archive;
    walk.bufferPosition = 0;
    walk.bufferLength = 0;
    walk.spans = SpanStarts{};
    startDirectories(walk.directories);
}

EntryOutcome extractEntry(CallState& call, const char* destination, char* recordBytes)
{
    // Handed out and committed at once: nothing else is on its way, so no
    // directory waits.
    EntriesOnTheirWay& onTheirWay = call.workers.onTheirWay;
    PendingEntry& entry = call.oneEntry;
    if (prepareEntry(call.walk.directories, onTheirWay, call.walk.spans, call.input, destination, recordBytes,
                     entry)
        == fileToWrite)
        writeEntry(entry, call.input, call.sink, call.decoder, onTheirWay.handed);
    EntryOutcome outcome = commitEntry(entry);
    onTheirWay.committed = ++onTheirWay.handed;
    return outcome;
}

bool holdsOpenStreams()
{
    return callState.walk.archive != noFile || callState.walk.directories.count != 0 || callState.sink.file;
}

// Finds the last end-of-central-directory signature of the archive that has
// a whole record behind it: one closer to the file's end (inside a comment,
// say) is no record, and one at the very first byte does not count.
// Scanning backward from the end, the first signature met is the last one,
// so the search costs what lies behind it.
bool findEndOfCentralDirectory(ArchiveWalk& walk)
{
    FileHandle archive = walk.archive;
    unsigned char* scanBuffer = walk.scanBuffer;
    std::uint64_t size;
    // The smallest archive is an end record alone.
    if (!archiveSize(archive, &size) || size < endRecordSize)
        return false;
    // The bytes before `end` may hold a signature that a record follows.
    std::uint64_t end = size - endRecordSize + 4;
    for (;;) {
        std::uint64_t start = end > sizeof walk.scanBuffer ? end - sizeof walk.scanBuffer : 0;
        std::size_t length = std::size_t(end - start);
        if (!readArchiveAt(archive, start, scanBuffer, length))
            return false;
        if (const unsigned char* found = lastEndSignature(scanBuffer, length)) {
            walk.endPosition = start + std::uint64_t(found - scanBuffer);
            return walk.endPosition != 0
                   && readArchiveAt(archive, walk.endPosition, walk.endRecord, endRecordSize);
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
        showError(fileNameTooLong, archiveName);
        return 1;
    }
    // Room for the backslash that may be appended.
    if (!takeArgument(destination, destinationDirectory, 1)) {
        showError(fileNameTooLong, destination);
        return 1;
    }

    FileHandle archive;
    if (!openArchive(archiveName, &archive)) {
        showError(cannotOpenInput, archiveName);
        return 1;
    }
    startWalk(callState.walk, archive);
    startInput(callState.input, archive);
    startSinkForCall(callState.sink);
    bool extracted = walkArchive(callState, destination);
    closeArchive(archive);
    callState.walk.archive = noFile;
    return extracted ? 0 : 1;
}

int unzipOneFile(const char* destinationDirectory, char* record)
{
    if (callState.walk.archive == noFile)
        return 1;
    return extractEntry(callState, destinationDirectory, record);
}

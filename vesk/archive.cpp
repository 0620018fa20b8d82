// The library's first export: recognise the archive, find its end record and
// walk the central directory, one entry at a time.
#include <cstring>

#include "inflate/bitReader.h"
#include "library.h"
#include "names.h"
#include "platform.h"
#include "vesk.h"

std::FILE* archiveFile;

namespace {

const unsigned char endSignature[4] = {0x50, 0x4B, 0x05, 0x06};
const std::uint32_t centralSignature = 0x02014B50;
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
unsigned char record[46 + 3 * 65535 + 1];
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
    return std::size_t(readLittle16(record + 28)) + readLittle16(record + 30) + readLittle16(record + 32);
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
    if (std::fread(record, 1, 46, directoryFile) != 46 || readLittle32(record) != centralSignature)
        return false;
    std::size_t tail = recordTail();
    std::size_t arrived = std::fread(record + 46, 1, tail, directoryFile);
    if (arrived == tail)
        directoryPosition = position + 46 + tail;
    // What the archive cut off reads as zeros, never as an earlier record's.
    std::memset(record + 46 + arrived, 0, tail - arrived);
    return arrived >= readLittle16(record + 28);
}

// Hands every central-directory record to unzipOneFile, in order, up to the
// first that fails.
int walkDirectory(const char* destination, unsigned recordCount, std::uint64_t recordPosition)
{
    // Positions are 32-bit in the archive; summing them in 64 bits keeps a
    // hostile directory from wrapping round to records already visited.
    for (unsigned recordIndex = 0; recordIndex < recordCount; ++recordIndex) {
        if (!readRecord(recordPosition)) {
            showError("Damaged archive :-(");
            return 1;
        }
        if (unzipOneFile(destination, reinterpret_cast<char*>(record)) != 0)
            return 1;
        recordPosition += 46 + recordTail();
    }
    return 0;
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

    unsigned char endRecord[22];
    if (!findEndOfCentralDirectory(endRecord))
        return 1;
    forgetCreatedDirectories();
    directoryFile = openArchiveStream(archiveName);
    if (!directoryFile) {
        showError("Cannot open input file #%s# :-(", archiveName);
        return 1;
    }
    std::setvbuf(directoryFile, directoryBuffer, _IOFBF, sizeof directoryBuffer);
    directoryPosition = unknownPosition;
    int result = walkDirectory(destination, readLittle16(endRecord + 10),
                               readLittle32(endRecord + 16));
    std::fclose(directoryFile);
    directoryFile = nullptr;
    return result;
}

}  // namespace

// Finds the last end-of-central-directory signature of the archive. Every
// position but the last four bytes of the file may start one, and one at the
// very first byte does not count. Scanning backward from the end, the first
// signature met is the last one, so the search costs what lies behind it.
int findEndOfCentralDirectory(unsigned char* endRecord)
{
    std::uint64_t size;
    // An archive holds at least 101 bytes.
    if (!streamSize(archiveFile, &size) || size <= 100)
        return 0;
    unsigned char scanBuffer[1024];
    std::uint64_t top = size - 5;  // the highest position still to test
    for (;;) {
        std::uint64_t end = top + 4;
        std::uint64_t start = end > sizeof scanBuffer ? end - sizeof scanBuffer : 0;
        std::size_t length = std::size_t(end - start);
        if (!seekStream(archiveFile, start)
            || std::fread(scanBuffer, 1, length, archiveFile) != length)
            return 0;
        for (std::size_t i = length - 3; i-- > 0;) {
            if (std::memcmp(scanBuffer + i, endSignature, 4) != 0)
                continue;
            std::uint64_t found = start + i;
            // A record cut short by the end of the file is no record: its
            // count and position would be whatever the buffer held.
            return found != 0 && seekStream(archiveFile, found)
                   && std::fread(endRecord, 1, 22, archiveFile) == 22;
        }
        if (start == 0)
            return 0;
        top = start - 1;
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

// The library's second export: write one entry of the open archive to disk.
#include <cstring>

#include "crc.h"
#include "inflate/bitReader.h"
#include "inflate/inflate.h"
#include "library.h"
#include "names.h"
#include "platform.h"
#include "vesk.h"

std::FILE* outputFile;

namespace {

// The path of the last createPathDirectories call: the directories along it
// have been made (or cannot be), so entries that share a parent skip them.
char createdPath[pathCapacity];

// Starts the input at the entry's local header and moves it on to the data,
// past the name and extra field whose lengths the local header gives. A
// name or extra field cut off by the end of the archive leaves the input at
// the end, where reading the data fails. The central record's sizes tell
// how much to read first: the local header's own extra field may be a
// little longer, and the decoder reads a few bytes ahead.
bool seekEntryData(const unsigned char* centralRecord)
{
    if (!startInput(readLittle32(centralRecord + 42),
                    30 + readLittle16(centralRecord + 28) + readLittle16(centralRecord + 30)
                        + std::uint64_t(readLittle32(centralRecord + 20)) + 64))
        return false;
    const unsigned char* localHeader;
    if (readInput(&localHeader, 30) != 30)
        return false;
    std::int32_t skipped = std::int32_t(readLittle16(localHeader + 26) + readLittle16(localHeader + 28));
    const unsigned char* bytes;
    for (std::int32_t part; skipped > 0 && (part = readInput(&bytes, skipped)) != 0;)
        skipped -= part;
    return true;
}

}  // namespace

void forgetCreatedDirectories()
{
    createdPath[0] = '\0';
}

// Creates every directory that a backslash of path ends, outermost first.
// Prefixes ending in a full stop (".", ".." or a name the file system would
// trim) and the root are skipped, and so are those the last call made;
// failures, such as an existing directory, are ignored. Leaves path as it
// found it.
int createPathDirectories(char* path)
{
    std::size_t common = 0;
    while (path[common] != '\0' && path[common] == createdPath[common])
        ++common;
    for (char* separator = std::strchr(path, '\\'); separator;
         separator = std::strchr(separator + 1, '\\')) {
        if (separator == path || separator[-1] == '.' || std::size_t(separator - path) < common)
            continue;
        *separator = '\0';
        createDirectory(path);
        *separator = '\\';
    }
    std::strcpy(createdPath, path);
    return 0;
}

// Copies a stored entry straight from the input blocks, folding each piece
// into the CRC as it passes.
// An archive that ends early ends the copy; the CRC comparison reports it.
void copyStoredEntry(std::uint32_t compressedSize)
{
    const unsigned char* bytes;
    for (std::uint32_t remaining = compressedSize, part; remaining != 0; remaining -= part) {
        part = std::uint32_t(readInput(&bytes, std::int32_t(remaining < inputSize ? remaining : inputSize)));
        if (part == 0)
            break;
        updateCrc(bytes, std::int32_t(part));
        std::fwrite(bytes, 1, part, outputFile);
    }
}

int unzipOneFile(const char* destinationDirectory, char* record)
{
    if (!archiveFile)
        return 1;
    const unsigned char* header = reinterpret_cast<const unsigned char*>(record);
    char decoded[pathCapacity];
    const char* name;
    NameStatus status = readEntryName(record, decoded, &name);
    if (status == nameNotUtf8 || !isSafeName(name)) {
        showError("Unsafe file name #%s# :-(", name);
        return 1;
    }
    char outputPath[pathCapacity];
    if (status == nameTooLong || !buildOutputPath(outputPath, destinationDirectory, name)) {
        showError("File name too long #%s# :-(", name);
        return 1;
    }
    // The MS-DOS directory attribute marks a directory; archivers that write
    // no MS-DOS attributes mark one only by the trailing slash of its name.
    std::size_t length = std::strlen(name);
    if ((readLittle32(header + 38) & 0x10) || (length != 0 && isSeparator(name[length - 1])))
        return createPathDirectories(outputPath);

    if (!seekEntryData(header)) {
        showError("Damaged archive :-(");
        return 1;
    }
    createPathDirectories(outputPath);
    outputFile = openOutputStream(outputPath);
    if (!outputFile) {
        showError("Can't open output file :-(");
        return 1;
    }
    // Output leaves in large pieces already; a stream buffer would only copy.
    std::setvbuf(outputFile, nullptr, _IONBF, 0);

    crcRegister = 0xFFFFFFFF;
    unsigned method = readLittle16(header + 10);
    int outcome;
    if (method == 8) {
        outcome = inflateEntry() ? 0 : 1;
    } else if (method == 0) {
        copyStoredEntry(readLittle32(header + 20));
        outcome = 0;
    } else {
        showError("Unsupported compression method (%d) :-(", int(method));
        outcome = 2;
    }

    setLastWriteTime(outputFile, readLittle16(header + 14), readLittle16(header + 12));
    bool written = !std::ferror(outputFile);
    written = std::fclose(outputFile) == 0 && written;
    outputFile = nullptr;
    if (outcome == 0 && !written) {
        showError("Can't write output file :-(");
        return 1;
    }
    if (outcome == 0 && readLittle32(header + 16) != ~crcRegister) {
        showError("CRC FAILED :-(");
        return 1;
    }
    return outcome;
}

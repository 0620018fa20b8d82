// The library's second export: write one entry of the open archive to disk.
#include <cstring>

#include "crc.h"
#include "inflate/bitReader.h"
#include "inflate/inflate.h"
#include "library.h"
#include "names.h"
#include "platform.h"
#include "records.h"
#include "spans.h"
#include "vesk.h"

std::FILE* outputFile;

namespace {

// a + b, or the largest position where that does not fit: no archive
// reaches it, so reading stops at the archive's end as it would anyway.
std::uint64_t addPositions(std::uint64_t a, std::uint64_t b)
{
    return b > ~std::uint64_t(0) - a ? ~std::uint64_t(0) : a + b;
}

// Starts the input at the entry's local header, which must carry its
// signature (an offset into other bytes is a damaged record), moves it on to the data,
// past the name and extra field whose lengths the local header gives, and
// ends it where the data ends; `dataEnd` is that position. A name or extra
// field cut off by the end of the archive leaves the input at the end, where
// reading the data fails. The central record's sizes tell how much to read
// first: the local header's own extra field may be a little longer.
bool seekEntryData(const unsigned char* record, const EntryPlace& place, std::uint64_t* dataEnd)
{
    std::uint64_t nearby = localHeaderSize + readLittle16(record + centralNameLength)
                           + readLittle16(record + centralExtraLength) + 64;
    if (!startInput(place.localHeader, addPositions(nearby, place.compressedSize)))
        return false;
    const unsigned char* localHeader;
    if (readInput(&localHeader, localHeaderSize) != localHeaderSize
        || readLittle32(localHeader) != localSignature)
        return false;
    std::int32_t skipped = std::int32_t(readLittle16(localHeader + localNameLength)
                                        + readLittle16(localHeader + localExtraLength));
    std::uint64_t dataStart = addPositions(place.localHeader, localHeaderSize + std::uint64_t(skipped));
    *dataEnd = addPositions(dataStart, place.compressedSize);
    const unsigned char* bytes;
    for (std::int32_t part; skipped > 0 && (part = readInput(&bytes, skipped)) != 0;)
        skipped -= part;
    limitInput(*dataEnd);
    return true;
}

}  // namespace

// Copies a stored entry straight from the input blocks, folding each piece
// into the CRC as it passes, up to its declared size; false when the data is
// longer than that. An archive that ends early ends the copy; the CRC
// comparison reports it. A failed write ends it too; the stream's error
// flag reports that.
bool copyStoredEntry(std::uint64_t compressedSize, std::uint64_t declaredSize)
{
    const unsigned char* bytes;
    std::uint64_t remaining = compressedSize < declaredSize ? compressedSize : declaredSize;
    for (std::int32_t part; remaining != 0; remaining -= std::uint64_t(part)) {
        part = readInput(&bytes, remaining < std::uint64_t(inputSize) ? std::int32_t(remaining) : inputSize);
        if (part == 0)
            break;
        updateCrc(bytes, part);
        // The first failed write (a full disk) ends the copy.
        if (std::fwrite(bytes, 1, std::size_t(part), outputFile) != std::size_t(part))
            break;
    }
    return compressedSize <= declaredSize;
}

int unzipOneFile(const char* destinationDirectory, char* record)
{
    if (!archiveFile)
        return 1;
    const unsigned char* header = reinterpret_cast<const unsigned char*>(record);
    // Read before the NUL behind the name takes the extra field's first byte.
    EntryPlace place;
    bool placeKnown = readEntryPlace(header, &place);
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
    std::size_t destinationLength = std::strlen(destinationDirectory);
    if ((readLittle32(header + centralExternalAttributes) & directoryAttribute)
        || (length != 0 && isSeparator(name[length - 1]))) {
        int made = createPathDirectories(outputPath, destinationLength, true);
        if (made == 1)
            showError("Unsafe file name #%s# :-(", name);
        else if (made == 2)
            showError("Can't create directory #%s# :-(", name);
        return made == 0 ? 0 : 1;
    }

    // Without the password its data would only be written out as noise.
    if (readLittle16(header + centralFlags) & encryptedFlag) {
        showError("Encrypted file #%s# :-(", name);
        return 1;
    }
    std::uint64_t dataEnd;
    if (!placeKnown || !seekEntryData(header, place, &dataEnd)) {
        showError("Damaged archive :-(");
        return 1;
    }
    if (!claimSpan(place.localHeader, dataEnd)) {
        showError("Overlapping entries #%s# :-(", name);
        return 1;
    }
    int made = createPathDirectories(outputPath, destinationLength, false);
    if (made == 1) {
        showError("Unsafe file name #%s# :-(", name);
        return 1;
    }
    if (made == 2 || !openOutputStream(outputPath, &outputFile)) {
        showError("Can't open output file :-(");
        return 1;
    }
    // Output leaves in large pieces already; a stream buffer would only copy.
    std::setvbuf(outputFile, nullptr, _IONBF, 0);

    crcRegister = 0xFFFFFFFF;
    unsigned method = readLittle16(header + centralMethod);
    int outcome;
    // False when the data runs past the size that the record declares.
    bool withinDeclaredSize = true;
    if (method == 8) {
        // A failed write (3) is reported below, from the stream's error flag.
        int inflated = inflateEntry(place.uncompressedSize);
        outcome = inflated == 1 ? 1 : 0;
        withinDeclaredSize = inflated != 2;
    } else if (method == 0) {
        withinDeclaredSize = copyStoredEntry(place.compressedSize, place.uncompressedSize);
        outcome = 0;
    } else {
        showError("Unsupported compression method (%d) :-(", int(method));
        outcome = 2;
    }

    setLastWriteTime(outputFile, readLittle16(header + centralDate), readLittle16(header + centralTime));
    bool written = !std::ferror(outputFile);
    written = std::fclose(outputFile) == 0 && written;
    outputFile = nullptr;
    if (outcome == 0 && !written) {
        showError("Can't write output file :-(");
        return 1;
    }
    // Data longer than declared, shorter, or other: it is not what the
    // record describes.
    if (outcome == 0 && (!withinDeclaredSize || readLittle32(header + centralCrc) != ~crcRegister)) {
        showError("CRC FAILED :-(");
        return 1;
    }
    return outcome;
}

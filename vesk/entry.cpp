// One entry of the open archive written to disk.
#include "entry.h"

#include <cstring>

#include "crc.h"
#include "library.h"
#include "names.h"
#include "platform.h"

namespace {

// Copies a stored entry straight from the input, through the sink, up to
// its declared size; false when the data is longer than that. An archive
// that ends early ends the copy; the CRC comparison reports it. So does the
// first failed write (a full disk); the file's error flag reports that.
bool copyStoredEntry(EntryInput& input, OutputSink& sink, const CentralRecord& record)
{
    const unsigned char* bytes;
    std::uint64_t declaredSize = record.uncompressedSize;
    std::uint64_t remaining = record.compressedSize < declaredSize ? record.compressedSize : declaredSize;
    for (std::int32_t part; remaining != 0; remaining -= std::uint64_t(part)) {
        part = readInput(input, &bytes,
                         remaining < std::uint64_t(inputSize) ? std::int32_t(remaining) : inputSize);
        if (part == 0 || !writeOutput(sink, bytes, part))
            break;
    }
    return record.compressedSize <= declaredSize;
}

}  // namespace

bool inflateEntryData(Decoder& decoder, EntryInput& input, OutputSink& sink)
{
    if (inflateStream(decoder, input, sink) != corruptStream)
        return true;
    showError(badTable);
    return false;
}

EntryOutcome extractEntry(ArchiveWalk& walk, EntryInput& input, OutputSink& sink, Decoder& decoder,
                          const char* destination, char* recordBytes)
{
    CentralRecord record;
    parseCentralRecord(recordBytes, &record);
    char decoded[pathCapacity];
    const char* name;
    NameStatus status = readEntryName(record, decoded, &name);
    if (status == nameNotUtf8 || !isSafeName(name)) {
        showError(unsafeFileName, name);
        return entryFailed;
    }
    char outputPath[pathCapacity];
    if (status == nameTooLong || !buildOutputPath(outputPath, destination, name)) {
        showError(fileNameTooLong, name);
        return entryFailed;
    }
    // The MS-DOS directory attribute marks a directory; archivers that write
    // no MS-DOS attributes mark one only by the trailing slash of its name.
    std::size_t length = std::strlen(name);
    std::size_t destinationLength = std::strlen(destination);
    if ((record.attributes & directoryAttribute) || (length != 0 && isSeparator(name[length - 1]))) {
        PathOutcome made = enterPathDirectories(walk.directories, outputPath, destinationLength, true);
        if (made == pathIsLink)
            showError(unsafeFileName, name);
        else if (made == pathRefused)
            showError(cannotCreateDirectory, name);
        return made == pathReady ? entryExtracted : entryFailed;
    }

    // Without the password its data would only be written out as noise.
    if (record.flags & encryptedFlag) {
        showError(encryptedFile, name);
        return entryFailed;
    }
    // The input starts at the local header before the entry claims its
    // stretch, which ends where the header says the data ends.
    std::uint64_t dataEnd;
    if (!record.placeKnown || !openEntryData(input, record, &dataEnd)) {
        showError(damagedArchive);
        return entryFailed;
    }
    if (!claimSpan(walk.spans, record.localHeader, dataEnd)) {
        showError(overlappingEntries, name);
        return entryFailed;
    }
    std::FILE* file = nullptr;
    PathOutcome made = enterPathDirectories(walk.directories, outputPath, destinationLength, false);
    if (made == pathIsLink) {
        showError(unsafeFileName, name);
        return entryFailed;
    }
    const char* lastSeparator = std::strrchr(outputPath, '\\');
    const char* fileName = lastSeparator ? lastSeparator + 1 : outputPath;
    if (made == pathRefused || !openOutputStream(deepestDirectory(walk.directories), fileName, &file)) {
        showError(cannotOpenOutput);
        return entryFailed;
    }
    // Output leaves in large pieces already; a stream buffer would only copy.
    std::setvbuf(file, nullptr, _IONBF, 0);
    startSink(sink, file, record.uncompressedSize);

    EntryOutcome outcome = entryExtracted;
    // False when the data runs past the size that the record declares.
    bool withinDeclaredSize = true;
    if (record.method == 8) {
        // A refused write is reported below, from the sink.
        if (!inflateEntryData(decoder, input, sink))
            outcome = entryFailed;
        withinDeclaredSize = !sink.overran;
    } else if (record.method == 0) {
        withinDeclaredSize = copyStoredEntry(input, sink, record);
    } else {
        char method[16];
        std::snprintf(method, sizeof method, "%u", record.method);
        showError(unsupportedMethod, method);
        outcome = entryMethodUnsupported;
    }

    setLastWriteTime(file, record.date, record.time);
    bool written = !std::ferror(file);
    written = std::fclose(file) == 0 && written;
    sink.file = nullptr;
    if (outcome == entryExtracted && !written) {
        showError(cannotWriteOutput);
        return entryFailed;
    }
    // Data longer than declared, shorter, or other: it is not what the
    // record describes.
    if (outcome == entryExtracted && (!withinDeclaredSize || record.crc != finishCrc(sink.crc))) {
        showError(crcFailed);
        return entryFailed;
    }
    return outcome;
}

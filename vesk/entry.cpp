// One entry of the open archive written to disk.
#include "entry.h"

#include <cstring>

#include "crc.h"
#include "names.h"
#include "platform.h"

namespace {

// Records the entry's failure; `detail` is a name or a number.
PreparedEntry refuse(PendingEntry& entry, Message failure, const char* detail = "",
                     EntryOutcome outcome = entryFailed)
{
    entry.outcome = outcome;
    entry.failure = failure;
    if (detail != entry.detail)
        std::snprintf(entry.detail, sizeof entry.detail, "%s", detail);
    return entryRefused;
}

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

// Writes the entry's data into its open file; records the result.
void writeData(PendingEntry& entry, EntryInput& input, OutputSink& sink, Decoder& decoder)
{
    const CentralRecord& record = entry.record;
    // False when the data runs past the size that the record declares.
    bool withinDeclaredSize = true;
    entry.outcome = entryExtracted;
    if (record.method == deflateMethod || record.method == deflate64Method) {
        // A refused write is reported below, from the sink.
        if (!inflateEntryData(decoder, input, sink,
                              record.method == deflate64Method ? deflate64Format : deflateFormat))
            refuse(entry, badTable);
        withinDeclaredSize = !sink.overran;
    } else if (record.method == storedMethod) {
        withinDeclaredSize = copyStoredEntry(input, sink, record);
    } else {
        char method[16];
        std::snprintf(method, sizeof method, "%u", record.method);
        refuse(entry, unsupportedMethod, method, entryMethodUnsupported);
    }

    // The time an extra field gives, else the MS-DOS one read as local time.
    std::uint64_t ticks = record.exactTime;
    if (record.timeSource != dosTimeSource
        || dosTimeToTicks(record.date, record.time, sink.stampMinute, &ticks))
        setLastWriteTime(sink.file, ticks);
    bool written = !std::ferror(sink.file);
    written = std::fclose(sink.file) == 0 && written;
    sink.file = nullptr;
    if (entry.outcome != entryExtracted)
        return;
    if (!written)
        refuse(entry, cannotWriteOutput);
    // Data longer than declared, shorter, or other: it is not what the
    // record describes.
    else if (!withinDeclaredSize || record.crc != finishCrc(sink.crc))
        refuse(entry, crcFailed);
}

// The decoder reads the entry's input a block at a time, straight from its
// buffer.
bool moreEntryInput(void* source, DecoderInput& decoderInput)
{
    const unsigned char* bytes;
    std::int32_t length = readInput(*static_cast<EntryInput*>(source), &bytes, inputSize);
    decoderInput.next = bytes;
    decoderInput.end = bytes + length;
    return length != 0;
}

bool writeDecoded(void* target, const unsigned char* bytes, std::int32_t length)
{
    return writeOutput(*static_cast<OutputSink*>(target), bytes, length);
}

// The directory step of an entry, whose name for the messages is `name`.
PreparedEntry placeEntryNamed(OpenDirectories& directories, EntriesOnTheirWay& onTheirWay,
                              PendingEntry& entry, const char* name)
{
    PathOutcome made = enterPathDirectories(directories, onTheirWay, entry.path, entry.destinationLength,
                                            entry.directoryEntry);
    if (made == pathWaits) {
        // The walk goes on later, with the name kept for the messages.
        if (name != entry.detail)
            std::snprintf(entry.detail, sizeof entry.detail, "%s", name);
        return entryWaits;
    }
    if (made == pathIsLink)
        return refuse(entry, unsafeFileName, name);
    if (made != pathReady)
        return entry.directoryEntry ? refuse(entry, cannotCreateDirectory, name)
                                    : refuse(entry, cannotOpenOutput);
    if (entry.directoryEntry)
        return entryDone;
    const char* lastSeparator = std::strrchr(entry.path, '\\');
    entry.fileName = lastSeparator ? std::size_t(lastSeparator + 1 - entry.path) : 0;
    entry.directory = useDeepestDirectory(directories, onTheirWay.handed);
    entry.pathKey = pathKey(entry.path);
    entry.toWrite = true;
    return fileToWrite;
}

}  // namespace

bool inflateEntryData(Decoder& decoder, EntryInput& input, OutputSink& sink, DeflateFormat format)
{
    const DecoderInput decoderInput{nullptr, nullptr, moreEntryInput, &input};
    return inflateStream(decoder, decoderInput, DecoderOutput{writeDecoded, &sink}, format) != corruptStream;
}

PreparedEntry refuseEntry(PendingEntry& entry, Message failure)
{
    entry.toWrite = false;
    entry.fileMade = false;
    return refuse(entry, failure);
}

PreparedEntry prepareEntry(OpenDirectories& directories, EntriesOnTheirWay& onTheirWay, SpanStarts& spans,
                           EntryInput& input, const char* destination, char* recordBytes, PendingEntry& entry)
{
    CentralRecord& record = entry.record;
    parseCentralRecord(recordBytes, &record);
    entry.toWrite = false;
    entry.fileMade = false;
    entry.outcome = entryExtracted;
    char decoded[pathCapacity];
    const char* name;
    NameStatus status = readEntryName(record, decoded, &name);
    if (status == nameNotUtf8 || !isSafeName(name))
        return refuse(entry, unsafeFileName, name);
    if (status == nameTooLong || !buildOutputPath(entry.path, destination, name))
        return refuse(entry, fileNameTooLong, name);
    entry.destinationLength = std::strlen(destination);
    // The MS-DOS directory attribute marks a directory; archivers that write
    // no MS-DOS attributes mark one only by the trailing slash of its name.
    std::size_t length = std::strlen(name);
    entry.directoryEntry =
        (record.attributes & directoryAttribute) || (length != 0 && isSeparator(name[length - 1]));
    if (entry.directoryEntry)
        return placeEntryNamed(directories, onTheirWay, entry, name);

    // Without the password its data would only be written out as noise.
    if (record.flags & encryptedFlag)
        return refuse(entry, encryptedFile, name);
    // The input starts at the local header before the entry claims its
    // stretch, which ends where the header says the data ends.
    if (!record.placeKnown || !openEntryData(input, record, &entry.dataStart, &entry.dataEnd))
        return refuse(entry, damagedArchive);
    if (!claimSpan(spans, record.localHeader, entry.dataEnd))
        return refuse(entry, overlappingEntries, name);
    return placeEntryNamed(directories, onTheirWay, entry, name);
}

PreparedEntry placeEntry(OpenDirectories& directories, EntriesOnTheirWay& onTheirWay, PendingEntry& entry)
{
    return placeEntryNamed(directories, onTheirWay, entry, entry.detail);
}

void writeEntry(PendingEntry& entry, EntryInput& input, OutputSink& sink, Decoder& decoder,
                std::uint64_t unique)
{
    moveToEntryData(input, entry.dataStart, entry.dataEnd);
    std::FILE* file;
    entry.fileMade =
        openOutputStream(entry.directory, entry.path + entry.fileName, unique, entry.output, &file);
    if (!entry.fileMade) {
        refuse(entry, cannotOpenOutput);
        return;
    }
    // Output leaves in large pieces already; a stream buffer would only copy.
    std::setvbuf(file, nullptr, _IONBF, 0);
    startSink(sink, file, entry.record.uncompressedSize);
    writeData(entry, input, sink, decoder);
}

EntryOutcome commitEntry(PendingEntry& entry)
{
    if (entry.fileMade) {
        const char* name = entry.path + entry.fileName;
        if (entry.outcome != entryExtracted && entry.output.aside)
            removeOutput(entry.directory, entry.output, name);
        // Where the new file cannot take the name, it could not have been
        // opened under it either.
        else if (!placeOutput(entry.directory, entry.output, name))
            refuse(entry, cannotOpenOutput);
        entry.fileMade = false;
    }
    if (entry.outcome != entryExtracted)
        showError(entry.failure, entry.detail);
    return entry.outcome;
}

void discardEntry(PendingEntry& entry)
{
    if (entry.fileMade)
        removeOutput(entry.directory, entry.output, entry.path + entry.fileName);
    entry.fileMade = false;
}

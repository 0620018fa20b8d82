#include "records.h"

#include <cstring>

#include "crc.h"
#include "library.h"
#include "platform.h"

namespace {

// Finds the first field with `id` in an extra field block of `length` bytes
// at `extra`; false when there is none before the end or before a field that
// the block cuts short. An NTFS field's attributes are laid out alike.
bool findExtraField(const unsigned char* extra, std::size_t length, unsigned id, const unsigned char** data,
                    std::size_t* size)
{
    const unsigned char* field = extra;
    const unsigned char* end = extra + length;
    while (end - field >= 4) {
        *data = field + 4;
        *size = readLittle16(field + 2);
        if (*size > std::size_t(end - *data))
            return false;
        if (readLittle16(field) == id)
            return true;
        field = *data + *size;
    }
    return false;
}

// The same in a central record's extra field.
bool findCentralField(const unsigned char* record, unsigned id, const unsigned char** data, std::size_t* size)
{
    return findExtraField(record + centralName + readLittle16(record + centralNameLength),
                          readLittle16(record + centralExtraLength), id, data, size);
}

// The NTFS field: 4 reserved bytes, then attributes; attribute 1 holds the
// modification, access and creation times. A time of zero (SetFileTime's
// "leave it") or with the top bit set (which Windows refuses) is none, so
// that both platforms keep the same time.
bool findNtfsTime(const unsigned char* extra, std::size_t length, std::uint64_t* ticks)
{
    const unsigned char* field;
    const unsigned char* times;
    std::size_t size;
    if (!findExtraField(extra, length, ntfsExtraId, &field, &size) || size < 4
        || !findExtraField(field + 4, size - 4, 1, &times, &size) || size != 24)
        return false;
    *ticks = readLittle64(times);
    return *ticks != 0 && *ticks >> 63 == 0;
}

// The extended timestamp: flags, then the times they name, the modification
// time (bit 0) first, in signed seconds since 1970 UTC. The central record's
// field holds that one alone, whatever its flags name.
bool findExtendedTime(const unsigned char* extra, std::size_t length, std::uint64_t* ticks)
{
    const unsigned char* field;
    std::size_t size;
    if (!findExtraField(extra, length, extendedTimestampId, &field, &size) || size < 5 || (field[0] & 1) == 0)
        return false;
    *ticks = std::uint64_t(std::int32_t(readLittle32(field + 1)) + secondsFrom1601To1970) * ticksPerSecond;
    return true;
}

// Info-ZIP's Unicode Path field: version 1, the CRC-32 of the raw name it
// was written for, then the name in UTF-8. A field written for another raw
// name (the name was changed since) is stale and ignored, and so is one of
// another version or one that the extra field cuts short.
bool findUnicodePath(const unsigned char* bytes, const unsigned char** text, std::size_t* length)
{
    const unsigned char* data;
    std::size_t size;
    if (!findCentralField(bytes, unicodePathId, &data, &size) || size < 5 || data[0] != 1)
        return false;
    std::int32_t nameLength = readLittle16(bytes + centralNameLength);
    if (readLittle32(data + 1) != finishCrc(advanceCrc(startCrc(), bytes + centralName, nameLength)))
        return false;
    *text = data + 5;
    *length = strnlen(reinterpret_cast<const char*>(*text), size - 5);
    return true;
}

}  // namespace

// A field of the record that holds all ones has its value in the record's
// Zip64 extra field, which holds such values in the order below. Without a
// Zip64 field the values stand.
bool readEntryPlace(const unsigned char* bytes, CentralRecord* record)
{
    std::uint64_t* const values[] = {&record->uncompressedSize, &record->compressedSize,
                                     &record->localHeader};
    const int fields[] = {centralUncompressedSize, centralCompressedSize, centralLocalHeaderOffset};
    const unsigned char* zip64 = nullptr;
    std::size_t zip64Size = 0;
    bool hasZip64 = findCentralField(bytes, zip64ExtraId, &zip64, &zip64Size);
    for (int i = 0; i < 3; ++i) {
        *values[i] = readLittle32(bytes + fields[i]);
        if (*values[i] != zip64Marker32 || !hasZip64)
            continue;
        if (zip64Size < 8)
            return false;
        *values[i] = readLittle64(zip64);
        zip64 += 8;
        zip64Size -= 8;
    }
    return true;
}

void raiseExactTime(const unsigned char* extra, std::size_t length, CentralRecord* record)
{
    std::uint64_t ticks;
    if (record->timeSource < ntfsTimeSource && findNtfsTime(extra, length, &ticks))
        record->timeSource = ntfsTimeSource;
    else if (record->timeSource < extendedTimeSource && findExtendedTime(extra, length, &ticks))
        record->timeSource = extendedTimeSource;
    else
        return;
    record->exactTime = ticks;
}

void parseCentralRecord(char* bytes, CentralRecord* record)
{
    const unsigned char* fields = reinterpret_cast<const unsigned char*>(bytes);
    record->flags = readLittle16(fields + centralFlags);
    record->madeByHost = fields[centralMadeByHost];
    record->method = readLittle16(fields + centralMethod);
    record->date = readLittle16(fields + centralDate);
    record->time = readLittle16(fields + centralTime);
    record->crc = readLittle32(fields + centralCrc);
    record->placeKnown = readEntryPlace(fields, record);
    record->attributes = readLittle32(fields + centralExternalAttributes);
    record->nameLength = readLittle16(fields + centralNameLength);
    record->extraLength = readLittle16(fields + centralExtraLength);
    record->timeSource = dosTimeSource;
    raiseExactTime(fields + centralName + record->nameLength, record->extraLength, record);
    if (!findUnicodePath(fields, &record->unicodePath, &record->unicodePathLength))
        record->unicodePath = nullptr;
    // Only now: the NUL takes the first byte of the extra field.
    record->name = bytes + centralName;
    record->name[record->nameLength] = '\0';
}

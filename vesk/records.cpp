#include "records.h"

#include <cstring>

#include "crc.h"
#include "library.h"

namespace {

// Finds the first extra field with `id` in a central record's extra field;
// false when there is none before the end or before a field that the extra
// field cuts short.
bool findExtraField(const unsigned char* record, unsigned id, const unsigned char** data, std::size_t* size)
{
    const unsigned char* field = record + centralName + readLittle16(record + centralNameLength);
    const unsigned char* end = field + readLittle16(record + centralExtraLength);
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

// Info-ZIP's Unicode Path field: version 1, the CRC-32 of the raw name it
// was written for, then the name in UTF-8. A field written for another raw
// name (the name was changed since) is stale and ignored, and so is one of
// another version or one that the extra field cuts short.
bool findUnicodePath(const unsigned char* bytes, const unsigned char** text, std::size_t* length)
{
    const unsigned char* data;
    std::size_t size;
    if (!findExtraField(bytes, unicodePathId, &data, &size) || size < 5 || data[0] != 1)
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
    bool hasZip64 = findExtraField(bytes, zip64ExtraId, &zip64, &zip64Size);
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
    if (!findUnicodePath(fields, &record->unicodePath, &record->unicodePathLength))
        record->unicodePath = nullptr;
    // Only now: the NUL takes the first byte of the extra field.
    record->name = bytes + centralName;
    record->name[record->nameLength] = '\0';
}

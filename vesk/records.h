// The ZIP records the library reads: their signatures, sizes and the
// offsets of their fields. Every field is little-endian.
#ifndef VESK_RECORDS_H
#define VESK_RECORDS_H

#include <cstddef>
#include <cstdint>

// End of central directory record: the last record of an archive.
constexpr std::uint32_t endSignature = 0x06054B50;
constexpr int endRecordSize = 22;
constexpr int endDiskRecordCount = 8;   // 16 bits
constexpr int endRecordCount = 10;      // 16 bits
constexpr int endDirectorySize = 12;    // 32 bits
constexpr int endDirectoryOffset = 16;  // 32 bits

// Zip64 end of central directory locator, just before the end record.
constexpr std::uint32_t zip64LocatorSignature = 0x07064B50;
constexpr int zip64LocatorSize = 20;
constexpr int zip64LocatorEndOffset = 8;  // 64 bits: where the Zip64 end record is

// Zip64 end of central directory record.
constexpr std::uint32_t zip64EndSignature = 0x06064B50;
constexpr int zip64EndRecordSize = 56;
constexpr int zip64EndRecordCount = 32;      // 64 bits
constexpr int zip64EndDirectoryOffset = 48;  // 64 bits

// Central directory file header: 46 fixed bytes, then the name, the extra
// field and the comment.
constexpr std::uint32_t centralSignature = 0x02014B50;
constexpr int centralMadeByHost = 5;  // the high byte of "version made by"
constexpr int centralFlags = 8;
constexpr int centralMethod = 10;
constexpr int centralTime = 12;
constexpr int centralDate = 14;
constexpr int centralCrc = 16;
constexpr int centralCompressedSize = 20;
constexpr int centralUncompressedSize = 24;
constexpr int centralNameLength = 28;
constexpr int centralExtraLength = 30;
constexpr int centralCommentLength = 32;
constexpr int centralExternalAttributes = 38;
constexpr int centralLocalHeaderOffset = 42;
constexpr int centralName = 46;

// Local file header: 30 fixed bytes, then the name, the extra field and the
// entry's data.
constexpr std::uint32_t localSignature = 0x04034B50;
constexpr int localHeaderSize = 30;
constexpr int localNameLength = 26;
constexpr int localExtraLength = 28;

// The host system a record was made on: 0 is MS-DOS and FAT (and what
// Windows' own zip folders and Info-ZIP on Windows write), 3 is Unix.
constexpr unsigned msDosHost = 0;

// Compression methods.
constexpr unsigned storedMethod = 0;
constexpr unsigned deflateMethod = 8;
constexpr unsigned deflate64Method = 9;

// General purpose flags.
constexpr unsigned encryptedFlag = 1u << 0;
constexpr unsigned utf8NameFlag = 1u << 11;

// External attributes: the MS-DOS directory attribute.
constexpr std::uint32_t directoryAttribute = 0x10;

// Extra fields: a 16-bit ID and a 16-bit size before each field's data.
constexpr unsigned zip64ExtraId = 0x0001;
constexpr unsigned ntfsExtraId = 0x000A;
constexpr unsigned extendedTimestampId = 0x5455;
constexpr unsigned unicodePathId = 0x7075;

// Fields that hold this value (all ones) in a 32-bit or 16-bit field have
// their true value in a Zip64 record.
constexpr std::uint32_t zip64Marker32 = 0xFFFFFFFF;
constexpr unsigned zip64Marker16 = 0xFFFF;

// Which extra field gave an entry's exact modification time, the weaker
// first: none (the MS-DOS date and time stand, in local time), the extended
// timestamp (whole seconds), the NTFS field (100 ns).
enum TimeSource { dosTimeSource, extendedTimeSource, ntfsTimeSource };

// A central record as the library reads it: every field once, with the
// values of its Zip64 extra field applied.
struct CentralRecord {
    unsigned flags;
    unsigned madeByHost;  // the system the archiver ran on (msDosHost, ...)
    unsigned method;
    unsigned date;
    unsigned time;
    // The time that an extra field gives, in 100 ns ticks since 1601 UTC
    // (a FILETIME), and its source; the local header's fields may raise it.
    std::uint64_t exactTime;
    TimeSource timeSource;
    std::uint32_t crc;
    std::uint64_t compressedSize;
    std::uint64_t uncompressedSize;
    std::uint64_t localHeader;  // position of the entry's local header
    // False when the Zip64 extra field is too short for the values that the
    // record leaves to it: the three above are then not to be trusted.
    bool placeKnown;
    std::uint32_t attributes;  // external attributes
    // The raw name, which a NUL now ends, and its length in the record.
    char* name;
    unsigned nameLength;
    // Of the extra field: its length, and the name that Info-ZIP's Unicode
    // Path field gives when that field belongs to the raw name (unicodePath
    // is nullptr otherwise).
    unsigned extraLength;
    const unsigned char* unicodePath;
    std::size_t unicodePathLength;
};

// Reads a central record (its fixed part, name and extra field in `bytes`)
// into `record`, and writes the NUL behind the name that the exports'
// contract promises, over the extra field's first byte: the extra field is
// read before.
void parseCentralRecord(char* bytes, CentralRecord* record);

// Only the sizes and the local header's position of a record, as
// parseCentralRecord reads them; false when they are not to be trusted (see
// placeKnown).
bool readEntryPlace(const unsigned char* bytes, CentralRecord* record);

// Takes the modification time that an extra field block (`length` bytes at
// `extra`) gives, when its source beats the record's: its NTFS field's, else
// its extended timestamp's. A field cut short or malformed gives none.
void raiseExactTime(const unsigned char* extra, std::size_t length, CentralRecord* record);

#endif

// Builds ZIP archives in memory for the tests. Every field that a damaged or
// hostile archive could get wrong can be overridden.
#ifndef VESK_TESTS_ZIP_WRITER_H
#define VESK_TESTS_ZIP_WRITER_H

#include <zlib.h>

#include <cstdint>
#include <optional>
#include <string>
#include <utility>
#include <vector>

namespace zipTest {

// MS-DOS date and time as the records hold them (seconds in steps of two).
constexpr std::uint16_t dosDate(int year, int month, int day)
{
    return std::uint16_t((year - 1980) << 9 | month << 5 | day);
}
constexpr std::uint16_t dosTime(int hour, int minute, int second)
{
    return std::uint16_t(hour << 11 | minute << 5 | second / 2);
}

constexpr std::uint32_t directoryAttribute = 0x10;
constexpr std::uint16_t utf8NameFlag = 1 << 11;

struct Entry {
    Entry(std::string entryName, std::string content, std::uint16_t compressionMethod = 0)
        : name(std::move(entryName)), data(std::move(content)), method(compressionMethod)
    {}

    std::string name;
    std::string data;  // uncompressed content
    // 8: `data` deflated by zlib with `level` and `strategy`, unless
    // `compressed` is given. Any other method stores `data` as it is.
    std::uint16_t method;
    int level = Z_DEFAULT_COMPRESSION;
    int strategy = Z_DEFAULT_STRATEGY;
    std::optional<std::string> compressed;          // written verbatim as the entry's data
    std::optional<std::uint32_t> crc;               // default: CRC-32 of `data`
    std::optional<std::uint32_t> compressedSize;    // default: length of what is written
    std::optional<std::uint32_t> uncompressedSize;  // default: length of `data`
    // Sizes (and in the central record the local header's position) as all
    // ones, their values in a Zip64 extra field in front of the other extras.
    bool zip64 = false;
    std::uint16_t date = dosDate(2000, 1, 1);
    std::uint16_t time = 0;
    std::uint32_t externalAttributes = 0;
    std::uint16_t flags = 0;  // general purpose, in both headers
    std::string localExtra;
    std::string centralExtra;
    std::string comment;                             // file comment
    std::optional<std::string> localName;            // default: `name`
    std::optional<std::uint32_t> localHeaderOffset;  // default: where it was written
};

struct Archive {
    Archive(std::vector<Entry> archiveEntries = {}) : entries(std::move(archiveEntries)) {}

    std::vector<Entry> entries;
    std::string comment;
    std::string stub;  // data in front of the first local header
    // Added to every recorded position: the archive is going to be written
    // this far into its file (behind a sparse hole, say).
    std::uint64_t bias = 0;
    std::optional<std::uint16_t> recordCount;
    std::optional<std::uint32_t> centralOffset;
    // A Zip64 end record and its locator in front of the end record, whose
    // counts, size and offset are then all ones (unless overridden above).
    bool zip64 = false;
    bool zip64Locator = true;                       // false: left out
    std::optional<std::uint64_t> zip64EndOffset;    // where the locator points
    std::optional<std::uint64_t> zip64RecordCount;  // in the Zip64 end record
};

struct Built {
    std::string bytes;
    // Positions within `bytes`, the stub included, without the bias.
    std::vector<std::size_t> localOffsets;
    std::vector<std::size_t> recordOffsets;
    std::size_t endOffset = 0;
};

Built buildArchive(const Archive& archive);

// Raw Deflate data (no zlib or gzip wrapper), as ZIP method 8 holds it.
std::string deflateRaw(const std::string& data, int level = Z_DEFAULT_COMPRESSION,
                       int strategy = Z_DEFAULT_STRATEGY);

std::uint32_t crc32Of(const std::string& data);

// Reproducible filler data.
std::string randomBytes(std::size_t length, unsigned seed);

}  // namespace zipTest

#endif

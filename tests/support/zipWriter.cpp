#include "zipWriter.h"

#include <random>
#include <stdexcept>

namespace zipTest {

namespace {

void put16(std::string& out, std::uint32_t value)
{
    out += char(value & 0xFF);
    out += char(value >> 8 & 0xFF);
}

void put32(std::string& out, std::uint64_t value)
{
    put16(out, std::uint32_t(value & 0xFFFF));
    put16(out, std::uint32_t(value >> 16 & 0xFFFF));
}

void put64(std::string& out, std::uint64_t value)
{
    put32(out, value & 0xFFFFFFFF);
    put32(out, value >> 32);
}

// A Zip64 extra field holding the values in order.
std::string zip64Field(std::initializer_list<std::uint64_t> values)
{
    std::string field;
    put16(field, 0x0001);
    put16(field, std::uint32_t(8 * values.size()));
    for (std::uint64_t value : values)
        put64(field, value);
    return field;
}

}  // namespace

std::uint32_t crc32Of(const std::string& data)
{
    return std::uint32_t(crc32(0, reinterpret_cast<const Bytef*>(data.data()), uInt(data.size())));
}

std::string deflateRaw(const std::string& data, int level, int strategy)
{
    z_stream stream{};
    if (deflateInit2(&stream, level, Z_DEFLATED, -15, 8, strategy) != Z_OK)
        throw std::runtime_error("deflateInit2 failed");
    std::string out(deflateBound(&stream, uLong(data.size())), '\0');
    stream.next_in = reinterpret_cast<Bytef*>(const_cast<char*>(data.data()));
    stream.avail_in = uInt(data.size());
    stream.next_out = reinterpret_cast<Bytef*>(&out[0]);
    stream.avail_out = uInt(out.size());
    int status = deflate(&stream, Z_FINISH);
    out.resize(stream.total_out);
    deflateEnd(&stream);
    if (status != Z_STREAM_END)
        throw std::runtime_error("deflate failed");
    return out;
}

std::string randomBytes(std::size_t length, unsigned seed)
{
    std::mt19937 generator(seed);
    std::string out(length, '\0');
    for (char& c : out)
        c = char(generator() & 0xFF);
    return out;
}

Built buildArchive(const Archive& archive)
{
    Built built;
    std::string& out = built.bytes;
    out = archive.stub;
    std::vector<std::string> payloads;
    // The fields that local header and central record share, from "version
    // needed" to the extra field length.
    auto putCommon = [&](const Entry& entry, const std::string& payload, const std::string& name,
                         const std::string& extra) {
        put16(out, entry.zip64 ? 45 : 20);  // version needed
        put16(out, entry.flags);
        put16(out, entry.method);
        put16(out, entry.time);
        put16(out, entry.date);
        put32(out, entry.crc ? *entry.crc : crc32Of(entry.data));
        put32(out, entry.zip64 ? 0xFFFFFFFF : entry.compressedSize ? *entry.compressedSize : payload.size());
        put32(out, entry.zip64              ? 0xFFFFFFFF
                   : entry.uncompressedSize ? *entry.uncompressedSize
                                            : entry.data.size());
        put16(out, std::uint32_t(name.size()));
        put16(out, std::uint32_t(extra.size()));
    };
    std::vector<std::string> localExtras;
    for (const Entry& entry : archive.entries) {
        payloads.push_back(entry.compressed    ? *entry.compressed
                           : entry.method == 8 ? deflateRaw(entry.data, entry.level, entry.strategy)
                                               : entry.data);
        const std::string& localName = entry.localName ? *entry.localName : entry.name;
        std::string extra = entry.localExtra;
        if (entry.zip64)
            extra = zip64Field({entry.data.size(), payloads.back().size()}) + extra;
        built.localOffsets.push_back(out.size());
        put32(out, 0x04034B50);
        putCommon(entry, payloads.back(), localName, extra);
        out += localName + extra + payloads.back();
    }
    std::size_t centralStart = out.size();
    for (std::size_t i = 0; i < archive.entries.size(); ++i) {
        const Entry& entry = archive.entries[i];
        std::uint64_t localOffset =
            entry.localHeaderOffset ? *entry.localHeaderOffset : archive.bias + built.localOffsets[i];
        std::string extra = entry.centralExtra;
        if (entry.zip64)
            extra = zip64Field({entry.data.size(), payloads[i].size(), localOffset}) + extra;
        built.recordOffsets.push_back(out.size());
        put32(out, 0x02014B50);
        put16(out, entry.zip64 ? 45 : 20);  // version made by
        putCommon(entry, payloads[i], entry.name, extra);
        put16(out, std::uint32_t(entry.comment.size()));
        put32(out, 0);  // disk number start, internal attributes
        put32(out, entry.externalAttributes);
        put32(out, entry.zip64 ? 0xFFFFFFFF : localOffset);
        out += entry.name + extra + entry.comment;
    }
    std::size_t count = archive.entries.size();
    std::uint64_t centralSize = out.size() - centralStart;
    if (archive.zip64) {
        std::size_t zip64End = out.size();
        put32(out, 0x06064B50);
        put64(out, 44);  // size of the rest of the record
        put16(out, 45);
        put16(out, 45);
        put32(out, 0);  // this disk
        put32(out, 0);  // disk of the central directory
        put64(out, count);
        put64(out, archive.zip64RecordCount ? *archive.zip64RecordCount : count);
        put64(out, centralSize);
        put64(out, archive.bias + centralStart);
        if (archive.zip64Locator) {
            put32(out, 0x07064B50);
            put32(out, 0);
            put64(out, archive.zip64EndOffset ? *archive.zip64EndOffset : archive.bias + zip64End);
            put32(out, 1);  // number of disks
        }
    }
    built.endOffset = out.size();
    std::uint32_t classicCount = archive.zip64 ? 0xFFFF : std::uint32_t(count);
    put32(out, 0x06054B50);
    put32(out, 0);  // this disk, disk of the central directory
    put16(out, classicCount);
    put16(out, archive.recordCount ? *archive.recordCount : classicCount);
    put32(out, archive.zip64 ? 0xFFFFFFFF : centralSize);
    put32(out, archive.centralOffset ? *archive.centralOffset
               : archive.zip64       ? 0xFFFFFFFF
                                     : archive.bias + centralStart);
    put16(out, std::uint32_t(archive.comment.size()));
    out += archive.comment;
    return built;
}

}  // namespace zipTest

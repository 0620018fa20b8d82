// Decodes one large Deflate entry through unzip() into a tmpfs folder and the
// same stream through zlib's inflate with crc32 (and, when built with it,
// libdeflate's whole-buffer decoder, once with its own crc32 and once with
// vesk's CRC), and compares throughputs. On Windows it calls vesk.dll.
//
//   inflateBench [MiB [FILE|mix [FOLDER]]]
//
// FILE replaces the built-in mix of text and programs; FOLDER, made and
// removed again, replaces the default place for the files.
#include <sys/stat.h>
#include <zlib.h>
#ifdef VESK_BENCH_LIBDEFLATE
#include <libdeflate.h>
#endif
#ifdef _WIN32
#define WIN32_LEAN_AND_MEAN
#define NOMINMAX
#include <windows.h>
#endif

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <dirent.h>
#include <random>
#include <string>
#include <vector>

#include "vesk.h"
#ifdef VESK_BENCH_LIBDEFLATE
#include "crc.h"
#endif

namespace {

using Bytes = std::vector<unsigned char>;
using Clock = std::chrono::steady_clock;

#ifdef _WIN32
// Windows has no tmpfs: the temp folder, unless the command line names one
// (under Wine, Z:\dev\shm\... is in memory). The system's own programs are
// the binary part of the mix.
const char* const slash = "\\";

std::string defaultFolder()
{
    char temp[MAX_PATH + 1];
    DWORD length = GetTempPathA(sizeof temp, temp);
    return std::string(temp, length < sizeof temp ? length : 0) + "veskBench";
}

std::string programFolder()
{
    char system[MAX_PATH];
    UINT length = GetSystemDirectoryA(system, sizeof system);
    return std::string(system, length < sizeof system ? length : 0);
}

void makeFolder(const std::string& path)
{
    mkdir(path.c_str());
}
#else
const char* const slash = "/";

std::string defaultFolder()
{
    return "/dev/shm/veskBench";
}

std::string programFolder()
{
    return "/usr/bin";
}

void makeFolder(const std::string& path)
{
    mkdir(path.c_str(), 0777);
}
#endif

// Text made of words, and the machine's own programs as binary data.
Bytes buildCorpus(std::size_t textSize, std::size_t binarySize)
{
    static const char* words[] = {"window",  "history", "symbol",   "table",     "stream", "block",
                                  "literal", "length",  "distance", "code",      "the",    "of",
                                  "and",     "archive", "entry",    "directory", "header", "record"};
    std::mt19937 random(12345);
    Bytes corpus;
    while (corpus.size() < textSize) {
        const char* word = words[random() % (sizeof words / sizeof *words)];
        corpus.insert(corpus.end(), word, word + std::char_traits<char>::length(word));
        corpus.push_back(random() % 11 == 0 ? '\n' : ' ');
    }
    std::vector<std::string> programs;
    const std::string folder = programFolder();
    if (DIR* directory = opendir(folder.c_str())) {
        while (dirent* item = readdir(directory))
            programs.push_back(folder + slash + item->d_name);
        closedir(directory);
    }
    std::sort(programs.begin(), programs.end());
    std::size_t limit = corpus.size() + binarySize;
    for (const std::string& program : programs) {
        if (corpus.size() >= limit)
            break;
        std::FILE* file = std::fopen(program.c_str(), "rb");
        if (!file)
            continue;
        unsigned char chunk[65536];
        std::size_t got;
        while (corpus.size() < limit && (got = std::fread(chunk, 1, sizeof chunk, file)) > 0)
            corpus.insert(corpus.end(), chunk, chunk + std::min(got, limit - corpus.size()));
        std::fclose(file);
    }
    return corpus;
}

// A corpus read from a file, repeated up to size if the file is shorter.
Bytes readCorpus(const char* path, std::size_t size)
{
    Bytes corpus;
    std::FILE* file = std::fopen(path, "rb");
    if (!file)
        return corpus;
    unsigned char chunk[65536];
    std::size_t got;
    while (corpus.size() < size && (got = std::fread(chunk, 1, sizeof chunk, file)) > 0)
        corpus.insert(corpus.end(), chunk, chunk + std::min(got, size - corpus.size()));
    std::fclose(file);
    for (std::size_t i = 0; !corpus.empty() && corpus.size() < size; ++i)
        corpus.push_back(corpus[i]);
    return corpus;
}

Bytes deflateRaw(const Bytes& data)
{
    Bytes out(compressBound(uLong(data.size())));
    z_stream z{};
    deflateInit2(&z, 6, Z_DEFLATED, -15, 8, Z_DEFAULT_STRATEGY);
    z.next_in = const_cast<unsigned char*>(data.data());
    z.avail_in = uInt(data.size());
    z.next_out = out.data();
    z.avail_out = uInt(out.size());
    deflate(&z, Z_FINISH);
    out.resize(z.total_out);
    deflateEnd(&z);
    return out;
}

void put16(Bytes& out, unsigned value)
{
    out.push_back(value & 0xFF);
    out.push_back((value >> 8) & 0xFF);
}

void put32(Bytes& out, std::uint32_t value)
{
    put16(out, value & 0xFFFF);
    put16(out, value >> 16);
}

// The fields that local and central headers share, from the version needed
// to the name's length: Deflate, no flags, a fixed time.
void putCommonFields(Bytes& out, std::uint32_t crc, std::uint32_t compressedSize, std::uint32_t size,
                     const std::string& name)
{
    put16(out, 20);
    put16(out, 0);
    put16(out, 8);
    put16(out, 0);
    put16(out, 0x3CC1);
    put32(out, crc);
    put32(out, compressedSize);
    put32(out, size);
    put16(out, std::uint16_t(name.size()));
}

// A one-entry archive holding the stream.
Bytes wrapInArchive(const Bytes& stream, std::uint32_t crc, std::uint32_t size)
{
    const std::string name = "corpus.bin";
    Bytes archive;
    put32(archive, 0x04034B50);
    putCommonFields(archive, crc, std::uint32_t(stream.size()), size, name);
    put16(archive, 0);
    archive.insert(archive.end(), name.begin(), name.end());
    archive.insert(archive.end(), stream.begin(), stream.end());
    std::uint32_t central = std::uint32_t(archive.size());
    put32(archive, 0x02014B50);
    put16(archive, 20);
    putCommonFields(archive, crc, std::uint32_t(stream.size()), size, name);
    for (int i = 0; i < 4; ++i)
        put16(archive, 0);
    put32(archive, 0);
    put32(archive, 0);
    archive.insert(archive.end(), name.begin(), name.end());
    std::uint32_t centralSize = std::uint32_t(archive.size()) - central;
    put32(archive, 0x06054B50);
    put16(archive, 0);
    put16(archive, 0);
    put16(archive, 1);
    put16(archive, 1);
    put32(archive, centralSize);
    put32(archive, central);
    put16(archive, 0);
    return archive;
}

// zlib's inflate and crc32 into a file, as the extractor does.
bool zlibInflate(const Bytes& stream, const char* path, std::uint32_t expectedCrc)
{
    std::FILE* out = std::fopen(path, "wb");
    z_stream z{};
    inflateInit2(&z, -15);
    z.next_in = const_cast<unsigned char*>(stream.data());
    z.avail_in = uInt(stream.size());
    static unsigned char buffer[65536];
    uLong crc = crc32(0, nullptr, 0);
    int status;
    do {
        z.next_out = buffer;
        z.avail_out = sizeof buffer;
        status = inflate(&z, Z_NO_FLUSH);
        std::size_t produced = sizeof buffer - z.avail_out;
        crc = crc32(crc, buffer, uInt(produced));
        std::fwrite(buffer, 1, produced, out);
    } while (status == Z_OK);
    inflateEnd(&z);
    std::fclose(out);
    return status == Z_STREAM_END && crc == expectedCrc;
}

#ifdef VESK_BENCH_LIBDEFLATE
// libdeflate decodes the whole entry into one buffer, which is its best case:
// allocated and touched before the rounds, as the other decoders' fixed
// buffers are. The output is then checked and written in 64 KiB pieces, as
// the extractors do. With veskCrc, vesk's CRC checks instead of libdeflate's
// crc32: the fastest decoder at hand with vesk's CRC and writes, a bound on
// what vesk's own decoder can reach.
bool libdeflateInflate(const Bytes& stream, const char* path, std::uint32_t expectedCrc, Bytes& buffer,
                       bool veskCrc)
{
    libdeflate_decompressor* decompressor = libdeflate_alloc_decompressor();
    std::size_t produced = 0;
    libdeflate_result status = libdeflate_deflate_decompress(decompressor, stream.data(), stream.size(),
                                                             buffer.data(), buffer.size(), &produced);
    libdeflate_free_decompressor(decompressor);
    std::FILE* out = std::fopen(path, "wb");
    std::uint32_t crc = veskCrc ? startCrc() : 0;
    for (std::size_t done = 0; done < produced; done += 65536) {
        const unsigned char* piece = buffer.data() + done;
        std::size_t length = std::min<std::size_t>(65536, produced - done);
        if (veskCrc)
            crc = advanceCrc(crc, piece, std::int32_t(length));
        else
            crc = libdeflate_crc32(crc, piece, length);
        std::fwrite(piece, 1, length, out);
    }
    std::fclose(out);
    if (veskCrc)
        crc = finishCrc(crc);
    return status == LIBDEFLATE_SUCCESS && crc == expectedCrc;
}
#endif

double seconds(Clock::time_point start)
{
    return std::chrono::duration<double>(Clock::now() - start).count();
}

}  // namespace

int main(int argc, char** argv)
{
    std::size_t megabytes = argc > 1 ? std::size_t(std::atoi(argv[1])) : 48;
    const bool mix = argc < 3 || std::string(argv[2]) == "mix";
    const std::string folder = argc > 3 ? argv[3] : defaultFolder();
    makeFolder(folder);

    Bytes corpus = mix ? buildCorpus(megabytes << 19, megabytes << 19) : readCorpus(argv[2], megabytes << 20);
    if (corpus.empty()) {
        std::fprintf(stderr, "inflateBench: no corpus\n");
        return 1;
    }
    std::uint32_t crc = std::uint32_t(crc32(0, corpus.data(), uInt(corpus.size())));
    Bytes stream = deflateRaw(corpus);
    Bytes archive = wrapInArchive(stream, crc, std::uint32_t(corpus.size()));
    const std::string archivePath = folder + slash + "corpus.zip";
    std::FILE* file = std::fopen(archivePath.c_str(), "wb");
    if (!file) {
        std::fprintf(stderr, "inflateBench: cannot write %s\n", archivePath.c_str());
        return 1;
    }
    std::fwrite(archive.data(), 1, archive.size(), file);
    std::fclose(file);
    std::printf("corpus %.1f MiB, Deflate stream %.1f MiB\n", double(corpus.size()) / 1048576,
                double(stream.size()) / 1048576);

    // The median of five interleaved rounds of each decoder.
    constexpr int rounds = 5;
    double times[4][rounds] = {};
#ifdef VESK_BENCH_LIBDEFLATE
    Bytes whole(corpus.size());
#endif
    const std::string destination = folder + slash + "out";
    for (int round = 0; round < rounds; ++round) {
        Clock::time_point start = Clock::now();
        if (unzip(archivePath.c_str(), destination.c_str()) != 0)
            return 1;
        times[0][round] = seconds(start);
        start = Clock::now();
        if (!zlibInflate(stream, (folder + slash + "zlib.bin").c_str(), crc))
            return 1;
        times[1][round] = seconds(start);
#ifdef VESK_BENCH_LIBDEFLATE
        start = Clock::now();
        if (!libdeflateInflate(stream, (folder + slash + "libdeflate.bin").c_str(), crc, whole, false))
            return 1;
        times[2][round] = seconds(start);
        start = Clock::now();
        if (!libdeflateInflate(stream, (folder + slash + "libdeflate.bin").c_str(), crc, whole, true))
            return 1;
        times[3][round] = seconds(start);
#endif
    }
    double median[4];
    for (int decoder = 0; decoder < 4; ++decoder) {
        std::sort(times[decoder], times[decoder] + rounds);
        median[decoder] = times[decoder][rounds / 2];
    }
    double size = double(corpus.size()) / 1e6;
    // The 32-bit target's goal against zlib built for it is lower.
    const double zlibGoal = sizeof(void*) == 4 ? 2.0 : 2.2;
    std::printf("vesk unzip:          %7.1f MB/s\n", size / median[0]);
    std::printf("zlib inflate+crc32:  %7.1f MB/s\n", size / median[1]);
    std::printf("ratio vesk/zlib:     %7.3f  (goal >= %.2f: %s)\n", median[1] / median[0], zlibGoal,
                median[1] / median[0] >= zlibGoal ? "PASS" : "FAIL");
#ifdef VESK_BENCH_LIBDEFLATE
    std::printf("libdeflate+crc32:    %7.1f MB/s\n", size / median[2]);
    double toLibdeflate = median[2] / median[0];
    std::printf("ratio vesk/libdeflate: %5.3f  (goal >= 0.95: %s, stretch >= 1.05: %s)\n", toLibdeflate,
                toLibdeflate >= 0.95 ? "PASS" : "FAIL", toLibdeflate >= 1.05 ? "PASS" : "FAIL");
    std::printf("libdeflate+vesk's CRC: %6.1f MB/s\n", size / median[3]);
    std::printf("ratio libdeflate with vesk's CRC/zlib: %5.3f  (bound for vesk/zlib)\n",
                median[1] / median[3]);
#else
    std::printf("libdeflate: not built in (not found when configuring: libdeflate-dev; none for MinGW)\n");
#endif
    std::remove((destination + slash + "corpus.bin").c_str());
    std::remove((folder + slash + "zlib.bin").c_str());
    std::remove((folder + slash + "libdeflate.bin").c_str());
    std::remove(archivePath.c_str());
    rmdir(destination.c_str());
    rmdir(folder.c_str());
    return 0;
}

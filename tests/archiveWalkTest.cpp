// Recognising the archive, finding its end record and walking the central
// directory, seen through unzip's result, messages and output.
#include <fcntl.h>
#include <signal.h>
#include <sys/mount.h>
#include <sys/wait.h>
#include <unistd.h>

#include <atomic>
#include <cstdarg>
#include <cstring>
#include <filesystem>
#include <functional>

#include "extractFixture.h"

using namespace zipTest;
namespace fs = std::filesystem;

// Every open of the library passes here: those of the archive are counted.
std::atomic<int> archiveOpens;

extern "C" int __real_open64(const char* path, int flags, ...);
extern "C" int __wrap_open64(const char* path, int flags, ...)
{
    if (std::strstr(path, "archive.zip"))
        ++archiveOpens;
    mode_t mode = 0;
    if ((flags & O_CREAT) || (flags & O_TMPFILE) == O_TMPFILE) {
        std::va_list rest;
        va_start(rest, flags);
        mode = va_arg(rest, mode_t);
        va_end(rest);
    }
    return __real_open64(path, flags, mode);
}

namespace {

class ArchiveWalk : public ExtractFixture {};

Archive oneFile(const std::string& name = "f.txt", const std::string& data = "x")
{
    return Archive{{Entry{name, data}}};
}

TEST_F(ArchiveWalk, refusesFilesTooShortToClassify)
{
    for (std::size_t size : {0, 1, 31})
        EXPECT_EQ(shown(extractBytes(std::string(size, 'P'))),
                  Shown(1, {"File is faulty/empty/ridiculously small :-("}))
            << size;
    EXPECT_EQ(shown(extractBytes(std::string(32, 'P'))), Shown(1, {}));
}

// Every file that can hold an end record is searched: the smallest archive,
// one empty stored file named by one character, is 100 bytes. An end record
// at the very first byte still does not count.
TEST_F(ArchiveWalk, smallArchivesExtract)
{
    Archive archive = oneFile("a", "");
    ASSERT_EQ(buildArchive(archive).bytes.size(), 100u);
    EXPECT_EQ(shown(extract(archive)), Shown(0, {}));
    EXPECT_EQ(extracted(), Messages{"a"});

    Archive empty;
    empty.comment = std::string(10, 'c');
    ASSERT_EQ(buildArchive(empty).bytes.size(), 32u);
    EXPECT_EQ(shown(extract(empty)), Shown(1, {}));
}

TEST_F(ArchiveWalk, refusesSevenZipAndGzipWithAMark)
{
    const std::pair<std::string, std::string> cases[] = {
        {std::string("\x37\x7A\xBC\xAF\x27\x1C", 6), "7-"},
        {std::string("\x1F\x8B\x08\x00", 4), "G"},
        {std::string("\x1F\x8B\x08\x08", 4), "G"},
        {std::string("\x1F\x8B\x08\xFF", 4), "G"},
    };
    for (const auto& [start, mark] : cases) {
        Outcome outcome = extractBytes(start + std::string(40, '\0') + buildArchive(oneFile()).bytes);
        EXPECT_EQ(shown(outcome), Shown(1, {" (SORRY!)"})) << mark;
        EXPECT_EQ(outcome.output, mark);
        EXPECT_EQ(extracted(), Messages{});
    }
}

// Only gzip with Deflate is recognised; any other start is a stub.
TEST_F(ArchiveWalk, extractsBehindAStub)
{
    for (std::string stub :
         {std::string("\x1F\x8B\x07\x00", 4), std::string("\x37\x7A\xBC\xAE", 4), randomBytes(5000, 1)}) {
        Archive archive{{Entry{"one.txt", "first"}, Entry{"sub/two.bin", randomBytes(3000, 2)}}};
        archive.stub = stub + std::string(40, 's');
        Outcome outcome = extract(archive);
        EXPECT_EQ(shown(outcome), Shown(0, {}));
        EXPECT_EQ(outcome.output, "");
        EXPECT_EQ(output("one.txt"), "first");
        EXPECT_EQ(output("sub/two.bin"), randomBytes(3000, 2));
    }
}

// End records behind stubs of many lengths are all found; the borders of
// the search's blocks are met in endRecordAndDirectoryReuseTest.
TEST_F(ArchiveWalk, findsEndRecordAcrossReadBorders)
{
    std::size_t plainEnd = buildArchive(oneFile()).endOffset;
    for (std::size_t border : {1020u, 2040u, 3060u}) {
        for (std::size_t position = border - 4; position <= border + 4; ++position) {
            Archive archive = oneFile();
            archive.stub = std::string(position - plainEnd, 's');
            ASSERT_EQ(buildArchive(archive).endOffset, position);
            fs::remove_all(destination);
            EXPECT_EQ(shown(extract(archive)), Shown(0, {})) << position;
            EXPECT_EQ(extracted(), Messages{"f.txt"}) << position;
        }
    }
}

// A signature inside the archive comment lies behind the real one and wins.
TEST_F(ArchiveWalk, lastEndSignatureWins)
{
    Archive archive = oneFile("real.txt", "payload");
    std::size_t commentStart = buildArchive(archive).bytes.size();
    // The comment holds a second directory, naming the same data "decoy.txt",
    // and an end record pointing at it.
    Archive decoy = oneFile("decoy.txt", "payload");
    decoy.entries[0].localHeaderOffset = 0;
    decoy.centralOffset = std::uint32_t(commentStart + 4);
    Built decoyBuilt = buildArchive(decoy);
    archive.comment = "see:" + decoyBuilt.bytes.substr(decoyBuilt.recordOffsets[0]);
    EXPECT_EQ(shown(extract(archive)), Shown(0, {}));
    EXPECT_EQ(extracted(), Messages{"decoy.txt"});
    EXPECT_EQ(output("decoy.txt"), "payload");

    // A signature too close to the end to hold a whole record is no record:
    // the search goes on to the real one.
    for (const char* comment :
         {"cut:PK\x05\x06", "see PK\x05\x06 here", "PK\x05\x06\1\2\3\4\5\6\7\x08\t\n"}) {
        archive.comment = comment;
        fs::remove_all(destination);
        EXPECT_EQ(shown(extract(archive)), Shown(0, {})) << comment;
        EXPECT_EQ(extracted(), Messages{"real.txt"});
    }
}

TEST_F(ArchiveWalk, emptyDirectoryIsSuccessUnlessAtPositionZero)
{
    Archive empty;
    empty.comment = std::string(90, 'c');
    ASSERT_EQ(buildArchive(empty).bytes.size(), 112u);
    EXPECT_EQ(shown(extract(empty)), Shown(1, {}));

    empty.stub = std::string(10, 's');
    EXPECT_EQ(shown(extract(empty)), Shown(0, {}));
    EXPECT_EQ(extracted(), Messages{});
}

// Every spelling of the destination leads to the same files; one that does
// not exist yet is created along the way when given with backslashes.
TEST_F(ArchiveWalk, destinationSpellings)
{
    writeFile(archivePath, buildArchive(Archive{{Entry{"sub/f.txt", "deep"}, Entry{"g.txt", "flat"}}}).bytes);
    const Messages expected{"g.txt", "sub/", "sub/f.txt"};
    for (const std::string& spelling :
         {destination, destination + "/", libraryPath(destination), libraryPath(destination) + "\\"}) {
        fs::remove_all(destination);
        fs::create_directory(destination);
        EXPECT_EQ(extractFile(archivePath, spelling).result, 0) << spelling;
        EXPECT_EQ(extracted(), expected) << spelling;
    }

    std::string fresh = dir / "new/deeper";
    EXPECT_EQ(extractFile(archivePath, libraryPath(fresh)).result, 0);
    EXPECT_EQ(listTree(fresh), expected);

    // An empty destination is the current directory.
    fs::path previous = fs::current_path();
    std::string current = dir / "current";
    fs::create_directory(current);
    fs::current_path(current);
    Outcome outcome = extractFile(archivePath, "");
    fs::current_path(previous);
    EXPECT_EQ(outcome.result, 0);
    EXPECT_EQ(listTree(current), expected);
}

TEST_F(ArchiveWalk, stopsAtTheFirstFailingEntry)
{
    Archive archive;
    for (int i = 1; i <= 5; ++i)
        archive.entries.push_back(Entry{"e" + std::to_string(i), "data " + std::to_string(i)});
    archive.entries[2].method = 12;
    EXPECT_EQ(shown(extract(archive)), Shown(1, {"Unsupported compression method (12) :-("}));
    EXPECT_EQ(extracted(), (Messages{"e1", "e2", "e3"}));
    EXPECT_EQ(output("e2"), "data 2");
    EXPECT_EQ(output("e3"), "");
}

// Names are read whole from the record; the output path may use all of its
// 4096-byte buffer, terminator included, and no more.
TEST_F(ArchiveWalk, longNamesUpToThePathBuffer)
{
    std::string longName = std::string(120, 'd') + "/" + std::string(150, 'f');
    ASSERT_EQ(extract(oneFile(longName, "long")).result, 0);
    EXPECT_EQ(output(longName), "long");

    fs::remove_all(destination);
    std::string name;
    while (destination.size() + 1 + name.size() < 4095 - 200)
        name += std::string(199, 'n') + "/";
    name += std::string(4095 - destination.size() - 1 - name.size(), 'z');
    EXPECT_EQ(shown(extract(oneFile(name, "fits"))), Shown(0, {}));
    EXPECT_EQ(output(name), "fits");

    fs::remove_all(destination);
    for (const std::string& tooLong : {name + "z", std::string(65535, 'n')}) {
        EXPECT_EQ(shown(extract(oneFile(tooLong))),
                  Shown(1, {boxed("File name too long #" + tooLong + "# :-(")}));
        EXPECT_FALSE(exists(destination));
    }
}

TEST_F(ArchiveWalk, argumentsLongerThanTheBuffersAreRefused)
{
    Archive empty;
    empty.stub = std::string(200, 's');
    writeFile(archivePath, buildArchive(empty).bytes);
    // 4095 characters and the terminator fit; the destination needs one more
    // for the backslash added behind it.
    std::string fittingArchive = archivePath + std::string(4095 - archivePath.size(), 'p');
    std::string fittingDestination = destination + std::string(4094 - destination.size(), 'd');
    EXPECT_EQ(shown(extractFile(fittingArchive, destination)),
              Shown(1, {boxed("Cannot open input file #" + fittingArchive + "# :-(")}));
    EXPECT_EQ(shown(extractFile(fittingArchive + "p", destination)),
              Shown(1, {boxed("File name too long #" + fittingArchive + "p# :-(")}));
    EXPECT_EQ(shown(extractFile(archivePath, fittingDestination)), Shown(0, {}));
    EXPECT_EQ(shown(extractFile(archivePath, fittingDestination + "d")),
              Shown(1, {boxed("File name too long #" + fittingDestination + "d# :-(")}));
}

// Counts, sizes and positions too large for their fields are in the Zip64
// records. An end record that says so but has no locator keeps its values;
// a locator that leads nowhere, or records that disagree, make the archive
// damaged.
TEST_F(ArchiveWalk, zip64Records)
{
    const Messages damaged{"Damaged archive :-("};
    const Messages both{"a.txt", "b.bin"};
    Archive plain{{Entry{"a.txt", "alpha"}, Entry{"b.bin", randomBytes(3000, 2), 8}}};
    auto with = [&](auto change) {
        Archive archive = plain;
        change(archive);
        return archive;
    };
    std::string tooShort = std::string("\x01\x00\x10\x00", 4) + std::string(16, '\0');
    struct Case {
        const char* what;
        Archive archive;
        Shown expected;
        Messages tree;
    };
    const Case cases[] = {
        {"entries and end", with([](Archive& a) {
             a.zip64 = true;
             for (Entry& e : a.entries)
                 e.zip64 = true;
         }),
         Shown(0, {}), both},
        {"end only", with([](Archive& a) { a.zip64 = true; }), Shown(0, {}), both},
        {"entries only", with([](Archive& a) {
             for (Entry& e : a.entries)
                 e.zip64 = true;
         }),
         Shown(0, {}), both},
        {"all ones without a locator are true values", with([](Archive& a) {
             a.zip64 = true;
             a.zip64Locator = false;
             a.recordCount = 2;
             a.centralOffset = std::uint32_t(buildArchive(a).recordOffsets[0]);
         }),
         Shown(0, {}), both},
        {"no locator",
         with([](Archive& a) {
             a.zip64 = true;
             a.zip64Locator = false;
         }),
         Shown(1, damaged),
         {}},
        {"locator beyond the file",
         with([](Archive& a) {
             a.zip64 = true;
             a.zip64EndOffset = 1u << 30;
         }),
         Shown(1, damaged),
         {}},
        {"locator at no Zip64 end record",
         with([](Archive& a) {
             a.zip64 = true;
             a.zip64EndOffset = 0;
         }),
         Shown(1, damaged),
         {}},
        {"counts disagree",
         with([](Archive& a) {
             a.zip64 = true;
             a.recordCount = 1;
         }),
         Shown(1, damaged),
         {}},
        {"Zip64 count too large", with([](Archive& a) {
             a.zip64 = true;
             a.zip64RecordCount = 3;
         }),
         Shown(1, damaged), both},
        {"Zip64 field too short",
         with([&](Archive& a) {
             Entry& e = a.entries[1];
             e.compressedSize = e.uncompressedSize = e.localHeaderOffset = 0xFFFFFFFF;
             e.centralExtra = tooShort;
         }),
         Shown(1, damaged),
         {"a.txt"}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        EXPECT_EQ(shown(extract(c.archive)), c.expected);
        EXPECT_EQ(extracted(), c.tree);
        if (c.expected.first == 0) {
            EXPECT_EQ(output("b.bin"), plain.entries[1].data);
        }
        fs::remove_all(destination);
        fs::create_directories(destination);
    }
}

TEST_F(ArchiveWalk, unzipOneFileWithoutAnOpenArchiveDoesNothing)
{
    Built built = buildArchive(oneFile("lonely.txt", "data"));
    std::string record = built.bytes.substr(built.recordOffsets[0]);
    std::string target = libraryPath(destination) + "\\";
    Outcome outcome = captureOutput([&] { return unzipOneFile(target.c_str(), &record[0]); });
    EXPECT_EQ(shown(outcome), Shown(1, {}));
    EXPECT_EQ(outcome.output, "");
    EXPECT_EQ(extracted(), Messages{});
}

// Entries are written by VESK_THREADS workers and committed in the order of
// the central directory: the files, their bytes and times, the result and
// the messages never depend on how many workers there are.
class Workers : public ExtractFixture {
protected:
    // Every path below `root` with its bytes and time, in one text.
    static std::string snapshot(const std::string& root)
    {
        std::string all;
        for (const std::string& name : listTree(root)) {
            all += name + "\n";
            if (name.back() != '/')
                all += readFile(root + "/" + name) + "@" + std::to_string(statOf(root + "/" + name).st_mtime)
                       + "\n";
        }
        return all;
    }

    // Extracts into a fresh folder, after `prepare` has laid out what stood
    // there before, with `workers` workers.
    std::pair<Shown, std::string> extractWith(int workers, const std::string& folder,
                                              const std::function<void(const std::string&)>& prepare)
    {
        std::string target = dir / folder;
        fs::create_directories(target);
        prepare(target);
        setenv("VESK_THREADS", std::to_string(workers).c_str(), 1);
        Outcome outcome = extractFile(archivePath, target);
        unsetenv("VESK_THREADS");
        return {shown(outcome), snapshot(target)};
    }
};

TEST_F(Workers, anyCountGivesTheSameTree)
{
    Archive archive;
    std::string later;
    for (int i = 0; i < 3000; ++i) {
        // Every 500th entry takes an earlier name again: the later one wins.
        int n = i % 500 == 499 ? i - 499 : i;
        std::string folder = "d" + std::to_string(n % 37) + "/s" + std::to_string(n % 5) + "/";
        if (i % 400 == 0)
            archive.entries.push_back(Entry{folder, ""});
        std::string name = folder + "f" + std::to_string(n) + ".txt";
        Entry entry{name, randomBytes(std::size_t(i * 37 % 5000), unsigned(i)) + name,
                    std::uint16_t(i % 2 ? 0 : 8)};
        entry.time = dosTime(i % 24, i % 60, i % 60);
        archive.entries.push_back(entry);
        if (i == 2499)
            later = entry.data;
    }
    writeFile(archivePath, buildArchive(archive).bytes);
    auto none = [](const std::string&) {};
    // The call opens the archive once, and every worker reads it there.
    archiveOpens = 0;
    auto one = extractWith(1, "one", none);
    EXPECT_EQ(one.first, Shown(0, {}));
    EXPECT_EQ(readFile(dir / "one/d2/s0/f2000.txt"), later);
    EXPECT_EQ(archiveOpens, 1);
    for (int workers : {2, 8}) {
        archiveOpens = 0;
        EXPECT_EQ(extractWith(workers, "w" + std::to_string(workers), none), one) << workers;
        EXPECT_EQ(archiveOpens, 1) << workers;
    }
}

// The first entry that fails, in the order of the central directory,
// decides: those before it are in place, it is left as one worker leaves
// it, and nothing of a later entry is, not even where a file stood before.
TEST_F(Workers, theFirstFailureDecidesWithAnyCount)
{
    struct Case {
        const char* name;
        std::function<void(Entry&)> spoil;
        Shown shown;
    } cases[] = {
        {"none", [](Entry&) {}, {0, {}}},
        {"crc", [](Entry& entry) { entry.crc = 1; }, {1, {"CRC FAILED :-("}}},
        {"method", [](Entry& entry) { entry.method = 12; }, {1, {"Unsupported compression method (12) :-("}}},
        {"unsafe", [](Entry& entry) { entry.name = "../x"; }, {1, {"Unsafe file name #../x# :-("}}},
        {"directory",
         [](Entry& entry) { entry.name = "blocker/sub/x"; },
         {1, {"Can't open output file :-("}}},
    };
    auto prepare = [](const std::string& target) {
        writeFile(target + "/blocker", "a file");
        fs::create_directories(target + "/p6");
        writeFile(target + "/p6/f300", "stood there before");
        for (const char* name : {"/blocker", "/p6/f300"})
            fs::last_write_time(target + name, fs::file_time_type(std::chrono::hours(1)));
    };
    for (const Case& c : cases) {
        Archive archive;
        for (int i = 0; i < 400; ++i)
            archive.entries.push_back(Entry{"p" + std::to_string(i % 7) + "/f" + std::to_string(i),
                                            std::string(std::size_t(i * 50), char('a' + i % 26)),
                                            std::uint16_t(i % 3 ? 8 : 0)});
        c.spoil(archive.entries[200]);
        writeFile(archivePath, buildArchive(archive).bytes);
        auto one = extractWith(1, std::string(c.name) + "1", prepare);
        EXPECT_EQ(one.first, c.shown) << c.name;
        EXPECT_EQ(extractWith(8, std::string(c.name) + "8", prepare), one) << c.name;
        std::string target = dir / (std::string(c.name) + "1");
        EXPECT_TRUE(fs::exists(target + "/p3/f199")) << c.name;
        EXPECT_EQ(fs::exists(target + "/p5/f201"), c.shown.first == 0) << c.name;
        std::string name = c.name;
        EXPECT_EQ(fs::exists(target + "/p4/f200"), name == "none" || name == "crc" || name == "method")
            << name;
        EXPECT_EQ(readFile(target + "/p6/f300") == "stood there before", c.shown.first != 0) << c.name;
        // Where the file stood, the new one was made aside: no such name is left.
        EXPECT_EQ(one.second.find('\\'), std::string::npos) << c.name;
    }
}

// Two spellings of one path name one file, whatever the count: the later
// entry wins and a file stays a file, as with one worker. The first run of
// work starts with many zeros, so that a later run, which makes the second
// spelling's file, would start before the first spelling's file is made.
TEST_F(Workers, spellingsOfOnePathWithAnyCount)
{
    Entry zeros{"zeros", std::string(16 << 20, '\0'), 8};
    std::vector<Entry> between;
    for (int i = 0; i < 20; ++i)
        between.push_back(Entry{"small" + std::to_string(i), "s"});
    Entry badCrc{"bad", "spoilt"};
    badCrc.crc = 1;
    struct Case {
        const char* name;
        std::vector<Entry> entries;
        Shown shown;
        std::string x;  // what stands at x: a file's bytes, or "/" for a folder
    } cases[] = {
        {"dot", {Entry{"x", "EARLY"}, Entry{"./x", "LATE"}}, {0, {}}, "LATE"},
        {"double slash", {Entry{"d/x", "EARLY"}, Entry{"d//x", "LATE"}}, {0, {}}, ""},
        {"backslash", {Entry{"x", "EARLY"}, Entry{".\\x", "LATE"}}, {0, {}}, "LATE"},
        {"failure between",
         {Entry{"x", "EARLY"}, badCrc, Entry{"./x", "LATE"}},
         {1, {"CRC FAILED :-("}},
         "EARLY"},
        {"file then folder",
         {Entry{"x", "EARLY"}, Entry{"./x/y", "LATE"}},
         {1, {"Can't open output file :-("}},
         "EARLY"},
        {"file then directory entry",
         {Entry{"x", "EARLY"}, Entry{"./x/", ""}},
         {1, {"Can't create directory #./x/# :-("}},
         "EARLY"},
    };
    for (const Case& c : cases) {
        Archive archive{{zeros, c.entries.front()}};
        archive.entries.insert(archive.entries.end(), between.begin(), between.end());
        archive.entries.insert(archive.entries.end(), c.entries.begin() + 1, c.entries.end());
        writeFile(archivePath, buildArchive(archive).bytes);
        auto none = [](const std::string&) {};
        auto one = extractWith(1, std::string(c.name) + "1", none);
        EXPECT_EQ(one.first, c.shown) << c.name;
        std::string target = dir / (std::string(c.name) + "1");
        EXPECT_EQ(readFile(target + (c.x.empty() ? "/d/x" : "/x")), c.x.empty() ? "LATE" : c.x) << c.name;
        for (int workers : {2, 8})
            EXPECT_EQ(extractWith(workers, c.name + std::to_string(workers), none), one) << c.name << workers;
    }
}

// A small disk: a file that stood at an entry's name stays as it was when
// the new one cannot be written whole, and several workers fail no entry
// that one worker extracts, stopping where one worker stops.
TEST_F(Workers, aFullDiskWithAnyCount)
{
    if (geteuid() != 0)
        GTEST_SKIP() << "mounting a small disk needs root";
    // The disks go when the test ends, whichever way.
    struct SmallDisks {
        std::vector<std::string> mounted;
        ~SmallDisks()
        {
            for (const std::string& target : mounted)
                umount2(target.c_str(), MNT_DETACH);
        }
    } disks;
    auto smallDisk = [&](const std::string& target, const char* size) {
        if (mount("tmpfs", target.c_str(), "tmpfs", 0, size) != 0)
            return false;
        disks.mounted.push_back(target);
        return true;
    };
    const std::string standing = randomBytes(3584 << 10, 1);
    Archive several;
    for (int i = 0; i < 20; ++i)
        several.entries.push_back(Entry{"f" + std::to_string(i), randomBytes(200 << 10, unsigned(i))});
    Archive tooLarge;
    for (int i = 0; i < 30; ++i)
        tooLarge.entries.push_back(Entry{"g" + std::to_string(i), randomBytes(300 << 10, unsigned(i))});
    struct Case {
        const char* name;
        Archive archive;
        const char* size;
        std::function<void(const std::string&)> lay;
        Shown shown;
    } cases[] = {
        {"replaced",
         Archive{{Entry{"f", randomBytes(3584 << 10, 2)}}},
         "size=6m",
         [&](const std::string& target) {
             writeFile(target + "/f", standing);
             fs::last_write_time(target + "/f", fs::file_time_type(std::chrono::hours(1)));
         },
         {1, {"Can't write output file :-("}}},
        {"twice",
         several,
         "size=4400k",
         [&](const std::string& target) {
             for (const Entry& entry : several.entries)
                 writeFile(target + "/" + entry.name, entry.data);
         },
         {0, {}}},
        {"too large", tooLarge, "size=4m", [](const std::string&) {}, {1, {"Can't write output file :-("}}},
    };
    for (const Case& c : cases) {
        writeFile(archivePath, buildArchive(c.archive).bytes);
        std::pair<Shown, std::string> one;
        for (int workers : {1, 8}) {
            bool laid = true;
            auto outcome =
                extractWith(workers, c.name + std::to_string(workers), [&](const std::string& target) {
                    laid = smallDisk(target, c.size);
                    c.lay(target);
                });
            ASSERT_TRUE(laid) << "cannot mount a tmpfs";
            EXPECT_EQ(outcome.first, c.shown) << c.name << workers;
            if (workers == 1)
                one = outcome;
            EXPECT_EQ(outcome.second, one.second) << c.name;
        }
        if (std::string(c.name) == "replaced") {
            EXPECT_EQ(readFile(dir / "replaced1/f"), standing);
            EXPECT_EQ(readFile(dir / "replaced8/f"), standing);
        }
    }
}

// After the first failure in order, entries behind it stop writing at
// their next stretch of output: a bad stored entry before 256 MiB of
// zeros costs little more than its own bytes.
TEST_F(Workers, writingStopsAtTheFirstFailure)
{
    Entry bad{"bad", randomBytes(8 << 20, 3)};
    bad.crc = 1;
    Entry zeros{"zeros", std::string(256 << 20, '\0'), 8};
    zeros.level = 1;
    writeFile(archivePath, buildArchive(Archive{{bad, zeros}}).bytes);
    auto none = [](const std::string&) {};
    for (int workers : {1, 8}) {
        std::uint64_t before = ioCount("wchar:");
        EXPECT_EQ(extractWith(workers, "w" + std::to_string(workers), none).first,
                  Shown(1, {"CRC FAILED :-("}));
        EXPECT_LT(ioCount("wchar:") - before, std::uint64_t(80) << 20) << workers;
    }
}

// A call killed while it replaces files leaves no file made aside: until
// its commit such a file has no name.
TEST_F(Workers, aKilledCallLeavesNothingAside)
{
    Archive archive;
    for (int i = 0; i < 64; ++i)
        archive.entries.push_back(Entry{"f" + std::to_string(i), randomBytes(1 << 20, unsigned(i))});
    writeFile(archivePath, buildArchive(archive).bytes);
    const std::string target = dir / "killed";
    fs::create_directories(target);
    for (const Entry& entry : archive.entries)
        writeFile(target + "/" + entry.name, "stood there");
    for (int delayMs : {5, 20, 60}) {
        pid_t child = fork();
        if (child == 0) {
            setenv("VESK_THREADS", "2", 1);
            _exit(unzip(archivePath.c_str(), target.c_str()));
        }
        usleep(useconds_t(delayMs) * 1000);
        kill(child, SIGKILL);
        waitpid(child, nullptr, 0);
        for (const std::string& name : listTree(target))
            EXPECT_EQ(name.find('\\'), std::string::npos) << name << " after " << delayMs << " ms";
    }
}

}  // namespace

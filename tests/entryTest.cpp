// Writing single entries: paths, directories, stored data, CRC checks and
// time stamps. Time stamps assume TZ=America/New_York.
#include <fcntl.h>
#include <sys/stat.h>

#include <algorithm>
#include <filesystem>

#include "archive.h"
#include "entry.h"
#include "extractFixture.h"

using namespace zipTest;
namespace fs = std::filesystem;

namespace {

Entry stamped(const std::string& name, std::uint16_t date, std::uint16_t time)
{
    Entry entry{name, "stamp"};
    entry.date = date;
    entry.time = time;
    return entry;
}

std::string little(std::uint64_t value, int bytes)
{
    std::string text;
    for (int i = 0; i < bytes; ++i)
        text += char(value >> 8 * i & 0xFF);
    return text;
}

std::string extraField(unsigned id, const std::string& data)
{
    return little(id, 2) + little(data.size(), 2) + data;
}

// The NTFS field's attribute 1: modification, access and creation times.
std::string ntfsTimes(std::uint64_t modified)
{
    return little(1, 2) + little(24, 2) + little(modified, 8) + little(modified / 2, 8)
           + little(modified / 3, 8);
}

std::string ntfsField(const std::string& attributes)
{
    return extraField(0x000A, little(0, 4) + attributes);
}

std::string extendedTime(std::int64_t seconds, char flags = 1)
{
    return extraField(0x5455, flags + little(std::uint64_t(seconds), 4));
}

class EntryExtraction : public ExtractFixture {
protected:
    // Extracts the first record as unzipOneFile does, with the archive
    // opened and the walk and input started the way unzip starts them, to
    // see the entry's own result.
    Outcome extractFirstRecord(const Archive& archive)
    {
        static CallState call;
        Built built = buildArchive(archive);
        writeFile(archivePath, built.bytes);
        std::string record = built.bytes.substr(built.recordOffsets[0]);
        std::string target = libraryPath(destination) + "\\";
        FileHandle archiveFile;
        EXPECT_TRUE(openArchive(archivePath.c_str(), &archiveFile));
        startWalk(call.walk, archiveFile);
        startInput(call.input, archiveFile);
        addSpanStart(call.walk.spans, built.localOffsets[0]);
        sortSpanStarts(call.walk.spans);
        Outcome outcome = captureOutput([&] { return int(extractEntry(call, target.c_str(), &record[0])); });
        forgetClaimedSpans(call.walk.spans);
        closeDirectories(call.walk.directories);
        closeArchive(archiveFile);
        return outcome;
    }
};

TEST_F(EntryExtraction, storedEntriesAreByteIdentical)
{
    Archive archive;
    Messages expected;
    for (std::size_t size : {0, 1, 2047, 2048, 2049, 5000, 70000}) {
        std::string name = "s" + std::to_string(size) + ".bin";
        archive.entries.push_back(Entry{name, randomBytes(size, unsigned(size))});
        expected.push_back(name);
    }
    archive.entries.push_back(Entry{"x/y/z.txt", "slashes"});
    archive.entries.push_back(Entry{"p\\q.txt", "backslash"});
    archive.entries.push_back(Entry{"c:colon.txt", "colon"});
    archive.entries.push_back(Entry{"..dots", "leading dots"});
    archive.entries.push_back(Entry{".hidden/x..y", "inner dots"});
    expected.insert(expected.end(), {".hidden/", ".hidden/x..y", "..dots", "c:colon.txt", "p/", "p/q.txt",
                                     "x/", "x/y/", "x/y/z.txt"});
    std::sort(expected.begin(), expected.end());

    EXPECT_EQ(shown(extract(archive)), Shown(0, {}));
    EXPECT_EQ(extracted(), expected);
    for (const Entry& entry : archive.entries) {
        std::string name = entry.name;
        std::replace(name.begin(), name.end(), '\\', '/');
        EXPECT_EQ(output(name), entry.data) << name;
    }
}

TEST_F(EntryExtraction, directoryEntries)
{
    // The attribute makes a directory with or without the trailing slash.
    Archive archive{{Entry{"d1/d2/", ""}, Entry{"e1/e2", ""}, Entry{"./f0/", ""}}};
    for (Entry& entry : archive.entries)
        entry.externalAttributes = zipTest::directoryAttribute;
    for (int run = 0; run < 2; ++run) {  // the second time they exist
        EXPECT_EQ(shown(extract(archive)), Shown(0, {}));
        EXPECT_EQ(extracted(), (Messages{"d1/", "d1/d2/", "e1/", "e1/e2/", "f0/"}));
    }
    // Names ending in full stops are names like any other here.
    Entry trailing{"trail./g0/", ""};
    trailing.externalAttributes = zipTest::directoryAttribute;
    EXPECT_EQ(shown(extract(Archive{{trailing, Entry{".../b.txt", "b"}, Entry{"c./", ""}}})), Shown(0, {}));
    EXPECT_EQ(extracted(), (Messages{".../", ".../b.txt", "c./", "d1/", "d1/d2/", "e1/", "e1/e2/", "f0/",
                                     "trail./", "trail./g0/"}));

    // Without the attribute (archivers that write Unix attributes only) the
    // trailing slash alone makes a directory entry.
    EXPECT_EQ(shown(extract(Archive{{Entry{"f1/f2/", ""}, Entry{"f1/f2/f3", "x"}}})), Shown(0, {}));
    EXPECT_EQ(listTree(destination + "/f1"), (Messages{"f2/", "f2/f3"}));
}

TEST_F(EntryExtraction, truncatesALongerExistingFile)
{
    writeFile(destination + "/t.txt", std::string(10000, 'o'));
    ASSERT_EQ(extract(Archive{{Entry{"t.txt", "short"}}}).result, 0);
    EXPECT_EQ(output("t.txt"), "short");
}

// The data lies behind the local header's own name and extra field, whatever
// lengths the central directory gives; the walk steps over the record's
// extra field and comment.
TEST_F(EntryExtraction, localHeaderLengthsCount)
{
    Archive archive{{Entry{"a.txt", "alpha"}, Entry{"b.txt", "beta"}, Entry{"c.txt", "gamma"}}};
    archive.entries[0].localExtra = std::string(300, 'L');
    archive.entries[1].centralExtra = std::string(40, 'C');
    archive.entries[1].comment = "a file comment";
    archive.entries[2].localName = "a-much-longer-local-name.txt";
    archive.comment = "archive comment";
    EXPECT_EQ(shown(extract(archive)), Shown(0, {}));
    EXPECT_EQ(extracted(), (Messages{"a.txt", "b.txt", "c.txt"}));
    EXPECT_EQ(output("a.txt"), "alpha");
    EXPECT_EQ(output("b.txt"), "beta");
    EXPECT_EQ(output("c.txt"), "gamma");
}

TEST_F(EntryExtraction, crcMismatchKeepsTheWrittenFile)
{
    Entry wrong{"wrong.bin", randomBytes(3000, 3)};
    wrong.crc = crc32Of(wrong.data) ^ 1;
    Entry emptyWrong{"empty.bin", ""};
    emptyWrong.crc = 1;
    for (const Entry& entry : {wrong, emptyWrong}) {
        EXPECT_EQ(shown(extract(Archive{{Entry{"empty-ok", ""}, entry}})), Shown(1, {"CRC FAILED :-("}));
        EXPECT_EQ(output("empty-ok"), "");
        EXPECT_EQ(output(entry.name), entry.data);
    }
}

TEST_F(EntryExtraction, unsupportedMethodLeavesAnEmptyStampedFile)
{
    Entry entry = stamped("m12.bin", dosDate(2010, 6, 1), dosTime(12, 30, 10));
    entry.method = 12;
    EXPECT_EQ(shown(extractFirstRecord(Archive{{entry}})),
              Shown(2, {"Unsupported compression method (12) :-("}));
    EXPECT_EQ(output("m12.bin"), "");
    EXPECT_EQ(statOf(destination + "/m12.bin").st_mtime, 1275409810);
}

// MS-DOS times are local: the offset in force on the entry's date counts,
// not today's. The access time is not set.
TEST_F(EntryExtraction, timeStampsAreLocalTime)
{
    struct Case {
        std::uint16_t date, time;
        std::time_t expected;
    };
    const Case cases[] = {
        {dosDate(2010, 6, 1), dosTime(12, 30, 10), 1275409810},    // summer time
        {dosDate(2010, 1, 15), dosTime(8, 0, 0), 1263560400},      // winter time
        {dosDate(2000, 2, 29), dosTime(0, 0, 0), 951800400},       // leap day
        {dosDate(1980, 1, 1), dosTime(0, 0, 0), 315550800},        // earliest
        {dosDate(2107, 12, 31), dosTime(23, 59, 58), 4354837198},  // latest
    };
    Archive archive;
    for (const Case& c : cases) {
        Entry entry = stamped("t" + std::to_string(c.expected), c.date, c.time);
        archive.entries.push_back(entry);
        // An existing file: replaced, and only the new one's last-write
        // time is set.
        std::string path = destination + "/" + entry.name;
        writeFile(path, "old contents");
        const timespec times[2] = {{1000000000, 0}, {1000000000, 0}};
        ASSERT_EQ(utimensat(AT_FDCWD, path.c_str(), times, 0), 0);
    }
    ASSERT_EQ(extract(archive).result, 0);
    for (const Case& c : cases) {
        struct stat status = statOf(destination + "/t" + std::to_string(c.expected));
        EXPECT_EQ(status.st_mtim.tv_sec, c.expected);
        EXPECT_EQ(status.st_mtim.tv_nsec, 0);
        EXPECT_GT(status.st_atim.tv_sec, 1000000000);
        EXPECT_NE(status.st_atim.tv_sec, c.expected);
    }
}

// An extra field's time is set exactly, the same in every zone: the NTFS
// field's (to 100 ns) before the extended timestamp's, the central record's
// before the local header's of the same kind. Without one, or with fields
// cut short or malformed only, the MS-DOS time stands, read as local time.
TEST_F(EntryExtraction, extraFieldsGiveTheExactTime)
{
    const std::uint64_t ticks = (1614834367 + 11644473600) * 10000000 + 1234567;
    const std::string extended = extendedTime(1592224496);
    const std::string ntfs = ntfsField(ntfsTimes(ticks));
    const std::time_t dos = 0;
    const struct Case {
        const char* what;
        std::string central, local;
        std::time_t seconds;
        long nanoseconds;
    } cases[] = {
        {"extended", extended, "", 1592224496, 0},
        {"local extended with three times", "",
         extraField(0x5455, "\x07" + little(1592224496, 4) + little(9, 8)), 1592224496, 0},
        {"ntfs behind extended", extended + ntfs, "", 1614834367, 123456700},
        {"local ntfs behind another attribute", extended,
         ntfsField(little(2, 2) + little(1, 2) + "x" + ntfsTimes(ticks)), 1614834367, 123456700},
        {"central over local extended", extended, extendedTime(1000000000), 1592224496, 0},
        {"dos alone", "", "", dos, 0},
        {"extended without its bit", extendedTime(1592224496, 2), "", dos, 0},
        {"extended too short", extraField(0x5455, "\x01xyz"), "", dos, 0},
        {"extended cut short", extended.substr(0, 8), "", dos, 0},
        {"local extended cut short", "", extended.substr(0, 8), dos, 0},
        {"extended before ntfs cut short", extended + ntfs.substr(0, 30), "", 1592224496, 0},
        {"ntfs times of 16 bytes", ntfsField(little(1, 2) + little(16, 2) + little(ticks, 8) + little(0, 8)),
         "", dos, 0},
        {"ntfs time zero", ntfsField(ntfsTimes(0)), "", dos, 0},
    };
    Archive archive;
    for (const Case& c : cases) {
        archive.entries.push_back(stamped(c.what, dosDate(2001, 1, 1), dosTime(10, 0, 0)));
        archive.entries.back().centralExtra = c.central;
        archive.entries.back().localExtra = c.local;
    }
    // The zone the tests assume comes last, and stays.
    for (auto [zone, local] :
         {std::pair("Asia/Tokyo", 978310800), std::pair("America/New_York", 978361200)}) {
        setenv("TZ", zone, 1);
        tzset();
        EXPECT_EQ(shown(extract(archive)), Shown(0, {}));
        for (const Case& c : cases) {
            timespec modified = statOf(destination + "/" + c.what).st_mtim;
            EXPECT_EQ(modified.tv_sec, c.seconds == dos ? local : c.seconds) << zone << ": " << c.what;
            EXPECT_EQ(modified.tv_nsec, c.nanoseconds) << zone << ": " << c.what;
        }
    }
}

// Dates and times that the Windows conversion refuses leave the time of
// writing, rather than a normalised neighbour date.
TEST_F(EntryExtraction, invalidDosTimesAreNotSet)
{
    const std::pair<std::uint16_t, std::uint16_t> cases[] = {
        {0, 0},                     // month and day 0
        {dosDate(2010, 2, 30), 0},  // February 30
        {dosDate(2100, 2, 29), 0},  // no leap day in 2100
        {dosDate(2010, 13, 1), 0},  // month 13
        {dosDate(2010, 6, 1), dosTime(24, 0, 0)},
        {dosDate(2010, 6, 1), dosTime(12, 60, 0)},
        {dosDate(2010, 6, 1), dosTime(12, 0, 60)},
    };
    Archive archive;
    for (const auto& [date, time] : cases)
        archive.entries.push_back(stamped("bad" + std::to_string(archive.entries.size()), date, time));
    writeFile(dir / "before", "");
    EXPECT_EQ(shown(extract(archive)), Shown(0, {}));
    writeFile(dir / "after", "");
    std::time_t before = statOf(dir / "before").st_mtime;
    std::time_t after = statOf(dir / "after").st_mtime;
    for (const Entry& entry : archive.entries) {
        std::time_t stamped = statOf(destination + "/" + entry.name).st_mtime;
        EXPECT_TRUE(stamped >= before && stamped <= after) << entry.name << " " << stamped;
    }
}

// A full disk: the first failed write ends the entry, stored or Deflate,
// long before the rest of its data has been read. A new file stays as the
// failure leaves it; a file that stood at the name stays as it was.
TEST_F(EntryExtraction, writeFailureIsReported)
{
    const std::string large = randomBytes(16 << 20, 4);
    struct Case {
        Entry entry;
        std::uint64_t limit;
    } cases[] = {
        {Entry{"full", randomBytes(5000, 4)}, 4096},
        {Entry{"full", large}, 1 << 20},
        {Entry{"full", large, 8}, 1 << 20},
    };
    for (Case& c : cases) {
        SCOPED_TRACE(c.entry.method);
        c.entry.level = 1;
        fileSizeLimit = c.limit;
        writeFile(archivePath, buildArchive(Archive{{c.entry}}).bytes);
        bool standing = std::filesystem::exists(destination + "/full");
        std::string before = standing ? output("full") : "";
        std::uint64_t read = ioCount("rchar:");
        EXPECT_EQ(shown(extractFile(archivePath, destination)), Shown(1, {"Can't write output file :-("}));
        EXPECT_LT(ioCount("rchar:") - read, c.limit + (2u << 20));
        if (standing)
            EXPECT_EQ(output("full"), before);
        else
            EXPECT_EQ(output("full").size(), c.limit);
        EXPECT_EQ(extracted(), Messages{"full"});
    }
}

Entry named(const std::string& name, std::uint16_t flags)
{
    Entry entry{name, "name " + name};
    entry.flags = flags;
    return entry;
}

// Info-ZIP's Unicode Path field for `rawName`: version, the raw name's
// CRC-32, the UTF-8 name.
std::string unicodePath(const std::string& rawName, const std::string& name, unsigned version = 1)
{
    return extraField(0x7075, char(version) + little(crc32Of(rawName), 4) + name);
}

// Names are written byte for byte: those marked UTF-8 as the UTF-8 they are,
// others as the bytes they are, side by side in one archive.
TEST_F(EntryExtraction, namesReachTheFileSystemAsWritten)
{
    // 140 characters, 420 bytes: a Windows path counts the characters.
    std::string longCjk = "\u9577\u3044";
    for (int component = 0; component < 3; ++component) {
        longCjk += "/";
        for (int i = 0; i < 45; ++i)
            longCjk += "\u8def";
    }
    longCjk += ".txt";
    const Entry entries[] = {
        named("Gr\u00fc\u00dfe/stra\u00dfe.txt", zipTest::utf8NameFlag),
        named("\u041f\u0440\u0438\u0432\u0435\u0442 \u043c\u0438\u0440.txt", zipTest::utf8NameFlag),
        named("\u65e5\u672c\u8a9e/\u30d5\u30a1\u30a4\u30eb.txt", zipTest::utf8NameFlag),
        named("emoji-\U0001F600.txt", zipTest::utf8NameFlag),
        named(longCjk, zipTest::utf8NameFlag),
        named("caf\xe9-unmarked.txt", 0),
        named("\xd0\x9c\xd0\xb8\xd1\x80-unmarked.txt", 0),
    };
    Archive archive;
    Messages expected;
    for (const Entry& entry : entries) {
        archive.entries.push_back(entry);
        for (std::size_t slash = entry.name.find('/'); slash != std::string::npos;
             slash = entry.name.find('/', slash + 1))
            expected.push_back(entry.name.substr(0, slash + 1));
        expected.push_back(entry.name);
    }
    std::sort(expected.begin(), expected.end());
    EXPECT_EQ(shown(extract(archive)), Shown(0, {}));
    EXPECT_EQ(extracted(), expected);
    for (const Entry& entry : entries)
        EXPECT_EQ(output(entry.name), entry.data) << entry.name;
}

// A name marked UTF-8 that is not is refused before anything is created;
// the same bytes unmarked are only bytes.
TEST_F(EntryExtraction, namesMarkedUtf8MustBeUtf8)
{
    const std::string invalid[] = {
        "stray\x80.txt",    // continuation byte without a lead
        "cut\xc3",          // lead byte at the end
        "cut\xe6\x97.txt",  // sequence cut short
        "a\xc0\xaf..\xc0\xaf"
        "evil",                       // overlong '/'
        "over\xe0\x80\xaflong",       // overlong in three bytes
        "over\xf0\x80\x80\xaflong",   // overlong in four bytes
        "surrogate\xed\xa0\x80.txt",  // U+D800
        "beyond\xf4\x90\x80\x80",     // U+110000
        "lead\xf8\x88\x80\x80\x80",   // five-byte form
        "byte\xff",
    };
    for (const std::string& name : invalid) {
        SCOPED_TRACE(name);
        // The message line (a UTF-8 terminal) shows malformed bytes as escapes.
        std::string escaped;
        for (unsigned char c : name) {
            char hex[5];
            std::snprintf(hex, sizeof hex, "\\x%02x", c);
            escaped += c < 0x80 ? std::string(1, char(c)) : std::string(hex);
        }
        EXPECT_EQ(shown(extract(Archive{{named(name, zipTest::utf8NameFlag)}})),
                  Shown(1, {"Unsafe file name #" + escaped + "# :-("}));
        EXPECT_EQ(extracted(), Messages{});
        EXPECT_EQ(shown(extract(Archive{{named(name, 0)}})), Shown(0, {}));
        fs::remove_all(destination);
        fs::create_directory(destination);
    }
}

// The Unicode Path field names the entry when it belongs to the raw name;
// the safety rules then hold for the name it gives.
TEST_F(EntryExtraction, unicodePathFieldsThatBelongToTheRawName)
{
    const std::string raw = "Gr\x81\xe1"
                            "e.txt";  // as an OEM code page writes it
    const std::string unicode = "Gr\u00fc\u00dfe.txt";
    const std::string timestamp{'\x55', '\x54', '\x05', '\x00', '\x01', '\x00', '\x00', '\x00', '\x00'};
    struct Case {
        const char* what;
        std::string extra;
        std::uint16_t flags;
        Shown expected;
        std::string written;
    };
    const Case cases[] = {
        {"matching", unicodePath(raw, unicode), 0, Shown(0, {}), unicode},
        {"behind another field", timestamp + unicodePath(raw, unicode), 0, Shown(0, {}), unicode},
        {"over the UTF-8 mark", unicodePath(raw, unicode), zipTest::utf8NameFlag, Shown(0, {}), unicode},
        {"stale",
         unicodePath("Gr\x81\xe1"
                     "e.bak",
                     unicode),
         0, Shown(0, {}), raw},
        {"version 2", unicodePath(raw, unicode, 2), 0, Shown(0, {}), raw},
        {"cut short", unicodePath(raw, unicode).substr(0, 12), 0, Shown(0, {}), raw},
        {"no room for its version and CRC",
         std::string{'\x75', '\x70', '\x04', '\x00', '\x01', '\x00', '\x00', '\x00'}, 0, Shown(0, {}), raw},
        {"climbing out", unicodePath(raw, "../evil.txt"), 0, Shown(1, {"Unsafe file name #../evil.txt# :-("}),
         ""},
        {"not UTF-8",
         unicodePath(raw, "Gr\xc0\xaf"
                          "e.txt"),
         0, Shown(1, {"Unsafe file name #Gr\\xc0\\xafe.txt# :-("}), ""},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        Entry entry = named(raw, c.flags);
        entry.centralExtra = c.extra;
        EXPECT_EQ(shown(extract(Archive{{entry}})), c.expected);
        EXPECT_EQ(extracted(), c.written.empty() ? Messages{} : Messages{c.written});
        fs::remove_all(destination);
        fs::create_directory(destination);
    }
}

}  // namespace

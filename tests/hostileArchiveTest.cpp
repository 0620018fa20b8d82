// Archives built to escape the destination, to overrun buffers, to make the
// walk reuse stale bytes or the decoder run for ever. After each one the
// library must hold nothing open and extract the next archive as usual.
#include <filesystem>

#include "extractFixture.h"
#include "library.h"

using namespace zipTest;
namespace fs = std::filesystem;

namespace {

const Messages damaged{"Damaged archive :-("};
const Messages badTable{" Bad Table "};

class HostileArchive : public ExtractFixture {
protected:
    const Messages untouched{"a/", "a/b/", "a/b/out/", "archive.zip"};
    const Messages firstOnly{"a/", "a/b/", "a/b/out/", "a/b/out/first.txt", "archive.zip"};

    // Extracts, then proves the library ready for the next call: no stream
    // left open (extractFile counts descriptors) and a good archive extracts.
    Outcome extractHostile(const std::string& bytes, const std::string& target)
    {
        Outcome outcome = extractBytes(bytes, target);
        EXPECT_EQ(archiveFile, nullptr);
        EXPECT_EQ(outputFile, nullptr);
        const std::string goodPath = dir / "good.zip";
        const std::string next = dir / "next";
        writeFile(goodPath, buildArchive(Archive{{Entry{"good.txt", "good", 8}}}).bytes);
        EXPECT_EQ(shown(extractFile(goodPath, next)), Shown(0, {})) << "the next call fails";
        EXPECT_EQ(readFile(next + "/good.txt"), "good");
        fs::remove_all(next);
        fs::remove(goodPath);
        return outcome;
    }
    Outcome extractHostile(const std::string& bytes) { return extractHostile(bytes, destination); }
    Outcome extractHostile(const Archive& archive) { return extractHostile(buildArchive(archive).bytes); }

    // Everything below the test's directory that is not inside the destination.
    Messages outsideDestination() const
    {
        Messages outside;
        for (const std::string& name : everything())
            if (name.compare(0, 8, "a/b/out/") != 0 || name == "a/b/out/")
                outside.push_back(name);
        return outside;
    }
};

// ".." first, inside, last and alone, behind either separator or a mix, and
// names that start at the root.
std::vector<std::string> unsafeNames()
{
    std::vector<std::string> names = {"..", "/abs.txt", "\\abs.txt", "/", "\\", "//host/share/x",
                                      "\\\\host\\share\\x", "new/..\\..\\evil.txt",
                                      "new\\../evil.txt", "/.."};
    const char* shapes[] = {"..|evil.txt", "..|", "new|..|..|evil.txt", "new|..|inside.txt",
                            "new|..", "new|..|", "new|deeper|..|..|..|evil|", "new||..|evil.txt"};
    for (char separator : {'/', '\\'}) {
        for (std::string name : shapes) {
            for (char& c : name)
                if (c == '|')
                    c = separator;
            names.push_back(name);
        }
    }
    return names;
}

TEST_F(HostileArchive, unsafeNamesAreRefusedBeforeAnythingIsCreated)
{
    for (const std::string& name : unsafeNames()) {
        for (std::uint32_t attributes : {0u, directoryAttribute}) {
            SCOPED_TRACE(name + " " + std::to_string(attributes));
            Entry unsafe{name, "evil"};
            unsafe.externalAttributes = attributes;
            EXPECT_EQ(shown(extractHostile(Archive{{Entry{"first.txt", "1"}, unsafe, Entry{"last.txt", "3"}}})),
                      Shown(1, {"Unsafe file name #" + name + "# :-("}));
            EXPECT_EQ(everything(), firstOnly);
            fs::remove(destination + "/first.txt");
        }
    }
}

// Dots that do not make a ".." component climb nowhere and are extracted
// (on Windows the library refuses the all-dot ones too).
TEST_F(HostileArchive, dotsThatDoNotClimbAreNames)
{
    Archive archive{{Entry{"...", "1"}, Entry{"..a", "2"}, Entry{"a..", "3"}, Entry{".hidden", "4"},
                     Entry{"d\\..f\\g.txt", "6"}, Entry{"./h.txt", "7"}}};
    EXPECT_EQ(shown(extractHostile(archive)), Shown(0, {}));
    EXPECT_EQ(extracted(), (Messages{"...", "..a", ".hidden", "a..", "d/", "d/..f/",
                                     "d/..f/g.txt", "h.txt"}));
    EXPECT_EQ(output("d/..f/g.txt"), "6");
}

TEST_F(HostileArchive, damagedCentralDirectory)
{
    Archive archive{{Entry{"first.txt", "1"}, Entry{"second.txt", "2"}}};
    Built plain = buildArchive(archive);
    std::string record = plain.bytes.substr(plain.recordOffsets[0], 46 + 9);

    Archive beyondEnd = archive;
    beyondEnd.centralOffset = 0xFFFFFFF0;
    Archive notARecord = archive;  // points at a local header
    notARecord.centralOffset = std::uint32_t(plain.localOffsets[1]);
    // The third record would be the end record, followed by enough zeros to
    // pass for a record naming the destination itself.
    Archive countTooLarge = archive;
    countTooLarge.recordCount = 3;
    countTooLarge.comment = std::string(40, '\0');
    Archive countFarTooLarge = archive;
    countFarTooLarge.recordCount = 0xFFFF;

    const Messages both{"a/", "a/b/", "a/b/out/", "a/b/out/first.txt", "a/b/out/second.txt",
                        "archive.zip"};
    struct Case {
        std::string what, bytes;
        Messages tree;
    };
    std::vector<Case> cases = {
        {"beyond end", buildArchive(beyondEnd).bytes, untouched},
        {"not a record", buildArchive(notARecord).bytes, untouched},
        {"count too large", buildArchive(countTooLarge).bytes, both},
        {"count far too large", buildArchive(countFarTooLarge).bytes, both},
    };
    // A record at the very end of the file, cut inside its fixed part or
    // inside its name.
    for (std::size_t cut : {30u, 50u}) {
        Archive truncated = archive;
        truncated.centralOffset = std::uint32_t(plain.bytes.size());
        cases.push_back({"cut at " + std::to_string(cut),
                         buildArchive(truncated).bytes + record.substr(0, cut), untouched});
    }
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        // A full record read just before must not stand in for a short one.
        fs::remove_all(destination);
        ASSERT_EQ(extractBytes(plain.bytes, dir / "previous").result, 0);
        fs::remove_all(dir / "previous");
        fs::create_directories(destination);
        EXPECT_EQ(shown(extractHostile(c.bytes)), Shown(1, damaged));
        EXPECT_EQ(everything(), c.tree);
    }
}

TEST_F(HostileArchive, unreadableLocalHeaderCreatesNoFile)
{
    Archive archive{{Entry{"first.txt", "1"}, Entry{"second.txt", "2"}}};
    std::size_t size = buildArchive(archive).bytes.size();
    for (std::uint32_t offset : {std::uint32_t(size - 10), 0x7FFFFFFFu, 0xFFFFFFFFu}) {
        archive.entries[1].localHeaderOffset = offset;
        EXPECT_EQ(shown(extractHostile(archive)), Shown(1, damaged)) << offset;
        EXPECT_EQ(everything(), firstOnly);
    }
}

// A stored size beyond the end of the file: the copy ends with the file.
TEST_F(HostileArchive, storedDataEndingEarly)
{
    Entry entry{"short.bin", randomBytes(3000, 5)};
    entry.compressedSize = 0xFFFFFFFF;
    Built built = buildArchive(Archive{{entry}});
    EXPECT_EQ(shown(extractHostile(built.bytes)), Shown(1, {"CRC FAILED :-("}));
    std::size_t dataOffset = built.localOffsets[0] + 30 + entry.name.size();
    EXPECT_EQ(output("short.bin"), built.bytes.substr(dataOffset));
    EXPECT_EQ(outsideDestination(), untouched);
}

// The entry's local header and data moved behind the end record, as the
// archive comment, so that the data runs up to the end of the file.
std::string withDataAtTheEnd(const Entry& entry)
{
    Built plain = buildArchive(Archive{{entry}});
    Archive archive{{entry}};
    archive.entries[0].localHeaderOffset = std::uint32_t(plain.endOffset + 22);
    archive.comment = plain.bytes.substr(0, plain.recordOffsets[0]);
    return buildArchive(archive).bytes;
}

// Streams cut short, none with an end to its final block: the decoder needs
// bits past the end of the file and fails instead of decoding zeros for ever.
// The 64 KiB pieces decoded before the failure stay in the file.
TEST_F(HostileArchive, streamsThatNeverEndTheirFinalBlock)
{
    const std::string text = "never ends, never ends, but a little differently each time";
    const std::string large = randomBytes(40000, 9) + std::string(200000, 'z');
    std::string fixed = deflateRaw(text, 9, Z_FIXED);
    std::string cutLarge = deflateRaw(large);
    struct Case {
        std::string what, stream, data;
    };
    const Case cases[] = {
        {"fixed block without end of block", fixed.substr(0, fixed.size() - 1), text},
        // Not final: the next block header lies past the end.
        {"stored block, no block after it", std::string("\x00\x05\x00\xFA\xFFhello", 10), "hello"},
        {"large stream cut short", cutLarge.substr(0, cutLarge.size() - 12), large},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        Entry entry{"endless.bin", c.data, 8};
        entry.compressed = c.stream;
        EXPECT_EQ(shown(extractHostile(withDataAtTheEnd(entry))), Shown(1, badTable));
        std::string written = output("endless.bin");
        EXPECT_EQ(written.size() % 65536, 0u);
        EXPECT_EQ(written, c.data.substr(0, written.size()));
        EXPECT_EQ(outsideDestination(), untouched);
    }
    EXPECT_EQ(output("endless.bin").size(), 3u * 65536);  // the large one
}

// Every record names the same local header: each is extracted whole from the
// shared data, so an archive's output is bounded only by its record count
// times what its largest stream decodes to.
TEST_F(HostileArchive, recordsSharingOneEntrysData)
{
    // Longer than the window, so that each copy moves it.
    const std::string data = randomBytes(30000, 7) + std::string(150000, 'z') + randomBytes(30000, 8);
    Archive archive;
    for (int i = 0; i < 64; ++i) {
        Entry copy{"copy" + std::to_string(i) + ".bin", data, 8};
        if (i > 0) {
            copy.compressed = "";
            copy.localHeaderOffset = 0;
        }
        archive.entries.push_back(copy);
    }
    std::string bytes = buildArchive(archive).bytes;
    ASSERT_LT(bytes.size(), data.size() / 2);
    EXPECT_EQ(shown(extractHostile(bytes)), Shown(0, {}));
    for (const Entry& entry : archive.entries)
        EXPECT_EQ(output(entry.name), data) << entry.name;
    EXPECT_EQ(extracted().size(), archive.entries.size());
    EXPECT_EQ(outsideDestination(), untouched);
}

// A 2.5 GiB archive, its records and data behind a sparse hole, at positions
// that need more than 31 bits.
TEST_F(HostileArchive, positionsAbove2GiB)
{
    const std::uint64_t hole = 0xA0000000;
    Archive archive{{Entry{"high.bin", randomBytes(100000, 6)}, Entry{"sub/high.txt", "high"},
                     Entry{"sub/deflated.bin", randomBytes(20000, 7) + std::string(100000, 'h'), 8}}};
    archive.bias = hole;
    writeFile(archivePath, buildArchive(archive).bytes, hole);
    ASSERT_GE(std::int64_t(statOf(archivePath).st_size), std::int64_t(hole));
    EXPECT_EQ(shown(extractFile(archivePath, destination)), Shown(0, {}));
    for (const Entry& entry : archive.entries)
        EXPECT_EQ(output(entry.name), entry.data) << entry.name;
    EXPECT_EQ(outsideDestination(), untouched);
}

// One archive per way to fail, each followed by a good one, many times over:
// the process's descriptors do not grow and every call reports alike.
TEST_F(HostileArchive, manyCallsInARowLeaveNothingOpen)
{
    Entry crcWrong{"crc.txt", "abc"};
    crcWrong.crc = 1;
    Entry badBlock{"table.bin", "x", 8};
    badBlock.compressed = std::string("\x07", 1);  // final block of type 3
    Entry unreadable{"far.txt", "far"};
    unreadable.localHeaderOffset = 0xFFFFFFF0;
    Entry directory{"taken/", ""};
    directory.externalAttributes = directoryAttribute;
    Entry endless{"endless.bin", "", 8};
    endless.compressed = std::string("\x00\x05\x00\xFA\xFFhello", 10);
    Archive countTooLarge{{Entry{"one.txt", "1"}}};
    countTooLarge.recordCount = 2;
    Entry full{"full", randomBytes(5000, 4)};
    full.date = 0;  // an invalid date: the device's time stays as it is

    struct Case {
        std::string what, bytes;
        Shown expected;
        std::string target;
    };
    std::vector<Case> cases = {
        {"good", buildArchive(Archive{{Entry{"good.txt", "good", 8}}}).bytes, Shown(0, {}), ""},
        {"unsafe name", buildArchive(Archive{{Entry{"../evil.txt", "e"}}}).bytes,
         Shown(1, {"Unsafe file name #../evil.txt# :-("}), ""},
        {"name too long", buildArchive(Archive{{Entry{std::string(5000, 'n'), "n"}}}).bytes,
         Shown(1, {boxed("File name too long #" + std::string(5000, 'n') + "# :-(")}), ""},
        {"count too large", buildArchive(countTooLarge).bytes, Shown(1, damaged), ""},
        {"local header past the end", buildArchive(Archive{{unreadable}}).bytes, Shown(1, damaged), ""},
        {"damaged stream", buildArchive(Archive{{badBlock}}).bytes, Shown(1, badTable), ""},
        {"endless stream", withDataAtTheEnd(endless), Shown(1, badTable), ""},
        {"CRC", buildArchive(Archive{{crcWrong}}).bytes, Shown(1, {"CRC FAILED :-("}), ""},
        {"method", buildArchive(Archive{{Entry{"m.bin", "m", 12}}}).bytes,
         Shown(1, {"Unsupported compression method (12) :-("}), ""},
        {"output is a directory", buildArchive(Archive{{directory, Entry{"taken", "t"}}}).bytes,
         Shown(1, {"Can't open output file :-("}), ""},
        {"no end record", std::string(200, 'x'), Shown(1, {}), ""},
        {"7z", std::string("\x37\x7A\xBC\xAF\x27\x1C", 6) + std::string(100, '\0'),
         Shown(1, {" (SORRY!)"}), ""},
    };
    if (exists("/dev/full"))
        cases.push_back({"write fails", buildArchive(Archive{{full}}).bytes,
                         Shown(1, {"Can't write output file :-("}), "/dev"});

    // Counted after the first round: capturing output keeps a descriptor.
    int afterFirstRound = 0;
    for (int round = 0; round < 20; ++round) {
        for (const Case& c : cases) {
            SCOPED_TRACE(c.what);
            EXPECT_EQ(shown(extractHostile(c.bytes, c.target.empty() ? destination : c.target)),
                      c.expected);
            EXPECT_EQ(outsideDestination(), untouched);
        }
        if (round == 0)
            afterFirstRound = openDescriptorCount();
    }
    EXPECT_EQ(openDescriptorCount(), afterFirstRound);
}

}  // namespace

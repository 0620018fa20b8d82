// Archives built to escape the destination, to overrun buffers or to make
// the walk reuse stale bytes.
#include <filesystem>

#include "extractFixture.h"

using namespace zipTest;
namespace fs = std::filesystem;

namespace {

class HostileArchive : public ExtractFixture {
protected:
    const Messages untouched{"a/", "a/b/", "a/b/out/", "archive.zip"};
    const Messages firstOnly{"a/", "a/b/", "a/b/out/", "a/b/out/first.txt", "archive.zip"};
};

TEST_F(HostileArchive, unsafeNamesAreRefusedBeforeAnythingIsCreated)
{
    const std::string names[] = {"../evil.txt", "..", "../", "new/../../evil.txt", "new/..",
                                 "new/../inside.txt", "..\\evil.txt", "new\\..\\..\\..\\evil.txt",
                                 "/abs.txt", "\\abs.txt", "/", "new/../../../evil/"};
    for (const std::string& name : names) {
        for (std::uint32_t attributes : {0u, directoryAttribute}) {
            Entry unsafe{name, "evil"};
            unsafe.externalAttributes = attributes;
            EXPECT_EQ(shown(extract(Archive{{Entry{"first.txt", "1"}, unsafe, Entry{"last.txt", "3"}}})),
                      Shown(1, {"Unsafe file name #" + name + "# :-("}));
            EXPECT_EQ(everything(), firstOnly) << name << " " << attributes;
            fs::remove(destination + "/first.txt");
        }
    }
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

    struct Case {
        std::string what, bytes;
        Messages tree;
    };
    std::vector<Case> cases = {
        {"beyond end", buildArchive(beyondEnd).bytes, untouched},
        {"not a record", buildArchive(notARecord).bytes, untouched},
        {"count too large", buildArchive(countTooLarge).bytes,
         {"a/", "a/b/", "a/b/out/", "a/b/out/first.txt", "a/b/out/second.txt", "archive.zip"}},
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
        EXPECT_EQ(shown(extractBytes(c.bytes)), Shown(1, {"Damaged archive :-("}));
        EXPECT_EQ(everything(), c.tree);
    }
}

TEST_F(HostileArchive, unreadableLocalHeaderCreatesNoFile)
{
    Archive archive{{Entry{"first.txt", "1"}, Entry{"second.txt", "2"}}};
    std::size_t size = buildArchive(archive).bytes.size();
    for (std::uint32_t offset : {std::uint32_t(size - 10), 0x7FFFFFFFu, 0xFFFFFFFFu}) {
        archive.entries[1].localHeaderOffset = offset;
        EXPECT_EQ(shown(extract(archive)), Shown(1, {"Damaged archive :-("})) << offset;
        EXPECT_EQ(everything(), firstOnly);
    }
}

// A stored size beyond the end of the file: the copy ends with the file.
TEST_F(HostileArchive, storedDataEndingEarly)
{
    Entry entry{"short.bin", randomBytes(3000, 5)};
    entry.compressedSize = 0xFFFFFFFF;
    Built built = buildArchive(Archive{{entry}});
    EXPECT_EQ(shown(extractBytes(built.bytes)), Shown(1, {"CRC FAILED :-("}));
    std::size_t dataOffset = built.localOffsets[0] + 30 + entry.name.size();
    EXPECT_EQ(output("short.bin"), built.bytes.substr(dataOffset));
}

// Records and data above 2 GiB, behind a sparse hole, need 64-bit offsets.
// The end-record search reads the whole hole, which takes a sanitizer build
// more than a minute for nothing it would not see in a small archive.
TEST_F(HostileArchive, positionsAbove2GiB)
{
    if (sanitizerBuild)
        GTEST_SKIP() << "too slow with sanitizers";
    const std::uint64_t hole = 0x80010000;
    Archive archive{{Entry{"high.bin", randomBytes(100000, 6)}, Entry{"sub/high.txt", "high"}}};
    archive.bias = hole;
    writeFile(archivePath, buildArchive(archive).bytes, hole);
    EXPECT_EQ(shown(extractFile(archivePath, destination)), Shown(0, {}));
    EXPECT_EQ(output("high.bin"), archive.entries[0].data);
    EXPECT_EQ(output("sub/high.txt"), "high");
}

}  // namespace

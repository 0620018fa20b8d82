// The shortcuts that extraction takes must choose exactly what the plain
// procedure would: the end record found scanning backward, and directories
// skipped because the previous entry made them.
#include <gtest/gtest.h>

#include <random>

#include "archive.h"
#include "extractFixture.h"
#include "library.h"

namespace {

using namespace zipTest;

// The plain procedure: the last signature at positions 1 to size - 22 of a
// file, where a whole end record follows it.
long long lastSignature(const std::string& bytes)
{
    if (bytes.size() < 22)
        return -1;
    for (std::size_t p = bytes.size() - 22; p > 0; --p)
        if (bytes.compare(p, 4, "PK\x05\x06") == 0)
            return (long long)p;
    return -1;
}

TEST(EndRecordSearch, choosesWhatAForwardScanChooses)
{
    const std::size_t searchBlock =
        sizeof(ArchiveWalk::scanBuffer);  // the search reads backwards in such blocks
    std::mt19937 random(2026);
    TempDir dir;
    const std::string path = dir / "scan.bin";
    for (int round = 0; round < 400; ++round) {
        // Small files, and files of two and more search blocks.
        std::size_t size = random() % 4 == 0   ? 20 + random() % 100
                           : random() % 3 == 0 ? 2 * searchBlock + random() % 100
                                               : 101 + random() % 5000;
        // The first block starts searchBlock - 4 bytes before the last position tested.
        std::size_t border = size > searchBlock ? size - 22 - (searchBlock - 4) : 0;
        std::string bytes(size, '\0');
        for (char& c : bytes)
            c = char('a' + random() % 26);
        // Signatures anywhere: the first byte, the last four, chunk borders.
        for (int count = int(random() % 4); count > 0; --count) {
            std::size_t at = random() % 3 == 0                  ? std::size_t(random() % 2) * (size - 4)
                             : border != 0 && random() % 2 == 0 ? border - 3 + random() % 7
                                                                : random() % (size - 3);
            bytes.replace(at, 4, "PK\x05\x06");
        }
        writeFile(path, bytes);
        FileHandle archive;
        ASSERT_TRUE(openArchive(path.c_str(), &archive));
        static ArchiveWalk walk;
        startWalk(walk, archive);
        bool found = findEndOfCentralDirectory(walk);
        closeArchive(archive);
        const std::uint64_t position = walk.endPosition;
        const unsigned char* endRecord = walk.endRecord;

        long long expected = lastSignature(bytes);
        bool readable = expected > 0;
        ASSERT_EQ(found, readable) << "round " << round;
        if (readable) {
            EXPECT_EQ(position, std::uint64_t(expected));
            EXPECT_EQ(std::string(reinterpret_cast<const char*>(endRecord), 22),
                      bytes.substr(std::size_t(expected), 22));
        }
    }
}

class DirectoryReuse : public ExtractFixture {};

TEST_F(DirectoryReuse, siblingsAndLookAlikePrefixesGetTheirDirectories)
{
    Archive archive({Entry("a/b/x", "1"), Entry("a/c/y", "2"), Entry("a/bc/z", "3"), Entry("a/b/d/w", "4"),
                     Entry("e", "5"), Entry("f/gh/i", "6"), Entry("f/g/j", "7")});
    EXPECT_EQ(shown(extract(archive)), Shown(0, {}));
    EXPECT_EQ(extracted(),
              (std::vector<std::string>{"a/", "a/b/", "a/b/d/", "a/b/d/w", "a/b/x", "a/bc/", "a/bc/z", "a/c/",
                                        "a/c/y", "e", "f/", "f/g/", "f/g/j", "f/gh/", "f/gh/i"}));

    // A second call remembers nothing of the first.
    std::filesystem::remove_all(destination);
    EXPECT_EQ(shown(extract(archive)), Shown(0, {}));
    EXPECT_EQ(output("a/b/d/w"), "4");
}

}  // namespace

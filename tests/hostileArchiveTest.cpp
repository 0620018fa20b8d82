// Archives built to escape the destination, to overrun buffers, to make the
// walk reuse stale bytes or the decoder run for ever. After each one the
// library must hold nothing open and extract the next archive as usual.
#include <fcntl.h>
#include <grp.h>
#include <signal.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/statvfs.h>
#include <sys/sysmacros.h>
#include <sys/un.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <functional>
#include <random>
#include <tuple>

#include "archive.h"
#include "extractFixture.h"
#include "inflate/inflate.h"
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
        EXPECT_FALSE(holdsOpenStreams());
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
    std::vector<std::string> names = {"..",
                                      "/abs.txt",
                                      "\\abs.txt",
                                      "/",
                                      "\\",
                                      "//host/share/x",
                                      "\\\\host\\share\\x",
                                      "new/..\\..\\evil.txt",
                                      "new\\../evil.txt",
                                      "/.."};
    const char* shapes[] = {"..|evil.txt", "..|",     "new|..|..|evil.txt",        "new|..|inside.txt",
                            "new|..",      "new|..|", "new|deeper|..|..|..|evil|", "new||..|evil.txt"};
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
        for (std::uint32_t attributes : {0u, zipTest::directoryAttribute}) {
            SCOPED_TRACE(name + " " + std::to_string(attributes));
            Entry unsafe{name, "evil"};
            unsafe.externalAttributes = attributes;
            EXPECT_EQ(
                shown(extractHostile(Archive{{Entry{"first.txt", "1"}, unsafe, Entry{"last.txt", "3"}}})),
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
    EXPECT_EQ(extracted(),
              (Messages{"...", "..a", ".hidden", "a..", "d/", "d/..f/", "d/..f/g.txt", "h.txt"}));
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

    const Messages both{"a/", "a/b/", "a/b/out/", "a/b/out/first.txt", "a/b/out/second.txt", "archive.zip"};
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
    Archive archive{{Entry{"first.txt", "1"}, Entry{"second.txt", ""}}};
    Built built = buildArchive(archive);
    std::uint32_t size = std::uint32_t(built.bytes.size());
    // Past the end, and into the central directory, where no local header
    // signature stands.
    for (std::uint32_t offset :
         {size - 10, 0x7FFFFFFFu, 0xFFFFFFFFu, std::uint32_t(built.recordOffsets[0])}) {
        archive.entries[1].localHeaderOffset = offset;
        EXPECT_EQ(shown(extractHostile(archive)), Shown(1, damaged)) << offset;
        EXPECT_EQ(everything(), firstOnly);
    }
}

// A stored size beyond the end of the file: the copy ends with the file.
TEST_F(HostileArchive, storedDataEndingEarly)
{
    Entry entry{"short.bin", randomBytes(3000, 5)};
    entry.compressedSize = entry.uncompressedSize = 0xFFFFFFFF;
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
// The pieces decoded before the failure stay in the file.
TEST_F(HostileArchive, streamsThatNeverEndTheirFinalBlock)
{
    const std::string text = "never ends, never ends, but a little differently each time";
    const std::string large = randomBytes(40000, 9) + std::string(3 * pieceSize, 'z');
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
        std::remove((destination + "/endless.bin").c_str());  // what a failure leaves of a new file
        Entry entry{"endless.bin", c.data, 8};
        entry.compressed = c.stream;
        EXPECT_EQ(shown(extractHostile(withDataAtTheEnd(entry))), Shown(1, badTable));
        std::string written = output("endless.bin");
        EXPECT_EQ(written.size() % pieceSize, 0u);
        EXPECT_EQ(written, c.data.substr(0, written.size()));
        EXPECT_EQ(outsideDestination(), untouched);
    }
    EXPECT_EQ(output("endless.bin").size(), 3u * pieceSize);  // the large one
}

// Entries whose local headers and data share archive bytes with an entry
// extracted before are refused, whatever their order; entries that touch,
// or lie apart in any order, are not.
TEST_F(HostileArchive, entriesMayNotShareArchiveBytes)
{
    // Nested, as in the published construction: each stored entry's data
    // holds the next entry's local header and data.
    auto nested = [](int depth, bool innermostFirst) {
        Archive archive;
        std::string inner = "core";
        std::vector<Entry> entries;
        for (int level = depth - 1; level >= 0; --level) {
            Entry entry{"level" + std::to_string(level), inner};
            entries.insert(entries.begin(), entry);
            Built alone = buildArchive(Archive{{entry}});
            inner = alone.bytes.substr(0, alone.recordOffsets[0]);
        }
        std::size_t offset = 0;
        for (Entry& entry : entries) {
            entry.localHeaderOffset = std::uint32_t(offset);
            entry.compressedSize = std::uint32_t(entry.data.size());
            entry.compressed = "";
            offset += 30 + entry.name.size();
        }
        archive.stub = inner;  // the outermost local header and all inside it
        archive.entries = entries;
        if (innermostFirst)
            std::reverse(archive.entries.begin(), archive.entries.end());
        return archive;
    };
    // Sixty-four records for one deflated entry's data.
    const std::string data = randomBytes(30000, 7) + std::string(150000, 'z');
    Archive shared;
    for (int i = 0; i < 64; ++i) {
        Entry copy{"copy" + std::to_string(i) + ".bin", data, 8};
        if (i > 0) {
            copy.compressed = "";
            copy.localHeaderOffset = 0;
        }
        shared.entries.push_back(copy);
    }
    // Listed in another order than they lie, with gaps between them.
    Archive scattered;
    for (int i = 0; i < 5; ++i) {
        Entry entry{"s" + std::to_string(i), randomBytes(100, unsigned(i))};
        entry.compressed = entry.data + "gap";
        entry.compressedSize = std::uint32_t(entry.data.size());
        scattered.entries.push_back(entry);
    }
    Built scatteredBuilt = buildArchive(scattered);
    Archive reordered = scattered;
    for (std::size_t i = 0; i < 5; ++i) {
        std::size_t from = (i * 3) % 5;
        reordered.entries[i] = scattered.entries[from];
        reordered.entries[i].localHeaderOffset = std::uint32_t(scatteredBuilt.localOffsets[from]);
    }
    reordered.stub = scatteredBuilt.bytes.substr(0, scatteredBuilt.recordOffsets[0]);
    for (Entry& entry : reordered.entries)
        entry.compressed = "";

    struct Case {
        const char* what;
        Archive archive;
        Shown expected;
        std::size_t extracted;
    };
    const Case cases[] = {
        {"one stream, many records", shared, Shown(1, {"Overlapping entries #copy1.bin# :-("}), 1},
        {"nested, outermost first", nested(4, false), Shown(1, {"Overlapping entries #level1# :-("}), 1},
        {"nested, innermost first", nested(4, true), Shown(1, {"Overlapping entries #level2# :-("}), 1},
        {"apart, in another order", reordered, Shown(0, {}), 5},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        std::string bytes = buildArchive(c.archive).bytes;
        EXPECT_EQ(shown(extractHostile(bytes)), c.expected);
        EXPECT_EQ(extracted().size(), c.extracted);
        EXPECT_EQ(outsideDestination(), untouched);
        fs::remove_all(destination);
        fs::create_directories(destination);
    }
}

// Many entries, their records in another order than their data: every
// entry extracts, whether the stretches lie apart or touch, and one true
// overlap hidden among them is found.
TEST_F(HostileArchive, manyEntriesInAnyOrder)
{
    // The records of `archive` shuffled, each still pointing at its own data;
    // `shared` records (index pairs) point at the first one's data instead.
    auto shuffled = [](const Archive& archive, unsigned seed, std::pair<std::size_t, std::size_t> shared) {
        Built built = buildArchive(archive);
        std::vector<std::size_t> order(archive.entries.size());
        for (std::size_t i = 0; i < order.size(); ++i)
            order[i] = i;
        std::shuffle(order.begin(), order.end(), std::mt19937(seed));
        Archive listed;
        listed.stub = built.bytes.substr(0, built.recordOffsets[0]);
        for (std::size_t from : order) {
            std::size_t data = from == shared.second ? shared.first : from;
            Entry entry{archive.entries[from].name, archive.entries[data].data};
            entry.compressed = "";
            entry.compressedSize = std::uint32_t(entry.data.size());
            entry.localHeaderOffset = std::uint32_t(built.localOffsets[data]);
            listed.entries.push_back(entry);
        }
        return std::make_pair(listed, order);
    };
    auto entries = [](int count, bool apart) {
        Archive archive;
        for (int i = 0; i < count; ++i) {
            Entry entry{"e" + std::to_string(i), std::to_string(i)};
            if (apart) {
                entry.compressed = entry.data + "gap";
                entry.compressedSize = std::uint32_t(entry.data.size());
            }
            archive.entries.push_back(entry);
        }
        return archive;
    };
    const std::pair<std::size_t, std::size_t> none{~std::size_t(0), ~std::size_t(0)};
    for (auto [count, apart, overlap] : {std::tuple{5000, false, false}, std::tuple{20000, false, false},
                                         std::tuple{1500, true, false}, std::tuple{20000, false, true}}) {
        SCOPED_TRACE(std::to_string(count) + (apart ? " apart" : "") + (overlap ? " overlapping" : ""));
        auto [archive, order] = shuffled(entries(count, apart), unsigned(count),
                                         overlap ? std::pair{std::size_t(7), std::size_t(12345)} : none);
        fs::remove_all(destination);
        fs::create_directories(destination);
        Outcome outcome = extractHostile(archive);
        if (!overlap) {
            EXPECT_EQ(shown(outcome), Shown(0, {}));
            EXPECT_EQ(extracted().size(), archive.entries.size());
            continue;
        }
        // Whichever of the two comes second in the directory is refused.
        std::size_t first = std::find(order.begin(), order.end(), 7) - order.begin();
        std::size_t second = std::find(order.begin(), order.end(), 12345) - order.begin();
        std::size_t later = std::max(first, second);
        EXPECT_EQ(shown(outcome),
                  Shown(1, {"Overlapping entries #" + archive.entries[later].name + "# :-("}));
        EXPECT_EQ(extracted().size(), later);
    }
}

// Data that runs past the size its record declares fails as "CRC FAILED"
// without writing past that size; a Deflate stream may not read past its
// compressed size either.
TEST_F(HostileArchive, dataLongerThanDeclared)
{
    const std::uint32_t largeSize = 3 * pieceSize + 3392;
    const std::string large = randomBytes(1000, 3) + std::string(largeSize - 1000, 'l');
    auto declared = [](Entry entry, std::uint32_t size) {
        entry.uncompressedSize = size;
        return entry;
    };
    Entry runsOn{"runs-on.bin", large, 8};
    runsOn.compressedSize = std::uint32_t(deflateRaw(large).size() - 10);
    // Deflate64 makes the same checks: literals alone read the same in both.
    auto deflate64 = [](Entry entry) {
        entry.method = 9;
        entry.compressed = deflateRaw(entry.data, Z_DEFAULT_COMPRESSION, Z_HUFFMAN_ONLY);
        return entry;
    };
    Entry runsOn64 = deflate64(Entry{"runs-on64.bin", large});
    runsOn64.compressedSize = std::uint32_t(runsOn64.compressed->size() - 10);
    struct Case {
        const char* what;
        Entry entry;
        Shown expected;
        std::size_t written;
    };
    const Case cases[] = {
        {"20 MiB declared as 5", declared(Entry{"big.bin", std::string(20 << 20, 'b'), 8}, 5),
         Shown(1, {"CRC FAILED :-("}), 0},
        {"exactly the declared size", declared(Entry{"exact.bin", large, 8}, largeSize), Shown(0, {}),
         largeSize},
        {"one byte past", declared(Entry{"past.bin", large, 8}, largeSize - 1), Shown(1, {"CRC FAILED :-("}),
         3 * pieceSize},
        {"declared empty", declared(Entry{"empty.bin", "data", 8}, 0), Shown(1, {"CRC FAILED :-("}), 0},
        {"stored, declared empty", declared(Entry{"stored.bin", "data"}, 0), Shown(1, {"CRC FAILED :-("}), 0},
        {"stored, one byte past", declared(Entry{"stored.bin", "data"}, 3), Shown(1, {"CRC FAILED :-("}), 3},
        {"stream past its compressed size", runsOn, Shown(1, {" Bad Table "}), 2 * pieceSize},
        {"Deflate64, exactly the declared size", declared(deflate64(Entry{"exact64.bin", large}), largeSize),
         Shown(0, {}), largeSize},
        {"Deflate64, one byte past", declared(deflate64(Entry{"past64.bin", large}), largeSize - 1),
         Shown(1, {"CRC FAILED :-("}), 3 * pieceSize},
        {"Deflate64 past its compressed size", runsOn64, Shown(1, {" Bad Table "}), 3 * pieceSize},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        std::remove((destination + "/" + c.entry.name).c_str());  // what a failure leaves of a new file
        EXPECT_EQ(shown(extractHostile(Archive{{c.entry}})), c.expected);
        EXPECT_EQ(output(c.entry.name).size(), c.written);
    }
}

// What already lies in the destination is never followed or written
// through: a link below it refuses the entry, a link or a second name at the
// entry's own path is replaced. The destination itself may be a link.
TEST_F(HostileArchive, linksInTheDestination)
{
    const std::string outside = dir / "outside";
    const std::string target = outside + "/target.txt";
    auto under = [&](const std::string& name) { return destination + "/" + name; };
    struct Case {
        const char* what;
        std::function<void()> layout;
        std::string entry;
        std::uint32_t attributes;
        Shown expected;
    };
    const Shown replaced(0, {});
    const Case cases[] = {
        {"directory link", [&] { fs::create_directory_symlink(outside, under("link")); }, "link/evil.txt", 0,
         Shown(1, {"Unsafe file name #link/evil.txt# :-("})},
        {"directory link deeper",
         [&] {
             fs::create_directories(under("a/b"));
             fs::create_directory_symlink(outside, under("a/b/link"));
         },
         "a/b/link/new/sub/evil.txt", 0, Shown(1, {"Unsafe file name #a/b/link/new/sub/evil.txt# :-("})},
        {"directory link, directory entry", [&] { fs::create_directory_symlink(outside, under("link")); },
         "link/new/", zipTest::directoryAttribute, Shown(1, {"Unsafe file name #link/new/# :-("})},
        {"link to a directory inside",
         [&] {
             fs::create_directory(under("real"));
             fs::create_directory_symlink(under("real"), under("alias"));
         },
         "alias/x.txt", 0, Shown(1, {"Unsafe file name #alias/x.txt# :-("})},
        {"file link", [&] { fs::create_symlink(target, under("file.txt")); }, "file.txt", 0, replaced},
        {"dangling link", [&] { fs::create_symlink(outside + "/new.txt", under("dangling.txt")); },
         "dangling.txt", 0, replaced},
        {"hard link", [&] { fs::create_hard_link(target, under("hard.txt")); }, "hard.txt", 0, replaced},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        fs::remove_all(destination);
        fs::create_directories(destination);
        fs::remove_all(outside);
        fs::create_directories(outside);
        writeFile(target, "secret");
        c.layout();
        Entry entry{c.entry, "entry data"};
        entry.externalAttributes = c.attributes;
        EXPECT_EQ(shown(extractHostile(Archive{{entry}})), c.expected);
        EXPECT_EQ(listTree(outside), Messages{"target.txt"});
        EXPECT_EQ(readFile(target), "secret");
        if (c.expected == replaced) {
            EXPECT_TRUE(fs::is_regular_file(fs::symlink_status(under(c.entry))));
            EXPECT_EQ(output(c.entry), "entry data");
        }
    }

    const std::string linkedDestination = dir / "linked";
    fs::create_directory_symlink(destination, linkedDestination);
    writeFile(archivePath, buildArchive(Archive{{Entry{"x/y.txt", "through"}}}).bytes);
    EXPECT_EQ(shown(extractFile(archivePath, linkedDestination)), Shown(0, {}));
    EXPECT_EQ(output("x/y.txt"), "through");
}

// Another process keeps swapping the directories below the destination for
// links to a folder outside, by renaming them aside and by exchanging them
// atomically with a link, while thousands of entries extract, from the start
// or once the entries are well on their way: nothing lands outside, and an
// entry that meets a link is refused.
TEST_F(HostileArchive, directoriesSwappedForLinksDuringExtraction)
{
    const std::string outside = dir / "outside";
    Archive archive;
    for (int i = 0; i < 1000; ++i)
        archive.entries.push_back(Entry{"a/b/f" + std::to_string(i) + ".txt", "x"});
    writeFile(archivePath, buildArchive(archive).bytes);
    const std::string a = destination + "/a";
    const std::string b = a + "/b";
    const std::string link = destination + "/link";
    const std::string aside = destination + "/aside";
    const pid_t test = getpid();
    // Until killed, or until the test itself has ended, whichever way.
    auto swapForever = [&](bool late) {
        while (late && !fs::exists(b + "/f10.txt") && getppid() == test)
            usleep(1000);
        symlink(outside.c_str(), link.c_str());
        for (unsigned turn = 0; getppid() == test; ++turn) {
            const std::string& victim = turn % 4 < 2 ? a : b;
            if (turn % 2 == 0) {
                rename(victim.c_str(), aside.c_str());
                symlink(outside.c_str(), victim.c_str());
                usleep(200);
                unlink(victim.c_str());
                rename(aside.c_str(), victim.c_str());
            } else {
                renameat2(AT_FDCWD, victim.c_str(), AT_FDCWD, link.c_str(), RENAME_EXCHANGE);
                usleep(200);
                renameat2(AT_FDCWD, victim.c_str(), AT_FDCWD, link.c_str(), RENAME_EXCHANGE);
            }
        }
    };
    for (int round = 0; round < 8; ++round) {
        fs::remove_all(destination);
        fs::create_directories(b);
        fs::remove_all(outside);
        fs::create_directories(outside + "/b");
        pid_t swapper = fork();
        if (swapper == 0) {
            swapForever(round % 4 != 0);
            _exit(0);
        }
        Outcome outcome = extractFile(archivePath, destination);
        kill(swapper, SIGKILL);
        waitpid(swapper, nullptr, 0);
        if (outcome.result != 0) {
            EXPECT_EQ(outcome.result, 1);
            ASSERT_EQ(outcome.messages.size(), 1u);
            EXPECT_TRUE(outcome.messages[0].rfind("Unsafe file name #a/b/f", 0) == 0
                        || outcome.messages[0] == "Can't open output file :-(")
                << outcome.messages[0];
        }
        EXPECT_EQ(listTree(outside), Messages{"b/"});
    }
}

// A FIFO, socket or device where a file or directory should go fails the
// entry; none is opened, so nothing blocks.
TEST_F(HostileArchive, specialFilesInTheDestination)
{
    const std::string fifo = destination + "/fifo";
    ASSERT_EQ(mkfifo(fifo.c_str(), 0600), 0);
    const std::string socketPath = destination + "/socket";
    int listener = socket(AF_UNIX, SOCK_STREAM, 0);
    sockaddr_un address{};
    address.sun_family = AF_UNIX;
    std::strncpy(address.sun_path, socketPath.c_str(), sizeof address.sun_path - 1);
    ASSERT_EQ(bind(listener, reinterpret_cast<sockaddr*>(&address), sizeof address), 0);
    std::vector<std::string> names = {"fifo", "fifo/inside.txt", "socket"};
    // Devices can be made by root only.
    if (mknod((destination + "/null").c_str(), S_IFCHR | 0600, makedev(1, 3)) == 0)
        names.push_back("null");
    for (const std::string& name : names) {
        SCOPED_TRACE(name);
        EXPECT_EQ(shown(extractHostile(Archive{{Entry{name, "data"}}})),
                  Shown(1, {"Can't open output file :-("}));
    }
    close(listener);
}

// Directories that cannot be made, or are something else, fail their entry.
TEST_F(HostileArchive, directoriesThatCannotBeMade)
{
    Entry folder{"d/", ""};
    writeFile(destination + "/file", "in the way");
    const Shown cannotCreate(1, {"Can't create directory #d/# :-("});
    EXPECT_EQ(shown(extractHostile(Archive{{Entry{"file/x.txt", "x"}}})),
              Shown(1, {"Can't open output file :-("}));
    EXPECT_EQ(shown(extractHostile(Archive{{Entry{"file/sub/", ""}}})),
              Shown(1, {"Can't create directory #file/sub/# :-("}));
    writeFile(archivePath, buildArchive(Archive{{folder}}).bytes);
    EXPECT_EQ(shown(extractFile(archivePath, destination + "/file/below")), cannotCreate);

    // A destination the user may not write to. Root may write anywhere: its
    // attempt is made as nobody.
    const std::string locked = dir / "locked";
    fs::create_directories(locked);
    fs::permissions(dir.path(), fs::perms::owner_all | fs::perms::others_read | fs::perms::others_exec);
    fs::permissions(locked, fs::perms::owner_read | fs::perms::owner_exec | fs::perms::others_read
                                | fs::perms::others_exec);
    fs::permissions(archivePath, fs::perms::owner_read | fs::perms::others_read);
    Outcome outcome = captureOutput([&] {
        if (geteuid() != 0)
            return unzip(archivePath.c_str(), locked.c_str());
        pid_t child = fork();
        if (child == 0) {
            bool nobody = setgroups(0, nullptr) == 0 && setgid(65534) == 0 && setuid(65534) == 0;
            _exit(nobody ? unzip(archivePath.c_str(), locked.c_str()) : 3);
        }
        int status = 0;
        waitpid(child, &status, 0);
        return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    });
    EXPECT_EQ(shown(outcome), cannotCreate);
    EXPECT_EQ(listTree(locked), Messages{});
}

// A refused name cannot drive the terminal: control characters in the
// message line are escapes, C1 in the form the terminal reads (the locale
// says which).
TEST_F(HostileArchive, messageLineEscapesControlCharacters)
{
    struct Case {
        const char* locale;
        std::string name;
        const char* shownName;
    } cases[] = {
        {"C.UTF-8", "../\x1b]0;TITLE\x07\x1b[2J\rFAKE.txt", "../\\x1b]0;TITLE\\x07\\x1b[2J\\x0dFAKE.txt"},
        {"C.UTF-8",
         "../\xc2\x9d"
         "0;TITLE\xc2\x9c\xc2\x9b"
         "2J",
         "../\\xc2\\x9d0;TITLE\\xc2\\x9c\\xc2\\x9b2J"},
        // Letters whose UTF-8 holds bytes 80 to 9F stay; malformed bytes do not.
        {"en_US.utf8", "../\xd0\x9f\xe2\x82\xac\x9d\xe9", "../\xd0\x9f\xe2\x82\xac\\x9d\\xe9"},
        {"C",
         "../\xc2\x9d"
         "0;T\x9b\xe9",
         "../\xc2\\x9d0;T\\x9b\xe9"},
    };
    const char* saved = std::getenv("LC_ALL");
    std::string restore = saved ? saved : "";
    for (const Case& c : cases) {
        setenv("LC_ALL", c.locale, 1);
        EXPECT_EQ(shown(extractHostile(Archive{{Entry{c.name, "x"}}})),
                  Shown(1, {std::string("Unsafe file name #") + c.shownName + "# :-("}))
            << c.locale;
    }
    if (saved)
        setenv("LC_ALL", restore.c_str(), 1);
    else
        unsetenv("LC_ALL");
}

// Without the password the data could only be written out as noise.
TEST_F(HostileArchive, encryptedEntriesAreRefused)
{
    Entry folder{"locked/", ""};
    folder.flags = 1;
    folder.externalAttributes = zipTest::directoryAttribute;
    for (std::uint16_t method : {0, 8, 99}) {
        Entry locked{"locked/secret.txt", "ciphertext", method};
        locked.flags = 1;
        EXPECT_EQ(shown(extractHostile(Archive{{Entry{"first.txt", "1"}, folder, locked}})),
                  Shown(1, {"Encrypted file #locked/secret.txt# :-("}));
        EXPECT_EQ(extracted(), (Messages{"first.txt", "locked/"}));
    }
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

// A stored entry of more than 4 GiB, its data a sparse hole, and the central
// directory behind it: sizes, positions and the copy need 64 bits.
TEST_F(HostileArchive, entryAndArchiveAbove4GiB)
{
    const std::uint64_t size = (std::uint64_t(1) << 32) + 1000;
    // Memory takes the 4 GiB file in a few seconds, a disk in half a minute.
    auto roomFor = [&](const std::string& folder) {
        struct statvfs disk;
        return statvfs(folder.c_str(), &disk) == 0
               && std::uint64_t(disk.f_bavail) * disk.f_frsize > size + (std::uint64_t(1) << 30);
    };
    std::string scratch = "/dev/shm/veskTest-XXXXXX";
    bool inMemory = roomFor("/dev/shm") && mkdtemp(&scratch[0]);
    if (!inMemory && !roomFor(dir.path()))
        GTEST_SKIP() << "needs 5 GiB free for the extracted file";
    const std::string bigArchive = inMemory ? scratch + "/big.zip" : archivePath;
    const std::string target = inMemory ? scratch + "/out" : destination;
    // CRC-32 of the zeros: of 2^32 by doubling, then 1000 more.
    std::uint32_t crc = crc32(0, reinterpret_cast<const Bytef*>("\0"), 1);
    for (int bits = 0; bits < 32; ++bits)
        crc = crc32_combine(crc, crc, z_off_t(1) << bits);
    std::string thousand(1000, '\0');
    crc = crc32_combine(crc, crc32(0, reinterpret_cast<const Bytef*>(thousand.data()), 1000), 1000);

    Entry big{"big.bin", ""};
    big.crc = crc;
    big.compressedSize = big.uncompressedSize = 0xFFFFFFFF;
    big.localHeaderOffset = 0;
    big.centralExtra = std::string("\x01\x00\x10\x00", 4);
    for (int i = 0; i < 2; ++i)
        for (int shift = 0; shift < 64; shift += 8)
            big.centralExtra += char(size >> shift & 0xFF);
    Archive archive{{big}};
    archive.zip64 = true;
    archive.bias = size;  // the records lie behind the data
    Built built = buildArchive(archive);
    std::size_t header = built.recordOffsets[0];  // local header and name
    writeFile(bigArchive, built.bytes.substr(header), size + header);
    std::FILE* file = std::fopen(bigArchive.c_str(), "r+b");
    ASSERT_TRUE(file && std::fwrite(built.bytes.data(), 1, header, file) == header);
    std::fclose(file);

    EXPECT_EQ(shown(extractFile(bigArchive, target)), Shown(0, {}));
    EXPECT_EQ(std::uint64_t(statOf(target + "/big.bin").st_size), size);
    if (inMemory) {
        EXPECT_EQ(listTree(scratch), (Messages{"big.zip", "out/", "out/big.bin"}));
        fs::remove_all(scratch);
    } else {
        EXPECT_EQ(outsideDestination(), untouched);
    }
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
    directory.externalAttributes = zipTest::directoryAttribute;
    Entry endless{"endless.bin", "", 8};
    endless.compressed = std::string("\x00\x05\x00\xFA\xFFhello", 10);
    Archive countTooLarge{{Entry{"one.txt", "1"}}};
    countTooLarge.recordCount = 2;
    Entry full{"full", randomBytes(5000, 4)};
    Entry encrypted{"locked.txt", "noise"};
    encrypted.flags = 1;
    Entry sharing{"again.txt", "1"};
    sharing.localHeaderOffset = 0;
    Archive zip64Nowhere{{Entry{"one.txt", "1"}}};
    zip64Nowhere.zip64 = true;
    zip64Nowhere.zip64EndOffset = 0;

    struct Case {
        std::string what, bytes;
        Shown expected;
        std::uint64_t fileSizeLimit;
    };
    std::vector<Case> cases = {
        {"good", buildArchive(Archive{{Entry{"good.txt", "good", 8}}}).bytes, Shown(0, {}), 0},
        {"unsafe name", buildArchive(Archive{{Entry{"../evil.txt", "e"}}}).bytes,
         Shown(1, {"Unsafe file name #../evil.txt# :-("}), 0},
        {"name too long", buildArchive(Archive{{Entry{std::string(5000, 'n'), "n"}}}).bytes,
         Shown(1, {boxed("File name too long #" + std::string(5000, 'n') + "# :-(")}), 0},
        {"count too large", buildArchive(countTooLarge).bytes, Shown(1, damaged), 0},
        {"local header past the end", buildArchive(Archive{{unreadable}}).bytes, Shown(1, damaged), 0},
        {"damaged stream", buildArchive(Archive{{badBlock}}).bytes, Shown(1, badTable), 0},
        {"endless stream", withDataAtTheEnd(endless), Shown(1, badTable), 0},
        {"CRC", buildArchive(Archive{{crcWrong}}).bytes, Shown(1, {"CRC FAILED :-("}), 0},
        {"method", buildArchive(Archive{{Entry{"m.bin", "m", 12}}}).bytes,
         Shown(1, {"Unsupported compression method (12) :-("}), 0},
        {"output is a directory", buildArchive(Archive{{directory, Entry{"taken", "t"}}}).bytes,
         Shown(1, {"Can't open output file :-("}), 0},
        {"no end record", std::string(200, 'x'), Shown(1, {}), 0},
        {"encrypted", buildArchive(Archive{{encrypted}}).bytes, Shown(1, {"Encrypted file #locked.txt# :-("}),
         0},
        {"overlapping", buildArchive(Archive{{Entry{"one.txt", "1"}, sharing}}).bytes,
         Shown(1, {"Overlapping entries #again.txt# :-("}), 0},
        {"Zip64 end record missing", buildArchive(zip64Nowhere).bytes, Shown(1, damaged), 0},
        {"7z", std::string("\x37\x7A\xBC\xAF\x27\x1C", 6) + std::string(100, '\0'), Shown(1, {" (SORRY!)"}),
         0},
    };
    cases.push_back({"write fails", buildArchive(Archive{{full}}).bytes,
                     Shown(1, {"Can't write output file :-("}), 4096});

    // Counted after the first round: capturing output keeps a descriptor.
    int afterFirstRound = 0;
    for (int round = 0; round < 20; ++round) {
        for (const Case& c : cases) {
            SCOPED_TRACE(c.what);
            fileSizeLimit = c.fileSizeLimit;
            EXPECT_EQ(shown(extractHostile(c.bytes)), c.expected);
            EXPECT_EQ(outsideDestination(), untouched);
        }
        if (round == 0)
            afterFirstRound = openDescriptorCount();
    }
    EXPECT_EQ(openDescriptorCount(), afterFirstRound);
}

}  // namespace

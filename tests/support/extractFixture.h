// A test fixture that writes an archive into a fresh directory and extracts
// it into a destination below it.
#ifndef VESK_TESTS_EXTRACT_FIXTURE_H
#define VESK_TESTS_EXTRACT_FIXTURE_H

#include <gtest/gtest.h>

#include <filesystem>
#include <utility>

#include "testSupport.h"
#include "vesk.h"
#include "zipWriter.h"

namespace zipTest {

using Messages = std::vector<std::string>;

// A result and its messages, compared in one expectation.
using Shown = std::pair<int, Messages>;
inline Shown shown(const Outcome& outcome)
{
    return {outcome.result, outcome.messages};
}

// The message box formats into 1024 bytes.
inline std::string boxed(const std::string& text)
{
    return text.substr(0, 1023);
}

class ExtractFixture : public ::testing::Test {
protected:
    TempDir dir;
    const std::string archivePath = dir / "archive.zip";
    // Two levels down, so that a name climbing out of it lands in `dir`.
    const std::string destination = dir / "a/b/out";

    ExtractFixture() { std::filesystem::create_directories(destination); }

    Outcome extractBytes(const std::string& bytes, const std::string& target)
    {
        writeFile(archivePath, bytes);
        return extractFile(archivePath, target);
    }
    Outcome extractBytes(const std::string& bytes) { return extractBytes(bytes, destination); }
    Outcome extract(const Archive& archive) { return extractBytes(buildArchive(archive).bytes); }

    // Writes past this many bytes of a file fail while unzip runs, as on a
    // full disk; 0: no limit.
    std::uint64_t fileSizeLimit = 0;

    // Runs unzip and checks that it leaves no stream open.
    Outcome extractFile(const std::string& archive, const std::string& target)
    {
        int before = 0;
        int after = 0;
        Outcome outcome = captureOutput([&] {
            before = openDescriptorCount();
            int result =
                withFileSizeLimit(fileSizeLimit, [&] { return unzip(archive.c_str(), target.c_str()); });
            after = openDescriptorCount();
            return result;
        });
        EXPECT_EQ(after, before) << "a stream was left open";
        return outcome;
    }

    std::string output(const std::string& name) const { return readFile(destination + "/" + name); }
    std::vector<std::string> extracted() const { return listTree(destination); }
    // Everything below the test's directory: proves nothing went elsewhere.
    std::vector<std::string> everything() const { return listTree(dir.path()); }
};

}  // namespace zipTest

#endif

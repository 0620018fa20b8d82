#include "tirrel.h"
#include "registryStandIn.h"

#include <gtest/gtest.h>

#include <string>

using namespace std::string_literals;
namespace standIn = registryStandIn;

namespace {

const std::string installKey = "SOFTWARE\\Quenmark\\ZEL";
const std::string environmentPath = "SYSTEM\\CurrentControlSet\\Control\\Session Manager\\Environment";

class Tirrel : public ::testing::Test {
protected:
    void SetUp() override
    {
        standIn::reset();
        standIn::addKey(environmentPath);
    }

    static void install(const std::string& data)
    {
        standIn::setValue(installKey, "InstallPath", REG_SZ, data);
    }

    static int run()
    {
        char commandLine[] = "--ignored";
        return WinMain(nullptr, nullptr, commandLine, 1);
    }

    static const standIn::Value* zeldir() { return standIn::findValue(environmentPath, "ZELDIR"); }

    // Runs with the given InstallPath data and returns the ZELDIR data.
    static std::string storedFor(const std::string& installData)
    {
        install(installData);
        EXPECT_EQ(run(), 0);
        return zeldir() == nullptr ? "<missing>" : zeldir()->data;
    }

    static void expectErrorBox(const std::string& text)
    {
        ASSERT_EQ(standIn::messageBoxes().size(), 1u);
        const standIn::MessageBox& box = standIn::messageBoxes()[0];
        EXPECT_EQ(box.owner, nullptr);
        EXPECT_EQ(box.text, text);
        EXPECT_EQ(box.caption, "tirrel");
        EXPECT_EQ(box.type, 0x10u);
    }

    static void expectNotInstalled()
    {
        EXPECT_EQ(run(), 1);
        expectErrorBox("ZEL is not installed!");
        EXPECT_EQ(zeldir(), nullptr);
        EXPECT_TRUE(standIn::broadcasts().empty());
        EXPECT_EQ(standIn::openKeyCount(), 0) << "install key left open";
    }
};

using InstallPath = Tirrel;
using NotInstalled = Tirrel;
using EnvironmentValue = Tirrel;
using Broadcast = Tirrel;

TEST_F(InstallPath, OneTrailingBackslashIsRemoved)
{
    EXPECT_EQ(storedFor("C:\\Zel\\\0"s), "C:\\Zel\0"s);
    EXPECT_EQ(storedFor("C:\\Zel\\\\\0"s), "C:\\Zel\\\0"s);
    EXPECT_EQ(storedFor("C:\\\0"s), "C:\0"s);
    EXPECT_EQ(storedFor("C:\\Zel\0"s), "C:\\Zel\0"s);
}

TEST_F(InstallPath, TextEndsAtFirstNul)
{
    EXPECT_EQ(storedFor("C:\\Zel\0stale\\"s), "C:\\Zel\0"s);
}

TEST_F(InstallPath, EmptyTextIsStoredAsSingleNul)
{
    EXPECT_EQ(storedFor("\0"s), "\0"s);
    EXPECT_EQ(zeldir()->type, static_cast<DWORD>(REG_SZ));
}

TEST_F(InstallPath, ValueWithoutBytesGivesEmptyText)
{
    EXPECT_EQ(storedFor(""), "\0"s);
}

TEST_F(InstallPath, ValueFillingBufferIsCutTo259)
{
    const std::string longest = std::string(259, 'a') + '\0';
    EXPECT_EQ(storedFor(longest), longest);
    EXPECT_EQ(storedFor(std::string(260, 'a')), longest);
}

TEST_F(InstallPath, ReadReportsWhyItFailed)
{
    char path[installPathSize];
    EXPECT_EQ(readInstallPath(path), 1);
    standIn::addKey(installKey);
    EXPECT_EQ(readInstallPath(path), ERROR_FILE_NOT_FOUND);
    install(std::string(261, 'a'));
    EXPECT_EQ(readInstallPath(path), ERROR_MORE_DATA);
    EXPECT_EQ(standIn::openKeyCount(), 0);
}

TEST_F(NotInstalled, MissingKey)
{
    expectNotInstalled();
}

TEST_F(NotInstalled, MissingValue)
{
    standIn::addKey(installKey);
    expectNotInstalled();
}

TEST_F(NotInstalled, ValueTooLongFor260Bytes)
{
    install(std::string(260, 'a') + '\0');
    expectNotInstalled();
}

TEST_F(EnvironmentValue, NewVariableIsCreatedAsRegSz)
{
    install("D:\\Tools\\Zel\\\0"s);
    EXPECT_EQ(run(), 0);
    ASSERT_NE(zeldir(), nullptr);
    EXPECT_EQ(*zeldir(), (standIn::Value{1, "D:\\Tools\\Zel\0"s}));
    EXPECT_TRUE(standIn::messageBoxes().empty());
    EXPECT_EQ(standIn::openKeyCount(), 0);
}

TEST_F(EnvironmentValue, ExistingExpandSzKeepsItsType)
{
    standIn::setValue(environmentPath, "ZELDIR", REG_EXPAND_SZ, "%SystemDrive%\\Old\0"s);
    install("C:\\Zel\0"s);
    EXPECT_EQ(run(), 0);
    EXPECT_EQ(*zeldir(), (standIn::Value{2, "C:\\Zel\0"s}));
}

TEST_F(EnvironmentValue, RefusedWriteStillBroadcasts)
{
    standIn::setValue(environmentPath, "ZELDIR", REG_SZ, "C:\\Old\0"s);
    standIn::refuseWrites(environmentPath);
    install("C:\\Zel\0"s);
    EXPECT_EQ(run(), 0);
    EXPECT_EQ(zeldir()->data, "C:\\Old\0"s);
    EXPECT_EQ(standIn::broadcasts().size(), 1u);
    EXPECT_TRUE(standIn::messageBoxes().empty());
    EXPECT_EQ(standIn::openKeyCount(), 0);
}

TEST_F(EnvironmentValue, UnopenableKeyStillBroadcasts)
{
    standIn::reset();
    install("C:\\Zel\0"s);
    EXPECT_EQ(run(), 0);
    EXPECT_EQ(standIn::registry().count(environmentPath), 0u);
    EXPECT_EQ(standIn::broadcasts().size(), 1u);
    EXPECT_EQ(standIn::openKeyCount(), 0);
}

TEST_F(EnvironmentValue, RunningTwiceGivesSameRegistry)
{
    install("C:\\Zel\\\0"s);
    EXPECT_EQ(run(), 0);
    const standIn::Registry once = standIn::registry();
    EXPECT_EQ(run(), 0);
    EXPECT_EQ(standIn::registry(), once);
    EXPECT_EQ(standIn::openKeyCount(), 0);
}

TEST_F(Broadcast, AnnouncesEnvironmentChangeToAllWindows)
{
    install("C:\\Zel\0"s);
    EXPECT_EQ(run(), 0);
    ASSERT_EQ(standIn::broadcasts().size(), 1u);
    const standIn::Broadcast& sent = standIn::broadcasts()[0];
    EXPECT_EQ(sent.window, reinterpret_cast<HWND>(0xffff));
    EXPECT_EQ(sent.message, 0x1Au);
    EXPECT_EQ(sent.wParam, 0u);
    EXPECT_EQ(sent.lParamText, "Environment");
    EXPECT_EQ(sent.flags, 0u);
    EXPECT_EQ(sent.timeout, 5000u);
    EXPECT_TRUE(sent.resultRequested);
    EXPECT_TRUE(standIn::messageBoxes().empty());
}

TEST_F(Broadcast, NonZeroResultFailsAfterWriting)
{
    standIn::setBroadcastResult(0x80000000u);
    install("C:\\Zel\0"s);
    EXPECT_EQ(run(), 2);
    expectErrorBox("Refresh environment variables failed!");
    EXPECT_EQ(zeldir()->data, "C:\\Zel\0"s);
}

}  // namespace

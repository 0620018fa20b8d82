#include "tirrel.h"
#include "registryStandIn.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>

using namespace std::string_literals;
namespace standIn = registryStandIn;

namespace {

// InstallPath's key as a 32-bit installer leaves it (the 32-bit view) and as
// a 64-bit one does.
const std::string installKey = "SOFTWARE\\WOW6432Node\\Quenmark\\ZEL";
const std::string installKey64 = "SOFTWARE\\Quenmark\\ZEL";
const std::string environmentPath = "SYSTEM\\CurrentControlSet\\Control\\Session Manager\\Environment";
const DWORD regBinary = 3;
const DWORD regDword = 4;
const DWORD regMultiSz = 7;

std::string bytesOf(const std::wstring& text)
{
    return std::string(reinterpret_cast<const char*>(text.data()), text.size() * sizeof(wchar_t));
}

std::wstring textOf(const std::string& data)
{
    std::wstring text(data.size() / sizeof(wchar_t), L'\0');
    std::memcpy(&text[0], data.data(), text.size() * sizeof(wchar_t));
    return text;
}

class Tirrel : public ::testing::Test {
protected:
    void SetUp() override
    {
        standIn::reset();
        standIn::addKey(environmentPath);
    }

    static void install(const std::wstring& text, DWORD type = REG_SZ, const std::string& key = installKey)
    {
        standIn::setValue(key, "InstallPath", type, bytesOf(text));
    }

    static int run()
    {
        char commandLine[] = "--ignored";
        return WinMain(nullptr, nullptr, commandLine, 1);
    }

    static const standIn::Value* zeldir() { return standIn::findValue(environmentPath, "ZELDIR"); }
    static std::wstring zeldirText() { return zeldir() == nullptr ? L"<missing>" : textOf(zeldir()->data); }

    // Runs with the given InstallPath text and returns the ZELDIR text.
    static std::wstring storedFor(const std::wstring& installText)
    {
        install(installText);
        EXPECT_EQ(run(), 0);
        return zeldirText();
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
    EXPECT_EQ(storedFor(L"C:\\Zel\\\0"s), L"C:\\Zel\0"s);
    EXPECT_EQ(storedFor(L"C:\\Zel\\\\\0"s), L"C:\\Zel\\\0"s);
    EXPECT_EQ(storedFor(L"C:\\\0"s), L"C:\0"s);
    EXPECT_EQ(storedFor(L"C:\\Zel\0"s), L"C:\\Zel\0"s);
}

TEST_F(InstallPath, TextEndsAtFirstNul)
{
    EXPECT_EQ(storedFor(L"C:\\Zel\0stale\\"s), L"C:\\Zel\0"s);
}

TEST_F(InstallPath, EmptyTextIsStoredAsSingleNul)
{
    EXPECT_EQ(storedFor(L"\0"s), L"\0"s);
    EXPECT_EQ(zeldir()->type, static_cast<DWORD>(REG_SZ));
}

TEST_F(InstallPath, ValueWithoutBytesGivesEmptyText)
{
    EXPECT_EQ(storedFor(L""), L"\0"s);
}

TEST_F(InstallPath, TextOutsideTheAnsiCodePageIsKept)
{
    for (const std::wstring& path : {L"C:\\日本語\\ZEL"s, L"C:\\Łódź\\ZEL"s})
        EXPECT_EQ(storedFor(path + L"\\\0"s), path + L'\0');
}

TEST_F(InstallPath, ValueFillingBufferIsCutTo259)
{
    const std::wstring longest = std::wstring(259, L'a') + L'\0';
    EXPECT_EQ(storedFor(longest), longest);
    EXPECT_EQ(storedFor(std::wstring(260, L'a')), longest);
}

TEST_F(InstallPath, SixtyFourBitViewIsReadWhenThirtyTwoBitViewLacksIt)
{
    install(L"D:\\Zel64\0"s, REG_SZ, installKey64);
    EXPECT_EQ(run(), 0);
    EXPECT_EQ(zeldirText(), L"D:\\Zel64\0"s) << "no key in the 32-bit view";
    standIn::addKey(installKey);
    EXPECT_EQ(run(), 0);
    EXPECT_EQ(zeldirText(), L"D:\\Zel64\0"s) << "no value in the 32-bit view";
    EXPECT_EQ(storedFor(L"C:\\Zel32\0"s), L"C:\\Zel32\0"s) << "the 32-bit view first";
}

TEST_F(InstallPath, ReadReportsWhyItFailed)
{
    wchar_t path[installPathSize];
    DWORD type = 0;
    EXPECT_EQ(readInstallPath(path, &type), ERROR_FILE_NOT_FOUND);
    install(std::wstring(261, L'a'));
    EXPECT_EQ(readInstallPath(path, &type), ERROR_MORE_DATA);
    install(L"C:\\Zel\0"s, regDword);
    EXPECT_EQ(readInstallPath(path, &type), ERROR_UNSUPPORTED_TYPE);
    EXPECT_EQ(standIn::openKeyCount(), 0);
}

TEST_F(NotInstalled, MissingKey)
{
    expectNotInstalled();
}

TEST_F(NotInstalled, MissingValue)
{
    standIn::addKey(installKey);
    standIn::addKey(installKey64);
    expectNotInstalled();
}

TEST_F(NotInstalled, ValueTooLongFor260Characters)
{
    install(std::wstring(260, L'a') + L'\0');
    expectNotInstalled();
}

TEST_F(NotInstalled, ValueOfAnotherTypeThanText)
{
    for (const DWORD type : {regBinary, regDword, regMultiSz}) {
        SCOPED_TRACE(type);
        SetUp();
        install(L"C:\\Zel\0"s, type);
        // The 32-bit view has the value, so the 64-bit one is not read.
        install(L"D:\\Zel64\0"s, REG_SZ, installKey64);
        expectNotInstalled();
    }
}

TEST_F(EnvironmentValue, NewVariableIsCreatedAsRegSz)
{
    install(L"D:\\Tools\\Zel\\\0"s);
    EXPECT_EQ(run(), 0);
    ASSERT_NE(zeldir(), nullptr);
    EXPECT_EQ(*zeldir(), (standIn::Value{1, bytesOf(L"D:\\Tools\\Zel\0"s)}));
    EXPECT_TRUE(standIn::messageBoxes().empty());
    EXPECT_EQ(standIn::openKeyCount(), 0);
}

TEST_F(EnvironmentValue, TypeIsAnExistingStringsElseInstallPaths)
{
    struct Row {
        DWORD installType;
        bool exists;
        DWORD existingType;
        DWORD wanted;
    };
    const Row rows[] = {
        {REG_EXPAND_SZ, false, 0, REG_EXPAND_SZ}, {REG_SZ, true, REG_EXPAND_SZ, REG_EXPAND_SZ},
        {REG_EXPAND_SZ, true, REG_SZ, REG_SZ},    {REG_EXPAND_SZ, true, regDword, REG_SZ},
        {REG_EXPAND_SZ, true, regBinary, REG_SZ}, {REG_EXPAND_SZ, true, regMultiSz, REG_SZ}};
    for (const Row& row : rows) {
        SCOPED_TRACE(row.existingType);
        SetUp();
        if (row.exists)
            standIn::setValue(environmentPath, "ZELDIR", row.existingType, "\x05\0\0\0"s);
        install(L"%ProgramFiles%\\ZEL\\\0"s, row.installType);
        EXPECT_EQ(run(), 0);
        EXPECT_EQ(*zeldir(), (standIn::Value{row.wanted, bytesOf(L"%ProgramFiles%\\ZEL\0"s)}));
    }
}

TEST_F(EnvironmentValue, FailedWriteIsReportedAndNotBroadcast)
{
    for (const bool keyExists : {true, false}) {
        SCOPED_TRACE(keyExists ? "write refused" : "no environment key");
        SetUp();
        if (keyExists) {
            standIn::setValue(environmentPath, "ZELDIR", REG_SZ, bytesOf(L"C:\\Old\0"s));
            standIn::refuseWrites(environmentPath);
        } else {
            standIn::reset();
        }
        install(L"C:\\Zel\0"s);
        const standIn::Registry before = standIn::registry();
        EXPECT_EQ(run(), 3);
        expectErrorBox("Cannot write ZELDIR to the system environment!");
        EXPECT_EQ(standIn::registry(), before);
        EXPECT_TRUE(standIn::broadcasts().empty());
        EXPECT_EQ(standIn::openKeyCount(), 0);
    }
}

TEST_F(EnvironmentValue, RunningTwiceGivesSameRegistry)
{
    install(L"C:\\Zel\\\0"s);
    EXPECT_EQ(run(), 0);
    const standIn::Registry once = standIn::registry();
    EXPECT_EQ(run(), 0);
    EXPECT_EQ(standIn::registry(), once);
    EXPECT_EQ(standIn::openKeyCount(), 0);
}

TEST_F(Broadcast, AnnouncesEnvironmentChangeToAllWindows)
{
    install(L"C:\\Zel\0"s);
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
    install(L"C:\\Zel\0"s);
    EXPECT_EQ(run(), 2);
    expectErrorBox("Refresh environment variables failed!");
    EXPECT_EQ(zeldirText(), L"C:\\Zel\0"s);
}

}  // namespace

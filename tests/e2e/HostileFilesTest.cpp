// The program started on settings files it never wrote: binary garbage, NUL
// bytes, lone CRs, a 1 MB file, a 100,000-character line, 10,000 keys,
// Latin-1 bytes, byte-order marks, a folder and a read-only file. Each time
// it comes up with the values the line grammar gives (or the defaults when
// the file cannot be read), keeps running, leaves the file exactly as it
// was, and ends normally.
#include <gtest/gtest.h>
#include <windows.h>

#include <stdio.h>

#include <string>

#include "app/resource.h"
#include "tests/e2e/ToolChecks.h"
#include "tests/e2e/ToolProcess.h"

namespace {

// What the settings window and the screen show after the start.
struct Shown {
    bool numLock;
    bool capsLock;
    bool scrollLock;
    bool osd;
    bool minimized;
};

std::string const kHeader = "[KOVIX Tool resolution settings]\r\n";

// Deterministic bytes of every value: no settings line can come of them.
std::string garbage(size_t size)
{
    std::string bytes(size, '\0');
    unsigned state = 20240611u;
    for (char& byte : bytes) {
        state = state * 1103515245u + 12345u;
        byte = char(state >> 23);
    }
    return bytes;
}

class HostileFiles : public testing::Test {
protected:
    std::wstring settingsPath() const { return folder_.file(L"Resolution.ini"); }

    // Writes `bytes` as Resolution.ini, starts the program, checks what it
    // shows and that the start left the file untouched, and ends it.
    void startOnAndExit(std::string const& bytes, Shown const& expected)
    {
        EXPECT_TRUE(writeFileBytes(settingsPath(), bytes));
        HWND const window = startAndCheck(expected);
        EXPECT_TRUE(readFileBytes(settingsPath()) == bytes) << "Resolution.ini was rewritten";
        ASSERT_NE(nullptr, window);
        exitNormally(window);
    }

    HWND startAndCheck(Shown const& expected)
    {
        EXPECT_TRUE(tool_.start());
        HWND const window = tool_.waitForMainWindow();
        if (window == nullptr) {
            ADD_FAILURE() << "no settings window (exit code " << tool_.waitForExit(0) << ")";
            return nullptr;
        }
        EXPECT_EQ(expected.numLock, isButtonChecked(findDescendant(window, L"Num lock")));
        EXPECT_EQ(expected.capsLock, isButtonChecked(findDescendant(window, L"Caps lock")));
        EXPECT_EQ(expected.scrollLock, isButtonChecked(findDescendant(window, L"Scroll lock")));
        EXPECT_EQ(expected.osd, isButtonChecked(findDescendant(window, L"OSD Keyboard indicator")));
        EXPECT_EQ(expected.osd, findProcessWindow(tool_.id(), kOsdWindowClass) != nullptr);
        EXPECT_EQ(expected.minimized, isButtonChecked(findDescendant(window, L"Start minimized")));
        EXPECT_TRUE(isButtonChecked(findDescendant(window, L"800 x 480")));
        EXPECT_FALSE(isButtonChecked(findDescendant(window, L"Enable scaling")));
        if (expected.minimized)
            EXPECT_TRUE(waitUntil([&] { return IsIconic(window) && !IsWindowVisible(window); }));
        else
            EXPECT_TRUE(IsWindowVisible(window));
        // A few lock polls and OSD updates on these values.
        Sleep(1000);
        EXPECT_EQ(-1, tool_.waitForExit(0)) << "the program still runs";
        return window;
    }

    void exitNormally(HWND window)
    {
        PostMessageW(window, WM_COMMAND, MAKEWPARAM(IDM_EXIT, 0), 0);
        EXPECT_EQ(0, tool_.waitForExit(5000));
    }

    TempFolder folder_;
    ToolProcess tool_{folder_};
};

TEST_F(HostileFiles, BinaryGarbageGivesTheValuesOfMissingKeys)
{
    startOnAndExit(garbage(4096), {false, false, false, true, false});
}

TEST_F(HostileFiles, NulBytesEndLinesAndTheKeysBetweenThemCount)
{
    std::string bytes = kHeader + std::string(1000, '\0');
    bytes += std::string("NumLock=1;") + '\0' + "CapsLock=0;" + '\0' + '\0' + "ScrlLock=1;" +
             '\0' + "KbInd=0;" + std::string(10, '\0');
    startOnAndExit(bytes, {true, false, true, false, false});
}

TEST_F(HostileFiles, OnlyCarriageReturnsIsOneHeaderLine)
{
    startOnAndExit(std::string(4096, '\r'), {false, false, false, true, false});
}

TEST_F(HostileFiles, KeysSeparatedByLoneCarriageReturnsStayInTheHeaderLine)
{
    startOnAndExit("[h]\rNumLock=1;\rCapsLock=1;\rKbInd=0;\r", {false, false, false, true, false});
}

TEST_F(HostileFiles, AOneMegabyteFileIsReadToItsEnd)
{
    std::string bytes = kHeader;
    std::string const comment = ";" + std::string(98, 'x') + "\r\n";
    while (bytes.size() < 1024 * 1024)
        bytes += comment;
    bytes += "NumLock=1;\r\nScrlLock=1;\r\nKbInd=0;";
    startOnAndExit(bytes, {true, false, true, false, false});
}

TEST_F(HostileFiles, AHundredThousandCharacterValueFailsItsLookupOnly)
{
    // The first NumLock line decides; its value does not fit, so the key
    // takes its missing value. The lines after it still count.
    std::string const bytes = kHeader + "NumLock=" + std::string(100000, '1') +
                              ";\r\nNumLock=1;\r\nCapsLock=1;\r\nKbInd=0;\r\n";
    startOnAndExit(bytes, {false, true, false, false, false});
}

TEST_F(HostileFiles, TenThousandKeysBeforeTheRealOnes)
{
    std::string bytes = kHeader;
    char line[64];
    for (int i = 0; i < 10000; ++i) {
        snprintf(line, sizeof(line), "Key%05d=%d;\r\n", i, i);
        bytes += line;
    }
    bytes += "NumLock=1;\r\nCapsLock=1;\r\nScrlLock=1;\r\nMinimized=1;\r\n";
    startOnAndExit(bytes, {true, true, true, true, true});
}

TEST_F(HostileFiles, LatinOneBytesAreCharactersOfTheirOwn)
{
    // "\xE9\xE8" reads as no number (0); "1\xFF" as 1.
    std::string const bytes = "[R\xE9solution \xE9t\xE9]\r\n"
                              "NumLock=1;\r\n"
                              "CapsLock=\xE9\xE8;\r\n"
                              "\xC4\xD6\xDC=1;\r\n"
                              "ScrlLock=1\xFF;\r\n"
                              "KbInd=0;\r\n";
    startOnAndExit(bytes, {true, false, true, false, false});
}

TEST_F(HostileFiles, AUtf8ByteOrderMarkStaysInTheHeaderLine)
{
    std::string const bytes = "\xEF\xBB\xBF" + kHeader +
                              "NumLock=0;\r\nCapsLock=1;\r\nScrlLock=0;\r\nKbInd=0;\r\n";
    startOnAndExit(bytes, {false, true, false, false, false});
}

TEST_F(HostileFiles, AUtf16FileReadsAsOneCharacterPerLine)
{
    // Every other byte is NUL, so every character stands on a line of its
    // own and no key is found: the file's KbInd=0 is not seen.
    std::string const text = kHeader + "NumLock=1;\r\nCapsLock=1;\r\nScrlLock=1;\r\nKbInd=0;\r\n";
    std::string bytes = "\xFF\xFE";
    for (char const c : text) {
        bytes += c;
        bytes += '\0';
    }
    startOnAndExit(bytes, {false, false, false, true, false});
}

TEST_F(HostileFiles, AFolderInTheFilesPlaceGivesTheDefaultsAndStaysAFolder)
{
    ASSERT_TRUE(CreateDirectoryW(settingsPath().c_str(), nullptr));
    // The default contents, in memory only.
    HWND const window = startAndCheck({true, true, true, true, false});
    ASSERT_NE(nullptr, window);

    clickAndWait(findDescendant(window, L"Caps lock"));
    clickAndWait(findDescendant(window, L"Apply"));
    EXPECT_EQ(-1, tool_.waitForExit(0)) << "the program still runs after Apply";
    DWORD const attributes = GetFileAttributesW(settingsPath().c_str());
    EXPECT_TRUE(attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY));
    EXPECT_FALSE(fileExists(folder_.file(L"Resolution.in~")));
    exitNormally(window);
}

TEST_F(HostileFiles, AReadOnlyFileIsReadAndApplyLeavesItWhole)
{
    std::string const bytes = kHeader + "NumLock=1;\r\nCapsLock=0;\r\nScrlLock=1;\r\nKbInd=0;\r\n";
    ASSERT_TRUE(writeFileBytes(settingsPath(), bytes));
    ASSERT_TRUE(SetFileAttributesW(settingsPath().c_str(), FILE_ATTRIBUTE_READONLY));
    HWND const window = startAndCheck({true, false, true, false, false});
    ASSERT_NE(nullptr, window);

    clickAndWait(findDescendant(window, L"Caps lock"));
    clickAndWait(findDescendant(window, L"Apply"));
    EXPECT_TRUE(isButtonChecked(findDescendant(window, L"Caps lock"))) << "the choice stays in the window";
    EXPECT_EQ(-1, tool_.waitForExit(0)) << "the program still runs after Apply";
    EXPECT_EQ(nullptr, findProcessWindow(tool_.id(), L"#32770")) << "no message claims anything";
    EXPECT_TRUE(readFileBytes(settingsPath()) == bytes) << "the read-only file was changed";
    EXPECT_TRUE(GetFileAttributesW(settingsPath().c_str()) & FILE_ATTRIBUTE_READONLY);
    EXPECT_FALSE(fileExists(folder_.file(L"Resolution.in~")));
    exitNormally(window);
}

TEST_F(HostileFiles, AFileHeldOpenWithoutReadSharingSurvivesAFirstStartWithMode)
{
    if (!host::inRig())
        GTEST_SKIP() << "switches the display and shows a balloon: needs the test rig (tools/rig.sh exec)";
    std::string const bytes = kHeader + "Scaling=0;\r\nNumLock=0;\r\nKbInd=0;\r\nKbIndPos=2;\r\n";
    ASSERT_TRUE(writeFileBytes(settingsPath(), bytes));
    // Another program holds it without read sharing while the program loads,
    // and lets go before its Apply saves.
    HANDLE const held = CreateFileW(settingsPath().c_str(), GENERIC_READ, 0, nullptr, OPEN_EXISTING,
                                    FILE_ATTRIBUTE_NORMAL, nullptr);
    ASSERT_NE(INVALID_HANDLE_VALUE, held);
    EXPECT_TRUE(tool_.start(L"/mode 800x600"));
    HWND const window = tool_.waitForMainWindow();
    CloseHandle(held);
    ASSERT_NE(nullptr, window) << "exit code " << tool_.waitForExit(0);

    EXPECT_TRUE(waitForBalloon(L"Settings could not be saved to Resolution.ini!"));
    EXPECT_TRUE(readFileBytes(settingsPath()) == bytes) << readFileBytes(settingsPath());
    EXPECT_FALSE(fileExists(folder_.file(L"Resolution.in~")));
    EXPECT_EQ("800x600", screenSize()) << "the switch itself is made";
    exitNormally(window);
    EXPECT_TRUE(wintest::restoreNativeScreenMode());
}

} // namespace

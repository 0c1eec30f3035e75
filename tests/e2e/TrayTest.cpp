// The real program's tray icons as a user sees them: the lock icons in the
// tray host's strip at the top right of the screen, in their configured
// colours; back after the notification area restarts; gone after "E&xit".
#include <gtest/gtest.h>
#include <windows.h>
#include <shellapi.h>

#include <string>
#include <vector>

#include "tests/e2e/ToolChecks.h"
#include "tests/e2e/ToolProcess.h"

namespace {

std::string settingsText(char const* numBG, char const* scrBG, char const* minimized)
{
    return std::string("[KOVIX Tool resolution settings]\r\n"
                       "Resolution=800,480;\r\n"
                       "Scaling=0;\r\n"
                       "Minimized=") + minimized + ";\r\n"
           "NumLock=1;\r\n"
           "NumLckBG=" + numBG + ";\r\n"
           "NumLckFG=65280;\r\n"
           "CapsLock=1;\r\n"
           "CpsLckBG=0;\r\n"
           "CpsLckFG=65535;\r\n"
           "ScrlLock=1;\r\n"
           "ScrLckBG=" + scrBG + ";\r\n"
           "ScrLckFG=16776960;\r\n"
           "\r\n"
           "[OSD Settings]\r\n"
           "KbInd=0;\r\n";
}

// Wine's bridges between its paths and the host's; null outside Wine.
typedef char*(CDECL* UnixNameFunction)(wchar_t const*);
typedef wchar_t*(CDECL* DosNameFunction)(char const*);

template <typename Function>
Function wineFunction(char const* name)
{
    FARPROC const address = GetProcAddress(GetModuleHandleW(L"kernel32.dll"), name);
    return reinterpret_cast<Function>(reinterpret_cast<void (*)()>(address));
}

std::string unixPath(std::wstring const& windowsPath)
{
    UnixNameFunction const convert = wineFunction<UnixNameFunction>("wine_get_unix_file_name");
    if (convert == nullptr)
        return std::string();
    char* const name = convert(windowsPath.c_str());
    std::string const result = name != nullptr ? name : "";
    HeapFree(GetProcessHeap(), 0, name);
    return result;
}

// Runs `tools/rig.sh restart-tray` on the host. Wine starts host programs
// but cannot wait for them, so the command leaves its exit status in a
// file of the test's folder. Returns that status, or -1.
int restartTrayHost(TempFolder const& folder)
{
    DosNameFunction const dosName = wineFunction<DosNameFunction>("wine_get_dos_file_name");
    std::string const exe = unixPath(ownExecutablePath());
    if (dosName == nullptr || exe.empty())
        return -1;
    // <repo>/build/win64/e2e_tests.exe -> <repo>
    std::string repo = exe.substr(0, exe.find_last_of('/'));
    repo = repo.substr(0, repo.find_last_of('/'));
    repo = repo.substr(0, repo.find_last_of('/'));
    std::wstring const statusFile = folder.file(L"restart-tray.status");
    std::string const script = "bash '" + repo + "/tools/rig.sh' restart-tray >/dev/null 2>&1; echo $? > '" +
                               unixPath(statusFile) + ".tmp' && mv '" + unixPath(statusFile) +
                               ".tmp' '" + unixPath(statusFile) + "'";
    wchar_t* const shell = dosName("/bin/sh");
    if (shell == nullptr)
        return -1;
    std::wstring commandLine = L"\"" + std::wstring(shell) + L"\" -c \"";
    HeapFree(GetProcessHeap(), 0, shell);
    for (char const c : script)
        commandLine += wchar_t(c);
    commandLine += L"\"";
    STARTUPINFOW startup = {};
    startup.cb = sizeof(startup);
    PROCESS_INFORMATION process = {};
    if (!CreateProcessW(nullptr, &commandLine[0], nullptr, nullptr, FALSE, 0, nullptr, nullptr,
                        &startup, &process))
        return -1;
    CloseHandle(process.hThread);
    CloseHandle(process.hProcess);
    if (!waitUntil([&] { return fileExists(statusFile); }, 20000))
        return -1;
    return atoi(readFileBytes(statusFile).c_str());
}

bool inRig()
{
    wchar_t value[8] = {};
    return GetEnvironmentVariableW(L"KOVIX_RIG", value, ARRAYSIZE(value)) > 0 &&
           std::wstring(value) == L"1";
}

class Tray : public testing::Test {
protected:
    void SetUp() override
    {
        if (!inRig())
            GTEST_SKIP() << "needs the test rig's tray host (tools/rig.sh exec)";
    }

    // Starts the program with the given settings and waits for its four icons.
    HWND startWith(std::string const& settings)
    {
        EXPECT_TRUE(writeFileBytes(folder_.file(L"Resolution.ini"), settings));
        EXPECT_TRUE(tool_.start());
        HWND const window = tool_.waitForMainWindow();
        if (window == nullptr)
            return nullptr;
        EXPECT_TRUE(waitUntil([&] { return allIconsInShell(window); }));
        return window;
    }

    bool allIconsInShell(HWND window) const
    {
        for (UINT i = 0; i < 4; ++i)
            if (!wintest::shellHasIcon(window, kMainTrayIconId + i))
                return false;
        return true;
    }

    // Waits until the strip shows what `expected` says (the tray host
    // repaints on its own time), then returns what it shows.
    template <typename Expected>
    TrayColours waitForStrip(Expected expected, DWORD timeoutMs = 5000)
    {
        TrayColours seen;
        waitUntil([&] { return expected(seen = trayColours(captureScreen())); }, timeoutMs);
        return seen;
    }

    std::wstring screenshot(wchar_t const* name)
    {
        std::wstring const path = screenshotFolder() + L"\\" + name + L".bmp";
        EXPECT_TRUE(saveScreenshot(path));
        return path;
    }

    TempFolder folder_;
    ToolProcess tool_{folder_};
};

bool showsColouredIcons(TrayColours const& seen)
{
    // 16x16 squares, less the letter of a lock that happens to be on.
    return seen.red >= 200 && seen.blue >= 200 && seen.yellow >= 5;
}

bool showsNoneOfTheColours(TrayColours const& seen)
{
    return seen.red == 0 && seen.blue == 0 && seen.yellow == 0;
}

} // namespace

TEST_F(Tray, DefaultColoursShowBlackSquaresAndAYellowCapsLetter)
{
    HWND const window = startWith(settingsText("0", "0", "1"));
    ASSERT_NE(nullptr, window);
    // Num and Scroll Lock off: plain black squares; Caps Lock off: a
    // yellow "a" on black.
    TrayColours const seen = waitForStrip([](TrayColours const& c) {
        return c.black >= 650 && c.yellow >= 5;
    });
    screenshot(L"tray-default-colours");
    EXPECT_GE(seen.black, 650) << "strip " << seen.stripWidth << " px wide";
    EXPECT_GE(seen.yellow, 5);
    EXPECT_EQ(0, seen.red);
    EXPECT_EQ(0, seen.blue);
}

TEST_F(Tray, ConfiguredBackgroundsShowInTheTrayAndSurviveARestartOfTheTrayHost)
{
    HWND const window = startWith(settingsText("255", "16711680", "1"));
    ASSERT_NE(nullptr, window);
    TrayColours seen = waitForStrip(showsColouredIcons);
    screenshot(L"tray-red-num-blue-scroll");
    EXPECT_TRUE(showsColouredIcons(seen))
        << "red " << seen.red << ", blue " << seen.blue << ", yellow " << seen.yellow;

    // Wine's shell keeps its icons when the X tray host goes and docks them
    // again into the new one; the program's own part, re-adding on the
    // shell's notice, is the next test.
    ASSERT_EQ(0, restartTrayHost(folder_)) << "tools/rig.sh restart-tray";
    seen = waitForStrip(showsColouredIcons, 10000);
    screenshot(L"tray-after-tray-host-restart");
    EXPECT_TRUE(showsColouredIcons(seen))
        << "red " << seen.red << ", blue " << seen.blue << ", yellow " << seen.yellow;
    EXPECT_TRUE(allIconsInShell(window));
}

TEST_F(Tray, IconsComeBackWhenTheShellAnnouncesAnEmptyNotificationArea)
{
    HWND const window = startWith(settingsText("255", "16711680", "1"));
    ASSERT_NE(nullptr, window);
    ASSERT_TRUE(showsColouredIcons(waitForStrip(showsColouredIcons)));

    // What a restarted shell leaves: none of the program's icons.
    for (UINT i = 0; i < 4; ++i)
        ASSERT_TRUE(wintest::shellDeleteIcon(window, kMainTrayIconId + i));
    EXPECT_TRUE(showsNoneOfTheColours(waitForStrip(showsNoneOfTheColours)));

    PostMessageW(window, RegisterWindowMessageW(L"TaskbarCreated"), 0, 0);
    EXPECT_TRUE(waitUntil([&] { return allIconsInShell(window); }));
    TrayColours const seen = waitForStrip(showsColouredIcons);
    screenshot(L"tray-after-taskbar-created");
    EXPECT_TRUE(showsColouredIcons(seen))
        << "red " << seen.red << ", blue " << seen.blue << ", yellow " << seen.yellow;
}

TEST_F(Tray, ExitLeavesNoIconOfTheProgramBehind)
{
    HWND const window = startWith(settingsText("255", "16711680", "1"));
    ASSERT_NE(nullptr, window);
    ASSERT_TRUE(showsColouredIcons(waitForStrip(showsColouredIcons)));

    PostMessageW(window, WM_COMMAND, MAKEWPARAM(105, 0), 0); // "E&xit"
    ASSERT_EQ(0, tool_.waitForExit(5000));
    TrayColours const seen = waitForStrip(showsNoneOfTheColours);
    screenshot(L"tray-after-exit");
    EXPECT_TRUE(showsNoneOfTheColours(seen))
        << "red " << seen.red << ", blue " << seen.blue << ", yellow " << seen.yellow;
    for (UINT i = 0; i < 4; ++i)
        EXPECT_FALSE(wintest::shellHasIcon(window, kMainTrayIconId + i)) << "icon " << i;
}

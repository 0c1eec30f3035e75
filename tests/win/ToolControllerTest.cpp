// The controller's settings load, run as the real program would: a copy of
// this executable named "KOVIX Tool.exe" in a private folder binds a
// controller to a real window and reports what it loaded.
#include <gtest/gtest.h>
#include <windows.h>
#include <shlwapi.h>

#include <map>
#include <sstream>
#include <string>

#include "controller/ToolController.h"
#include "settings/SettingsTemplates.h"
#include "tests/win/WinTestSupport.h"

using namespace wintest;

namespace {

wchar_t const kDriverKey[] = L"SYSTEM\\CurrentControlSet\\Services\\ialm\\Device0";
char const kDefaults[] = "mode=1 scaling=0 minimized=0 kbInd=1 kbIndClr=12616523 kbIndPos=4 "
                         "numLock=1 capsLock=1 scrlLock=1 numLckBG=0 numLckFG=65280 cpsLckBG=0 "
                         "cpsLckFG=65535 scrLckBG=0 scrLckFG=16776960";

std::string narrow(wchar_t const* text)
{
    std::string out;
    for (; *text != 0; ++text)
        out += *text < 128 ? char(*text) : '?';
    return out;
}

// Child: load a controller from a window titled argv[0] and write its state
// to state.txt beside the executable, one "key=value" a line.
KOVIX_CHILD_MODE(load)
{
    HWND const window = createTestWindow(argc > 0 ? argv[0] : L"KOVIX Tool Beta 1.0");
    ToolController const c(window);
    std::ostringstream state;
    state << "loaded=" << c.isLoaded() << "\ninstance=" << (c.instance != nullptr)
          << "\ntitle=" << narrow(c.title) << "\nmode=" << c.mode << "\nscaling=" << c.scaling
          << "\nminimized=" << c.minimized << "\nkbInd=" << c.kbInd << "\nkbIndClr=" << c.kbIndClr
          << "\nkbIndPos=" << unsigned(c.kbIndPos) << "\nnumLock=" << c.numLock
          << "\ncapsLock=" << c.capsLock << "\nscrlLock=" << c.scrlLock
          << "\nnumLckBG=" << c.numLckBG << "\nnumLckFG=" << c.numLckFG
          << "\ncpsLckBG=" << c.cpsLckBG << "\ncpsLckFG=" << c.cpsLckFG
          << "\nscrLckBG=" << c.scrLckBG << "\nscrLckFG=" << c.scrLckFG
          << "\nfont=" << (c.uiFont != nullptr) << "\ncontentLength=" << lstrlenW(c.content)
          << "\n";
    writeFileBytes(folderOf(ownExecutablePath()) + L"\\state.txt", state.str());
    DestroyWindow(window);
    return 0;
}

std::string driverEnabledValue()
{
    DWORD type = 0;
    std::string data;
    if (!readRegistryValue(HKEY_LOCAL_MACHINE, kDriverKey, L"Display1_DownScalingEnabled", type,
                           data) ||
        type != REG_BINARY)
        return "missing";
    return data;
}

std::string defaultFileBytes()
{
    wchar_t text[kSettingsTextCapacity];
    defaultResolutionText(text, kSettingsTextCapacity);
    std::string bytes;
    for (wchar_t const* p = text; *p != 0; ++p)
        bytes += *p == L'\n' ? std::string("\r\n") : std::string(1, char(*p));
    return bytes;
}

class ControllerLoad : public testing::Test {
protected:
    void SetUp() override
    {
        createRegistryKey(HKEY_LOCAL_MACHINE, kDriverKey);
        SHDeleteValueW(HKEY_LOCAL_MACHINE, kDriverKey, L"Display1_DownScalingEnabled");
        exe_ = copySelfInto(folder_, L"KOVIX Tool.exe");
    }

    std::map<std::string, std::string> load(wchar_t const* title = L"KOVIX Tool Beta 1.0")
    {
        EXPECT_EQ(0, runProcess(exe_, L"--child load \"" + std::wstring(title) + L"\""));
        std::map<std::string, std::string> state;
        std::istringstream lines(readFileBytes(folder_.file(L"state.txt")));
        for (std::string line; std::getline(lines, line);)
            state[line.substr(0, line.find('='))] = line.substr(line.find('=') + 1);
        return state;
    }

    // The loaded settings in the order of kDefaults.
    static std::string settingsOf(std::map<std::string, std::string>& state)
    {
        std::string line;
        for (char const* key : {"mode", "scaling", "minimized", "kbInd", "kbIndClr", "kbIndPos",
                                "numLock", "capsLock", "scrlLock", "numLckBG", "numLckFG",
                                "cpsLckBG", "cpsLckFG", "scrLckBG", "scrLckFG"})
            line += (line.empty() ? "" : " ") + std::string(key) + "=" + state[key];
        return line;
    }

    std::wstring settings() const { return folder_.file(L"Resolution.ini"); }

    TempFolder folder_;
    std::wstring exe_;
};

} // namespace

TEST_F(ControllerLoad, AMissingOrEmptyFileIsCreatedBesideTheExecutableWithTheDefaults)
{
    auto state = load();
    EXPECT_EQ("1", state["loaded"]);
    EXPECT_EQ("1", state["instance"]) << "the module is found by its name, KOVIX Tool.exe";
    EXPECT_EQ("1", state["font"]);
    EXPECT_EQ("KOVIX Tool Beta 1.0", state["title"]);
    EXPECT_EQ("532", state["contentLength"]);
    EXPECT_EQ(kDefaults, settingsOf(state));
    std::string const bytes = readFileBytes(settings());
    EXPECT_EQ(defaultFileBytes(), bytes);
    EXPECT_EQ(532u + 22u, bytes.size()) << "22 line ends as CR LF, none after the last line";
    EXPECT_EQ(std::string("\0\0\0\0", 4), driverEnabledValue());

    ASSERT_TRUE(writeFileBytes(settings(), ""));
    state = load();
    EXPECT_EQ(kDefaults, settingsOf(state));
    EXPECT_EQ(defaultFileBytes(), readFileBytes(settings()));
}

TEST_F(ControllerLoad, AnExistingFileIsReadAndNeverRewrittenAtLoad)
{
    std::string const bytes = "[KOVIX Tool resolution settings]\r\n"
                              "Resolution=1024,768;\r\nScaling=5;\r\nMinimized=1;\r\n"
                              "NumLckBG=99999999999;\r\nNumLckFG=8487297;\r\nCpsLckBG=-5;\r\n"
                              "KbInd=0;\r\nKbIndClr=99999999999;\r\nKbIndPos=260;\r\n"
                              "; a comment the user wrote\r\n";
    ASSERT_TRUE(writeFileBytes(settings(), bytes));
    auto state = load();
    // KbIndClr takes an overflow as read, an overflowed glyph colour its
    // default; KbIndPos is the low 8 bits; missing lock flags are off; -5 is
    // kept as 0xFFFFFFFB.
    EXPECT_EQ("mode=6 scaling=1 minimized=1 kbInd=0 kbIndClr=2147483647 kbIndPos=4 numLock=0 "
              "capsLock=0 scrlLock=0 numLckBG=0 numLckFG=8487297 cpsLckBG=4294967291 "
              "cpsLckFG=65535 scrLckBG=0 scrLckFG=16776960",
              settingsOf(state));
    EXPECT_EQ(bytes, readFileBytes(settings()));
    EXPECT_EQ(std::string("\x01\0\0\0", 4), driverEnabledValue());
}

TEST_F(ControllerLoad, AFileThatOnlyHoldsItsHeaderTakesEveryFallback)
{
    ASSERT_TRUE(writeFileBytes(settings(), "\r\n\r\n[KOVIX Tool resolution settings]"));
    auto state = load();
    EXPECT_EQ("mode=1 scaling=0 minimized=0 kbInd=1 kbIndClr=12616523 kbIndPos=4 numLock=0 "
              "capsLock=0 scrlLock=0 numLckBG=0 numLckFG=65280 cpsLckBG=0 cpsLckFG=65535 "
              "scrLckBG=0 scrLckFG=16776960",
              settingsOf(state));
}

TEST_F(ControllerLoad, ALongFileLosesNothing)
{
    std::string bytes = "[KOVIX Tool resolution settings]\r\n";
    for (int i = 0; i < 200; ++i)
        bytes += ";padding padding padding " + std::to_string(i) + "\r\n";
    bytes += "KbIndPos=2;\r\nNumLock=1;\r\nResolution=800,600;";
    ASSERT_GT(bytes.size(), 5000u);
    ASSERT_TRUE(writeFileBytes(settings(), bytes));
    auto state = load();
    EXPECT_EQ("2", state["kbIndPos"]);
    EXPECT_EQ("1", state["numLock"]);
    EXPECT_EQ("2", state["mode"]);
    EXPECT_EQ(bytes, readFileBytes(settings()));
    EXPECT_LE(std::stoi(state["contentLength"]), 1023);
}

TEST_F(ControllerLoad, AnUnreadableFileOrAFolderInItsPlaceIsLeftAlone)
{
    std::string const bytes = "[KOVIX Tool resolution settings]\r\nKbIndPos=2;";
    ASSERT_TRUE(writeFileBytes(settings(), bytes));
    HANDLE const lock =
        CreateFileW(settings().c_str(), GENERIC_READ, 0, nullptr, OPEN_EXISTING, 0, nullptr);
    ASSERT_NE(INVALID_HANDLE_VALUE, lock);
    auto state = load();
    CloseHandle(lock);
    EXPECT_EQ(kDefaults, settingsOf(state));
    EXPECT_EQ("532", state["contentLength"]) << "the defaults are used in memory";
    EXPECT_EQ(bytes, readFileBytes(settings()));

    ASSERT_TRUE(DeleteFileW(settings().c_str()));
    ASSERT_TRUE(CreateDirectoryW(settings().c_str(), nullptr));
    state = load();
    EXPECT_EQ("1", state["loaded"]);
    EXPECT_EQ(kDefaults, settingsOf(state));
    EXPECT_TRUE(GetFileAttributesW(settings().c_str()) & FILE_ATTRIBUTE_DIRECTORY);
}

TEST_F(ControllerLoad, TheTitleIsCutTo29Characters)
{
    EXPECT_EQ("01234567890123456789012345678",
              load(L"0123456789012345678901234567890123456789")["title"]);
}

TEST(ControllerConstruction, OnlyARealWindowLoadsAndACopyCarriesTheWholeState)
{
    ToolController none(nullptr);
    EXPECT_FALSE(none.isLoaded());
    EXPECT_EQ(nullptr, none.uiFont);
    none.stopTimer(); // must not touch any window
    ToolController stale(reinterpret_cast<HWND>(static_cast<LONG_PTR>(0x7ff0)));
    EXPECT_FALSE(stale.isLoaded());
    EXPECT_EQ(0, stale.content[0]);

    HWND const window = createTestWindow(L"copied");
    ToolController loaded(window);
    EXPECT_TRUE(loaded.isLoaded());
    EXPECT_EQ(nullptr, loaded.instance) << "this test executable is not KOVIX Tool.exe";
    ToolController global(nullptr);
    global = loaded;
    EXPECT_TRUE(global.isLoaded());
    EXPECT_EQ(window, global.mainWindow);
    EXPECT_EQ(loaded.uiFont, global.uiFont);
    EXPECT_EQ(std::wstring(loaded.content), std::wstring(global.content));
    EXPECT_EQ(std::wstring(loaded.settingsPath), std::wstring(global.settingsPath));

    // stopTimer kills the lock timer of a loaded controller.
    ASSERT_NE(0u, SetTimer(window, kLockTimerId, 250, nullptr));
    loaded.stopTimer();
    EXPECT_FALSE(KillTimer(window, kLockTimerId)) << "already killed";
    DestroyWindow(window);
}

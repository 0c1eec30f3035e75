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

namespace {

LRESULT CALLBACK plainWindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam)
{
    return DefWindowProcW(window, message, wParam, lParam);
}

HWND createPlainWindow(wchar_t const* title)
{
    WNDCLASSEXW windowClass = {};
    windowClass.cbSize = sizeof(windowClass);
    windowClass.lpfnWndProc = plainWindowProc;
    windowClass.hInstance = GetModuleHandleW(nullptr);
    windowClass.lpszClassName = L"KovixControllerTest";
    RegisterClassExW(&windowClass);
    return CreateWindowExW(0, L"KovixControllerTest", title, WS_OVERLAPPEDWINDOW, 0, 0, 100, 100,
                           nullptr, nullptr, GetModuleHandleW(nullptr), nullptr);
}

std::string narrow(wchar_t const* text)
{
    std::string out;
    for (; *text != 0; ++text)
        out += *text < 128 ? char(*text) : '?';
    return out;
}

// Child: load a controller from a window titled argv[0] and write its state
// to state.txt beside the executable.
KOVIX_CHILD_MODE(load)
{
    HWND const window = createPlainWindow(argc > 0 ? argv[0] : L"KOVIX Tool Beta 1.0");
    ToolController controller(window);
    std::ostringstream state;
    state << "loaded=" << controller.isLoaded() << "\n"
          << "instance=" << (controller.instance != nullptr) << "\n"
          << "title=" << narrow(controller.title) << "\n"
          << "mode=" << controller.mode << "\n"
          << "scaling=" << controller.scaling << "\n"
          << "minimized=" << controller.minimized << "\n"
          << "kbInd=" << controller.kbInd << "\n"
          << "kbIndClr=" << controller.kbIndClr << "\n"
          << "kbIndPos=" << unsigned(controller.kbIndPos) << "\n"
          << "numLock=" << controller.numLock << "\n"
          << "capsLock=" << controller.capsLock << "\n"
          << "scrlLock=" << controller.scrlLock << "\n"
          << "numLckBG=" << controller.numLckBG << "\n"
          << "numLckFG=" << controller.numLckFG << "\n"
          << "cpsLckBG=" << controller.cpsLckBG << "\n"
          << "cpsLckFG=" << controller.cpsLckFG << "\n"
          << "scrLckBG=" << controller.scrLckBG << "\n"
          << "scrLckFG=" << controller.scrLckFG << "\n"
          << "font=" << (controller.uiFont != nullptr) << "\n"
          << "contentLength=" << lstrlenW(controller.content) << "\n"
          << "path=" << narrow(controller.settingsPath) << "\n";
    std::wstring exe = ownExecutablePath();
    std::wstring const folder = exe.substr(0, exe.find_last_of(L'\\'));
    writeFileBytes(folder + L"\\state.txt", state.str());
    DestroyWindow(window);
    return 0;
}

wchar_t const kDriverKey[] = L"SYSTEM\\CurrentControlSet\\Services\\ialm\\Device0";

std::string driverEnabledValue()
{
    HKEY key = nullptr;
    if (RegOpenKeyExW(HKEY_LOCAL_MACHINE, kDriverKey, 0, KEY_READ, &key) != ERROR_SUCCESS)
        return "missing";
    BYTE data[16];
    DWORD size = sizeof(data);
    DWORD type = 0;
    LONG const result =
        RegQueryValueExW(key, L"Display1_DownScalingEnabled", nullptr, &type, data, &size);
    RegCloseKey(key);
    if (result != ERROR_SUCCESS || type != REG_BINARY)
        return "missing";
    return std::string(reinterpret_cast<char*>(data), size);
}

class ControllerLoad : public testing::Test {
protected:
    void SetUp() override
    {
        SHDeleteValueW(HKEY_LOCAL_MACHINE, kDriverKey, L"Display1_DownScalingEnabled");
        exe_ = copySelfInto(folder_, L"KOVIX Tool.exe");
    }

    std::map<std::string, std::string> load(wchar_t const* title = L"KOVIX Tool Beta 1.0")
    {
        std::map<std::string, std::string> state;
        std::wstring args = L"--child load \"" + std::wstring(title) + L"\"";
        EXPECT_EQ(0, runProcess(exe_, args));
        std::istringstream lines(readFileBytes(folder_.file(L"state.txt")));
        std::string line;
        while (std::getline(lines, line)) {
            size_t const eq = line.find('=');
            state[line.substr(0, eq)] = line.substr(eq + 1);
        }
        return state;
    }

    std::wstring settings() const { return folder_.file(L"Resolution.ini"); }

    static void expectDefaults(std::map<std::string, std::string>& s)
    {
        EXPECT_EQ("1", s["mode"]);
        EXPECT_EQ("0", s["scaling"]);
        EXPECT_EQ("0", s["minimized"]);
        EXPECT_EQ("1", s["kbInd"]);
        EXPECT_EQ("12616523", s["kbIndClr"]);
        EXPECT_EQ("4", s["kbIndPos"]);
        EXPECT_EQ("1", s["numLock"]);
        EXPECT_EQ("1", s["capsLock"]);
        EXPECT_EQ("1", s["scrlLock"]);
        EXPECT_EQ("0", s["numLckBG"]);
        EXPECT_EQ("65280", s["numLckFG"]);
        EXPECT_EQ("0", s["cpsLckBG"]);
        EXPECT_EQ("65535", s["cpsLckFG"]);
        EXPECT_EQ("0", s["scrLckBG"]);
        EXPECT_EQ("16776960", s["scrLckFG"]);
    }

    TempFolder folder_;
    std::wstring exe_;
};

std::string defaultFileBytes()
{
    wchar_t text[kSettingsTextCapacity];
    defaultResolutionText(text, kSettingsTextCapacity);
    std::string bytes;
    for (wchar_t const* p = text; *p != 0; ++p) {
        if (*p == L'\n')
            bytes += '\r';
        bytes += char(*p);
    }
    return bytes;
}

TEST_F(ControllerLoad, AMissingFileIsCreatedWithTheDefaultsAndLoaded)
{
    auto state = load();
    EXPECT_EQ("1", state["loaded"]);
    EXPECT_EQ("1", state["instance"]) << "the module is found by its name, KOVIX Tool.exe";
    EXPECT_EQ("1", state["font"]);
    EXPECT_EQ("KOVIX Tool Beta 1.0", state["title"]);
    EXPECT_EQ("532", state["contentLength"]);
    expectDefaults(state);

    std::string const bytes = readFileBytes(settings());
    EXPECT_EQ(defaultFileBytes(), bytes);
    EXPECT_EQ(532u + 22u, bytes.size()) << "22 line ends as CR LF, none after the last line";
    EXPECT_EQ(std::string("\0\0\0\0", 4), driverEnabledValue());
}

TEST_F(ControllerLoad, AnEmptyFileIsOverwrittenWithTheDefaults)
{
    ASSERT_TRUE(writeFileBytes(settings(), ""));
    auto state = load();
    expectDefaults(state);
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
    EXPECT_EQ("6", state["mode"]);
    EXPECT_EQ("1", state["scaling"]);
    EXPECT_EQ("1", state["minimized"]);
    EXPECT_EQ("0", state["kbInd"]);
    EXPECT_EQ("2147483647", state["kbIndClr"]) << "the OSD colour takes an overflow as read";
    EXPECT_EQ("4", state["kbIndPos"]) << "low 8 bits of 260";
    EXPECT_EQ("0", state["numLock"]) << "a missing lock flag is off";
    EXPECT_EQ("0", state["numLckBG"]) << "an overflowed glyph colour takes its default";
    EXPECT_EQ("8487297", state["numLckFG"]);
    EXPECT_EQ("4294967291", state["cpsLckBG"]) << "-5 kept as 0xFFFFFFFB";
    EXPECT_EQ(bytes, readFileBytes(settings()));
    EXPECT_EQ(std::string("\x01\0\0\0", 4), driverEnabledValue());
}

TEST_F(ControllerLoad, AFileThatOnlyHoldsItsHeaderTakesEveryFallback)
{
    ASSERT_TRUE(writeFileBytes(settings(), "\r\n\r\n[KOVIX Tool resolution settings]"));
    auto state = load();
    EXPECT_EQ("1", state["mode"]);
    EXPECT_EQ("1", state["kbInd"]);
    EXPECT_EQ("4", state["kbIndPos"]);
    EXPECT_EQ("0", state["numLock"]);
    EXPECT_EQ("0", state["capsLock"]);
    EXPECT_EQ("0", state["scrlLock"]);
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

TEST_F(ControllerLoad, AnUnreadableFileIsNeverOverwritten)
{
    std::string const bytes = "[KOVIX Tool resolution settings]\r\nKbIndPos=2;";
    ASSERT_TRUE(writeFileBytes(settings(), bytes));
    HANDLE const lock =
        CreateFileW(settings().c_str(), GENERIC_READ, 0, nullptr, OPEN_EXISTING, 0, nullptr);
    ASSERT_NE(INVALID_HANDLE_VALUE, lock);
    auto state = load();
    CloseHandle(lock);
    expectDefaults(state);
    EXPECT_EQ("532", state["contentLength"]) << "the defaults are used in memory";
    EXPECT_EQ(bytes, readFileBytes(settings()));
}

TEST_F(ControllerLoad, AFolderInTheFilesPlaceIsLeftAlone)
{
    ASSERT_TRUE(CreateDirectoryW(settings().c_str(), nullptr));
    auto state = load();
    EXPECT_EQ("1", state["loaded"]);
    expectDefaults(state);
    EXPECT_TRUE(GetFileAttributesW(settings().c_str()) & FILE_ATTRIBUTE_DIRECTORY);
}

TEST_F(ControllerLoad, TheTitleIsCutTo29Characters)
{
    auto state = load(L"0123456789012345678901234567890123456789");
    EXPECT_EQ("01234567890123456789012345678", state["title"]);
}

TEST(ControllerConstruction, WithoutARealWindowNothingIsLoaded)
{
    ToolController none(nullptr);
    EXPECT_FALSE(none.isLoaded());
    EXPECT_EQ(nullptr, none.uiFont);
    none.stopTimer(); // must not touch any window

    ToolController stale(reinterpret_cast<HWND>(static_cast<LONG_PTR>(0x7ff0)));
    EXPECT_FALSE(stale.isLoaded());
    EXPECT_EQ(0, stale.content[0]);
}

TEST(ControllerConstruction, AnotherExecutableNameGivesANullInstance)
{
    HWND const window = createPlainWindow(L"t");
    ToolController controller(window);
    EXPECT_TRUE(controller.isLoaded());
    EXPECT_EQ(nullptr, controller.instance) << "this test executable is not KOVIX Tool.exe";
    DestroyWindow(window);
}

TEST(ControllerConstruction, ACopyCarriesTheWholeState)
{
    HWND const window = createPlainWindow(L"copied");
    ToolController loaded(window);
    ToolController global(nullptr);
    global = loaded;
    EXPECT_TRUE(global.isLoaded());
    EXPECT_EQ(window, global.mainWindow);
    EXPECT_EQ(loaded.uiFont, global.uiFont);
    EXPECT_EQ(std::wstring(loaded.content), std::wstring(global.content));
    EXPECT_EQ(std::wstring(loaded.settingsPath), std::wstring(global.settingsPath));
    DestroyWindow(window);
}

TEST(ControllerTimer, StopTimerKillsTheLockTimerOfALoadedController)
{
    HWND const window = createPlainWindow(L"timer");
    ToolController controller(window);
    ASSERT_NE(0u, SetTimer(window, kLockTimerId, 250, nullptr));
    controller.stopTimer();
    EXPECT_FALSE(KillTimer(window, kLockTimerId)) << "already killed";
    DestroyWindow(window);
}

} // namespace

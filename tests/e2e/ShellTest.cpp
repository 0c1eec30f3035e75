// The application shell end to end: the real KOVIX Tool.exe started from a
// private folder and driven from outside, as a user would.
#include <gtest/gtest.h>
#include <windows.h>

#include <string>

#include "app/resource.h"
#include "tests/e2e/ToolChecks.h"
#include "tests/e2e/ToolProcess.h"

namespace {

bool isMinimizedAndHidden(HWND window)
{
    return !IsWindowVisible(window) && IsIconic(window);
}

class Shell : public testing::Test {
protected:
    void SetUp() override
    {
        // Start from a driver key without the value, to see the start-up write.
        wintest::createRegistryKey(HKEY_LOCAL_MACHINE, kDriverKey);
        HKEY key = nullptr;
        if (RegOpenKeyExW(HKEY_LOCAL_MACHINE, kDriverKey, 0, KEY_ALL_ACCESS, &key) == ERROR_SUCCESS) {
            RegDeleteValueW(key, L"Display1_DownScalingEnabled");
            RegCloseKey(key);
        }
    }

    HWND startTool()
    {
        EXPECT_TRUE(tool_.start());
        HWND const window = tool_.waitForMainWindow();
        EXPECT_NE(nullptr, window);
        return window;
    }

    HWND waitForAbout(DWORD timeoutMs = 3000)
    {
        return waitForDialog(tool_.id(), L"About", timeoutMs);
    }

    // Types an accelerator into the main window. X hands the keyboard focus
    // over asynchronously after a window comes to the front, so keys typed at
    // once can still go elsewhere; a user would simply press again.
    HWND typeForAbout(HWND window, std::initializer_list<WORD> keys)
    {
        for (int attempt = 0; attempt < 3; ++attempt) {
            bringToFront(window);
            Sleep(100);
            pressKeys(keys);
            if (HWND const about = waitForAbout(1500))
                return about;
        }
        return nullptr;
    }

    TempFolder folder_;
    ToolProcess tool_{folder_};
};

// One start: what it writes, the window it shows, a menu item that does
// nothing, then "E&xit".
TEST_F(Shell, FirstStartWritesTheDefaultsShowsItsWindowAndExitEndsItWithCodeZero)
{
    ASSERT_FALSE(fileExists(folder_.file(L"Resolution.ini")));
    HWND const window = startTool();
    EXPECT_EQ(defaultSettingsText(), readFileBytes(folder_.file(L"Resolution.ini")));
    DWORD type = 0;
    EXPECT_EQ(std::string(4, '\0'),
              readMachineValue(kDriverKey, L"Display1_DownScalingEnabled", &type));
    EXPECT_EQ(DWORD(REG_BINARY), type);

    // The main window's class, title, menu and frame.
    EXPECT_EQ(std::wstring(L"KOVIX TOOL"), windowClass(window));
    EXPECT_EQ(std::wstring(L"KOVIX Tool Beta 1.0"), windowText(window));
    EXPECT_NE(nullptr, GetMenu(window));
    LONG_PTR const style = GetWindowLongPtrW(window, GWL_STYLE);
    EXPECT_TRUE(style & WS_CAPTION);
    EXPECT_TRUE(style & WS_SYSMENU);
    EXPECT_TRUE(style & WS_MINIMIZEBOX);
    EXPECT_FALSE(style & WS_MAXIMIZEBOX);
    EXPECT_FALSE(style & WS_THICKFRAME);
    EXPECT_TRUE(IsWindowVisible(window));

    // The grayed filler item does nothing.
    PostMessageW(window, WM_COMMAND, MAKEWPARAM(IDM_FILLER, 0), 0);
    Sleep(300);
    EXPECT_TRUE(IsWindowVisible(window));
    EXPECT_EQ(nullptr, findProcessWindow(tool_.id(), L"#32770"));
    EXPECT_EQ(-1, tool_.waitForExit(0)) << "still running";

    PostMessageW(window, WM_COMMAND, MAKEWPARAM(IDM_EXIT, 0), 0);
    EXPECT_EQ(0, tool_.waitForExit(3000));
}

// One start: About opened by both accelerators and ended every way, then
// the main window's close box.
TEST_F(Shell, BothAcceleratorsOpenAboutEveryEndingClosesItAndTheCloseBoxEndsTheProcess)
{
    HWND const window = startTool();
    WORD const slashKey = LOBYTE(VkKeyScanW(L'/'));
    WORD const questionKey = LOBYTE(VkKeyScanW(L'?'));

    HWND about = typeForAbout(window, {VK_MENU, slashKey});
    ASSERT_NE(nullptr, about) << "Alt+/ opens About";
    EXPECT_EQ(std::wstring(L"KOVIX Tool Beta 1.0"), windowText(GetDlgItem(about, 101)));
    EXPECT_EQ(window, GetWindow(about, GW_OWNER));
    Sleep(500); // let the dialog paint before the picture is taken
    EXPECT_TRUE(wintest::saveScreenshot(screenshotFolder() + L"\\about.bmp"));
    PostMessageW(about, WM_COMMAND, IDOK, 0);
    ASSERT_TRUE(waitUntil([&] { return !IsWindow(about); }));

    about = typeForAbout(window, {VK_MENU, VK_SHIFT, questionKey});
    ASSERT_NE(nullptr, about) << "Alt+? opens About";
    PostMessageW(about, WM_COMMAND, IDCANCEL, 0);
    ASSERT_TRUE(waitUntil([&] { return !IsWindow(about); }));

    // OK, Enter, Esc and the dialog's close box.
    struct Ending {
        char const* name;
        void (*end)(HWND about);
    };
    Ending const endings[] = {
        {"OK button", [](HWND about) { PostMessageW(GetDlgItem(about, IDOK), BM_CLICK, 0, 0); }},
        {"Enter", [](HWND about) { bringToFront(about); pressKeys({VK_RETURN}); }},
        {"Esc", [](HWND about) { bringToFront(about); pressKeys({VK_ESCAPE}); }},
        {"close box", [](HWND about) { PostMessageW(about, WM_SYSCOMMAND, SC_CLOSE, 0); }},
    };
    for (Ending const& ending : endings) {
        PostMessageW(window, WM_COMMAND, MAKEWPARAM(104, 0), 0);
        about = waitForAbout();
        ASSERT_NE(nullptr, about) << ending.name;
        // Keys can race the X focus hand-over (see typeForAbout): press again.
        bool closed = false;
        for (int attempt = 0; attempt < 3 && !closed; ++attempt) {
            ending.end(about);
            closed = waitUntil([&] { return !IsWindow(about); }, 1500);
        }
        EXPECT_TRUE(closed) << ending.name;
    }
    EXPECT_TRUE(IsWindow(window));

    // The main window's close box ends the process as "E&xit" does.
    PostMessageW(window, WM_SYSCOMMAND, SC_CLOSE, 0);
    EXPECT_EQ(0, tool_.waitForExit(3000));
}

TEST_F(Shell, MinimisingHidesAndShowHideOrADoubleClickBringsItBack)
{
    HWND const window = startTool();
    Sleep(500);
    EXPECT_TRUE(wintest::saveScreenshot(screenshotFolder() + L"\\main-window.bmp"));

    PostMessageW(window, WM_SYSCOMMAND, SC_MINIMIZE, 0);
    ASSERT_TRUE(waitUntil([&] { return isMinimizedAndHidden(window); })) << "minimise hides";
    EXPECT_FALSE(GetWindowLongPtrW(window, GWL_EXSTYLE) & WS_EX_APPWINDOW);

    PostMessageW(window, WM_COMMAND, MAKEWPARAM(IDM_SHOWHIDE, 0), 0); // "Show\Hide"
    std::string seen;
    EXPECT_TRUE(waitShownInFront(window, seen)) << seen;

    PostMessageW(window, WM_COMMAND, MAKEWPARAM(IDM_SHOWHIDE, 0), 0);
    ASSERT_TRUE(waitUntil([&] { return isMinimizedAndHidden(window); })) << "the same again hides";

    PostMessageW(window, WM_APP + 1, 1, WM_LBUTTONDBLCLK); // tray double click
    EXPECT_TRUE(waitShownInFront(window, seen)) << seen;

    PostMessageW(window, WM_APP + 1, 1, WM_LBUTTONDBLCLK);
    EXPECT_TRUE(waitUntil([&] { return isMinimizedAndHidden(window); }));

    PostMessageW(window, WM_APP + 1, 1, WM_MOUSEMOVE); // other mouse messages do nothing
    Sleep(200);
    EXPECT_TRUE(isMinimizedAndHidden(window));
}

} // namespace

// One copy at a time: a second start while the program runs ends at once
// with code 0, adds no tray icons of its own, and brings the running copy's
// window, hidden in the tray, to the front; also when the running copy's
// mutex may not be opened.
#include <gtest/gtest.h>
#include <windows.h>
#include <aclapi.h>

#include <algorithm>
#include <string>

#include "tests/e2e/ToolChecks.h"
#include "tests/e2e/ToolProcess.h"

namespace {

// Width of the tray host's strip, which the host widens for every icon it docks.
int trayStripWidth()
{
    Screen const top = captureScreen(1);
    return top.width > 0 ? top.width - trayStripLeft(top) : 0;
}

// As a copy run as administrator leaves its instance mutex for a copy
// without those rights: there, but the full access that CreateMutexW asks
// for is refused (an empty DACL grants none).
bool denyInstanceMutex()
{
    HANDLE const mutex = OpenMutexW(WRITE_DAC, FALSE, L"KOVIX Tool single instance");
    if (mutex == nullptr)
        return false;
    ACL empty = {};
    bool const set = InitializeAcl(&empty, sizeof(empty), ACL_REVISION) &&
                     SetSecurityInfo(mutex, SE_KERNEL_OBJECT, DACL_SECURITY_INFORMATION, nullptr,
                                     nullptr, &empty, nullptr) == ERROR_SUCCESS;
    CloseHandle(mutex);
    // What the program asks for: all access, refused.
    HANDLE const probe = CreateMutexW(nullptr, FALSE, L"KOVIX Tool single instance");
    DWORD const error = GetLastError();
    if (probe != nullptr)
        CloseHandle(probe);
    return set && probe == nullptr && error == ERROR_ACCESS_DENIED;
}

class SingleInstance : public testing::Test {
protected:
    void SetUp() override
    {
        if (!host::inRig())
            GTEST_SKIP() << "needs the test rig's tray host (tools/rig.sh exec)";
    }

    TempFolder firstFolder_;
    TempFolder secondFolder_;
    ToolProcess first_{firstFolder_};
    ToolProcess second_{secondFolder_};
};

TEST_F(SingleInstance, ASecondStartEndsAndBringsTheFirstWindowOutOfTheTray)
{
    ASSERT_TRUE(writeFileBytes(firstFolder_.file(L"Resolution.ini"), inTraySettingsText()));
    ASSERT_TRUE(first_.start());
    HWND const window = first_.waitForMainWindow();
    ASSERT_NE(nullptr, window);
    ASSERT_TRUE(waitUntil([&] { return !IsWindowVisible(window) && IsIconic(window); }))
        << "the first copy starts hidden in the tray";
    // The tray host docks the four icons on its own time; wait until the
    // strip stops growing.
    int stripWidth = 0;
    waitUntil([&] {
        int const now = trayStripWidth();
        bool const steady = now == stripWidth && now > 0;
        stripWidth = now;
        Sleep(300);
        return steady;
    }, 10000);
    ASSERT_GT(stripWidth, 0);

    // Twice: as it is, and with the mutex as a copy run as administrator
    // leaves it for this one (CreateMutexW then fails with access denied).
    for (bool const denied : {false, true}) {
        SCOPED_TRACE(denied ? "the mutex may not be opened" : "the mutex as it is");
        if (denied) {
            ShowWindow(window, SW_MINIMIZE); // back into the tray
            ASSERT_TRUE(waitUntil([&] { return !IsWindowVisible(window); }));
            ASSERT_TRUE(denyInstanceMutex());
        }
        ASSERT_TRUE(second_.start());
        // While it runs, and for a while after, the second copy owns no main
        // window (tray icons need one) and the strip does not grow.
        int widestStrip = stripWidth;
        bool secondHadWindow = false;
        int exitCode = -1;
        waitUntil([&] {
            secondHadWindow =
                secondHadWindow || findProcessWindow(second_.id(), kMainWindowClass) != nullptr;
            widestStrip = std::max(widestStrip, trayStripWidth());
            exitCode = second_.waitForExit(0);
            return exitCode != -1;
        }, 5000);
        EXPECT_EQ(0, exitCode) << "the second copy ends with code 0 within 5 s";
        EXPECT_FALSE(secondHadWindow);
        EXPECT_FALSE(fileExists(secondFolder_.file(L"Resolution.ini")))
            << "the second copy ends before it loads any settings";
        second_.kill();

        std::string seen;
        EXPECT_TRUE(waitShownInFront(window, seen)) << seen;
        if (!denied) {
            EXPECT_TRUE(
                wintest::saveScreenshot(screenshotFolder() + L"\\single-instance-restored.bmp"));
        }

        waitUntil([&] {
            widestStrip = std::max(widestStrip, trayStripWidth());
            return false;
        }, 1500);
        EXPECT_EQ(stripWidth, widestStrip) << "no second set of tray icons";
        EXPECT_EQ(-1, first_.waitForExit(0)) << "the first copy still runs";
    }
}

} // namespace

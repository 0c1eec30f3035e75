// The command line end to end: later starts with a command act through the
// copy that runs (and exit with its outcome), or start the program and carry
// the command out once it is built; usage errors and malformed WM_COPYDATA
// change nothing.
#include <gtest/gtest.h>
#include <windows.h>

#include <string>
#include <vector>

#include "app/resource.h"
#include "app/CommandLine.h"
#include "tests/e2e/ToolChecks.h"
#include "tests/e2e/ToolProcess.h"

namespace {

using Changes = std::vector<std::string>;

wchar_t const kUsageLine[] = L"/mode 800x480, /mode 800x600, /mode 1024x768";

bool inTray(HWND window)
{
    return !IsWindowVisible(window) && IsIconic(window);
}

bool has(std::string const& text, char const* part)
{
    return text.find(part) != std::string::npos;
}

class CommandLine : public testing::Test {
protected:
    void SetUp() override
    {
        if (!host::inRig())
            GTEST_SKIP() << "needs the test rig's switchable display and tray host (tools/rig.sh exec)";
    }

    void TearDown() override
    {
        first_.kill();
        if (!host::inRig())
            return;
        EXPECT_TRUE(wintest::restoreNativeScreenMode());
    }

    std::string settings() const { return readFileBytes(firstFolder_.file(L"Resolution.ini")); }

    // The first copy, built and in the tray with its main icon.
    HWND startFirst(std::wstring const& arguments = std::wstring())
    {
        EXPECT_TRUE(writeFileBytes(firstFolder_.file(L"Resolution.ini"), inTraySettingsText()));
        EXPECT_TRUE(first_.start(arguments));
        HWND const main = first_.waitForMainWindow();
        if (main != nullptr) {
            EXPECT_TRUE(waitUntil([&] { return wintest::shellHasIcon(main, kMainTrayIconId); }));
        }
        return main;
    }

    // A later start with `arguments`; checks that it never had a window of
    // its own (so no tray icon either) and loaded no settings.
    ToolProcess::CommandRun later(wchar_t const* arguments)
    {
        ToolProcess::CommandRun const run = second_.run(arguments);
        EXPECT_FALSE(run.hadMainWindow) << "arguments " << testing::PrintToString(std::wstring(arguments));
        EXPECT_FALSE(fileExists(secondFolder_.file(L"Resolution.ini")));
        return run;
    }

    MachineValuesGuard runValue_{kRunKey, {L"KOVIX Tool"}};
    MachineValuesGuard driverValues_{
        kDriverKey, {L"Display1_DownScalingEnabled", L"Display1_DownScalingSupported", L"PruningMode"}};
    TempFolder firstFolder_;
    TempFolder secondFolder_;
    ToolProcess first_{firstFolder_};
    ToolProcess second_{secondFolder_};
};

TEST_F(CommandLine, ARunningCopyCarriesOutTheCommandsOfLaterStarts)
{
    ASSERT_TRUE(wintest::createRegistryKey(HKEY_LOCAL_MACHINE, kDriverKey));
    deleteMachineValue(kDriverKey, L"Display1_DownScalingSupported"); // so that Apply asks
    DisplayChangeLog log;
    HWND const main = startFirst();
    ASSERT_NE(nullptr, main);
    ASSERT_TRUE(waitUntil([&] { return inTray(main); }));
    HWND const radio600 = findDescendant(main, L"800 x 600");
    UINT const mainIcon = kMainTrayIconId;

    // As the tray menu's item: switched, saved, still in the tray.
    ToolProcess::CommandRun run = later(L"/mode 800x600");
    EXPECT_EQ(0, run.exitCode);
    EXPECT_EQ(L"", run.boxText);
    EXPECT_EQ("800x600", screenSize());
    EXPECT_EQ("800x600", host::screenSize()) << "the X screen itself";
    EXPECT_EQ(Changes{"800x600"}, log.settled());
    EXPECT_TRUE(has(settings(), "\r\nResolution=800,600;\r\n")) << settings();
    EXPECT_TRUE(has(settings(), "\r\nMinimized=1;\r\n"));
    EXPECT_TRUE(isButtonChecked(radio600));
    EXPECT_TRUE(inTray(main));

    // The mode already chosen does nothing, in any spelling.
    std::string const marked = "; marked\r\n" + settings();
    ASSERT_TRUE(writeFileBytes(firstFolder_.file(L"Resolution.ini"), marked));
    log.clear();
    EXPECT_EQ(0, later(L"-MODE \"800X600\"").exitCode);
    EXPECT_EQ(marked, settings());
    EXPECT_TRUE(log.settled().empty());

    // Another program puts the display back: the same /mode switches again.
    ASSERT_TRUE(wintest::restoreNativeScreenMode());
    ASSERT_EQ("800x480", host::screenSize());
    log.clear();
    EXPECT_EQ(0, later(L"/mode 800x600").exitCode);
    EXPECT_EQ("800x600", screenSize());
    EXPECT_EQ("800x600", host::screenSize());
    EXPECT_EQ(Changes{"800x600"}, log.settled());
    ASSERT_TRUE(writeFileBytes(firstFolder_.file(L"Resolution.ini"), marked));
    log.clear();

    // Usage errors show the usage box, send nothing and change nothing;
    // /? shows it too, with code 0.
    for (wchar_t const* wrong : {L"/mode 640x480", L"/mode", L"/show /tray", L"/restart"}) {
        run = later(wrong);
        EXPECT_EQ(2, run.exitCode) << testing::PrintToString(std::wstring(wrong));
        EXPECT_NE(std::wstring::npos, run.boxText.find(kUsageLine)) << testing::PrintToString(run.boxText);
    }
    run = later(L"/?");
    EXPECT_EQ(0, run.exitCode);
    EXPECT_NE(std::wstring::npos, run.boxText.find(kUsageLine));
    EXPECT_EQ(marked, settings());
    EXPECT_EQ("800x600", screenSize());
    EXPECT_TRUE(log.settled().empty());
    EXPECT_TRUE(inTray(main));

    // WM_COPYDATA as any process may send it: only the well-formed one is
    // taken (answered non-zero); the window stays in the tray until then.
    wchar_t const show[] = L"/show";
    wchar_t const roomy[8] = L"/show"; // room for the odd byte
    std::wstring const oversized = L"/show" + std::wstring(kCommandPayloadCapacity, L' ');
    struct Sent {
        ULONG_PTR id;
        void const* data;
        DWORD size;
        char const* what;
    };
    Sent const ignored[] = {
        {kCommandDataId + 1, show, sizeof(show), "wrong identifier"},
        {0, show, sizeof(show), "no identifier"},
        {kCommandDataId, show, sizeof(show) - sizeof(wchar_t), "no terminator"},
        {kCommandDataId, oversized.c_str(), DWORD((oversized.size() + 1) * sizeof(wchar_t)), "oversized"},
        {kCommandDataId, roomy, sizeof(show) + 1, "odd size"},
        {kCommandDataId, nullptr, 0, "empty"},
    };
    for (Sent const& sent : ignored) {
        DWORD_PTR reply = 99;
        EXPECT_TRUE(sendCopyData(main, sent.id, sent.data, sent.size, reply)) << sent.what;
        EXPECT_EQ(0u, reply) << sent.what;
    }
    waitUntil([] { return false; }, 300);
    EXPECT_TRUE(inTray(main));
    DWORD_PTR reply = 0;
    EXPECT_TRUE(sendCopyData(main, kCommandDataId, show, sizeof(show), reply));
    EXPECT_EQ(DWORD_PTR(kReplyDone), reply);
    EXPECT_TRUE(waitUntil([&] { return IsWindowVisible(main) && !IsIconic(main); }));

    // Into the tray and out again to the front.
    EXPECT_EQ(0, later(L"/tray").exitCode);
    EXPECT_TRUE(waitUntil([&] { return inTray(main); }));
    EXPECT_EQ(0, later(L"/Show").exitCode);
    std::string seen;
    EXPECT_TRUE(waitShownInFront(main, seen)) << seen;

    // While Apply's downscaling question is open the copy is busy: code 3,
    // and the mode stays.
    ASSERT_TRUE(clickAndWait(findDescendant(main, L"Enable scaling")));
    postClick(findDescendant(main, L"Apply"));
    HWND const warning = waitForDialog(first_.id(), L"Warning");
    ASSERT_NE(nullptr, warning);
    log.clear();
    EXPECT_EQ(3, later(L"/mode 1024x768").exitCode);
    EXPECT_TRUE(IsWindow(warning));
    EXPECT_EQ(1, countProcessWindows(first_.id(), L"#32770"));
    EXPECT_TRUE(isButtonChecked(radio600));

    // Every way of ending it while the question is open is taken, and waits
    // for the answer: /exit, E&xit, the close box, the end of the session.
    wchar_t const exit[] = L"/exit";
    reply = 0;
    EXPECT_TRUE(sendCopyData(main, kCommandDataId, exit, sizeof(exit), reply));
    EXPECT_EQ(DWORD_PTR(kReplyDone), reply);
    struct Ending {
        UINT message;
        WPARAM wParam;
    };
    for (Ending const ending : {Ending{WM_COMMAND, IDM_EXIT}, Ending{WM_SYSCOMMAND, SC_CLOSE},
                                Ending{WM_QUERYENDSESSION, 0}, Ending{WM_ENDSESSION, TRUE}}) {
        DWORD_PTR result = 0;
        EXPECT_TRUE(SendMessageTimeoutW(main, ending.message, ending.wParam, 0, SMTO_NORMAL, 5000,
                                        &result))
            << "message " << ending.message;
    }
    EXPECT_TRUE(IsWindow(warning)) << "the question was closed under Apply";
    postClick(GetDlgItem(warning, IDNO));
    EXPECT_EQ(0, first_.waitForExit(30000)) << "ends as E&xit does once Apply has finished";
    Written shown; // what the window showed, Apply's choices included
    shown.width = 800;
    shown.height = 600;
    shown.scaling = 1;
    shown.minimized = 1;
    shown.kbInd = 0;
    EXPECT_EQ(writtenText(shown), settings());
    EXPECT_EQ("800x600", screenSize());
    for (std::string const& change : log.settled())
        EXPECT_NE("1024x768", change);
    for (UINT icon = mainIcon; icon < mainIcon + 4; ++icon)
        EXPECT_FALSE(wintest::shellHasIcon(main, icon)) << "icon " << icon - mainIcon;
}

TEST_F(CommandLine, ALaterStartDuringTheStartCommandsQuestionIsToldBusy)
{
    ASSERT_TRUE(wintest::createRegistryKey(HKEY_LOCAL_MACHINE, kDriverKey));
    deleteMachineValue(kDriverKey, L"Display1_DownScalingSupported"); // so that Apply asks
    std::string scaled = inTraySettingsText();
    scaled.replace(scaled.find("Scaling=0"), 9, "Scaling=1");
    ASSERT_TRUE(writeFileBytes(firstFolder_.file(L"Resolution.ini"), scaled));
    ASSERT_TRUE(first_.start(L"/mode 800x600"));
    HWND const warning = waitForDialog(first_.id(), L"Warning");
    ASSERT_NE(nullptr, warning);
    EXPECT_EQ(3, later(L"/tray").exitCode);
    postClick(GetDlgItem(warning, IDNO));
    EXPECT_TRUE(waitUntil([&] { return !IsWindow(warning); }));
    EXPECT_EQ(0, later(L"/exit").exitCode);
    EXPECT_EQ(0, first_.waitForExit(0));
}

TEST_F(CommandLine, WithNoCopyRunningACommandStartsTheProgramOrNothing)
{
    // /exit has nothing to end and starts nothing.
    ToolProcess::CommandRun const exitRun = first_.run(L"/exit", 5000);
    EXPECT_EQ(0, exitRun.exitCode);
    EXPECT_FALSE(exitRun.hadMainWindow);
    EXPECT_FALSE(fileExists(firstFolder_.file(L"Resolution.ini")));

    // /mode starts the program and then switches as the tray menu does. A
    // /show handed over while it is still starting waits until it is
    // built, so it comes after the start-minimised setting.
    DisplayChangeLog log;
    ASSERT_TRUE(writeFileBytes(firstFolder_.file(L"Resolution.ini"), inTraySettingsText()));
    ASSERT_TRUE(first_.start(L"/mode 1024x768"));
    ASSERT_TRUE(waitUntil([] {
        HANDLE const mutex = OpenMutexW(SYNCHRONIZE, FALSE, L"KOVIX Tool single instance");
        if (mutex != nullptr)
            CloseHandle(mutex);
        return mutex != nullptr;
    }, 10000));
    EXPECT_EQ(0, later(L"/show").exitCode);
    HWND const main = first_.waitForMainWindow();
    ASSERT_NE(nullptr, main);
    std::string seen;
    EXPECT_TRUE(waitShownInFront(main, seen)) << seen;
    EXPECT_EQ("1024x768", screenSize());
    EXPECT_EQ(Changes{"1024x768"}, log.settled());
    EXPECT_TRUE(has(settings(), "\r\nResolution=1024,768;\r\n")) << settings();
    EXPECT_TRUE(has(settings(), "\r\nMinimized=1;\r\n"));
    EXPECT_TRUE(isButtonChecked(findDescendant(main, L"1024 x 768")));

    EXPECT_EQ(0, later(L"/exit").exitCode);
    EXPECT_EQ(0, first_.waitForExit(0));
}

TEST_F(CommandLine, AStartWithTrayOrShowOverridesStartMinimized)
{
    std::string shown = inTraySettingsText();
    shown.replace(shown.find("Minimized=1"), 11, "Minimized=0");
    for (bool const intoTray : {true, false}) {
        SCOPED_TRACE(intoTray ? "/tray with Minimized=0" : "/show with Minimized=1");
        std::string const saved = intoTray ? shown : inTraySettingsText();
        ASSERT_TRUE(writeFileBytes(firstFolder_.file(L"Resolution.ini"), saved));
        ASSERT_TRUE(first_.start(intoTray ? L"/tray" : L"/show"));
        HWND const main = first_.waitForMainWindow();
        ASSERT_NE(nullptr, main);
        if (intoTray) {
            EXPECT_TRUE(waitUntil([&] { return inTray(main); }));
        } else {
            // Shown is the point; whether Wine lets a process started in the
            // background take the foreground depends on who has it.
            EXPECT_TRUE(waitUntil([&] { return IsWindowVisible(main) && !IsIconic(main); }))
                << "visible " << IsWindowVisible(main) << ", minimised " << IsIconic(main);
        }
        waitUntil([] { return false; }, 500);
        EXPECT_EQ(intoTray, inTray(main)) << "and stays so";
        EXPECT_EQ(saved, settings()) << "the setting itself is kept";
        EXPECT_EQ(0, later(L"/exit").exitCode);
        EXPECT_EQ(0, first_.waitForExit(0));
    }
}

TEST_F(CommandLine, AnUnquotedProgramPathWithItsBlankIsTheProgramsNameWhole)
{
    // As WinExec, a CreateProcess that names only the application, or an
    // unquoted Run value start it: the path as it stands, blank and all.
    ASSERT_TRUE(writeFileBytes(firstFolder_.file(L"Resolution.ini"), inTraySettingsText()));
    ASSERT_TRUE(first_.startAs(first_.exePath()));
    HWND const main = first_.waitForMainWindow();
    HWND const box = findProcessWindow(first_.id(), L"#32770");
    ASSERT_NE(nullptr, main) << "no window; box: "
                             << testing::PrintToString(box != nullptr ? messageBoxText(box) : L"");

    ASSERT_TRUE(second_.startAs(second_.exePath() + L" /exit"));
    EXPECT_EQ(0, second_.waitForExit(slowed(10000))) << "the command after the unquoted path";
    EXPECT_EQ(0, first_.waitForExit(slowed(5000)));
}

// On a display without 1024x768 the switch fails for real.
TEST_F(CommandLine, WithoutTheModeAModeCommandEndsWithCode1)
{
    if (wintest::offersMode(1024, 768))
        GTEST_SKIP() << "needs a display without 1024x768: ctest -L no1024 (tests/e2e/no1024.sh)";
    HWND const main = startFirst();
    ASSERT_NE(nullptr, main);
    EXPECT_EQ(1, later(L"/mode 1024x768").exitCode);
    EXPECT_EQ("800x480", screenSize());
    EXPECT_TRUE(has(settings(), "\r\nResolution=1024,768;\r\n")) << "saved all the same, as from the tray";
    EXPECT_EQ(0, later(L"/mode 800x600").exitCode) << "a mode the display has";
    EXPECT_EQ("800x600", screenSize());
}

} // namespace

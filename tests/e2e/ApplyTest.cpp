// Apply end to end: the real program's choices reach the display, the
// settings file, the registry, the tray and the OSD only through Apply or a
// mode command of the tray menu, and the driver's downscaling questions are
// answered as a user would.
#include <gtest/gtest.h>
#include <windows.h>
#include <tlhelp32.h>

#include <string>
#include <vector>

#include "app/resource.h"
#include "tests/e2e/ToolChecks.h"
#include "tests/e2e/ToolProcess.h"

namespace {

wchar_t const kEnabled[] = L"Display1_DownScalingEnabled";
wchar_t const kSupported[] = L"Display1_DownScalingSupported";
wchar_t const kPruningMode[] = L"PruningMode";

wchar_t const kWarningText[] =
    L"To enable downscaling, changes must be applied to the registry!\nDo you wish to continue?";
wchar_t const kQuestionText[] =
    L"To properly apply downscaled resolution your must restart the computer!\n"
    L"Do you want to restart now?";

using Changes = std::vector<std::string>;

// A file as a user might have edited it: a comment and a key of their own,
// colours and an OSD place of their choosing.
std::string handEdited(char const* resolution, char const* scaling, char const* minimized,
                       char const* kbInd)
{
    return std::string("; my notes\r\n"
                       "[KOVIX Tool resolution settings]\r\n"
                       "Resolution=") + resolution + ";\r\n"
           "Scaling=" + scaling + ";\r\n"
           "Minimized=" + minimized + ";\r\n"
           "MyOwnKey=7;\r\n"
           "NumLock=1;\r\n"
           "NumLckBG=255;\r\n"
           "CapsLock=1;\r\n"
           "CpsLckFG=123456;\r\n"
           "ScrlLock=1;\r\n"
           "ScrLckBG=16711680;\r\n"
           "\r\n"
           "[OSD Settings]\r\n"
           "KbInd=" + kbInd + ";\r\n"
           "KbIndClr=65535;\r\n"
           "KbIndPos=3;\r\n";
}

// What Apply writes back of handEdited(): its colours and OSD place as they
// were loaded, Scaling and KbInd as given; the caller sets the rest.
Written writtenFromHandEdited(int scaling, int kbInd)
{
    Written written;
    written.scaling = scaling;
    written.kbInd = kbInd;
    written.numBG = 255;
    written.capsFG = 123456;
    written.scrBG = 16711680;
    written.kbIndClr = 65535;
    written.kbIndPos = 3;
    return written;
}

// Zero while the file cannot be looked at (in the middle of its replacing).
FILETIME writeTime(std::wstring const& path)
{
    WIN32_FILE_ATTRIBUTE_DATA data = {};
    if (!GetFileAttributesExW(path.c_str(), GetFileExInfoStandard, &data))
        return FILETIME{};
    return data.ftLastWriteTime;
}

bool sameTime(FILETIME const& a, FILETIME const& b)
{
    return a.dwLowDateTime == b.dwLowDateTime && a.dwHighDateTime == b.dwHighDateTime;
}

// The settings window's controls that Apply reads.
struct Controls {
    HWND scaling, startup, minimized, osd;
    HWND r480, r600, r768;
    HWND numLock, capsLock, scrollLock;
    HWND apply;
};

bool processRunning(wchar_t const* exeName)
{
    HANDLE const snapshot = CreateToolhelp32Snapshot(TH32CS_SNAPPROCESS, 0);
    if (snapshot == INVALID_HANDLE_VALUE)
        return false;
    PROCESSENTRY32W process = {};
    process.dwSize = sizeof(process);
    bool found = false;
    for (BOOL more = Process32FirstW(snapshot, &process); more && !found;
         more = Process32NextW(snapshot, &process))
        found = lstrcmpiW(process.szExeFile, exeName) == 0;
    CloseHandle(snapshot);
    return found;
}

// The end of the session as a program sees it: a top-level window of a
// process of its own that notes WM_QUERYENDSESSION and WM_ENDSESSION in
// a file ("--child session_witness FILE").
wchar_t witnessLog[MAX_PATH] = {};

void noteForWitness(std::string const& line)
{
    HANDLE const file = CreateFileW(witnessLog, FILE_APPEND_DATA, FILE_SHARE_READ, nullptr,
                                    OPEN_ALWAYS, 0, nullptr);
    if (file == INVALID_HANDLE_VALUE)
        return;
    DWORD written = 0;
    WriteFile(file, line.data(), DWORD(line.size()), &written, nullptr);
    CloseHandle(file);
}

LRESULT CALLBACK witnessProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam)
{
    if (message == WM_QUERYENDSESSION) {
        noteForWitness("query\n");
        return TRUE;
    }
    if (message == WM_ENDSESSION) {
        noteForWitness("end " + std::to_string(wParam) + "\n");
        return 0;
    }
    return DefWindowProcW(window, message, wParam, lParam);
}

} // namespace

KOVIX_CHILD_MODE(session_witness)
{
    if (argc < 1)
        return 2;
    lstrcpynW(witnessLog, argv[0], MAX_PATH);
    WNDCLASSW windowClass = {};
    windowClass.lpfnWndProc = witnessProc;
    windowClass.hInstance = GetModuleHandleW(nullptr);
    windowClass.lpszClassName = L"KovixTestSessionWitness";
    RegisterClassW(&windowClass);
    if (CreateWindowExW(0, windowClass.lpszClassName, L"witness", WS_OVERLAPPED, 0, 0, 10, 10,
                        nullptr, nullptr, windowClass.hInstance, nullptr) == nullptr)
        return 3;
    noteForWitness("ready\n");
    MSG message;
    while (GetMessageW(&message, nullptr, 0, 0) > 0)
        DispatchMessageW(&message);
    return 0;
}

namespace {

class ApplyTest : public testing::Test {
protected:
    void SetUp() override
    {
        if (!host::inRig())
            GTEST_SKIP() << "needs the test rig's switchable display and tray host (tools/rig.sh exec)";
        deleteMachineValue(kRunKey, kRunValue);
        ASSERT_TRUE(wintest::createRegistryKey(HKEY_LOCAL_MACHINE, kDriverKey));
        deleteMachineValue(kDriverKey, kSupported);
        deleteMachineValue(kDriverKey, kPruningMode);
    }

    void TearDown() override
    {
        tool_.kill();
        if (!host::inRig())
            return; // skipped: no display of ours to put back
        // Whatever happened, the panel's own mode comes back.
        EXPECT_TRUE(wintest::restoreNativeScreenMode());
        EXPECT_EQ("800x480", screenSize());
    }

    HWND startWith(std::string const& settings)
    {
        EXPECT_TRUE(writeFileBytes(settingsPath(), settings));
        EXPECT_TRUE(tool_.start());
        HWND const main = tool_.waitForMainWindow();
        if (main != nullptr) {
            c_ = {findDescendant(main, L"Enable scaling"), findDescendant(main, L"Start with Windows"),
                  findDescendant(main, L"Start minimized"), findDescendant(main, L"OSD Keyboard indicator"),
                  findDescendant(main, L"800 x 480"), findDescendant(main, L"800 x 600"),
                  findDescendant(main, L"1024 x 768"), findDescendant(main, L"Num lock"),
                  findDescendant(main, L"Caps lock"), findDescendant(main, L"Scroll lock"),
                  findDescendant(main, L"Apply")};
        }
        return main;
    }

    std::wstring settingsPath() const { return folder_.file(L"Resolution.ini"); }
    std::string settings() const { return readFileBytes(settingsPath()); }

    // A tray menu's mode command. Sent rather than posted, so that it
    // returns once handled; the window procedure takes both alike.
    bool modeCommand(WPARAM command)
    {
        DWORD_PTR result = 0;
        return SendMessageTimeoutW(tool_.mainWindow(), WM_COMMAND, command, 0, SMTO_NORMAL, 30000,
                                   &result) != 0;
    }

    HWND waitForBox(wchar_t const* caption, DWORD timeoutMs = 10000)
    {
        return waitForDialog(tool_.id(), caption, timeoutMs);
    }

    // Clicks one of a message box's buttons and waits until the box is gone.
    bool answer(HWND box, int button)
    {
        HWND const control = GetDlgItem(box, button);
        if (control == nullptr)
            return false;
        postClick(control);
        return waitUntil([&] { return !IsWindow(box); });
    }

    // Apply, Yes to the downscaling warning, then the box that follows.
    HWND applyAndAgreeToPrepare(wchar_t const* nextCaption)
    {
        postClick(c_.apply);
        HWND const warning = waitForBox(L"Warning");
        if (warning == nullptr || !answer(warning, IDYES))
            return nullptr;
        return waitForBox(nextCaption);
    }

    int openBoxes() const { return countProcessWindows(tool_.id(), L"#32770"); }

    // Apply's last step, the file replaced since `before`, then holding
    // `expected`. Only the file's time is watched meanwhile: a handle of
    // ours would make the program's replacing of the file fail. A display
    // switch on a busy machine can take seconds.
    bool waitForRewrite(FILETIME const& before, std::string const& expected, DWORD timeoutMs = 30000)
    {
        if (!waitUntil([&] {
                FILETIME const now = writeTime(settingsPath());
                return !sameTime(now, FILETIME{}) && !sameTime(now, before);
            }, timeoutMs))
            return false;
        // The replacing handle may still be open for a moment.
        return waitUntil([&] { return settings() == expected; }, 3000);
    }

    MachineValuesGuard runValue_{kRunKey, {kRunValue}};
    MachineValuesGuard driverValues_{kDriverKey, {kEnabled, kSupported, kPruningMode}};
    TempFolder folder_;
    ToolProcess tool_{folder_};
    Controls c_ = {};
};

} // namespace

TEST_F(ApplyTest, ModeChoicesWaitForApplyOrComeFromTheTrayMenu)
{
    DisplayChangeLog log;
    std::string const edited = handEdited("800,480", "0", "5", "1");
    HWND const main = startWith(edited);
    ASSERT_NE(nullptr, main);
    EXPECT_TRUE(log.settled().empty()) << "already in the saved mode";

    // A click on a radio button stays inside the program.
    ASSERT_TRUE(clickAndWait(c_.r600));
    EXPECT_TRUE(isButtonChecked(c_.r600));
    EXPECT_FALSE(isButtonChecked(c_.r480));
    EXPECT_EQ(edited, settings());
    EXPECT_EQ("800x480", screenSize());
    EXPECT_TRUE(log.settled().empty());

    // Apply switches and rewrites the file whole from its template: the
    // notes and the extra key go, "Minimized=5" comes back as 1.
    ASSERT_TRUE(clickAndWait(c_.apply));
    EXPECT_EQ("800x600", screenSize());
    EXPECT_EQ("800x600", host::screenSize()) << "the X screen itself";
    EXPECT_EQ(Changes{"800x600"}, log.settled());
    Written written = writtenFromHandEdited(0, 1);
    written.width = 800;
    written.height = 600;
    written.minimized = 1;
    EXPECT_EQ(writtenText(written), settings());

    // The tray menu's command for the mode already chosen does nothing: the
    // file (marked, to show a rewrite) and the display stay.
    std::string const marked = "; marked\r\n" + settings();
    ASSERT_TRUE(writeFileBytes(settingsPath(), marked));
    FILETIME const markedTime = writeTime(settingsPath());
    log.clear();
    ASSERT_TRUE(modeCommand(IDM_MODE_800X600));
    EXPECT_EQ(marked, settings());
    EXPECT_TRUE(sameTime(markedTime, writeTime(settingsPath())));
    EXPECT_TRUE(log.settled().empty());

    // Another mode from the tray: its radio button and Apply.
    ASSERT_TRUE(modeCommand(IDM_MODE_1024X768));
    EXPECT_TRUE(isButtonChecked(c_.r768));
    EXPECT_FALSE(isButtonChecked(c_.r600));
    EXPECT_FALSE(isButtonChecked(c_.r480));
    EXPECT_EQ("1024x768", screenSize());
    written.width = 1024;
    written.height = 768;
    EXPECT_EQ(writtenText(written), settings());

    ASSERT_TRUE(modeCommand(IDM_MODE_800X480));
    EXPECT_TRUE(isButtonChecked(c_.r480));
    EXPECT_FALSE(isButtonChecked(c_.r768));
    EXPECT_EQ("800x480", screenSize());
    EXPECT_EQ("800x480", host::screenSize());
    EXPECT_EQ((Changes{"1024x768", "800x480"}), log.settled());
    written.width = 800;
    written.height = 480;
    EXPECT_EQ(writtenText(written), settings());
}

TEST_F(ApplyTest, StartWithWindowsStoresTheQuotedPathOfTheRunningProgramUntilUnchecked)
{
    HWND const main = startWith(handEdited("800,480", "0", "1", "0"));
    ASSERT_NE(nullptr, main);
    EXPECT_FALSE(isButtonChecked(c_.startup)) << "no Run value at start";

    ASSERT_TRUE(clickAndWait(c_.startup));
    DWORD type = 0;
    readMachineValue(kRunKey, kRunValue, &type);
    EXPECT_EQ(0u, type) << "nothing before Apply";

    ASSERT_TRUE(clickAndWait(c_.apply));
    std::string const stored = readMachineValue(kRunKey, kRunValue, &type);
    EXPECT_EQ(DWORD(REG_SZ), type);
    // In quotes, as the path holds a blank ("...\KOVIX Tool.exe").
    EXPECT_EQ(L"\"" + tool_.exePath() + L"\"", registryText(stored));

    ASSERT_TRUE(clickAndWait(c_.startup));
    ASSERT_TRUE(clickAndWait(c_.apply));
    readMachineValue(kRunKey, kRunValue, &type);
    EXPECT_EQ(0u, type) << "deleted";
}

TEST_F(ApplyTest, TheOsdAndTheLockIconsFollowTheirBoxesAtApply)
{
    // Minimised at start, so that the OSD shows over the bare desktop.
    HWND const main = startWith(handEdited("800,480", "0", "1", "1"));
    ASSERT_NE(nullptr, main);
    UINT const mainIcon = kMainTrayIconId;
    UINT const numIcon = mainIcon + 1;
    UINT const capsIcon = mainIcon + 2;
    UINT const scrollIcon = mainIcon + 3;
    ASSERT_TRUE(waitUntil([&] {
        return wintest::shellHasIcon(main, mainIcon) && wintest::shellHasIcon(main, numIcon) &&
               wintest::shellHasIcon(main, capsIcon) && wintest::shellHasIcon(main, scrollIcon);
    }));
    HWND const firstOsd = waitForProcessWindow(tool_.id(), kOsdWindowClass, nullptr);
    ASSERT_NE(nullptr, firstOsd);
    EXPECT_TRUE(waitUntil([&] { return IsWindowVisible(firstOsd) != FALSE; }));
    waitUntil([] { return false; }, 1200); // until the CPU line, sampled every fourth tick
    EXPECT_TRUE(wintest::saveScreenshot(screenshotFolder() + L"\\osd-over-desktop.bmp"));

    // Unticking changes nothing until Apply.
    ASSERT_TRUE(clickAndWait(c_.osd));
    ASSERT_TRUE(clickAndWait(c_.capsLock));
    EXPECT_TRUE(IsWindow(firstOsd));
    EXPECT_TRUE(wintest::shellHasIcon(main, capsIcon));

    ASSERT_TRUE(clickAndWait(c_.apply));
    EXPECT_FALSE(IsWindow(firstOsd));
    EXPECT_EQ(nullptr, findProcessWindow(tool_.id(), kOsdWindowClass));
    EXPECT_FALSE(wintest::shellHasIcon(main, capsIcon));
    EXPECT_TRUE(wintest::shellHasIcon(main, mainIcon));
    EXPECT_TRUE(wintest::shellHasIcon(main, numIcon));
    EXPECT_TRUE(wintest::shellHasIcon(main, scrollIcon));
    Written written = writtenFromHandEdited(0, 0);
    written.minimized = 1;
    written.capsLock = 0;
    EXPECT_EQ(writtenText(written), settings());

    ASSERT_TRUE(clickAndWait(c_.osd));
    ASSERT_TRUE(clickAndWait(c_.capsLock));
    ASSERT_TRUE(clickAndWait(c_.apply));
    HWND const secondOsd = findProcessWindow(tool_.id(), kOsdWindowClass);
    ASSERT_NE(nullptr, secondOsd) << "a new OSD window";
    // It shows once a poll has given it its text, and takes that text's size.
    EXPECT_TRUE(waitUntil([&] {
        RECT rect = {};
        GetWindowRect(secondOsd, &rect);
        return IsWindowVisible(secondOsd) && rect.right > rect.left;
    }, 3000));
    EXPECT_TRUE(wintest::shellHasIcon(main, capsIcon));
    written.capsLock = 1;
    written.kbInd = 1;
    EXPECT_EQ(writtenText(written), settings());
}

TEST_F(ApplyTest, NoToTheDownscalingQuestionWritesOnlyTheFlagAndANestedApplyIsIgnored)
{
    DisplayChangeLog log;
    HWND const main = startWith(handEdited("800,480", "0", "0", "0"));
    ASSERT_NE(nullptr, main);
    ASSERT_TRUE(clickAndWait(c_.scaling));
    postClick(c_.apply);
    HWND const warning = waitForBox(L"Warning");
    ASSERT_NE(nullptr, warning);
    EXPECT_EQ(std::wstring(kWarningText), messageBoxText(warning));
    EXPECT_EQ(main, GetWindow(warning, GW_OWNER));

    // While the question is open: Apply again and a mode from the tray.
    postClick(c_.apply);
    EXPECT_TRUE(modeCommand(IDM_MODE_800X600));
    waitUntil([] { return false; }, 500);
    EXPECT_EQ(1, openBoxes()) << "no second question";
    EXPECT_TRUE(isButtonChecked(c_.r480));
    EXPECT_FALSE(isButtonChecked(c_.r600));

    FILETIME const before = writeTime(settingsPath());
    ASSERT_TRUE(answer(warning, IDNO));
    EXPECT_TRUE(waitForRewrite(before, writtenText(writtenFromHandEdited(1, 0)))) << settings();
    waitUntil([] { return false; }, 500);
    EXPECT_EQ(0, openBoxes()) << "the Apply clicked meanwhile does not come back";
    EXPECT_EQ("800x480", screenSize());
    // Scaling changed in the chosen 800x480: the one switch to it, once.
    EXPECT_EQ(Changes{"800x480"}, log.settled());

    DWORD type = 0;
    EXPECT_EQ(std::string("\x01\0\0\0", 4), readMachineValue(kDriverKey, kEnabled, &type));
    EXPECT_EQ(DWORD(REG_BINARY), type);
    readMachineValue(kDriverKey, kSupported, &type);
    EXPECT_EQ(0u, type);
    readMachineValue(kDriverKey, kPruningMode, &type);
    EXPECT_EQ(0u, type);
}

TEST_F(ApplyTest, YesThenNoPreparesTheDriverWithoutARestartAndTheNextApplyAsksNothing)
{
    // Scaling on already: Apply switches nothing here.
    HWND const main = startWith(handEdited("800,480", "1", "0", "0"));
    ASSERT_NE(nullptr, main);
    EXPECT_TRUE(isButtonChecked(c_.scaling));
    deleteMachineValue(kDriverKey, kEnabled); // written at start; Apply writes it again

    HWND const question = applyAndAgreeToPrepare(L"Question");
    ASSERT_NE(nullptr, question);
    EXPECT_EQ(std::wstring(kQuestionText), messageBoxText(question));
    DWORD type = 0;
    EXPECT_EQ(dword(1), readMachineValue(kDriverKey, kSupported, &type));
    EXPECT_EQ(DWORD(REG_DWORD), type);
    EXPECT_EQ(dword(0), readMachineValue(kDriverKey, kPruningMode, &type));
    EXPECT_EQ(DWORD(REG_DWORD), type);

    FILETIME const before = writeTime(settingsPath());
    ASSERT_TRUE(answer(question, IDNO));
    EXPECT_TRUE(waitForRewrite(before, writtenText(writtenFromHandEdited(1, 0)))) << settings();
    EXPECT_EQ(std::string("\x01\0\0\0", 4), readMachineValue(kDriverKey, kEnabled, &type));
    EXPECT_EQ(DWORD(REG_BINARY), type);
    EXPECT_EQ(0, openBoxes()) << "no restart, so no error either";
    EXPECT_EQ(-1, tool_.waitForExit(0)) << "still running";

    // Prepared now: the next Apply asks nothing (a box would hold the click).
    EXPECT_TRUE(clickAndWait(c_.apply, 5000));
    EXPECT_EQ(0, openBoxes());
}

TEST_F(ApplyTest, ChangingScalingInTheChosenModeSwitchesThroughTheNativeMode)
{
    // A prepared driver: no questions.
    ASSERT_TRUE(writeMachineValue(kDriverKey, kSupported, REG_DWORD, dword(1)));
    DisplayChangeLog log;
    HWND const main = startWith(handEdited("800,600", "0", "0", "0"));
    ASSERT_NE(nullptr, main);
    EXPECT_EQ(Changes{"800x600"}, log.settled()) << "the saved mode restored at start";
    EXPECT_TRUE(isButtonChecked(c_.r600));
    EXPECT_FALSE(isButtonChecked(c_.r480));
    EXPECT_FALSE(isButtonChecked(c_.r768));

    log.clear();
    ASSERT_TRUE(clickAndWait(c_.scaling));
    ASSERT_TRUE(clickAndWait(c_.apply));
    EXPECT_EQ((Changes{"800x480", "800x600"}), log.settled());
    EXPECT_EQ("800x600", screenSize());
    EXPECT_EQ(std::string("\x01\0\0\0", 4), readMachineValue(kDriverKey, kEnabled));

    log.clear();
    ASSERT_TRUE(clickAndWait(c_.apply));
    EXPECT_TRUE(log.settled().empty()) << "nothing changed since the last Apply";

    // Another mode along with the scaling change: one plain switch.
    ASSERT_TRUE(clickAndWait(c_.scaling));
    ASSERT_TRUE(clickAndWait(c_.r480));
    ASSERT_TRUE(clickAndWait(c_.apply));
    EXPECT_EQ(Changes{"800x480"}, log.settled());
    EXPECT_EQ(std::string("\0\0\0\0", 4), readMachineValue(kDriverKey, kEnabled));
    EXPECT_EQ(writtenText(writtenFromHandEdited(0, 0)), settings());
}

TEST_F(ApplyTest, WithoutTheDriversKeyNothingIsWrittenAndScalingIsSaidToChangeNothing)
{
    RegDeleteKeyW(HKEY_LOCAL_MACHINE, kDriverKey); // as on a machine without the driver
    HKEY made = nullptr;
    ASSERT_NE(nullptr, startWith(handEdited("800,480", "1", "0", "0")));
    EXPECT_NE(ERROR_SUCCESS, RegOpenKeyExW(HKEY_LOCAL_MACHINE, kDriverKey, 0, KEY_READ, &made));

    postClick(c_.apply);
    HWND const error = waitForBox(L"Error!");
    ASSERT_NE(nullptr, error);
    EXPECT_EQ(L"This computer's graphics driver offers no downscaling.\n"
              L"\"Enable scaling\" is saved, but it changes nothing here.",
              messageBoxText(error));
    FILETIME const before = writeTime(settingsPath());
    ASSERT_TRUE(answer(error, IDOK));
    EXPECT_TRUE(waitForRewrite(before, writtenText(writtenFromHandEdited(1, 0)))) << settings();
    EXPECT_NE(ERROR_SUCCESS, RegOpenKeyExW(HKEY_LOCAL_MACHINE, kDriverKey, 0, KEY_READ, &made));
}

// The restart ends the Wine session and every program in it, so this runs
// only in a rig and Wine prefix of its own: ctest -L session-end
// (tests/e2e/restart_request.sh).
TEST_F(ApplyTest, YesThenYesHandsTheRestartToTheSystemAndTheSessionEnds)
{
    wchar_t own[4] = {};
    if (GetEnvironmentVariableW(L"KOVIX_OWN_WINE_SESSION", own, ARRAYSIZE(own)) == 0 ||
        std::wstring(own) != L"1")
        GTEST_SKIP() << "ends the Wine session: run by tests/e2e/restart_request.sh";

    std::wstring const witnessFile = folder_.file(L"witness.log");
    std::wstring commandLine = L"\"" + ownExecutablePath() + L"\" --child session_witness \"" +
                               witnessFile + L"\"";
    STARTUPINFOW startup = {};
    startup.cb = sizeof(startup);
    PROCESS_INFORMATION witness = {};
    ASSERT_TRUE(CreateProcessW(nullptr, &commandLine[0], nullptr, nullptr, FALSE, 0, nullptr,
                               nullptr, &startup, &witness));
    CloseHandle(witness.hThread);
    ASSERT_TRUE(waitUntil([&] { return readFileBytes(witnessFile) == "ready\n"; }));

    // Scaling on already, so that Apply has no switch to make afterwards.
    HWND const main = startWith(handEdited("800,480", "1", "0", "0"));
    ASSERT_NE(nullptr, main);
    HWND const question = applyAndAgreeToPrepare(L"Question");
    ASSERT_NE(nullptr, question);
    ASSERT_TRUE(answer(question, IDYES));

    bool errorShown = false;
    bool winebootSeen = false;
    bool const ended = waitUntil([&] {
        errorShown = errorShown || findProcessWindow(tool_.id(), L"#32770", L"Error!") != nullptr;
        winebootSeen = winebootSeen || processRunning(L"wineboot.exe");
        return WaitForSingleObject(tool_.handle(), 0) == WAIT_OBJECT_0;
    }, 20000);
    EXPECT_TRUE(ended) << "the session's end closes the program";
    EXPECT_FALSE(errorShown) << "the restart was accepted";
    EXPECT_TRUE(winebootSeen) << "Wine ends a session through wineboot";
    EXPECT_EQ(0, tool_.waitForExit(0));
    EXPECT_EQ("ready\nquery\nend 1\n", readFileBytes(witnessFile)) << "the other program was asked and told";
    EXPECT_EQ(WAIT_OBJECT_0, WaitForSingleObject(witness.hProcess, 5000)) << "and closed";
    CloseHandle(witness.hProcess);

    DWORD type = 0;
    EXPECT_EQ(dword(1), readMachineValue(kDriverKey, kSupported, &type));
    EXPECT_EQ(dword(0), readMachineValue(kDriverKey, kPruningMode, &type));
    // Everything was saved before the session's end could close the program.
    EXPECT_EQ(writtenText(writtenFromHandEdited(1, 0)), settings());
}

// ---- Without administrator rights: the machine's keys refuse every write,
// as Windows does for a program that runs without elevation.

namespace {

// The Run value under the user's own key; empty when absent.
std::wstring userRunValue()
{
    DWORD type = 0;
    std::string data;
    if (!wintest::readRegistryValue(HKEY_CURRENT_USER, kUserRunKey, kRunValue, type, data))
        return L"";
    return registryText(data);
}

void deleteUserRunValue()
{
    HKEY key = nullptr;
    if (RegOpenKeyExW(HKEY_CURRENT_USER, kUserRunKey, 0, KEY_SET_VALUE, &key) != ERROR_SUCCESS)
        return;
    RegDeleteValueW(key, kRunValue);
    RegCloseKey(key);
}

class WithoutRights : public ApplyTest {
protected:
    void SetUp() override
    {
        ApplyTest::SetUp();
        deleteUserRunValue();
    }
    void TearDown() override
    {
        ApplyTest::TearDown();
        deleteUserRunValue();
        SetFileAttributesW(settingsPath().c_str(), FILE_ATTRIBUTE_NORMAL);
    }

    // "E&xit", then a new start on the same files.
    HWND restart(std::string const& settings)
    {
        PostMessageW(tool_.mainWindow(), WM_COMMAND, IDM_EXIT, 0);
        EXPECT_EQ(0, tool_.waitForExit(10000));
        return startWith(settings);
    }
};

} // namespace

// The machine's value names the copy at its old path: the program was moved.
TEST_F(WithoutRights, StartWithWindowsLandsUnderTheUsersKeyAndCountsFromThere)
{
    std::string const data = regSz(L"\"C:\\Tools\\KOVIX Tool.exe\"");
    ASSERT_TRUE(writeMachineValue(kRunKey, kRunValue, REG_SZ, data));
    wintest::KeyLock const lock(HKEY_LOCAL_MACHINE, kRunKey, toolRegistryView());
    ASSERT_TRUE(lock.locked());
    std::string const edited = handEdited("800,480", "0", "0", "0");
    ASSERT_NE(nullptr, startWith(edited));
    EXPECT_FALSE(isButtonChecked(c_.startup));

    ASSERT_TRUE(clickAndWait(c_.startup));
    ASSERT_TRUE(clickAndWait(c_.apply));
    EXPECT_EQ(data, readMachineValue(kRunKey, kRunValue)) << "the machine's key refused it";
    EXPECT_EQ(L"\"" + tool_.exePath() + L"\"", userRunValue());
    EXPECT_TRUE(isButtonChecked(c_.startup));
    EXPECT_TRUE(waitForBalloon(L"Start with Windows is saved for you; the entry for all users "
                               L"names another copy and only an administrator can remove it."));

    ASSERT_NE(nullptr, restart(edited));
    EXPECT_TRUE(isButtonChecked(c_.startup)) << "the user's value counts at the next start";
    ASSERT_TRUE(clickAndWait(c_.startup));
    ASSERT_TRUE(clickAndWait(c_.apply));
    EXPECT_EQ(L"", userRunValue()) << "deleted";
    EXPECT_FALSE(isButtonChecked(c_.startup));
}

TEST_F(WithoutRights, AMachineValueThisAccountMayNotDeleteShowsAndStays)
{
    std::string const data = regSz(L"\"" + tool_.exePath() + L"\"");
    ASSERT_TRUE(writeMachineValue(kRunKey, kRunValue, REG_SZ, data));
    wintest::KeyLock const lock(HKEY_LOCAL_MACHINE, kRunKey, toolRegistryView());
    ASSERT_TRUE(lock.locked());
    ASSERT_NE(nullptr, startWith(handEdited("800,480", "0", "0", "0")));
    EXPECT_TRUE(isButtonChecked(c_.startup)) << "read with the rights this account has";

    ASSERT_TRUE(clickAndWait(c_.startup));
    ASSERT_TRUE(clickAndWait(c_.apply));
    EXPECT_TRUE(isButtonChecked(c_.startup)) << "it still starts the program";
    EXPECT_TRUE(waitForBalloon(L"Only an administrator can turn off Start with Windows!"));

    // Left on: the earlier value goes on working, and no second one is added.
    ASSERT_TRUE(clickAndWait(c_.apply));
    EXPECT_EQ(data, readMachineValue(kRunKey, kRunValue));
    EXPECT_EQ(L"", userRunValue());
}

TEST_F(WithoutRights, ALockedDriverKeyEndsTheSetUpInAnErrorAndAnUnsavableFileInABalloon)
{
    // Scaling on as an administrator left it: keeping it needs no rights.
    ASSERT_TRUE(writeMachineValue(kDriverKey, kEnabled, REG_BINARY, std::string("\x01\0\0\0", 4)));
    wintest::KeyLock const lock(HKEY_LOCAL_MACHINE, kDriverKey);
    ASSERT_TRUE(lock.locked());
    HWND const main = startWith(handEdited("800,480", "1", "0", "0"));
    ASSERT_NE(nullptr, main);
    std::string const before = settings();
    ASSERT_TRUE(SetFileAttributesW(settingsPath().c_str(), FILE_ATTRIBUTE_READONLY));

    HWND const error = applyAndAgreeToPrepare(L"Error!");
    ASSERT_NE(nullptr, error);
    EXPECT_EQ(L"Preparing downscaling needs administrator rights!\nNothing was changed.",
              messageBoxText(error));
    EXPECT_EQ(main, GetWindow(error, GW_OWNER));
    EXPECT_EQ(1, openBoxes()) << "no restart question";
    DWORD type = 0;
    readMachineValue(kDriverKey, kSupported, &type);
    EXPECT_EQ(0u, type);
    readMachineValue(kDriverKey, kPruningMode, &type);
    EXPECT_EQ(0u, type);

    ASSERT_TRUE(answer(error, IDOK));
    EXPECT_TRUE(waitForBalloon(L"Settings could not be saved to Resolution.ini!"));
    EXPECT_EQ(before, settings()) << "the old file stays whole";

    // Still unprepared: the next Apply asks again.
    postClick(c_.apply);
    HWND const again = waitForBox(L"Warning");
    ASSERT_NE(nullptr, again);
    EXPECT_TRUE(answer(again, IDNO));
}

TEST_F(WithoutRights, AScalingChangeTheDriverKeyRefusesIsSaidAtStartAndAtApply)
{
    ASSERT_TRUE(writeMachineValue(kDriverKey, kEnabled, REG_BINARY, std::string(4, '\0')));
    wintest::KeyLock const lock(HKEY_LOCAL_MACHINE, kDriverKey);
    ASSERT_TRUE(lock.locked());
    ASSERT_NE(nullptr, startWith(handEdited("800,480", "1", "0", "0")));
    EXPECT_TRUE(waitForBalloon(
        L"Downscaling was not set as saved: changing it needs administrator rights."));

    postClick(c_.apply);
    HWND const error = waitForBox(L"Error!");
    ASSERT_NE(nullptr, error);
    EXPECT_EQ(L"Changing downscaling needs administrator rights!\nThe graphics driver was not changed.",
              messageBoxText(error));
    ASSERT_TRUE(answer(error, IDOK));
    EXPECT_EQ(std::string(4, '\0'), readMachineValue(kDriverKey, kEnabled));
}

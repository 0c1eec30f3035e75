// The program killed (TerminateProcess, as hard as SIGKILL for the file) at
// random moments while it applies and rewrites Resolution.ini again and
// again: the file is always the old or the new whole text, and the next start
// reads it. bench/run.sh does the same with 200 SIGKILLs of the host process.
#include <gtest/gtest.h>
#include <windows.h>

#include <stdlib.h>

#include <string>

#include "tests/e2e/ToolChecks.h"
#include "tests/e2e/ToolProcess.h"

namespace {

int const kKills = 20;
int const kQueuedApplies = 300;

// The default contents with Num Lock's icon on or off: the two texts the
// rounds write in turn.
std::string wholeText(bool numLock)
{
    std::string text = defaultSettingsText();
    if (!numLock)
        text.replace(text.find("NumLock=1;"), 10, "NumLock=0;");
    return text;
}

TEST(KillDuringApply, TheSettingsFileIsAlwaysTheOldOrTheNewWholeText)
{
    TempFolder folder;
    std::wstring const settings = folder.file(L"Resolution.ini");
    std::wstring const temporary = folder.file(L"Resolution.in~");
    std::string const numLockOn = wholeText(true);
    std::string const numLockOff = wholeText(false);
    ASSERT_TRUE(writeFileBytes(settings, numLockOn));

    srand(4711);
    int applied = 0;     // rounds whose file changed at least once
    int insideWrite = 0; // kills that left the temporary file of the write
    for (int round = 0; round < kKills; ++round) {
        std::string const before = readFileBytes(settings);
        ToolProcess tool(folder);
        ASSERT_TRUE(tool.start());
        HWND const window = tool.waitForMainWindow();
        ASSERT_NE(nullptr, window) << "round " << round;
        HWND const numLock = findDescendant(window, L"Num lock");
        HWND const apply = findDescendant(window, L"Apply");
        ASSERT_NE(nullptr, numLock);
        ASSERT_NE(nullptr, apply);
        // Each pair changes the text and writes it: the program applies
        // without a pause until the kill.
        for (int i = 0; i < kQueuedApplies; ++i) {
            postClick(numLock);
            postClick(apply);
        }
        Sleep(DWORD(rand() % 400));
        tool.kill();

        std::string const after = readFileBytes(settings);
        ASSERT_TRUE(after == numLockOn || after == numLockOff)
            << "round " << round << ": " << after.size() << " bytes:\n" << after;
        applied += after != before;
        if (fileExists(temporary)) {
            ++insideWrite;
            DeleteFileW(temporary.c_str());
        }
    }
    printf("%d kills: the file changed in %d rounds, %d kills fell inside a write\n", kKills,
           applied, insideWrite);
    EXPECT_GT(applied, 0) << "no kill came after an Apply";
}

} // namespace

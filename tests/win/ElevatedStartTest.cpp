// "Run as administrator" beside a copy without those rights: the elevated
// start ends that copy and runs in its place. Wine gives every process the
// same token, so the elevation is told by an injected query.
#include <gtest/gtest.h>
#include <windows.h>

#include "app/SingleInstance.h"
#include "tests/e2e/ToolProcess.h"
#include "tests/win/WinTestSupport.h"

using namespace wintest;

namespace {

// This process elevated, every other one not.
bool onlyThisProcessElevated(HANDLE process)
{
    return GetProcessId(process) == GetCurrentProcessId();
}

// 0 when the start took the instance, 1 when it left it to the running copy.
KOVIX_CHILD_MODE(elevated_start)
{
    return claimSingleInstance(L"KOVIX TOOL", onlyThisProcessElevated) ? 0 : 1;
}

} // namespace

TEST(ElevatedStart, EndsTheCopyWithoutElevationAndTakesItsPlace)
{
    if (!host::inRig())
        GTEST_SKIP() << "needs the test rig's tray host (tools/rig.sh exec)";
    TempFolder const folder;
    ToolProcess running(folder);
    ASSERT_TRUE(running.start());
    ASSERT_NE(nullptr, running.waitForMainWindow());
    TempFolder const elevatedFolder;
    EXPECT_EQ(0, runChildIn(elevatedFolder, L"elevated_start")) << "the instance is taken";
    EXPECT_EQ(0, running.waitForExit(0)) << "the running copy ended as /exit ends it";
}

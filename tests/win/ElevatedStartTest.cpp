// "Run as administrator" beside a copy without those rights. Wine gives
// every process the same token: the elevation is an injected query.
#include <gtest/gtest.h>

#include "app/SingleInstance.h"
#include "tests/e2e/ToolProcess.h"

static bool onlyThisProcessElevated(HANDLE process)
{
    return GetProcessId(process) == GetCurrentProcessId();
}

KOVIX_CHILD_MODE(elevated_start)
{
    return claimSingleInstance(L"KOVIX TOOL", onlyThisProcessElevated) ? 0 : 1;
}

TEST(ElevatedStart, EndsTheCopyWithoutElevationAndTakesItsPlace)
{
    if (!host::inRig())
        GTEST_SKIP() << "needs the test rig's tray host (tools/rig.sh exec)";
    TempFolder const folder;
    ToolProcess running(folder);
    ASSERT_TRUE(running.start());
    ASSERT_NE(nullptr, running.waitForMainWindow());
    TempFolder const elevatedFolder;
    EXPECT_EQ(0, wintest::runChildIn(elevatedFolder, L"elevated_start")) << "the instance is taken";
    EXPECT_EQ(0, running.waitForExit(0)) << "the running copy ended as /exit ends it";
}

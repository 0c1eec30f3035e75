// Entry of the Win32 test executable. Started with "--child NAME" it acts as
// a helper process of a test instead (a program that must live in a folder
// of its own, or run with other system settings).
#include <gtest/gtest.h>

#include <cstdio>

#include "tests/win/WinTestSupport.h"

namespace wintest {

int childTestResult()
{
    std::fflush(stdout);
    return testing::UnitTest::GetInstance()->Failed() ? 1 : 0;
}

} // namespace wintest

int wmain(int argc, wchar_t** argv)
{
    bool wasChild = false;
    int const childResult = runChildIfAsked(argc, argv, wasChild);
    if (wasChild)
        return childResult;
    testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}

#include "osd/LoadArithmetic.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>

TEST(CpuLoad, TwoProcessorMachine)
{
    // 100 - 198 / 2 + 0.5 = 1.5
    EXPECT_EQ(1, cpuLoadPercent(1.98, 1.0, 2, true));
    // Both processors idle half the time: 100 - 50 + 0.5.
    EXPECT_EQ(50, cpuLoadPercent(1.0, 1.0, 2, true));
    EXPECT_EQ(0, cpuLoadPercent(2.0, 1.0, 2, true));
    EXPECT_EQ(100, cpuLoadPercent(0.0, 1.0, 2, true));
}

TEST(CpuLoad, RoundsHalfUp)
{
    // Kernel times come in 100 ns units; the ratio is what counts.
    EXPECT_EQ(63, cpuLoadPercent(3750000.0, 10000000.0, 1, true)); // 62.5 + 0.5
    EXPECT_EQ(70, cpuLoadPercent(3000000.0, 10000000.0, 1, true)); // 70 + 0.5
    EXPECT_EQ(76, cpuLoadPercent(2450000.0, 10000000.0, 1, true)); // 75.5 + 0.5
}

TEST(CpuLoad, OneProcessorIgnoresTheCount)
{
    EXPECT_EQ(75, cpuLoadPercent(0.25, 1.0, 4, false));
    EXPECT_EQ(75, cpuLoadPercent(0.25, 1.0, 1, false));
    // The whole-machine form over one processor agrees.
    EXPECT_EQ(cpuLoadPercent(0.25, 1.0, 1, false), cpuLoadPercent(0.25, 1.0, 1, true));
    // The same deltas read as a four-processor machine: 100 - 6.25 + 0.5.
    EXPECT_EQ(94, cpuLoadPercent(0.25, 1.0, 4, true));
}

TEST(CpuLoad, JitterIsClampedIntoRange)
{
    // Idle slightly over the elapsed time: -0.5 and -1.5 before clamping; the
    // latter must not come out as -1, which means failure.
    EXPECT_EQ(0, cpuLoadPercent(1.01, 1.0, 1, false));
    EXPECT_EQ(0, cpuLoadPercent(1.02, 1.0, 1, false));
    EXPECT_EQ(0, cpuLoadPercent(2.5, 1.0, 2, true));
    EXPECT_EQ(0, cpuLoadPercent(1e300, 1e-300, 1, false));
    // A shrinking idle counter would read as more than full load.
    EXPECT_EQ(100, cpuLoadPercent(-0.1, 1.0, 1, false));
    EXPECT_EQ(100, cpuLoadPercent(-1e300, 1e-300, 2, true));
}

TEST(CpuLoad, NoFigureFromUnusableInputs)
{
    double const nan = std::numeric_limits<double>::quiet_NaN();
    double const inf = std::numeric_limits<double>::infinity();
    EXPECT_EQ(-1, cpuLoadPercent(0.5, 0.0, 1, true));
    EXPECT_EQ(-1, cpuLoadPercent(0.5, -1.0, 1, true));
    EXPECT_EQ(-1, cpuLoadPercent(0.5, 1.0, 0, true));
    EXPECT_EQ(-1, cpuLoadPercent(0.5, 1.0, 0, false));
    EXPECT_EQ(-1, cpuLoadPercent(nan, 1.0, 1, true));
    EXPECT_EQ(-1, cpuLoadPercent(0.5, nan, 1, true));
    EXPECT_EQ(-1, cpuLoadPercent(inf, 1.0, 1, true));
    EXPECT_EQ(-1, cpuLoadPercent(0.5, inf, 1, true));
}

TEST(KernelTime, HalvesCombine)
{
    uint32_t const halves[][2] = {{0, 0}, {0, 1}, {0, 0xFFFFFFFFu}, {1, 0}, {2, 5}, {0x1FFFFF, 0xFFFFFFFFu}};
    for (auto const& h : halves) {
        uint64_t const whole = (uint64_t(h[0]) << 32) | h[1];
        EXPECT_EQ(double(whole), kernelTimeToDouble(h[0], h[1])) << h[0] << ":" << h[1];
    }
    // Past 2^53 the value is rounded, not wrapped.
    EXPECT_NEAR(1.8446744073709552e19, kernelTimeToDouble(0xFFFFFFFFu, 0xFFFFFFFFu), 4096.0);
}

TEST(MemoryLoad, FromThe32BitStatus)
{
    uint32_t const mib = 1048576;
    EXPECT_EQ(75u, memoryLoadFromTotals(512 * mib, 128 * mib));
    EXPECT_EQ(66u, memoryLoadFromTotals(3, 1)); // truncated, not rounded
    EXPECT_EQ(100u, memoryLoadFromTotals(512 * mib, 0));
    EXPECT_EQ(0u, memoryLoadFromTotals(512 * mib, 512 * mib));
    EXPECT_EQ(99u, memoryLoadFromTotals(0xFFFFFFFFu, 1));
}

TEST(MemoryLoad, NoTotal)
{
    EXPECT_EQ(0u, memoryLoadFromTotals(0, 0));
    EXPECT_EQ(0u, memoryLoadFromTotals(0, 100));
}

TEST(MemoryLoad, DifferenceIsUnsigned32Bit)
{
    // One unit more free than installed wraps to 2^32 - 1 used.
    EXPECT_EQ(199u, memoryLoadFromTotals(0x80000000u, 0x80000001u));
    // So large that the percentage leaves the 32-bit range: saturated.
    EXPECT_EQ(UINT32_MAX, memoryLoadFromTotals(1, 2));
}

TEST(OsVersionClass, NtVersions)
{
    EXPECT_EQ(0, osVersionClass(2, 3));
    EXPECT_EQ(1, osVersionClass(2, 4));
    EXPECT_EQ(2, osVersionClass(2, 5));
    EXPECT_EQ(2, osVersionClass(2, 6));
    EXPECT_EQ(2, osVersionClass(2, 10));
    EXPECT_EQ(2, osVersionClass(2, UINT32_MAX));
}

TEST(OsVersionClass, EverythingElse)
{
    EXPECT_EQ(3, osVersionClass(2, 0));
    EXPECT_EQ(3, osVersionClass(2, 2));
    EXPECT_EQ(3, osVersionClass(1, 4)); // the 9x family
    EXPECT_EQ(3, osVersionClass(0, 3)); // Win32s
    EXPECT_EQ(3, osVersionClass(3, 5));
}

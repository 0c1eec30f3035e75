#include "osd/LoadArithmetic.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>

TEST(CpuLoad, FormulaRoundingClampingAndFailure)
{
    double const nan = std::numeric_limits<double>::quiet_NaN();
    double const inf = std::numeric_limits<double>::infinity();
    struct Row {
        double idle, time;
        uint32_t processors;
        bool wholeMachine;
        int load;
    };
    Row const rows[] = {
        {1.98, 1.0, 2, true, 1}, // 100 - 198 / 2 + 0.5 = 1.5
        {1.0, 1.0, 2, true, 50}, {2.0, 1.0, 2, true, 0}, {0.0, 1.0, 2, true, 100},
        // Half up; kernel times come in 100 ns units, the ratio is what counts.
        {3750000.0, 10000000.0, 1, true, 63}, {3000000.0, 10000000.0, 1, true, 70},
        {2450000.0, 10000000.0, 1, true, 76},
        // One processor's idle time ignores the count; the same deltas read as
        // a four-processor machine give 100 - 6.25 + 0.5.
        {0.25, 1.0, 4, false, 75}, {0.25, 1.0, 1, false, 75}, {0.25, 1.0, 1, true, 75},
        {0.25, 1.0, 4, true, 94},
        // Jitter past either end is clamped: -1.5 must not come out as -1,
        // which means failure; a shrinking idle counter reads as full load.
        {1.01, 1.0, 1, false, 0}, {1.02, 1.0, 1, false, 0}, {2.5, 1.0, 2, true, 0},
        {1e300, 1e-300, 1, false, 0}, {-0.1, 1.0, 1, false, 100}, {-1e300, 1e-300, 2, true, 100},
        // No figure from unusable inputs.
        {0.5, 0.0, 1, true, -1}, {0.5, -1.0, 1, true, -1}, {0.5, 1.0, 0, true, -1},
        {0.5, 1.0, 0, false, -1}, {nan, 1.0, 1, true, -1}, {0.5, nan, 1, true, -1},
        {inf, 1.0, 1, true, -1}, {0.5, inf, 1, true, -1},
    };
    for (Row const& row : rows)
        EXPECT_EQ(row.load, cpuLoadPercent(row.idle, row.time, row.processors, row.wholeMachine))
            << row.idle << " / " << row.time << ", " << row.processors << " processors, "
            << (row.wholeMachine ? "whole machine" : "one processor");
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
    uint32_t const rows[][3] = {
        {512 * mib, 128 * mib, 75}, {3, 1, 66}, // truncated, not rounded
        {512 * mib, 0, 100}, {512 * mib, 512 * mib, 0}, {0xFFFFFFFFu, 1, 99},
        {0, 0, 0}, {0, 100, 0}, // no total
        // The difference is unsigned 32-bit: one unit more free than installed
        // wraps to 2^32 - 1 used; a percentage past 32 bits saturates.
        {0x80000000u, 0x80000001u, 199}, {1, 2, UINT32_MAX},
    };
    for (auto const& row : rows)
        EXPECT_EQ(row[2], memoryLoadFromTotals(row[0], row[1])) << row[0] << ", " << row[1] << " free";
}

TEST(OsVersionClass, NtThreeFourAndLaterElseNone)
{
    uint32_t const rows[][3] = {
        {2, 3, 0}, {2, 4, 1}, {2, 5, 2}, {2, 6, 2}, {2, 10, 2}, {2, UINT32_MAX, 2},
        {2, 0, 3}, {2, 2, 3}, {1, 4, 3}, /* the 9x family */ {0, 3, 3}, /* Win32s */ {3, 5, 3},
    };
    for (auto const& row : rows)
        EXPECT_EQ(int(row[2]), osVersionClass(row[0], row[1])) << row[0] << "." << row[1];
}

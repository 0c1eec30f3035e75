// The load sampler against the running system: processor count, CPU load
// from the kernel's idle times, and the memory status. Under Wine the Linux
// root is drive Z:, so /proc serves as the outside reference.
#include <gtest/gtest.h>
#include <windows.h>

#include <atomic>
#include <cstdio>
#include <cstring>
#include <sstream>
#include <string>
#include <thread>
#include <type_traits>
#include <vector>

#include "osd/LoadSampler.h"
#include "tests/win/WinTestSupport.h"

static_assert(!std::is_copy_constructible<LoadSampler>::value, "the sampler owns its arrays");
static_assert(!std::is_copy_assignable<LoadSampler>::value, "the sampler owns its arrays");

namespace {

using wintest::BusyCore;
using wintest::CpuJiffies;
using wintest::busyPercent;
using wintest::readProcStat;

int const kSettleMs = 300;

// Samples every slot (the whole machine, then each processor) over one
// second next to /proc/stat and expects the figures within 10 points.
void compareOverOneSecond(LoadSampler& sampler, char const* what)
{
    uint32_t const count = sampler.processorCount;
    auto const label = [count](uint32_t slot) {
        return slot == count ? std::string("cpu") : "cpu" + std::to_string(slot);
    };
    auto const index = [count](uint32_t slot) {
        return slot == count ? LoadSampler::kWholeMachine : uint8_t(slot);
    };
    std::vector<CpuJiffies> before(count + 1);
    for (uint32_t slot = 0; slot <= count; ++slot) {
        before[slot] = readProcStat(label(slot));
        sampler.cpuLoad(index(slot)); // the start of the interval
    }
    Sleep(1000);
    for (uint32_t slot = 0; slot <= count; ++slot) {
        int const load = sampler.cpuLoad(index(slot));
        double const reference = busyPercent(before[slot], readProcStat(label(slot)));
        std::printf("%s, %s: sampler %d%%, /proc/stat %.1f%%\n", what, label(slot).c_str(), load,
                    reference);
        ASSERT_GE(reference, 0) << label(slot) << " of /proc/stat cannot be read";
        EXPECT_NEAR(reference, load, 10.0) << what << ", " << label(slot);
    }
}

// A value of /proc/meminfo in bytes, 0 when absent.
unsigned long long meminfoBytes(std::string const& meminfo, std::string const& key)
{
    std::istringstream in(meminfo);
    std::string name, unit;
    unsigned long long kib = 0;
    while (in >> name >> kib && std::getline(in, unit))
        if (name == key + ":")
            return kib * 1024;
    return 0;
}

TEST(LoadSamplerCpu, CountVersionAndTheFirstSampleOfEachSlotPrimesIt)
{
    SYSTEM_INFO info = {};
    GetSystemInfo(&info);
    uint32_t const count = getProcessorCount();
    EXPECT_GT(count, 0u);
    EXPECT_EQ(info.dwNumberOfProcessors, count);
    EXPECT_EQ(count, getProcessorCount()) << "the count is kept";
    EXPECT_EQ(2, getOsVersionClass()) << "an NT system of version 5 or later";

    LoadSampler sampler;
    sampler.init();
    ASSERT_TRUE(sampler.available);
    EXPECT_EQ(2, sampler.osClass);
    EXPECT_EQ(count, sampler.processorCount);
    ASSERT_NE(nullptr, sampler.prevIdle);
    for (uint32_t slot = 0; slot <= count; ++slot)
        EXPECT_EQ(0u, sampler.prevIdle[slot]) << "slot " << slot << " starts without a sample";

    EXPECT_EQ(-1, sampler.cpuLoad(LoadSampler::kWholeMachine));
    EXPECT_EQ(-1, sampler.cpuLoad(0)) << "the whole machine's sample does not prime processor 0";
    Sleep(kSettleMs);
    int const machine = sampler.cpuLoad(LoadSampler::kWholeMachine);
    int const first = sampler.cpuLoad(0);
    EXPECT_TRUE(machine >= 0 && machine <= 100) << machine;
    EXPECT_TRUE(first >= 0 && first <= 100) << first;
    std::printf("whole machine %d%%, processor 0 %d%% over %d ms\n", machine, first, kSettleMs);
    if (count > 1) {
        EXPECT_EQ(-1, sampler.cpuLoad(1)) << "processor 1 has a slot of its own";
    }

    // An index past the last processor fails before any query: the
    // per-processor buffer keeps what was written into it.
    std::memset(sampler.processorInfo, 0x5A, count * sizeof(ProcessorPerformanceInformation));
    EXPECT_EQ(-1, sampler.cpuLoad(uint8_t(count)));
    EXPECT_EQ(0x5A5A5A5A5A5A5A5Aull, uint64_t(sampler.processorInfo[0].idleTime.QuadPart));

    sampler.init();
    EXPECT_EQ(-1, sampler.cpuLoad(LoadSampler::kWholeMachine)) << "init starts over";
}

// The kernel's query as a 32-bit program sees it on 64-bit Windows 7 and
// Server 2008: the performance record is 328 bytes there, and a shorter
// buffer is refused whole.
SystemQueryFunction systemQuery = nullptr;
LONG WINAPI wow64Windows7Query(ULONG infoClass, void* buffer, ULONG length, ULONG* returnLength)
{
    ULONG const performanceRecordSize = 328;
    if (infoClass == 2 && length < performanceRecordSize) { // SystemPerformanceInformation
        if (returnLength != nullptr)
            *returnLength = performanceRecordSize;
        return LONG(0xC0000004); // STATUS_INFO_LENGTH_MISMATCH
    }
    return systemQuery(infoClass, buffer, length, returnLength);
}

TEST(LoadSamplerCpu, TheWholeMachineIsSampledWhereThePerformanceRecordIsLonger)
{
    systemQuery = reinterpret_cast<SystemQueryFunction>(reinterpret_cast<void*>(
        GetProcAddress(GetModuleHandleW(L"ntdll"), "NtQuerySystemInformation")));
    ASSERT_NE(nullptr, systemQuery);
    LoadSampler sampler;
    sampler.init(wow64Windows7Query);
    ASSERT_TRUE(sampler.available);
    EXPECT_EQ(-1, sampler.cpuLoad(LoadSampler::kWholeMachine)) << "the first sample primes";
    Sleep(kSettleMs);
    int const load = sampler.cpuLoad(LoadSampler::kWholeMachine);
    EXPECT_TRUE(load >= 0 && load <= 100) << "whole machine: " << load;
}

TEST(LoadSamplerCpu, FiguresMatchProcStatOverOneSecond)
{
    ASSERT_NE(0u, readProcStat("cpu").total) << "Z:\\proc\\stat cannot be read";
    LoadSampler sampler;
    sampler.init();
    ASSERT_GT(sampler.processorCount, 0u);

    compareOverOneSecond(sampler, "as it is");
    BusyCore busy;
    Sleep(kSettleMs);
    compareOverOneSecond(sampler, "one core busy");
    sampler.cpuLoad(LoadSampler::kWholeMachine);
    Sleep(500);
    EXPECT_GE(sampler.cpuLoad(LoadSampler::kWholeMachine), int(100 / sampler.processorCount) - 10)
        << "the busy core shows";
}

TEST(LoadSamplerMemory, FillsTheRecordAsTheSystemAndProcMeminfoReportIt)
{
    LoadSampler sampler;
    sampler.init();
    MEMORYSTATUSEX status = {};
    status.dwLength = sizeof(status);
    ASSERT_TRUE(sampler.memoryStatus(status));
    EXPECT_EQ(sizeof(status), status.dwLength);
    EXPECT_GT(status.ullTotalPhys, 0u);
    EXPECT_LE(status.ullAvailPhys, status.ullTotalPhys);
    EXPECT_LE(status.dwMemoryLoad, 100u);

    MEMORYSTATUSEX direct = {};
    direct.dwLength = sizeof(direct);
    ASSERT_TRUE(GlobalMemoryStatusEx(&direct));
    EXPECT_EQ(direct.ullTotalPhys, status.ullTotalPhys);
    EXPECT_NEAR(double(direct.ullAvailPhys), double(status.ullAvailPhys),
                0.02 * double(direct.ullTotalPhys));

    std::string const meminfo = readFileBytes(L"Z:\\proc\\meminfo");
    unsigned long long const total = meminfoBytes(meminfo, "MemTotal");
    unsigned long long const available = meminfoBytes(meminfo, "MemAvailable");
    ASSERT_GT(total, 0u) << "Z:\\proc\\meminfo cannot be read";
    ASSERT_GT(available, 0u);
    std::printf("total %llu MiB (meminfo %llu), available %llu MiB (meminfo %llu), load %lu%%\n",
                status.ullTotalPhys >> 20, total >> 20, status.ullAvailPhys >> 20,
                available >> 20, status.dwMemoryLoad);
    EXPECT_NEAR(double(total), double(status.ullTotalPhys), 0.01 * double(total));
    EXPECT_NEAR(double(available), double(status.ullAvailPhys), 0.03 * double(total));
    EXPECT_NEAR(100.0 * double(total - available) / double(total), double(status.dwMemoryLoad), 3.0);
}

TEST(LoadSamplerMemory, TheLegacyStatusConvertsToTheExtendedRecord)
{
    MEMORYSTATUS legacy = {};
    legacy.dwLength = sizeof(legacy);
    legacy.dwMemoryLoad = 99; // computed anew, never copied
    legacy.dwTotalPhys = 512u << 20;
    legacy.dwAvailPhys = 128u << 20;
    legacy.dwTotalPageFile = 0xFFFF0000u;
    legacy.dwAvailPageFile = 3;
    legacy.dwTotalVirtual = 0x7FFE0000u;
    legacy.dwAvailVirtual = 5;

    MEMORYSTATUSEX status;
    std::memset(&status, 0xCC, sizeof(status));
    status.dwLength = 1234;
    copyLegacyMemoryStatus(legacy, status);
    EXPECT_EQ(1234u, status.dwLength) << "left as the caller set it";
    EXPECT_EQ(75u, status.dwMemoryLoad);
    EXPECT_EQ(512ull << 20, status.ullTotalPhys);
    EXPECT_EQ(128ull << 20, status.ullAvailPhys);
    EXPECT_EQ(0xFFFF0000ull, status.ullTotalPageFile);
    EXPECT_EQ(3u, status.ullAvailPageFile);
    EXPECT_EQ(0x7FFE0000ull, status.ullTotalVirtual);
    EXPECT_EQ(5u, status.ullAvailVirtual);
    EXPECT_EQ(0u, status.ullAvailExtendedVirtual);

    // The system's own legacy figures tell the same as its extended ones.
    MEMORYSTATUS real = {};
    real.dwLength = sizeof(real);
    GlobalMemoryStatus(&real);
    MEMORYSTATUSEX converted = {};
    copyLegacyMemoryStatus(real, converted);
    MEMORYSTATUSEX direct = {};
    direct.dwLength = sizeof(direct);
    ASSERT_TRUE(GlobalMemoryStatusEx(&direct));
    EXPECT_NEAR(double(direct.dwMemoryLoad), double(converted.dwMemoryLoad), 3.0);
}

} // namespace

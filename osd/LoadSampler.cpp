#include "osd/LoadSampler.h"

#include <stdlib.h>

#include "osd/LoadArithmetic.h"

namespace {

// SystemBasicInformation (class 0), as Windows publishes it. The three
// address-sized members make it 44 bytes on 32-bit Windows and 64 on 64-bit.
struct BasicInformation {
    ULONG reserved;
    ULONG timerResolution;
    ULONG pageSize;
    ULONG numberOfPhysicalPages;
    ULONG lowestPhysicalPageNumber;
    ULONG highestPhysicalPageNumber;
    ULONG allocationGranularity;
    ULONG_PTR minimumUserModeAddress;
    ULONG_PTR maximumUserModeAddress;
    ULONG_PTR activeProcessorsAffinityMask;
    CCHAR numberOfProcessors;
};

#ifndef _WIN64
static_assert(sizeof(BasicInformation) == 44, "SYSTEM_BASIC_INFORMATION");
static_assert(offsetof(BasicInformation, numberOfProcessors) == 40, "NumberOfProcessors");
static_assert(offsetof(PerformanceInformation, laterFields) == 312,
              "SYSTEM_PERFORMANCE_INFORMATION of Windows XP");
static_assert(sizeof(TimeOfDayInformation) == 32, "SYSTEM_TIMEOFDAY_INFORMATION");
static_assert(offsetof(TimeOfDayInformation, currentTime) == 8, "CurrentTime");
static_assert(sizeof(ProcessorPerformanceInformation) == 48,
              "SYSTEM_PROCESSOR_PERFORMANCE_INFORMATION");
static_assert(sizeof(MEMORYSTATUS) == 32, "MEMORYSTATUS");
#endif

ULONG const SystemBasicInformation = 0;
ULONG const SystemPerformanceInformation = 2;
ULONG const SystemTimeOfDayInformation = 3;
ULONG const SystemProcessorPerformanceInformation = 8;

using GlobalMemoryStatusExFn = BOOL(WINAPI*)(MEMORYSTATUSEX* status);
using GlobalMemoryStatusFn = void(WINAPI*)(MEMORYSTATUS* status);

// Looked up at run time: ntdll does not promise the function on every
// system, and kernel32 of old systems lacks GlobalMemoryStatusEx.
SystemQueryFunction ntQuerySystemInformation = nullptr;
uint32_t cachedProcessorCount = 0;

template <typename Function>
Function lookUp(HMODULE module, char const* name)
{
    if (module == nullptr)
        return nullptr;
    // Through void* to keep the compiler from comparing FARPROC's signature.
    return reinterpret_cast<Function>(reinterpret_cast<void*>(GetProcAddress(module, name)));
}

SystemQueryFunction findQueryFunction()
{
    return lookUp<SystemQueryFunction>(GetModuleHandleW(L"ntdll"), "NtQuerySystemInformation");
}

uint64_t toUint64(LARGE_INTEGER value)
{
    return (uint64_t(uint32_t(value.HighPart)) << 32) | value.LowPart;
}

double toDouble(uint64_t value)
{
    return kernelTimeToDouble(uint32_t(value >> 32), uint32_t(value));
}

// The 32-bit arithmetic of the legacy memory load wants 32-bit totals; a
// 64-bit build reports sizes beyond that, and halving both keeps the ratio.
void fitTo32Bits(uint64_t& total, uint64_t& avail)
{
    while (total > UINT32_MAX || avail > UINT32_MAX) {
        total >>= 1;
        avail >>= 1;
    }
}

} // namespace

int getOsVersionClass()
{
    OSVERSIONINFOW version = {};
    version.dwOSVersionInfoSize = sizeof(version);
    if (!GetVersionExW(&version))
        return 3;
    return osVersionClass(version.dwPlatformId, version.dwMajorVersion);
}

uint32_t getProcessorCount()
{
    if (cachedProcessorCount != 0)
        return cachedProcessorCount;
    SystemQueryFunction const query = findQueryFunction();
    if (query == nullptr)
        return 0;
    BasicInformation basic = {};
    if (query(SystemBasicInformation, &basic, sizeof(basic), nullptr) != 0)
        return 0;
    cachedProcessorCount = uint8_t(basic.numberOfProcessors);
    return cachedProcessorCount;
}

void copyLegacyMemoryStatus(MEMORYSTATUS const& legacy, MEMORYSTATUSEX& status)
{
    uint64_t total = legacy.dwTotalPhys;
    uint64_t avail = legacy.dwAvailPhys;
    fitTo32Bits(total, avail);
    status.dwMemoryLoad = memoryLoadFromTotals(uint32_t(total), uint32_t(avail));
    status.ullTotalPhys = legacy.dwTotalPhys;
    status.ullAvailPhys = legacy.dwAvailPhys;
    status.ullTotalPageFile = legacy.dwTotalPageFile;
    status.ullAvailPageFile = legacy.dwAvailPageFile;
    status.ullTotalVirtual = legacy.dwTotalVirtual;
    status.ullAvailVirtual = legacy.dwAvailVirtual;
    status.ullAvailExtendedVirtual = 0;
}

LoadSampler::~LoadSampler()
{
    release();
}

void LoadSampler::release()
{
    free(prevIdle);
    free(prevTime);
    free(processorInfo);
    prevIdle = nullptr;
    prevTime = nullptr;
    processorInfo = nullptr;
    processorCount = 0;
}

void LoadSampler::init()
{
    init(findQueryFunction());
}

void LoadSampler::init(SystemQueryFunction query)
{
    release();
    available = false;
    ntQuerySystemInformation = query;
    osClass = getOsVersionClass();
    if (osClass == 3 || ntQuerySystemInformation == nullptr)
        return;

    uint32_t const count = getProcessorCount();
    if (count == 0)
        return; // nothing to divide the machine's idle time by: no CPU sampling
    size_t const slots = size_t(count) + 1;
    // Plain allocations: operator new would bring the C++ exception
    // machinery into a program that never throws.
    prevIdle = static_cast<uint64_t*>(calloc(slots, sizeof(uint64_t)));
    prevTime = static_cast<uint64_t*>(calloc(slots, sizeof(uint64_t)));
    processorInfo = static_cast<ProcessorPerformanceInformation*>(
        calloc(count, sizeof(ProcessorPerformanceInformation)));
    if (prevIdle == nullptr || prevTime == nullptr || processorInfo == nullptr) {
        // Without its history the sampler cannot work: the CPU line is left
        // out (cpuLoad answers -1) and the memory figures go on as before.
        release();
        return;
    }
    for (size_t slot = 0; slot < slots; ++slot)
        prevIdle[slot] = 0;
    processorCount = count;
    available = true;
}

int LoadSampler::cpuLoad(uint8_t processor)
{
    uint32_t const count = processorCount;
    if (!available || ntQuerySystemInformation == nullptr)
        return -1;
    bool const wholeMachine = processor == kWholeMachine;
    if (!wholeMachine && processor >= count)
        return -1;

    if (ntQuerySystemInformation(SystemTimeOfDayInformation, &timeOfDay, sizeof(timeOfDay),
                                 nullptr) != 0)
        return -1;

    size_t slot = 0;
    uint64_t idle = 0;
    if (wholeMachine) {
        if (ntQuerySystemInformation(SystemPerformanceInformation, &performanceInfo,
                                     sizeof(performanceInfo), nullptr) != 0)
            return -1;
        slot = count;
        idle = toUint64(performanceInfo.idleTime);
    } else {
        ULONG const length = ULONG(count * sizeof(ProcessorPerformanceInformation));
        if (ntQuerySystemInformation(SystemProcessorPerformanceInformation, processorInfo, length,
                                     nullptr) != 0)
            return -1;
        slot = processor;
        idle = toUint64(processorInfo[processor].idleTime);
    }
    uint64_t const now = toUint64(timeOfDay.currentTime);

    int load = -1;
    if (prevIdle[slot] != 0) {
        double const timeDelta = toDouble(now) - toDouble(prevTime[slot]);
        double const idleDelta = toDouble(idle) - toDouble(prevIdle[slot]);
        load = cpuLoadPercent(idleDelta, timeDelta, count, wholeMachine);
    }
    prevIdle[slot] = idle;
    prevTime[slot] = now;
    return load;
}

BOOL LoadSampler::memoryStatus(MEMORYSTATUSEX& status) const
{
    // Taken anew each time; kernel32 stays loaded for the life of the process.
    HMODULE const kernel = LoadLibraryW(L"kernel32.dll");
    if (kernel == nullptr)
        return FALSE;
    if (auto const extended = lookUp<GlobalMemoryStatusExFn>(kernel, "GlobalMemoryStatusEx"))
        return extended(&status);
    if (auto const legacy = lookUp<GlobalMemoryStatusFn>(kernel, "GlobalMemoryStatus")) {
        MEMORYSTATUS shortStatus = {};
        shortStatus.dwLength = sizeof(shortStatus);
        legacy(&shortStatus);
        copyLegacyMemoryStatus(shortStatus, status);
        return TRUE;
    }
    return FALSE;
}

// CPU and memory load of the machine, read from the kernel: the CPU load from
// the growth of the idle time between two samples, the memory from the
// memory-status calls of kernel32.
#pragma once

#include <windows.h>

#include <stdint.h>

// Kernel records filled by NtQuerySystemInformation, laid out as Windows
// publishes them. Times are in units of 100 ns.

// SystemPerformanceInformation (class 2), the Windows XP layout and room
// for the fields later systems append: the kernel refuses a buffer shorter
// than its own record whole (STATUS_INFO_LENGTH_MISMATCH) and fills a longer
// one up to its record. A 32-bit program on 64-bit Windows 7 and Server 2008
// gets 16 bytes more than XP's 312, later systems more still. Only the
// machine's idle time is read.
struct PerformanceInformation {
    LARGE_INTEGER idleTime;
    LARGE_INTEGER readTransferCount;
    LARGE_INTEGER writeTransferCount;
    LARGE_INTEGER otherTransferCount;
    ULONG counters[70]; // operation, paging, pool and cache counters
    BYTE laterFields[200];
};

// SystemTimeOfDayInformation (class 3), the layout of NT 4 and 2000. Later
// systems append two 64-bit biases, but the kernel copies as much as the
// caller's buffer holds as long as it is not larger than its own record, so
// this short record is accepted everywhere.
struct TimeOfDayInformation {
    LARGE_INTEGER bootTime;
    LARGE_INTEGER currentTime;
    LARGE_INTEGER timeZoneBias;
    ULONG timeZoneId;
    ULONG reserved;
};

// SystemProcessorPerformanceInformation (class 8), one record per processor.
struct ProcessorPerformanceInformation {
    LARGE_INTEGER idleTime;
    LARGE_INTEGER kernelTime; // includes the idle time
    LARGE_INTEGER userTime;
    LARGE_INTEGER dpcTime;
    LARGE_INTEGER interruptTime;
    ULONG interruptCount;
};

// NtQuerySystemInformation: an information class into a buffer; 0 on success.
using SystemQueryFunction = LONG(WINAPI*)(ULONG infoClass, void* buffer, ULONG length,
                                          ULONG* returnLength);

// Windows version class: 0 NT 3, 1 NT 4, 2 NT 5 or later, 3 anything else
// (no CPU sampling). 3 also when the version cannot be read.
int getOsVersionClass();

// Number of processors the kernel reports; 0 when it cannot be had. A
// non-zero count is kept for the process, a 0 is asked again next time.
uint32_t getProcessorCount();

// Converts the 32-bit memory status into the extended record: the sizes are
// zero-extended and the memory load is computed from the physical totals.
// dwLength is left as the caller set it.
void copyLegacyMemoryStatus(MEMORYSTATUS const& legacy, MEMORYSTATUSEX& status);

class LoadSampler {
public:
    // Processor index of cpuLoad that asks for the whole machine.
    static uint8_t const kWholeMachine = 255;

    LoadSampler() = default;
    ~LoadSampler();
    LoadSampler(LoadSampler const&) = delete;
    LoadSampler& operator=(LoadSampler const&) = delete;

    // Finds the kernel query, classifies the system and, where the CPU can be
    // sampled, allocates the per-slot history. Calling it again starts over.
    void init();
    // The same with `query` in the kernel's place (null: none was found).
    void init(SystemQueryFunction query);

    // Load in percent (0..100) of one processor, or of the whole machine for
    // kWholeMachine, since the previous call for the same slot. -1 when the
    // CPU cannot be sampled, a query fails, the index is out of range, or
    // this is the first call for the slot (it only records the start).
    int cpuLoad(uint8_t processor);

    // Fills `status` (the caller sets dwLength) with GlobalMemoryStatusEx, or
    // from GlobalMemoryStatus on systems without it. FALSE when neither call
    // exists.
    BOOL memoryStatus(MEMORYSTATUSEX& status) const;

    // CPU sampling is possible: an NT system, the kernel query found, a
    // processor count and the arrays allocated.
    bool available = false;
    int osClass = 3;
    // One slot per processor and a last one for the whole machine; a
    // prevIdle of 0 means the slot has no sample yet.
    uint64_t* prevIdle = nullptr;
    uint64_t* prevTime = nullptr;
    ProcessorPerformanceInformation* processorInfo = nullptr;
    PerformanceInformation performanceInfo = {};
    TimeOfDayInformation timeOfDay = {};
    // The processor count the arrays were sized for; the processor slots
    // never go past it, whatever the kernel reports later.
    uint32_t processorCount = 0;

private:
    void release();
};

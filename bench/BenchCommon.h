// Small helpers shared by the benchmark programs: a clock and the process's
// private bytes.
#pragma once

#include <windows.h>
#include <psapi.h>

#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <wchar.h>

inline double secondsNow()
{
    static LARGE_INTEGER frequency = {};
    if (frequency.QuadPart == 0)
        QueryPerformanceFrequency(&frequency);
    LARGE_INTEGER now = {};
    QueryPerformanceCounter(&now);
    return double(now.QuadPart) / double(frequency.QuadPart);
}

// The memory figures of GetProcessMemoryInfo. Wine 8 leaves PrivateUsage
// at 0 but fills PagefileUsage, which Windows defines as the same private
// commit charge (under Wine: RssAnon + VmSwap of the host process). As a
// cross-check the benchmarks read that count from the Linux kernel too, in
// /proc/PID/status through Wine's Z: drive (the host's root folder). PID is
// this process's host process id, given as "--linux-pid PID" (bench/run.sh
// starts the program with exec from a shell whose PID it passes): under
// Wine, /proc/self would be the wineserver, which opens files for its
// clients.
inline wchar_t linuxStatusPath[64] = {};

// Takes "--linux-pid PID" off the end of the arguments.
inline void takeLinuxPid(int& argc, wchar_t** argv)
{
    if (argc >= 3 && lstrcmpW(argv[argc - 2], L"--linux-pid") == 0) {
        unsigned long const pid = wcstoul(argv[argc - 1], nullptr, 10);
        swprintf(linuxStatusPath, sizeof(linuxStatusPath) / sizeof(linuxStatusPath[0]),
                 L"Z:\\proc\\%lu\\status", pid);
        argc -= 2;
    }
}

struct MemoryFigures {
    SIZE_T privateUsage = 0;
    SIZE_T pagefileUsage = 0;
    SIZE_T workingSet = 0;
    SIZE_T linuxAnon = 0; // RssAnon + VmSwap, bytes; 0 outside Wine
    SIZE_T linuxPid = 0;  // the host process the figure is of
};

inline SIZE_T linuxStatusKiB(char const* status, char const* field)
{
    char const* at = strstr(status, field);
    return at != nullptr ? SIZE_T(strtoul(at + strlen(field), nullptr, 10)) : 0;
}

inline MemoryFigures memoryFigures()
{
    MemoryFigures figures;
    PROCESS_MEMORY_COUNTERS_EX counters = {};
    counters.cb = sizeof(counters);
    if (GetProcessMemoryInfo(GetCurrentProcess(),
                             reinterpret_cast<PROCESS_MEMORY_COUNTERS*>(&counters),
                             sizeof(counters))) {
        figures.privateUsage = counters.PrivateUsage;
        figures.pagefileUsage = counters.PagefileUsage;
        figures.workingSet = counters.WorkingSetSize;
    }
    HANDLE const file = linuxStatusPath[0] == 0 ? INVALID_HANDLE_VALUE
                        : CreateFileW(linuxStatusPath, GENERIC_READ, FILE_SHARE_READ, nullptr,
                                      OPEN_EXISTING, 0, nullptr);
    if (file != INVALID_HANDLE_VALUE) {
        char status[4096] = {};
        DWORD got = 0;
        ReadFile(file, status, sizeof(status) - 1, &got, nullptr);
        CloseHandle(file);
        figures.linuxAnon =
            (linuxStatusKiB(status, "RssAnon:") + linuxStatusKiB(status, "VmSwap:")) * 1024;
        figures.linuxPid = linuxStatusKiB(status, "\nPid:");
    }
    return figures;
}

// Private bytes as GetProcessMemoryInfo reports them.
inline SIZE_T privateBytes(MemoryFigures const& m)
{
    return m.privateUsage != 0 ? m.privateUsage : m.pagefileUsage;
}

// Prints the figures under `prefix`.
inline void printMemory(char const* prefix, MemoryFigures const& m)
{
    printf("%s_private_usage %lu\n%s_pagefile_usage %lu\n%s_working_set %lu\n"
           "%s_linux_anon %lu\n%s_linux_pid %lu\n",
           prefix, static_cast<unsigned long>(m.privateUsage), prefix,
           static_cast<unsigned long>(m.pagefileUsage), prefix,
           static_cast<unsigned long>(m.workingSet), prefix,
           static_cast<unsigned long>(m.linuxAnon), prefix,
           static_cast<unsigned long>(m.linuxPid));
    fflush(stdout);
}

// Figures go out as "name value" lines that bench/run.sh picks up.
inline void figure(char const* name, double value)
{
    printf("%s %.6f\n", name, value);
    fflush(stdout);
}

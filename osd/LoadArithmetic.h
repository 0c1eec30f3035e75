// The arithmetic of the load figures: CPU load from idle-time growth, the
// memory load when only the 32-bit memory status exists, and the Windows
// version class that decides whether the CPU can be sampled at all.
#pragma once

#include <stdint.h>

// Load in percent over one sampling interval: idleDelta and timeDelta are the
// growth of the idle time and of the system time (same units). The machine's
// idle time counts every processor, hence the division by processorCount when
// wholeMachine; one processor's does not. The result is rounded by adding 0.5
// and truncating, then clamped to 0..100: timer jitter can push it past
// either end, and a negative figure would read as a failed sample.
// Returns -1 only when the inputs cannot give a figure (no time elapsed, no
// processors, a value that is not a finite number).
int cpuLoadPercent(double idleDelta, double timeDelta, uint32_t processorCount,
                   bool wholeMachine);

// A 64-bit kernel time given as two 32-bit halves, as a double.
double kernelTimeToDouble(uint32_t high, uint32_t low);

// Memory load in percent from the 32-bit memory status. The difference is an
// unsigned 32-bit one, as the 32-bit status reports it; a result beyond the
// 32-bit range saturates. A total of 0 gives 0.
uint32_t memoryLoadFromTotals(uint32_t totalPhys, uint32_t availPhys);

// Windows version class from GetVersionExW's platform and major version:
// 0 NT 3, 1 NT 4, 2 NT 5 or later, 3 anything else (CPU sampling off).
int osVersionClass(uint32_t platformId, uint32_t majorVersion);

#include "osd/LoadArithmetic.h"

#include <cmath>

namespace {

uint32_t const kPlatformNt = 2; // VER_PLATFORM_WIN32_NT

} // namespace

int cpuLoadPercent(double idleDelta, double timeDelta, uint32_t processorCount,
                   bool wholeMachine)
{
    if (!std::isfinite(idleDelta) || !std::isfinite(timeDelta) || timeDelta <= 0 ||
        processorCount == 0)
        return -1;
    double idlePercent = idleDelta / timeDelta * 100;
    if (wholeMachine)
        idlePercent /= processorCount;
    double const load = 100 - idlePercent + 0.5;
    // Clamping before the conversion truncates exactly as clamping after it
    // would, and keeps huge values out of the int conversion.
    if (!(load > 0))
        return 0;
    if (load >= 100)
        return 100;
    return int(load);
}

double kernelTimeToDouble(uint32_t high, uint32_t low)
{
    return high * 4294967296.0 + low;
}

uint32_t memoryLoadFromTotals(uint32_t totalPhys, uint32_t availPhys)
{
    if (totalPhys == 0)
        return 0;
    uint32_t const used = totalPhys - availPhys;
    double const load = double(used) / totalPhys * 100;
    if (load >= 4294967295.0)
        return UINT32_MAX;
    return uint32_t(load);
}

int osVersionClass(uint32_t platformId, uint32_t majorVersion)
{
    if (platformId != kPlatformNt || majorVersion < 3)
        return 3;
    if (majorVersion == 3)
        return 0;
    if (majorVersion == 4)
        return 1;
    return 2;
}

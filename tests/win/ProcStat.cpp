// The processors' jiffies of the host's /proc/stat, in a file of their own:
// its string streams stay out of the programs that link the test support
// without them (the soak's private bytes count its image).
#include <sstream>

#include "tests/win/WinTestSupport.h"

namespace wintest {

CpuJiffies readProcStat(std::string const& wanted)
{
    std::istringstream in(readFileBytes(L"Z:\\proc\\stat"));
    for (std::string line; std::getline(in, line);) {
        std::istringstream fields(line);
        std::string label;
        // user nice system idle iowait irq softirq steal (guest time is
        // already counted in user and nice)
        unsigned long long values[8] = {};
        if (!(fields >> label) || label != wanted)
            continue;
        CpuJiffies jiffies;
        for (unsigned long long& value : values) {
            if (!(fields >> value))
                return CpuJiffies();
            jiffies.total += value;
        }
        jiffies.idle = values[3];
        return jiffies;
    }
    return CpuJiffies();
}

double busyPercent(CpuJiffies const& before, CpuJiffies const& after)
{
    if (before.total == 0 || after.total <= before.total)
        return -1;
    return 100.0 * (1.0 - double(after.idle - before.idle) / double(after.total - before.total));
}

} // namespace wintest

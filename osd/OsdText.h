// The OSD's text and the decision whether the window must be repainted. The
// Win32 side samples the CPU and the memory between the two calls of an
// update and paints when told to; everything else happens here.
#pragma once

#include <stddef.h>
#include <stdint.h>

// Capacity of the OSD text in UTF-16 units, terminator included.
size_t const kOsdTextCapacity = 250;

// What the previous updates showed; the OSD starts it again with each new
// window, so that window shows at the next update.
struct OsdChangeState {
    int osdTick = 0; // 0 on a sampling update (one in four)
    int lastCpuLoad = -1;
    bool lastNumOn = false;
    bool lastCapsOn = false;
    bool lastScrollOn = false;
    uint64_t lastUsedMiB = 0;
    bool lastMemShown = false;
};

struct OsdUpdateInput {
    bool showCpu = false;
    bool showMem = false;
    bool force = false;
    bool numOn = false;
    bool capsOn = false;
    bool scrollOn = false;
    // Whole-machine CPU load of this update's sample, -1 when it failed or
    // primed the sampler. Read only on sampling updates with showCpu.
    int cpuLoad = -1;
    bool memOk = false; // the memory query succeeded
    uint64_t usedMiB = 0;
    uint32_t memLoad = 0; // percent
};

// Starts an update. Returns true for a sampling update, the only one on which
// the caller needs to sample the CPU.
bool beginOsdUpdate(OsdChangeState& state);

// Composes the current text into `text` (CPU, memory, then the locks that are
// on, joined by "\n"; every append bounded by `capacity`) and returns true
// when the window must be repainted: a lock changed, the CPU figure changed
// at a sampling update, the memory figure at a sampling update differs from
// the one seen an update earlier, the memory item appeared or vanished, or
// `force`. Ends the update.
//
// Two choices of our own:
// - The lock items are appended even when nothing changed, so `text` is
//   always complete and a paint from WM_PAINT or a display change between
//   two repaints still shows the locks.
// - A failed memory query leaves lastUsedMiB as it was, so the next good
//   figure is compared with the last good one; the memory item vanishing
//   (or coming back) is itself a change and repaints.
bool finishOsdUpdate(OsdChangeState& state, OsdUpdateInput const& input, wchar_t* text,
                     size_t capacity);

// Physical memory in use in MiB; 0 when the counts contradict each other.
uint64_t usedMiB(uint64_t totalPhys, uint64_t availPhys);

#include "osd/OsdText.h"

namespace {

int const kSamplingPeriod = 4; // updates per CPU sample

// Appends to a fixed buffer, never past its capacity; text that does not
// fit is cut and the buffer stays terminated.
struct TextBuilder {
    wchar_t* dest;
    size_t capacity;
    size_t length;

    void append(wchar_t const* part)
    {
        if (capacity == 0)
            return;
        while (*part != 0 && length + 1 < capacity)
            dest[length++] = *part++;
        dest[length] = 0;
    }

    void appendNumber(uint64_t value)
    {
        wchar_t digits[21]; // 2^64 has 20 decimal digits
        size_t start = 20;
        digits[start] = 0;
        do {
            digits[--start] = wchar_t(L'0' + value % 10);
            value /= 10;
        } while (value != 0);
        append(digits + start);
    }

    void appendSigned(int value)
    {
        if (value < 0) {
            append(L"-");
            appendNumber(uint64_t(-int64_t(value)));
        } else {
            appendNumber(uint64_t(value));
        }
    }

    // Items are joined by single line ends.
    void startItem()
    {
        if (length != 0)
            append(L"\n");
    }
};

void appendCpuItem(TextBuilder& out, int load)
{
    out.startItem();
    out.append(L"CPU Load: ");
    out.appendSigned(load);
    out.append(L"%");
}

void appendMemoryItem(TextBuilder& out, uint64_t mib, uint32_t load)
{
    out.startItem();
    out.append(L"RAM Used:\n");
    out.appendNumber(mib);
    out.append(L"MB (");
    out.appendNumber(load);
    out.append(L"%)");
}

void appendLockItem(TextBuilder& out, bool on, wchar_t const* name)
{
    if (!on)
        return;
    out.startItem();
    out.append(name);
}

bool isSamplingUpdate(OsdChangeState const& state)
{
    return state.osdTick == 0;
}

void wrapTick(OsdChangeState& state)
{
    if (state.osdTick >= kSamplingPeriod || state.osdTick < 0)
        state.osdTick = 0;
}

} // namespace

bool beginOsdUpdate(OsdChangeState& state)
{
    wrapTick(state);
    return isSamplingUpdate(state);
}

bool finishOsdUpdate(OsdChangeState& state, OsdUpdateInput const& input, wchar_t* text,
                     size_t capacity)
{
    wrapTick(state); // harmless when beginOsdUpdate already did it
    bool const sampling = isSamplingUpdate(state);
    TextBuilder out = {text, capacity, 0};
    out.append(L"");
    bool changed = input.force;

    if (input.showCpu) {
        if (sampling) {
            if (input.cpuLoad != state.lastCpuLoad)
                changed = true;
            state.lastCpuLoad = input.cpuLoad;
        }
        if (state.lastCpuLoad >= 0)
            appendCpuItem(out, state.lastCpuLoad);
    }

    bool const memShown = input.showMem && input.memOk;
    if (memShown) {
        appendMemoryItem(out, input.usedMiB, input.memLoad);
        // Between samples the figure is only remembered, so the window does
        // not flicker four times a second with the memory.
        if (sampling && input.usedMiB != state.lastUsedMiB)
            changed = true;
        state.lastUsedMiB = input.usedMiB;
    }
    if (memShown != state.lastMemShown)
        changed = true;
    state.lastMemShown = memShown;

    if (input.numOn != state.lastNumOn || input.capsOn != state.lastCapsOn ||
        input.scrollOn != state.lastScrollOn)
        changed = true;
    appendLockItem(out, input.numOn, L"Num Lock");
    appendLockItem(out, input.capsOn, L"Caps Lock");
    appendLockItem(out, input.scrollOn, L"Scroll Lock");
    state.lastNumOn = input.numOn;
    state.lastCapsOn = input.capsOn;
    state.lastScrollOn = input.scrollOn;

    ++state.osdTick;
    return changed;
}

uint64_t usedMiB(uint64_t totalPhys, uint64_t availPhys)
{
    if (availPhys > totalPhys)
        return 0;
    return (totalPhys - availPhys) / 1048576;
}

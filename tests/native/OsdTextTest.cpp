#include "osd/OsdText.h"

#include <gtest/gtest.h>

#include <climits>
#include <memory>
#include <string>
#include <vector>

namespace {

// Splits at every "\n"; an empty text has no lines, and a stray separator at
// either end shows up as an empty line.
std::vector<std::wstring> lines(std::wstring const& text)
{
    std::vector<std::wstring> result;
    if (text.empty())
        return result;
    size_t start = 0;
    for (;;) {
        size_t const end = text.find(L'\n', start);
        result.push_back(text.substr(start, end == std::wstring::npos ? std::wstring::npos : end - start));
        if (end == std::wstring::npos)
            return result;
        start = end + 1;
    }
}

std::wstring cpuLine(int load)
{
    return L"CPU Load: " + std::to_wstring(load) + L"%";
}

std::wstring mibLine(uint64_t mib, uint32_t load)
{
    return std::to_wstring(mib) + L"MB (" + std::to_wstring(load) + L"%)";
}

int const kIgnoredCpu = 777; // what the caller passes when it did not sample

struct UpdateResult {
    bool sampling;
    bool repaint;
    std::wstring text;
};

// Drives updates the way the OSD does: the CPU is sampled only when the update
// is a sampling one.
class OsdUpdates : public ::testing::Test {
protected:
    OsdUpdates()
    {
        input.showCpu = true;
        input.showMem = true;
        input.memOk = true;
        input.usedMiB = 301;
        input.memLoad = 59;
    }

    UpdateResult update(int cpuSample = -1)
    {
        bool const sampling = beginOsdUpdate(state);
        input.cpuLoad = sampling ? cpuSample : kIgnoredCpu;
        wchar_t text[kOsdTextCapacity];
        bool const repaint = finishOsdUpdate(state, input, text, kOsdTextCapacity);
        input.force = false;
        return {sampling, repaint, text};
    }

    // The first sampling update primes the CPU; the second one gives `load`.
    void startWithCpu(int load)
    {
        update(-1);
        update();
        update();
        update();
        update(load);
        update();
        update();
        update();
    }

    OsdChangeState state;
    OsdUpdateInput input;
};

std::wstring compose(OsdUpdateInput input, size_t capacity)
{
    OsdChangeState state;
    beginOsdUpdate(state);
    std::unique_ptr<wchar_t[]> text(new wchar_t[capacity]);
    finishOsdUpdate(state, input, text.get(), capacity);
    return text.get();
}

} // namespace

TEST(OsdText, EveryCombinationOfItemsInOrder)
{
    for (int mask = 0; mask < 32; ++mask) {
        bool const cpu = mask & 1;
        bool const mem = mask & 2;
        bool const num = mask & 4;
        bool const caps = mask & 8;
        bool const scroll = mask & 16;

        OsdUpdateInput input;
        input.showCpu = cpu;
        input.cpuLoad = 12;
        input.showMem = mem;
        input.memOk = true;
        input.usedMiB = 301;
        input.memLoad = 59;
        input.numOn = num;
        input.capsOn = caps;
        input.scrollOn = scroll;

        std::vector<std::wstring> expected;
        if (cpu)
            expected.push_back(L"CPU Load: 12%");
        if (mem) {
            expected.push_back(L"RAM Used:");
            expected.push_back(L"301MB (59%)");
        }
        if (num)
            expected.push_back(L"Num Lock");
        if (caps)
            expected.push_back(L"Caps Lock");
        if (scroll)
            expected.push_back(L"Scroll Lock");

        OsdChangeState state;
        ASSERT_TRUE(beginOsdUpdate(state));
        wchar_t text[kOsdTextCapacity];
        bool const repaint = finishOsdUpdate(state, input, text, kOsdTextCapacity);
        EXPECT_EQ(expected, lines(text)) << "mask " << mask;
        // From a fresh state every shown item is news; an empty text is not.
        EXPECT_EQ(!expected.empty(), repaint) << "mask " << mask;
    }
}

TEST(OsdText, FullTextHasSixLines)
{
    OsdUpdateInput input;
    input.showCpu = true;
    input.cpuLoad = 12;
    input.showMem = true;
    input.memOk = true;
    input.usedMiB = 301;
    input.memLoad = 59;
    input.numOn = input.capsOn = input.scrollOn = true;
    EXPECT_EQ(L"CPU Load: 12%\nRAM Used:\n301MB (59%)\nNum Lock\nCaps Lock\nScroll Lock",
              compose(input, kOsdTextCapacity));
}

TEST(OsdText, ItemsLeftOutWithoutAFigure)
{
    OsdUpdateInput input;
    input.showCpu = true;
    input.cpuLoad = -1;  // failed or priming sample
    input.showMem = true;
    input.memOk = false; // failed memory query
    input.capsOn = true;
    EXPECT_EQ(L"Caps Lock", compose(input, kOsdTextCapacity));
}

TEST(OsdText, NumbersAtTheirLimits)
{
    OsdUpdateInput input;
    input.showCpu = true;
    input.cpuLoad = 0;
    input.showMem = true;
    input.memOk = true;
    input.usedMiB = UINT64_MAX / 1048576; // 2^44 - 1: beyond 32 bits
    input.memLoad = 100;
    std::vector<std::wstring> const expected = {cpuLine(0), L"RAM Used:", mibLine(UINT64_MAX / 1048576, 100)};
    EXPECT_EQ(expected, lines(compose(input, kOsdTextCapacity)));

    input.usedMiB = 0;
    input.memLoad = 0;
    input.cpuLoad = 100;
    std::vector<std::wstring> const small = {cpuLine(100), L"RAM Used:", mibLine(0, 0)};
    EXPECT_EQ(small, lines(compose(input, kOsdTextCapacity)));
}

TEST(OsdText, LongestTextFitsTheBuffer)
{
    OsdUpdateInput input;
    input.showCpu = true;
    input.cpuLoad = INT_MAX;
    input.showMem = true;
    input.memOk = true;
    input.usedMiB = UINT64_MAX;
    input.memLoad = UINT32_MAX;
    input.numOn = input.capsOn = input.scrollOn = true;
    std::wstring const text = compose(input, kOsdTextCapacity);
    EXPECT_LT(text.size() + 1, kOsdTextCapacity);
    std::vector<std::wstring> const expected = {cpuLine(INT_MAX),       L"RAM Used:",
                                                mibLine(UINT64_MAX, UINT32_MAX), L"Num Lock",
                                                L"Caps Lock",           L"Scroll Lock"};
    EXPECT_EQ(expected, lines(text));
}

TEST(OsdText, AppendsStayInsideASmallBuffer)
{
    OsdUpdateInput input;
    input.showCpu = true;
    input.cpuLoad = 12;
    input.showMem = true;
    input.memOk = true;
    input.usedMiB = 301;
    input.memLoad = 59;
    input.numOn = input.capsOn = input.scrollOn = true;
    std::wstring const full = compose(input, kOsdTextCapacity);

    // Exactly big enough, then every smaller size: the buffers are allocated
    // to size, so a write past the end trips the address sanitizer.
    EXPECT_EQ(full, compose(input, full.size() + 1));
    for (size_t capacity = full.size(); capacity >= 1; --capacity)
        EXPECT_EQ(full.substr(0, capacity - 1), compose(input, capacity)) << capacity;
}

TEST(OsdText, NoBufferStillDecides)
{
    OsdChangeState state;
    OsdUpdateInput input;
    input.capsOn = true;
    beginOsdUpdate(state);
    EXPECT_TRUE(finishOsdUpdate(state, input, nullptr, 0));
    EXPECT_TRUE(state.lastCapsOn);
}

TEST(OsdText, UsedMiB)
{
    uint64_t const mib = 1048576;
    EXPECT_EQ(384u, usedMiB(512 * mib, 128 * mib));
    EXPECT_EQ(2u, usedMiB(3 * mib - 1, 0)); // whole MiB only
    EXPECT_EQ(0u, usedMiB(mib - 1, 0));
    EXPECT_EQ(0u, usedMiB(512 * mib, 512 * mib));
    EXPECT_EQ(16384u, usedMiB(17179869184ull, 0)); // 16 GiB, past 32 bits
    EXPECT_EQ(0u, usedMiB(128 * mib, 512 * mib));  // inconsistent counts
}

TEST_F(OsdUpdates, OneInFourIsASamplingUpdate)
{
    for (int i = 0; i < 13; ++i)
        EXPECT_EQ(i % 4 == 0, update().sampling) << i;
}

TEST_F(OsdUpdates, StartUpPrimesTheCpuThenShowsIt)
{
    UpdateResult const first = update(-1);
    EXPECT_TRUE(first.sampling);
    EXPECT_TRUE(first.repaint); // the memory figure differs from the initial 0
    EXPECT_EQ(L"RAM Used:\n301MB (59%)", first.text);

    for (int i = 1; i < 4; ++i) {
        UpdateResult const quiet = update();
        EXPECT_FALSE(quiet.repaint) << i;
        EXPECT_EQ(first.text, quiet.text) << i;
    }

    UpdateResult const withCpu = update(12);
    EXPECT_TRUE(withCpu.sampling);
    EXPECT_TRUE(withCpu.repaint);
    EXPECT_EQ(L"CPU Load: 12%\nRAM Used:\n301MB (59%)", withCpu.text);

    // The figure stays on the three updates between samples.
    for (int i = 5; i < 8; ++i) {
        UpdateResult const between = update();
        EXPECT_FALSE(between.repaint) << i;
        EXPECT_EQ(withCpu.text, between.text) << i;
    }

    UpdateResult const same = update(12);
    EXPECT_TRUE(same.sampling);
    EXPECT_FALSE(same.repaint);
}

TEST_F(OsdUpdates, CpuChangesRepaintAtTheSamplingUpdate)
{
    startWithCpu(12);
    UpdateResult const changed = update(30);
    EXPECT_TRUE(changed.sampling);
    EXPECT_TRUE(changed.repaint);
    EXPECT_EQ(cpuLine(30), lines(changed.text).at(0));

    update();
    update();
    update();
    UpdateResult const failed = update(-1);
    EXPECT_TRUE(failed.sampling);
    EXPECT_TRUE(failed.repaint); // the CPU line goes away
    EXPECT_EQ(L"RAM Used:\n301MB (59%)", failed.text);
}

TEST_F(OsdUpdates, HiddenCpuIsNeverCompared)
{
    input.showCpu = false;
    update(-1);
    for (int i = 1; i < 12; ++i) {
        UpdateResult const result = update(i * 7);
        EXPECT_FALSE(result.repaint) << i;
        EXPECT_EQ(L"RAM Used:\n301MB (59%)", result.text) << i;
    }
}

TEST_F(OsdUpdates, NothingChangedNoRepaint)
{
    startWithCpu(12);
    for (int i = 0; i < 12; ++i)
        EXPECT_FALSE(update(12).repaint) << i;
}

TEST_F(OsdUpdates, LockChangesRepaintAtOnce)
{
    startWithCpu(12);
    update(12); // sampling update out of the way

    input.capsOn = true;
    UpdateResult const on = update();
    EXPECT_FALSE(on.sampling);
    EXPECT_TRUE(on.repaint);
    EXPECT_EQ(L"Caps Lock", lines(on.text).back());

    // No repaint while it stays on, but the text still lists it, so a paint
    // from the window's own messages shows it too.
    UpdateResult const steady = update();
    EXPECT_FALSE(steady.repaint);
    EXPECT_EQ(on.text, steady.text);

    input.capsOn = false;
    UpdateResult const off = update();
    EXPECT_TRUE(off.repaint);
    EXPECT_EQ(L"RAM Used:", lines(off.text).at(1));
    EXPECT_EQ(3u, lines(off.text).size());

    input.numOn = true;
    EXPECT_TRUE(update(12).repaint);
    input.scrollOn = true;
    EXPECT_TRUE(update().repaint);
    UpdateResult const both = update();
    EXPECT_FALSE(both.repaint);
    std::vector<std::wstring> const all = lines(both.text);
    std::vector<std::wstring> const tail(all.end() - 2, all.end());
    EXPECT_EQ((std::vector<std::wstring>{L"Num Lock", L"Scroll Lock"}), tail);
}

TEST_F(OsdUpdates, MemoryBetweenSamplesIsRememberedNotCompared)
{
    update(-1); // sampling, 301

    input.usedMiB = 305;
    UpdateResult const moved = update();
    EXPECT_FALSE(moved.repaint);
    EXPECT_EQ(mibLine(305, 59), lines(moved.text).back());
    EXPECT_FALSE(update().repaint);
    EXPECT_FALSE(update().repaint);

    // The sampling update compares with the figure one update earlier (305).
    UpdateResult const sampled = update(-1);
    EXPECT_TRUE(sampled.sampling);
    EXPECT_FALSE(sampled.repaint);

    update();
    update();
    input.usedMiB = 310; // right before a sampling update
    EXPECT_FALSE(update().repaint);
    EXPECT_FALSE(update(-1).repaint);

    update();
    update();
    update();
    input.usedMiB = 320; // at a sampling update
    UpdateResult const atSample = update(-1);
    EXPECT_TRUE(atSample.sampling);
    EXPECT_TRUE(atSample.repaint);
    EXPECT_EQ(mibLine(320, 59), lines(atSample.text).back());
}

TEST_F(OsdUpdates, MemoryPercentIsNeverCompared)
{
    update(-1);
    update();
    update();
    update();
    input.memLoad = 80;
    UpdateResult const result = update(-1);
    EXPECT_TRUE(result.sampling);
    EXPECT_FALSE(result.repaint);
    EXPECT_EQ(mibLine(301, 80), lines(result.text).back());
}

TEST_F(OsdUpdates, FailedMemoryQueryHidesTheItemAndKeepsTheLastFigure)
{
    update(-1); // 301 shown
    input.memOk = false;
    input.usedMiB = 0; // whatever a failed query leaves behind
    UpdateResult const failed = update();
    EXPECT_TRUE(failed.repaint);
    EXPECT_EQ(L"", failed.text);
    EXPECT_EQ(301u, state.lastUsedMiB);

    EXPECT_FALSE(update().repaint);
    EXPECT_FALSE(update().repaint);
    EXPECT_FALSE(update(-1).repaint); // failing at a sampling update too
    EXPECT_EQ(301u, state.lastUsedMiB);

    input.memOk = true;
    input.usedMiB = 301;
    UpdateResult const back = update();
    EXPECT_TRUE(back.repaint);
    EXPECT_EQ(L"RAM Used:\n301MB (59%)", back.text);
}

TEST_F(OsdUpdates, HiddenMemoryIsNeverCompared)
{
    input.showMem = false;
    for (int i = 0; i < 12; ++i) {
        input.memOk = i % 3 != 0;
        input.usedMiB = uint64_t(100 + i);
        UpdateResult const result = update(-1);
        EXPECT_FALSE(result.repaint) << i;
        EXPECT_EQ(L"", result.text) << i;
    }
}

TEST_F(OsdUpdates, ForceRepaints)
{
    startWithCpu(12);
    update(12);
    input.force = true;
    UpdateResult const forced = update();
    EXPECT_FALSE(forced.sampling);
    EXPECT_TRUE(forced.repaint);
    EXPECT_FALSE(update().repaint);
}

TEST_F(OsdUpdates, OnlyLocksShown)
{
    input.showCpu = false;
    input.showMem = false;
    UpdateResult const empty = update(-1);
    EXPECT_FALSE(empty.repaint);
    EXPECT_EQ(L"", empty.text);

    input.capsOn = true;
    UpdateResult const caps = update();
    EXPECT_TRUE(caps.repaint);
    EXPECT_EQ(L"Caps Lock", caps.text);
}

#include "osd/OsdText.h"

#include <gtest/gtest.h>

#include <climits>
#include <memory>
#include <string>
#include <vector>

namespace {

wchar_t const kMem[] = L"RAM Used:\n301MB (59%)";
wchar_t const kCpuMem[] = L"CPU Load: 12%\nRAM Used:\n301MB (59%)";

// Splits at every "\n"; a stray separator at either end shows as an empty line.
std::vector<std::wstring> lines(std::wstring const& text)
{
    std::vector<std::wstring> result;
    for (size_t start = 0; !text.empty();) {
        size_t const end = text.find(L'\n', start);
        result.push_back(text.substr(start, end == std::wstring::npos ? end : end - start));
        if (end == std::wstring::npos)
            break;
        start = end + 1;
    }
    return result;
}

OsdUpdateInput allShown(bool locksOn)
{
    OsdUpdateInput input;
    input.showCpu = input.showMem = input.memOk = true;
    input.cpuLoad = 12;
    input.usedMiB = 301;
    input.memLoad = 59;
    input.numOn = input.capsOn = input.scrollOn = locksOn;
    return input;
}

// The text of the first update from a fresh state, in a buffer of exactly
// `capacity` units (a write past it trips the address sanitizer).
std::wstring compose(OsdUpdateInput const& input, size_t capacity = kOsdTextCapacity)
{
    OsdChangeState state;
    beginOsdUpdate(state);
    std::unique_ptr<wchar_t[]> text(new wchar_t[capacity]);
    finishOsdUpdate(state, input, text.get(), capacity);
    return text.get();
}

// Drives updates the way the OSD does: the CPU is sampled only on a
// sampling update, and every update checks the one-in-four rhythm.
class OsdUpdates : public testing::Test {
protected:
    OsdUpdates() : input(allShown(false)) {}

    std::wstring update(int cpuSample = -1, bool const* repaint = nullptr)
    {
        bool const sampling = beginOsdUpdate(state);
        EXPECT_EQ(updates_ % 4 == 0, sampling) << "update " << updates_;
        input.cpuLoad = sampling ? cpuSample : 777; // ignored when not sampling
        wchar_t text[kOsdTextCapacity];
        bool const repainted = finishOsdUpdate(state, input, text, kOsdTextCapacity);
        if (repaint != nullptr) {
            EXPECT_EQ(*repaint, repainted) << "update " << updates_;
        }
        input.force = false;
        ++updates_;
        return text;
    }

    void expectUpdate(int cpuSample, bool repaint, wchar_t const* text = nullptr)
    {
        std::wstring const got = update(cpuSample, &repaint);
        if (text != nullptr) {
            EXPECT_EQ(text, got) << "update " << updates_ - 1;
        }
    }

    void skip(int count)
    {
        for (int i = 0; i < count; ++i)
            update();
    }

    // The first sampling update primes the CPU; the second one gives `load`.
    void startWithCpu(int load)
    {
        skip(4);
        update(load);
        skip(3);
    }

    OsdChangeState state;
    OsdUpdateInput input;

private:
    int updates_ = 0;
};

} // namespace

TEST(OsdText, EveryCombinationOfItemsInOrder)
{
    for (int mask = 0; mask < 32; ++mask) {
        OsdUpdateInput input = allShown(false);
        input.showCpu = mask & 1;
        input.showMem = mask & 2;
        input.numOn = mask & 4;
        input.capsOn = mask & 8;
        input.scrollOn = mask & 16;
        std::vector<std::wstring> expected;
        if (input.showCpu)
            expected.push_back(L"CPU Load: 12%");
        if (input.showMem)
            expected.insert(expected.end(), {L"RAM Used:", L"301MB (59%)"});
        if (input.numOn)
            expected.push_back(L"Num Lock");
        if (input.capsOn)
            expected.push_back(L"Caps Lock");
        if (input.scrollOn)
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

TEST(OsdText, FiguresAtTheirLimitsAndItemsWithoutAFigure)
{
    struct Row {
        int cpu;
        uint64_t mib;
        uint32_t load;
        bool locks;
        wchar_t const* text;
    };
    Row const rows[] = {
        {0, UINT64_MAX / 1048576, 100, false, L"CPU Load: 0%\nRAM Used:\n17592186044415MB (100%)"},
        {100, 0, 0, false, L"CPU Load: 100%\nRAM Used:\n0MB (0%)"},
        // The longest text there is still fits the buffer.
        {INT_MAX, UINT64_MAX, UINT32_MAX, true,
         L"CPU Load: 2147483647%\nRAM Used:\n18446744073709551615MB (4294967295%)\n"
         L"Num Lock\nCaps Lock\nScroll Lock"},
    };
    for (Row const& row : rows) {
        OsdUpdateInput input = allShown(row.locks);
        input.cpuLoad = row.cpu;
        input.usedMiB = row.mib;
        input.memLoad = row.load;
        EXPECT_EQ(row.text, compose(input));
    }

    OsdUpdateInput input = allShown(false);
    input.cpuLoad = -1;   // failed or priming sample
    input.memOk = false;  // failed memory query
    input.capsOn = true;
    EXPECT_EQ(L"Caps Lock", compose(input));
}

TEST(OsdText, AppendsStayInsideASmallBuffer)
{
    OsdUpdateInput const input = allShown(true);
    std::wstring const full = compose(input);
    EXPECT_EQ(full, compose(input, full.size() + 1));
    for (size_t capacity = full.size(); capacity >= 1; --capacity)
        EXPECT_EQ(full.substr(0, capacity - 1), compose(input, capacity)) << capacity;

    // No buffer at all still decides.
    OsdChangeState state;
    OsdUpdateInput caps;
    caps.capsOn = true;
    beginOsdUpdate(state);
    EXPECT_TRUE(finishOsdUpdate(state, caps, nullptr, 0));
    EXPECT_TRUE(state.lastCapsOn);
}

TEST(OsdText, UsedMiBInWholeMiB)
{
    uint64_t const mib = 1048576;
    EXPECT_EQ(384u, usedMiB(512 * mib, 128 * mib));
    EXPECT_EQ(2u, usedMiB(3 * mib - 1, 0));
    EXPECT_EQ(0u, usedMiB(mib - 1, 0));
    EXPECT_EQ(0u, usedMiB(512 * mib, 512 * mib));
    EXPECT_EQ(16384u, usedMiB(17179869184ull, 0)); // 16 GiB, past 32 bits
    EXPECT_EQ(0u, usedMiB(128 * mib, 512 * mib));  // inconsistent counts
}

TEST_F(OsdUpdates, StartUpPrimesTheCpuThenShowsItFromTheNextSample)
{
    expectUpdate(-1, true, kMem); // the memory figure differs from the initial 0
    for (int i = 0; i < 3; ++i)
        expectUpdate(-1, false, kMem);
    expectUpdate(12, true, kCpuMem);
    for (int i = 0; i < 3; ++i)
        expectUpdate(-1, false, kCpuMem); // the figure stays between samples
    expectUpdate(12, false, kCpuMem);
    for (int i = 0; i < 12; ++i)
        expectUpdate(12, false);
}

TEST_F(OsdUpdates, CpuChangesRepaintAtTheSamplingUpdateOnlyWhenShown)
{
    startWithCpu(12);
    expectUpdate(30, true, L"CPU Load: 30%\nRAM Used:\n301MB (59%)");
    skip(3);
    expectUpdate(-1, true, kMem); // a failed sample takes the CPU line away

    input.showCpu = false;
    for (int i = 1; i < 12; ++i)
        expectUpdate(i * 7, false, kMem);
}

TEST_F(OsdUpdates, LockChangesAndForceRepaintAtOnce)
{
    startWithCpu(12);
    update(12);
    input.capsOn = true;
    expectUpdate(-1, true, L"CPU Load: 12%\nRAM Used:\n301MB (59%)\nCaps Lock");
    // No repaint while it stays on, but the text still lists it, so a paint
    // from the window's own messages shows it too.
    expectUpdate(-1, false, L"CPU Load: 12%\nRAM Used:\n301MB (59%)\nCaps Lock");
    input.capsOn = false;
    expectUpdate(-1, true, kCpuMem);
    input.numOn = true;
    expectUpdate(12, true);
    input.scrollOn = true;
    expectUpdate(-1, true);
    expectUpdate(-1, false, L"CPU Load: 12%\nRAM Used:\n301MB (59%)\nNum Lock\nScroll Lock");
    input.force = true;
    expectUpdate(-1, true);
    expectUpdate(12, false);
}

TEST_F(OsdUpdates, OnlyLocksShown)
{
    input.showCpu = input.showMem = false;
    expectUpdate(-1, false, L"");
    input.capsOn = true;
    expectUpdate(-1, true, L"Caps Lock");
}

TEST_F(OsdUpdates, MemoryIsComparedAtSamplingUpdatesWithTheFigureOneUpdateEarlier)
{
    update(-1); // 301
    input.usedMiB = 305;
    expectUpdate(-1, false, L"RAM Used:\n305MB (59%)"); // remembered, not compared
    expectUpdate(-1, false);
    expectUpdate(-1, false);
    expectUpdate(-1, false); // sampling: 305 against 305
    skip(2);
    input.usedMiB = 310; // right before a sampling update
    expectUpdate(-1, false);
    expectUpdate(-1, false);
    skip(3);
    input.usedMiB = 320; // at a sampling update
    expectUpdate(-1, true, L"RAM Used:\n320MB (59%)");
    skip(3);
    input.memLoad = 80; // the percentage is never compared
    expectUpdate(-1, false, L"RAM Used:\n320MB (80%)");
}

TEST_F(OsdUpdates, FailedMemoryHidesTheItemAndKeepsTheLastFigure)
{
    update(-1); // 301 shown
    input.memOk = false;
    input.usedMiB = 0; // whatever a failed query leaves behind
    expectUpdate(-1, true, L"");
    EXPECT_EQ(301u, state.lastUsedMiB);
    for (int i = 0; i < 3; ++i)
        expectUpdate(-1, false); // failing at a sampling update too
    EXPECT_EQ(301u, state.lastUsedMiB);
    input.memOk = true;
    input.usedMiB = 301;
    expectUpdate(-1, true, kMem);
}

TEST_F(OsdUpdates, HiddenMemoryIsNeverCompared)
{
    input.showMem = false;
    for (int i = 0; i < 12; ++i) {
        input.memOk = i % 3 != 0;
        input.usedMiB = uint64_t(100 + i);
        expectUpdate(-1, false, L"");
    }
}

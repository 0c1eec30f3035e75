#include "display/ResolutionModes.h"

#include <gtest/gtest.h>

#include <climits>
#include <string>

#include "tests/native/NativeTestSupport.h"

namespace {

ResolutionMode const kChoosable[] = {1, 2, 6};

} // namespace

TEST(ResolutionModes, TableBothWays)
{
    struct Row {
        int width, height;
        ResolutionMode mode;
        bool switchable; // the switch sets this very size
    };
    Row const rows[] = {
        {640, 480, 0, true}, {800, 480, 1, true}, {800, 600, 2, true}, {1000, 600, 3, false},
        {1024, 600, 5, false}, {1024, 768, 6, true},
        // Any other size; a rotated panel is not 800x480, nor one mode's width
        // with another's height.
        {1280, 800, 19, false}, {480, 800, 19, false}, {768, 1024, 19, false},
        {800, 768, 19, false}, {0, 0, 19, false}, {-800, -480, 19, false},
    };
    for (Row const& row : rows) {
        SCOPED_TRACE(std::to_string(row.width) + "x" + std::to_string(row.height));
        EXPECT_EQ(row.mode, detectModeFromSize(row.width, row.height));
        int width = 123;
        int height = 456;
        EXPECT_EQ(row.switchable, switchTargetSize(row.mode, width, height));
        EXPECT_EQ(row.switchable ? row.width : 123, width);
        EXPECT_EQ(row.switchable ? row.height : 456, height);
    }
    for (ResolutionMode mode : {4, -1, 7, 255, INT32_MIN, INT32_MAX}) {
        int width = 123;
        int height = 456;
        EXPECT_FALSE(switchTargetSize(mode, width, height)) << mode;
        EXPECT_EQ(123, width);
        EXPECT_EQ(456, height);
    }
    for (int width = 0; width <= 1100; width += 4)
        for (int height = 0; height <= 800; height += 4)
            ASSERT_NE(4, detectModeFromSize(width, height)) << width << "x" << height;
}

TEST(ResolutionModes, DisplayValuesOfChoosableModesAndTheFallback)
{
    struct Row {
        ResolutionMode mode;
        int width, height;
        unsigned menuCommand;
        wchar_t const* tip;
    };
    Row const rows[] = {
        {1, 800, 480, IDM_MODE_800X480, L"800x480x32bit"},
        {2, 800, 600, IDM_MODE_800X600, L"800x600x32bit"},
        {6, 1024, 768, IDM_MODE_1024X768, L"1024x768x32bit"},
        // Every other code falls back to 800x480.
        {0, 800, 480, IDM_MODE_800X480, L"800x480x32bit"},
        {3, 800, 480, IDM_MODE_800X480, L"800x480x32bit"},
        {4, 800, 480, IDM_MODE_800X480, L"800x480x32bit"},
        {5, 800, 480, IDM_MODE_800X480, L"800x480x32bit"},
        {19, 800, 480, IDM_MODE_800X480, L"800x480x32bit"},
        {-1, 800, 480, IDM_MODE_800X480, L"800x480x32bit"},
        {7, 800, 480, IDM_MODE_800X480, L"800x480x32bit"},
        {INT32_MIN, 800, 480, IDM_MODE_800X480, L"800x480x32bit"},
        {INT32_MAX, 800, 480, IDM_MODE_800X480, L"800x480x32bit"},
    };
    for (Row const& row : rows) {
        ModeRow const& values = modeDisplayValues(row.mode);
        EXPECT_EQ(row.width, values.width) << row.mode;
        EXPECT_EQ(row.height, values.height) << row.mode;
        EXPECT_EQ(row.menuCommand, values.menuCommand) << row.mode;
        EXPECT_EQ(row.tip, text(values.tip)) << row.mode;
    }
}

TEST(ResolutionModes, BalloonForEverySwitchResult)
{
    wchar_t const kError[] = L"Resolution could not be changed due to an error!";
    struct Row {
        long result;
        wchar_t const* text;
        wchar_t const* title;
        unsigned infoFlags;
    };
    Row const rows[] = {
        {-3, L"New resolution lasts until logoff: it could not be saved to registry!", L"Warning", 2},
        // A restart is a warning titled "Information".
        {1, L"The system must be restarted for changes to take affect.", L"Information", 2},
        {-1, kError, L"Error", 3}, {-2, kError, L"Error", 3}, {-4, kError, L"Error", 3},
        {-5, kError, L"Error", 3}, {-6, kError, L"Error", 3}, {2, kError, L"Error", 3},
        {42, kError, L"Error", 3}, {LONG_MIN, kError, L"Error", 3}, {LONG_MAX, kError, L"Error", 3},
    };
    for (Row const& row : rows) {
        SwitchBalloon balloon = {};
        ASSERT_TRUE(balloonForSwitchResult(row.result, balloon)) << row.result;
        EXPECT_EQ(row.text, text(balloon.text)) << row.result;
        EXPECT_EQ(row.title, text(balloon.title)) << row.result;
        EXPECT_EQ(3000u, balloon.timeoutMs) << row.result;
        EXPECT_EQ(row.infoFlags, balloon.infoFlags) << row.result;
    }
    // Success shows nothing and leaves the balloon alone.
    SwitchBalloon balloon = {L"untouched", L"untouched", 1, 1};
    EXPECT_FALSE(balloonForSwitchResult(0, balloon));
    EXPECT_EQ(L"untouched", text(balloon.text));
    EXPECT_EQ(1u, balloon.timeoutMs);
}

TEST(ResolutionModes, StartUpSwitchPlan)
{
    struct Row {
        ResolutionMode current, saved;
        bool scaling;
        SwitchPlan plan;
    };
    Row const rows[] = {
        // 800x480 active and saved: nothing to do, whatever the scaling flag says.
        {1, 1, false, SwitchPlan::None}, {1, 1, true, SwitchPlan::None},
        // A larger mode active and saved: set again through 800x480 only with scaling.
        {6, 6, false, SwitchPlan::None}, {6, 6, true, SwitchPlan::ThroughNative},
        {2, 2, true, SwitchPlan::ThroughNative},
        {1, 2, false, SwitchPlan::Plain}, {1, 2, true, SwitchPlan::Plain},
        {6, 1, true, SwitchPlan::Plain},
    };
    for (Row const& row : rows)
        EXPECT_EQ(row.plan, planStartupSwitch(row.current, row.saved, row.scaling))
            << row.current << " " << row.saved << " " << row.scaling;
    // Sizes that cannot be chosen never match the saved mode.
    for (ResolutionMode current : {0, 3, 5, 19})
        for (ResolutionMode saved : kChoosable)
            for (bool scaling : {false, true})
                EXPECT_EQ(SwitchPlan::Plain, planStartupSwitch(current, saved, scaling));
}

TEST(ResolutionModes, ApplySwitchPlan)
{
    for (ResolutionMode mode : kChoosable) {
        EXPECT_EQ(SwitchPlan::None, planApplySwitch(mode, mode, false, false)) << mode;
        EXPECT_EQ(SwitchPlan::None, planApplySwitch(mode, mode, true, true)) << mode;
        // A changed scaling flag goes through 800x480 either way.
        EXPECT_EQ(SwitchPlan::ThroughNative, planApplySwitch(mode, mode, true, false)) << mode;
        EXPECT_EQ(SwitchPlan::ThroughNative, planApplySwitch(mode, mode, false, true)) << mode;
    }
    // A different mode is one plain switch, scaling change or not.
    EXPECT_EQ(SwitchPlan::Plain, planApplySwitch(1, 6, false, false));
    EXPECT_EQ(SwitchPlan::Plain, planApplySwitch(1, 6, true, false));
    EXPECT_EQ(SwitchPlan::Plain, planApplySwitch(6, 1, false, true));
    EXPECT_EQ(SwitchPlan::Plain, planApplySwitch(19, 1, false, false)); // 1280x800
    EXPECT_EQ(SwitchPlan::Plain, planApplySwitch(3, 2, false, false));  // 1000x600
    EXPECT_EQ(SwitchPlan::Plain, planApplySwitch(5, 2, true, true));    // 1024x600
}

TEST(ResolutionModes, ThroughNativeStepsEndAtTheChosenMode)
{
    SwitchSteps const native = throughNativeSteps(1);
    ASSERT_EQ(1u, native.count);
    EXPECT_EQ(1, native.modes[0]);
    for (ResolutionMode mode : {2, 6}) {
        SwitchSteps const steps = throughNativeSteps(mode);
        ASSERT_EQ(2u, steps.count) << mode;
        EXPECT_EQ(1, steps.modes[0]) << mode;
        EXPECT_EQ(mode, steps.modes[1]) << mode; // the reported one
    }
}

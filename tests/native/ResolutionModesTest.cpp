#include "display/ResolutionModes.h"

#include <gtest/gtest.h>

#include <climits>
#include <string>

namespace {

struct KnownSize {
    int width;
    int height;
    ResolutionMode mode;
};

KnownSize const kKnownSizes[] = {
    {640, 480, 0}, {800, 480, 1}, {800, 600, 2}, {1000, 600, 3}, {1024, 600, 5}, {1024, 768, 6},
};

ResolutionMode const kSwitchable[] = {0, 1, 2, 6};
ResolutionMode const kNotSwitchable[] = {3, 4, 5, 19, -1, 7, 255, INT32_MIN, INT32_MAX};
ResolutionMode const kChoosable[] = {1, 2, 6};

std::wstring text(wchar_t const* s)
{
    return s == nullptr ? std::wstring(L"(null)") : std::wstring(s);
}

} // namespace

TEST(ResolutionModes, DetectsEveryKnownSize)
{
    for (KnownSize const& size : kKnownSizes)
        EXPECT_EQ(size.mode, detectModeFromSize(size.width, size.height))
            << size.width << "x" << size.height;
}

TEST(ResolutionModes, UnknownSizesAreOther)
{
    EXPECT_EQ(19, detectModeFromSize(1280, 800));
    EXPECT_EQ(19, detectModeFromSize(480, 800)); // a rotated panel is not 800x480
    EXPECT_EQ(19, detectModeFromSize(768, 1024));
    EXPECT_EQ(19, detectModeFromSize(800, 768)); // width of one mode, height of another
    EXPECT_EQ(19, detectModeFromSize(0, 0));
    EXPECT_EQ(19, detectModeFromSize(-800, -480));
}

TEST(ResolutionModes, NoSizeDetectsAsFour)
{
    for (int width = 0; width <= 1100; width += 4) {
        for (int height = 0; height <= 800; height += 4)
            ASSERT_NE(4, detectModeFromSize(width, height)) << width << "x" << height;
    }
}

TEST(ResolutionModes, SwitchTargetsDetectAsTheirOwnMode)
{
    for (ResolutionMode mode : kSwitchable) {
        int width = 0;
        int height = 0;
        ASSERT_TRUE(switchTargetSize(mode, width, height)) << mode;
        EXPECT_EQ(mode, detectModeFromSize(width, height)) << mode;
    }
}

TEST(ResolutionModes, SwitchTargetsMatchTheTable)
{
    for (KnownSize const& size : kKnownSizes) {
        int width = -7;
        int height = -7;
        bool const switchable = switchTargetSize(size.mode, width, height);
        if (size.mode == 3 || size.mode == 5) {
            EXPECT_FALSE(switchable) << size.mode;
            continue;
        }
        ASSERT_TRUE(switchable) << size.mode;
        EXPECT_EQ(size.width, width);
        EXPECT_EQ(size.height, height);
    }
}

TEST(ResolutionModes, CodesWithoutASwitchLeaveTheSizeAlone)
{
    for (ResolutionMode mode : kNotSwitchable) {
        int width = 123;
        int height = 456;
        EXPECT_FALSE(switchTargetSize(mode, width, height)) << mode;
        EXPECT_EQ(123, width);
        EXPECT_EQ(456, height);
    }
}

TEST(ModeDisplayValues, ChoosableModes)
{
    ModeDisplayValues const v1 = modeDisplayValues(1);
    EXPECT_EQ(800, v1.width);
    EXPECT_EQ(480, v1.height);
    EXPECT_EQ(32780u, v1.menuCommand);
    EXPECT_EQ(L"800x480x32bit", text(v1.tip));

    ModeDisplayValues const v2 = modeDisplayValues(2);
    EXPECT_EQ(800, v2.width);
    EXPECT_EQ(600, v2.height);
    EXPECT_EQ(32781u, v2.menuCommand);
    EXPECT_EQ(L"800x600x32bit", text(v2.tip));

    ModeDisplayValues const v6 = modeDisplayValues(6);
    EXPECT_EQ(1024, v6.width);
    EXPECT_EQ(768, v6.height);
    EXPECT_EQ(32779u, v6.menuCommand);
    EXPECT_EQ(L"1024x768x32bit", text(v6.tip));
}

TEST(ModeDisplayValues, AgreeWithTheSwitchedSize)
{
    for (ResolutionMode mode : kChoosable) {
        int width = 0;
        int height = 0;
        ASSERT_TRUE(switchTargetSize(mode, width, height));
        ModeDisplayValues const values = modeDisplayValues(mode);
        EXPECT_EQ(width, values.width) << mode;
        EXPECT_EQ(height, values.height) << mode;
    }
}

TEST(ModeDisplayValues, OtherModesFallBackTo800x480)
{
    ModeDisplayValues const native = modeDisplayValues(1);
    ResolutionMode const others[] = {0, 3, 4, 5, 19, -1, 7, INT32_MIN, INT32_MAX};
    for (ResolutionMode mode : others) {
        ModeDisplayValues const values = modeDisplayValues(mode);
        EXPECT_EQ(native.width, values.width) << mode;
        EXPECT_EQ(native.height, values.height) << mode;
        EXPECT_EQ(native.menuCommand, values.menuCommand) << mode;
        EXPECT_EQ(text(native.tip), text(values.tip)) << mode;
    }
}

TEST(SwitchBalloon, SuccessShowsNothing)
{
    SwitchBalloon balloon = {L"untouched", L"untouched", 1, 1};
    EXPECT_FALSE(balloonForSwitchResult(0, balloon));
    EXPECT_EQ(L"untouched", text(balloon.text));
    EXPECT_EQ(1u, balloon.timeoutMs);
}

TEST(SwitchBalloon, RegistryNotUpdated)
{
    SwitchBalloon balloon = {};
    ASSERT_TRUE(balloonForSwitchResult(-3, balloon));
    EXPECT_EQ(L"New resolution could not be saved to registry!", text(balloon.text));
    EXPECT_EQ(L"Error", text(balloon.title));
    EXPECT_EQ(3000u, balloon.timeoutMs);
    EXPECT_EQ(3u, balloon.infoFlags);
}

TEST(SwitchBalloon, RestartNeededIsAWarningTitledInformation)
{
    SwitchBalloon balloon = {};
    ASSERT_TRUE(balloonForSwitchResult(1, balloon));
    EXPECT_EQ(L"The system must be restarted for changes to take affect.", text(balloon.text));
    EXPECT_EQ(L"Information", text(balloon.title));
    EXPECT_EQ(3000u, balloon.timeoutMs);
    EXPECT_EQ(2u, balloon.infoFlags);
}

TEST(SwitchBalloon, EveryOtherResultIsAGeneralError)
{
    long const results[] = {-1, -2, -4, -5, -6, 2, 42, LONG_MIN, LONG_MAX};
    for (long result : results) {
        SwitchBalloon balloon = {};
        ASSERT_TRUE(balloonForSwitchResult(result, balloon)) << result;
        EXPECT_EQ(L"Resolution could not be changed due to an error!", text(balloon.text)) << result;
        EXPECT_EQ(L"Error", text(balloon.title)) << result;
        EXPECT_EQ(3000u, balloon.timeoutMs) << result;
        EXPECT_EQ(3u, balloon.infoFlags) << result;
    }
}

TEST(StartupSwitch, SavedModeAlreadyActive)
{
    // 800x480 active and saved: nothing to do, whatever the scaling flag says.
    EXPECT_EQ(SwitchPlan::None, planStartupSwitch(1, 1, false));
    EXPECT_EQ(SwitchPlan::None, planStartupSwitch(1, 1, true));
    // A larger mode active and saved: set again through 800x480 only with scaling.
    EXPECT_EQ(SwitchPlan::None, planStartupSwitch(6, 6, false));
    EXPECT_EQ(SwitchPlan::ThroughNative, planStartupSwitch(6, 6, true));
    EXPECT_EQ(SwitchPlan::ThroughNative, planStartupSwitch(2, 2, true));
}

TEST(StartupSwitch, OtherModeActive)
{
    EXPECT_EQ(SwitchPlan::Plain, planStartupSwitch(1, 2, false));
    EXPECT_EQ(SwitchPlan::Plain, planStartupSwitch(1, 2, true));
    EXPECT_EQ(SwitchPlan::Plain, planStartupSwitch(6, 1, true));
    // Sizes that cannot be chosen never match the saved mode.
    ResolutionMode const detectedOnly[] = {0, 3, 5, 19};
    for (ResolutionMode current : detectedOnly) {
        for (ResolutionMode mode : kChoosable) {
            EXPECT_EQ(SwitchPlan::Plain, planStartupSwitch(current, mode, false));
            EXPECT_EQ(SwitchPlan::Plain, planStartupSwitch(current, mode, true));
        }
    }
}

TEST(ApplySwitch, NothingChangedSwitchesNothing)
{
    for (ResolutionMode mode : kChoosable) {
        EXPECT_EQ(SwitchPlan::None, planApplySwitch(mode, mode, false, false)) << mode;
        EXPECT_EQ(SwitchPlan::None, planApplySwitch(mode, mode, true, true)) << mode;
    }
}

TEST(ApplySwitch, ScalingChangeGoesThroughNativeEitherWay)
{
    for (ResolutionMode mode : kChoosable) {
        EXPECT_EQ(SwitchPlan::ThroughNative, planApplySwitch(mode, mode, true, false)) << mode;
        EXPECT_EQ(SwitchPlan::ThroughNative, planApplySwitch(mode, mode, false, true)) << mode;
    }
}

TEST(ApplySwitch, DifferentModeSwitchesStraightToIt)
{
    // A changed scaling flag adds no extra switch when the mode differs.
    EXPECT_EQ(SwitchPlan::Plain, planApplySwitch(1, 6, false, false));
    EXPECT_EQ(SwitchPlan::Plain, planApplySwitch(1, 6, true, false));
    EXPECT_EQ(SwitchPlan::Plain, planApplySwitch(6, 1, false, true));
    EXPECT_EQ(SwitchPlan::Plain, planApplySwitch(19, 1, false, false)); // 1280x800
    EXPECT_EQ(SwitchPlan::Plain, planApplySwitch(3, 2, false, false));  // 1000x600
    EXPECT_EQ(SwitchPlan::Plain, planApplySwitch(5, 2, true, true));    // 1024x600
}

TEST(ApplySwitch, FirstApplyAfterTurningScalingOn)
{
    // Scaling=0 at start, box now on, 1024x768 chosen and active.
    bool lastAppliedScaling = false;
    EXPECT_EQ(SwitchPlan::ThroughNative, planApplySwitch(6, 6, true, lastAppliedScaling));
    lastAppliedScaling = true;
    // The Apply right after it switches nothing.
    EXPECT_EQ(SwitchPlan::None, planApplySwitch(6, 6, true, lastAppliedScaling));
}

TEST(ThroughNative, NativeModeIsOneSwitch)
{
    SwitchSteps const steps = throughNativeSteps(1);
    ASSERT_EQ(1u, steps.count);
    EXPECT_EQ(1, steps.modes[0]);
}

TEST(ThroughNative, LargerModesGoVia800x480)
{
    ResolutionMode const larger[] = {2, 6};
    for (ResolutionMode mode : larger) {
        SwitchSteps const steps = throughNativeSteps(mode);
        ASSERT_EQ(2u, steps.count) << mode;
        EXPECT_EQ(1, steps.modes[0]) << mode;
        EXPECT_EQ(mode, steps.modes[steps.count - 1]) << mode; // the reported one
    }
}

#include "settings/SettingsTemplates.h"

#include "display/ResolutionModes.h"
#include "settings/SettingsText.h"
#include "tray/GlyphLayout.h"

wchar_t const kResolutionTemplate[] =
    L"[KOVIX Tool resolution settings]\n"
    L"Resolution=%d,%d;\n"
    L"Scaling=%d;\n"
    L"Minimized=%d;\n"
    L";For transparency, use '8487297'. Eg. \"NumLckBG=8487297;\"\n"
    L"NumLock=%d;\n"
    L"NumLckBG=%d;\n"
    L"NumLckFG=%d;\n"
    L"CapsLock=%d;\n"
    L"CpsLckBG=%d;\n"
    L"CpsLckFG=%d;\n"
    L"ScrlLock=%d;\n"
    L"ScrLckBG=%d;\n"
    L"ScrLckFG=%d;\n"
    L"\n"
    L"[OSD Settings]\n"
    L";For extra OSD settings go to OSD.ini\n"
    L";OSD keyboard indicator on\\off\n"
    L"KbInd=%d;\n"
    L";Color of the OSD keyboard indicator\n"
    L"KbIndClr=%d;\n"
    L";Position of the OSD, 1 = top-left, 2 = top-right, 3 = bottom-left, 4 = bottom-right, 5 = mid-left, 6 = mid-right\n"
    L"KbIndPos=%d;";

int32_t const kResolutionDefaultValues[kResolutionTemplateArgs] = {
    kNativeModeRow.width, kNativeModeRow.height, kScalingDefault, kMinimizedDefault,
    1, int32_t(kLockTable[0].defaultBack), int32_t(kLockTable[0].defaultLetter),
    1, int32_t(kLockTable[1].defaultBack), int32_t(kLockTable[1].defaultLetter),
    1, int32_t(kLockTable[2].defaultBack), int32_t(kLockTable[2].defaultLetter),
    kKbIndDefault, kKbIndClrDefault, kKbIndPosDefault,
};

wchar_t const kOsdDefaultText[] =
    L"[KOVIX Tool OSD settings]\n"
    L";To enable\\disable the OSD, position on screen settings and text color check Resolution.ini\n"
    L"CpuLoad=1;\n"
    L"MemLoad=1;";

namespace {

// Decimal digits of a 32-bit value; INT32_MIN included.
size_t formatDecimal(int32_t value, wchar_t (&digits)[12])
{
    wchar_t reversed[11];
    size_t count = 0;
    int64_t magnitude = value < 0 ? -int64_t(value) : int64_t(value);
    do {
        reversed[count++] = wchar_t(L'0' + magnitude % 10);
        magnitude /= 10;
    } while (magnitude != 0);
    size_t length = 0;
    if (value < 0)
        digits[length++] = L'-';
    while (count > 0)
        digits[length++] = reversed[--count];
    digits[length] = 0;
    return length;
}

} // namespace

bool formatSettingsTemplate(wchar_t const* pattern, int32_t const* values, int valueCount,
                            wchar_t* dest, size_t capacity)
{
    if (capacity == 0)
        return false;
    size_t length = 0;
    bool complete = true;
    int used = 0;
    auto put = [&](wchar_t c) {
        if (length + 1 < capacity)
            dest[length++] = c;
        else
            complete = false;
    };
    for (; *pattern != 0; ++pattern) {
        if (pattern[0] == L'%' && pattern[1] == L'd') {
            ++pattern;
            if (used >= valueCount) {
                complete = false;
                continue;
            }
            wchar_t digits[12];
            formatDecimal(values[used++], digits);
            for (wchar_t const* d = digits; *d != 0; ++d)
                put(*d);
        } else {
            put(*pattern);
        }
    }
    dest[length] = 0;
    return complete;
}

bool formatResolutionSettings(int32_t const (&values)[kResolutionTemplateArgs], wchar_t* dest,
                              size_t capacity)
{
    return formatSettingsTemplate(kResolutionTemplate, values, kResolutionTemplateArgs, dest,
                                  capacity);
}

void defaultResolutionText(wchar_t* dest, size_t capacity)
{
    formatResolutionSettings(kResolutionDefaultValues, dest, capacity);
}

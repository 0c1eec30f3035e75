#include "display/DisplayModeSwitcher.h"

LONG DisplayModeSwitcher::setMode(int32_t width, int32_t height, int32_t bitsPerPixel) const
{
    DEVMODEW mode = {};
    mode.dmSize = sizeof(mode);
    mode.dmDriverExtra = 0;
    // Graphics mode 0 only supplies a well-formed record; its refresh rate
    // and other values are not requested.
    EnumDisplaySettingsW(nullptr, 0, &mode);
    mode.dmFields = DM_BITSPERPEL | DM_PELSWIDTH | DM_PELSHEIGHT;
    mode.dmBitsPerPel = DWORD(bitsPerPixel);
    mode.dmPelsWidth = DWORD(width);
    mode.dmPelsHeight = DWORD(height);
    LONG const result = change(&mode, CDS_UPDATEREGISTRY);
    // An account that may not store display settings (an XP limited one)
    // still may set them until it logs off.
    if (result != DISP_CHANGE_NOTUPDATED)
        return result;
    LONG const session = change(&mode, 0);
    return session == DISP_CHANGE_SUCCESSFUL ? DISP_CHANGE_NOTUPDATED : session;
}

LONG DisplayModeSwitcher::switchTo(ResolutionMode mode) const
{
    int width = 0;
    int height = 0;
    if (!switchTargetSize(mode, width, height))
        return DISP_CHANGE_SUCCESSFUL;
    return setMode(width, height, kModeBitsPerPixel);
}

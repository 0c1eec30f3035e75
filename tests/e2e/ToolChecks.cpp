#include "tests/e2e/ToolChecks.h"

#include <algorithm>
#include <cstdio>
#include <sstream>

#include "tests/e2e/ToolProcess.h"

// ------------------------------------------------------------------ files

namespace {

// The golden Resolution.ini of tests/resources, the one copy of the text the
// program first writes; empty (so every comparison fails) when unreadable.
std::string const& goldenDefaultText()
{
    static std::string const text =
        readFileBytes(host::dosPath(KOVIX_TEST_RESOURCES "/default-Resolution.ini"));
    return text;
}

// `text` with the value of its line "KEY=...;" replaced.
std::string withValue(std::string text, char const* key, std::string const& value)
{
    std::string const start = std::string("\n") + key + "=";
    size_t const at = text.find(start);
    if (at == std::string::npos)
        return text;
    size_t const from = at + start.size();
    return text.replace(from, text.find(';', from) - from, value);
}

} // namespace

std::string writtenText(Written const& w)
{
    struct Line {
        char const* key;
        std::string value;
    };
    auto n = [](int value) { return std::to_string(value); };
    Line const lines[] = {
        {"Resolution", n(w.width) + "," + n(w.height)},
        {"Scaling", n(w.scaling)}, {"Minimized", n(w.minimized)},
        {"NumLock", n(w.numLock)}, {"NumLckBG", n(w.numBG)}, {"NumLckFG", n(w.numFG)},
        {"CapsLock", n(w.capsLock)}, {"CpsLckBG", n(w.capsBG)}, {"CpsLckFG", n(w.capsFG)},
        {"ScrlLock", n(w.scrlLock)}, {"ScrLckBG", n(w.scrBG)}, {"ScrLckFG", n(w.scrFG)},
        {"KbInd", n(w.kbInd)}, {"KbIndClr", n(w.kbIndClr)}, {"KbIndPos", n(w.kbIndPos)},
    };
    std::string text = goldenDefaultText();
    for (Line const& line : lines)
        text = withValue(text, line.key, line.value);
    return text;
}

std::string defaultSettingsText(char const* resolution)
{
    return withValue(goldenDefaultText(), "Resolution", resolution);
}

std::string defaultOsdText()
{
    return readFileBytes(host::dosPath(KOVIX_TEST_RESOURCES "/default-OSD.ini"));
}

std::string inTraySettingsText()
{
    return "[KOVIX Tool resolution settings]\r\n"
           "Resolution=800,480;\r\n"
           "Scaling=0;\r\n"
           "Minimized=1;\r\n"
           "NumLock=1;\r\n"
           "CapsLock=1;\r\n"
           "ScrlLock=1;\r\n"
           "KbInd=0;\r\n";
}

// ---------------------------------------------------------------- Caps Lock

void pressCaps()
{
    pressKeys({VK_CAPITAL});
}

bool capsToggled()
{
    waitUntil([] { return false; }, 100);
    return (GetKeyState(VK_CAPITAL) & 1) != 0;
}

void switchCapsOff()
{
    pressCaps();
    if (capsToggled())
        pressCaps();
}

// --------------------------------------------------------------- geometry

RECT windowRect(HWND window)
{
    RECT rect = {};
    GetWindowRect(window, &rect);
    return rect;
}

std::string describe(RECT const& rect)
{
    std::ostringstream text;
    text << "(" << rect.left << "," << rect.top << ")-(" << rect.right << "," << rect.bottom
         << ")";
    return text.str();
}

namespace {

// Where a window of the rectangle's size belongs in `area` for the position code.
POINT expectedCorner(int position, RECT const& rect, RECT const& area)
{
    int const w = rect.right - rect.left;
    int const h = rect.bottom - rect.top;
    int const left = area.left + kOsdMargin;
    int const right = area.right - w - kOsdMargin;
    int const top = area.top + kOsdMargin;
    int const bottom = area.bottom - h - kOsdMargin;
    int const middle = area.top + (area.bottom - area.top - h - kOsdMargin) / 2;
    switch (position) {
    case 1:
        return {left, top};
    case 2:
        return {right, top};
    case 3:
        return {left, bottom};
    case 5:
        return {left, middle};
    case 6:
        return {right, middle};
    default:
        return {right, bottom};
    }
}

HFONT createOsdFont()
{
    LOGFONTW logFont = {};
    SystemParametersInfoW(SPI_GETICONTITLELOGFONT, sizeof(logFont), &logFont, 0);
    logFont.lfWeight = FW_BOLD;
    logFont.lfQuality = ANTIALIASED_QUALITY;
    return CreateFontIndirectW(&logFont);
}

} // namespace

bool placedFor(int position, HWND window, int screenWidth, int screenHeight)
{
    return placedIn(position, window, {0, 0, screenWidth, screenHeight});
}

bool placedIn(int position, HWND window, RECT const& area)
{
    RECT const rect = windowRect(window);
    POINT const corner = expectedCorner(position, rect, area);
    return rect.right > rect.left && rect.left == corner.x && rect.top == corner.y;
}

SIZE osdTextSize(wchar_t const* text)
{
    HFONT const font = createOsdFont();
    SIZE const size = wintest::textSize(font, text);
    DeleteObject(font);
    return size;
}

// ------------------------------------------------------------------ pixels

namespace {

// A 32-bit top-down picture of `width` x `height` whose content `draw`
// puts on `dc`.
template <typename Draw>
Screen picture(int width, int height, Draw draw)
{
    Screen shot = {width, height, std::vector<DWORD>(size_t(width) * size_t(height))};
    HDC const screen = GetDC(nullptr);
    HDC const memory = CreateCompatibleDC(screen);
    BITMAPINFO const info = wintest::pictureInfo(width, height);
    void* bits = nullptr;
    HBITMAP const bitmap = CreateDIBSection(screen, &info, DIB_RGB_COLORS, &bits, nullptr, 0);
    HGDIOBJ const old = SelectObject(memory, bitmap);
    draw(memory, screen);
    GdiFlush();
    if (bits != nullptr)
        std::copy_n(static_cast<DWORD const*>(bits), shot.pixels.size(), shot.pixels.begin());
    SelectObject(memory, old);
    DeleteObject(bitmap);
    DeleteDC(memory);
    ReleaseDC(nullptr, screen);
    return shot;
}

Screen captureArea(RECT const& area)
{
    return picture(area.right - area.left, area.bottom - area.top, [&](HDC memory, HDC screen) {
        BitBlt(memory, 0, 0, area.right - area.left, area.bottom - area.top, screen, area.left,
               area.top, SRCCOPY);
    });
}

COLORREF const kRed = RGB(255, 0, 0);
COLORREF const kBlue = RGB(0, 0, 255);
COLORREF const kYellow = RGB(255, 255, 0);
COLORREF const kBlack = RGB(0, 0, 0);

} // namespace

Screen captureScreen(int rows)
{
    int const height = GetSystemMetrics(SM_CYSCREEN);
    RECT const area = {0, 0, GetSystemMetrics(SM_CXSCREEN),
                       rows > 0 ? std::min(rows, height) : height};
    return captureArea(area);
}

int trayStripLeft(Screen const& screen)
{
    COLORREF const panel = screen.at(screen.width - 1, 0);
    int left = screen.width - 1;
    while (left > 0 && screen.at(left - 1, 0) == panel)
        --left;
    return left;
}

TrayColours trayColours(Screen const& screen)
{
    TrayColours counts;
    int const left = trayStripLeft(screen);
    counts.stripWidth = screen.width - left;
    for (int y = 0; y < kTrayStripRows && y < screen.height; ++y) {
        for (int x = left; x < screen.width; ++x) {
            COLORREF const colour = screen.at(x, y);
            counts.red += colour == kRed;
            counts.blue += colour == kBlue;
            counts.yellow += colour == kYellow;
            counts.black += colour == kBlack;
        }
    }
    return counts;
}

LockIcon captureLockIcon(COLORREF back)
{
    Screen const strip = captureScreen(24); // the strip is 20 rows high at the top edge
    LockIcon icon;
    int left = strip.width, right = -1, top = strip.height, bottom = -1;
    for (int y = 0; y < strip.height; ++y)
        for (int x = 0; x < strip.width; ++x)
            if (strip.at(x, y) == back) {
                left = std::min(left, x);
                right = std::max(right, x);
                top = std::min(top, y);
                bottom = std::max(bottom, y);
            }
    if (right < 0)
        return icon;
    icon.found = true;
    icon.width = right - left + 1;
    icon.height = bottom - top + 1;
    for (int y = top; y <= bottom; ++y)
        for (int x = left; x <= right; ++x)
            if (strip.at(x, y) != back) {
                ++icon.letterPixels;
                if (icon.letterTop < 0)
                    icon.letterTop = y - top;
            }
    return icon;
}

namespace {

// Pixels of line `line` of the OSD picture `shown` (taken at `rect`) that
// differ from `text` drawn here the way the OSD draws it.
int lineMismatches(Screen const& shown, RECT const& rect, int line, wchar_t const* text,
                   COLORREF textColour)
{
    int const width = rect.right - rect.left;
    int const height = rect.bottom - rect.top;
    if (width <= 0 || height <= 0)
        return -1;
    COLORREF const key = GetSysColor(COLOR_BTNFACE);
    int lineHeight = 0;
    // Earlier lines drawn empty put the line where the OSD's DrawText puts it.
    std::wstring const lines = std::wstring(size_t(line), L'\n') + text;
    Screen const drawn = picture(width, height, [&](HDC memory, HDC) {
        HFONT const font = createOsdFont();
        HGDIOBJ const previous = SelectObject(memory, font);
        TEXTMETRICW metrics = {};
        GetTextMetricsW(memory, &metrics);
        lineHeight = metrics.tmHeight + metrics.tmExternalLeading;
        RECT client = {0, 0, width, height};
        HBRUSH const brush = CreateSolidBrush(key);
        FillRect(memory, &client, brush);
        DeleteObject(brush);
        SetTextColor(memory, textColour);
        SetBkColor(memory, key);
        DrawTextW(memory, lines.c_str(), -1, &client, DT_NOCLIP | DT_EXTERNALLEADING);
        SelectObject(memory, previous);
        DeleteObject(font);
    });
    int const top = line * lineHeight;
    if (top + lineHeight > height)
        return -1;
    int mismatches = 0;
    for (int y = top; y < top + lineHeight; ++y) {
        for (int x = 0; x < width; ++x) {
            COLORREF const expected = drawn.at(x, y);
            COLORREF const seen = shown.at(x, y);
            // Keyed-out pixels show whatever lies behind the window.
            if (expected == key ? seen == textColour : seen != expected)
                ++mismatches;
        }
    }
    return mismatches;
}

} // namespace

int osdLineMismatches(HWND osd, int line, wchar_t const* text, COLORREF textColour)
{
    RECT const rect = windowRect(osd);
    return lineMismatches(captureArea(rect), rect, line, text, textColour);
}

int osdCpuLoad(HWND osd, COLORREF textColour)
{
    RECT const rect = windowRect(osd);
    Screen const shown = captureArea(rect);
    for (int load = 0; load <= 100; ++load) {
        std::wstring const text = L"CPU Load: " + std::to_wstring(load) + L"%";
        if (lineMismatches(shown, rect, 0, text.c_str(), textColour) == 0)
            return load;
    }
    return -1;
}

// The glyph renderer and the main window's icon lookup, checked on the
// pixels and masks of the icons they return.
#include <gtest/gtest.h>
#include <windows.h>
#include <shellapi.h>

#include <stdio.h>

#include "tray/GlyphIcon.h"
#include "tray/GlyphLayout.h"
#include "tests/e2e/ToolProcess.h"

namespace {

COLORREF const kRed = RGB(255, 0, 0);
COLORREF const kGreen = RGB(0, 255, 0);
COLORREF const kYellow = RGB(255, 255, 0);
COLORREF const kBlack = RGB(0, 0, 0);

// An icon's colour image and mask, top row first; size 0 when unreadable.
struct IconImage {
    int size = 0;
    wintest::Picture colour, mask;

    bool valid() const { return size > 0; }
    bool transparent(int x, int y) const { return mask.at(x, y) != kBlack; }
};

IconImage readIcon(HICON icon)
{
    IconImage image;
    ICONINFO info = {};
    if (icon == nullptr || !GetIconInfo(icon, &info))
        return image;
    image.colour = wintest::readBitmap(info.hbmColor);
    image.mask = wintest::readBitmap(info.hbmMask);
    if (image.colour.width == image.colour.height && image.mask.pixels.size() == image.colour.pixels.size())
        image.size = image.colour.width;
    DeleteObject(info.hbmColor);
    DeleteObject(info.hbmMask);
    return image;
}

IconImage render(wchar_t const* text, COLORREF textColour, COLORREF backColour, HFONT font)
{
    HICON const icon = makeGlyphIcon(text, textColour, backColour, font);
    IconImage const image = readIcon(icon);
    DestroyIcon(icon);
    return image;
}

COLORREF const kSeeThrough = CLR_INVALID;

// Pixels of `colour` (opaque ones), or see-through pixels for kSeeThrough.
int countPixels(IconImage const& image, COLORREF colour)
{
    int count = 0;
    for (int y = 0; y < image.size; ++y)
        for (int x = 0; x < image.size; ++x)
            count += colour == kSeeThrough ? image.transparent(x, y)
                                           : !image.transparent(x, y) && image.colour.at(x, y) == colour;
    return count;
}

// Leftmost column holding a pixel that is not the background; the size if none.
int leftmostInk(IconImage const& image, COLORREF background)
{
    for (int x = 0; x < image.size; ++x)
        for (int y = 0; y < image.size; ++y)
            if (image.transparent(x, y) || image.colour.at(x, y) != background)
                return x;
    return image.size;
}

// Ink on the square's outer ring, where a letter cut off by the square shows.
int inkOnTheEdge(IconImage const& image, COLORREF background)
{
    int ink = 0, last = image.size - 1;
    for (int y = 0; y <= last; ++y)
        for (int x = 0; x <= last; x += y % last == 0 || x == last ? 1 : last)
            ink += image.transparent(x, y) || image.colour.at(x, y) != background;
    return ink;
}

HFONT iconTitleFont()
{
    LOGFONTW font = {};
    SystemParametersInfoW(SPI_GETICONTITLELOGFONT, sizeof(font), &font, 0);
    return CreateFontIndirectW(&font);
}

HFONT plainFont(int height)
{
    // No smoothing: every letter pixel is exactly the text colour.
    return CreateFontW(height, 0, 0, 0, FW_NORMAL, FALSE, FALSE, FALSE, DEFAULT_CHARSET,
                       OUT_DEFAULT_PRECIS, CLIP_DEFAULT_PRECIS, NONANTIALIASED_QUALITY,
                       DEFAULT_PITCH, L"Tahoma");
}

int widthOfH(HFONT font)
{
    HDC const screen = GetDC(nullptr);
    HGDIOBJ const old = SelectObject(screen, font);
    INT width = 0;
    GetCharWidth32W(screen, L'H', L'H', &width);
    SelectObject(screen, old);
    ReleaseDC(nullptr, screen);
    return width;
}

} // namespace

TEST(GlyphIcon, DrawsTheLetterOnTheBackgroundWithNothingSeeThrough)
{
    HFONT const font = plainFont(-13);
    IconImage const image = render(L"N", kGreen, kRed, font);
    ASSERT_TRUE(image.valid());
    EXPECT_EQ(0, countPixels(image, kSeeThrough));
    int const letter = countPixels(image, kGreen);
    int const background = countPixels(image, kRed);
    EXPECT_GT(letter, 8) << "the N is drawn";
    EXPECT_EQ(256, letter + background) << "a plain font leaves no other colour";
    EXPECT_EQ(kRed, image.colour.at(0, 15));
    EXPECT_EQ(kRed, image.colour.at(15, 15));
    DeleteObject(font);

    // An empty text gives a plain square of the background.
    HFONT const titleFont = iconTitleFont();
    for (COLORREF const back : {kBlack, kRed, kYellow, COLORREF(0x00C0834B)}) {
        IconImage const square = render(L"", kGreen, back, titleFont);
        ASSERT_TRUE(square.valid());
        EXPECT_EQ(256, countPixels(square, back)) << std::hex << back;
    }
    EXPECT_EQ(256, countPixels(render(nullptr, kGreen, kRed, titleFont), kRed));
    DeleteObject(titleFont);
}

TEST(GlyphIcon, PixelsOfTheTransparencyKeyAreSeeThrough)
{
    HFONT const font = plainFont(-13);
    EXPECT_EQ(COLORREF(8487297), kGlyphTransparentColour);

    IconImage const square = render(L"", kGreen, kGlyphTransparentColour, font);
    ASSERT_TRUE(square.valid());
    EXPECT_EQ(256, countPixels(square, kSeeThrough)) << "an empty glyph on the key is invisible";

    IconImage const onKey = render(L"N", kGreen, kGlyphTransparentColour, font);
    int const letter = countPixels(onKey, kGreen);
    EXPECT_GT(letter, 8);
    EXPECT_EQ(256, letter + countPixels(onKey, kSeeThrough)) << "only the letter stays";

    IconImage const keyLetter = render(L"N", kGlyphTransparentColour, kRed, font);
    int const holes = countPixels(keyLetter, kSeeThrough);
    EXPECT_EQ(letter, holes) << "the letter becomes a hole of the same shape";
    EXPECT_EQ(256 - holes, countPixels(keyLetter, kRed));

    // A colour one step off the key is not transparent.
    IconImage const nearKey = render(L"", kGreen, RGB(129, 129, 128), font);
    EXPECT_EQ(0, countPixels(nearKey, kSeeThrough));
    DeleteObject(font);
}

TEST(GlyphIcon, TheWidthOfHPlacesEveryGlyph)
{
    for (int const height : {-9, -11, -13, -16, -20}) {
        HFONT const font = plainFont(height);
        int const left = glyphLeft(16, widthOfH(font));
        IconImage const h = render(L"H", kGreen, kRed, font);
        ASSERT_TRUE(h.valid());
        int const hInk = leftmostInk(h, kRed);
        EXPECT_GE(hInk, left) << "height " << height;
        EXPECT_LE(hInk, left + 2) << "H starts at its own left bearing, height " << height;
        for (wchar_t const* glyph : {L"a", L"A", L"N", L"S"}) {
            IconImage const image = render(glyph, kGreen, kRed, font);
            EXPECT_GE(leftmostInk(image, kRed), left) << "height " << height;
        }
        DeleteObject(font);
    }
}

TEST(GlyphIcon, RenderingReleasesEveryGdiObject)
{
    HFONT const font = iconTitleFont();
    DestroyIcon(makeGlyphIcon(L"A", kYellow, kBlack, font)); // warm caches first
    long const before = wintest::gdiObjectCount();
    ASSERT_GT(before, 0) << "no way to count GDI objects here";
    for (int i = 0; i < 1000; ++i) {
        HICON const icon = makeGlyphIcon(i % 2 ? L"A" : L"a", kYellow, kBlack, font);
        ASSERT_NE(nullptr, icon);
        DestroyIcon(icon);
    }
    EXPECT_EQ(before, wintest::gdiObjectCount());
    DeleteObject(font);
}

TEST(GlyphIcon, BenchmarkOneRender)
{
    HFONT const font = iconTitleFont();
    int const renders = 2000; // about 4 s under Wine
    int failures = 0;
    LARGE_INTEGER frequency, start, end;
    QueryPerformanceFrequency(&frequency);
    QueryPerformanceCounter(&start);
    for (int i = 0; i < renders; ++i) {
        HICON const icon = makeGlyphIcon(L"N", kGreen, kBlack, font);
        failures += icon == nullptr;
        DestroyIcon(icon);
    }
    QueryPerformanceCounter(&end);
    double const microseconds =
        double(end.QuadPart - start.QuadPart) * 1e6 / double(frequency.QuadPart) / renders;
    printf("makeGlyphIcon + DestroyIcon: %.1f us per render (average of %d)\n", microseconds,
           renders);
    EXPECT_EQ(0, failures);
    DeleteObject(font);
}

// Child: at this DPI the lock glyphs and the main icon are argv[0] pixels
// square, each letter whole inside, the main icon the program's own picture.
KOVIX_CHILD_MODE(icons_at_dpi)
{
    int const size = argc > 0 ? _wtoi(argv[0]) : 0;
    HFONT const font = makeGlyphFont();
    for (wchar_t const* glyph : {L"N", L"A", L"a", L"S"}) {
        IconImage const image = render(glyph, kGreen, kRed, font);
        EXPECT_EQ(size, image.size);
        EXPECT_LT(countPixels(image, kRed), size * size - 8) << "the letter is drawn";
        EXPECT_EQ(0, inkOnTheEdge(image, kRed)) << "the letter is cut off at " << size << " px";
    }
    std::wstring const program = toolExecutable();
    HWND const window = wintest::createTestWindow(L"icon");
    HMODULE const module = LoadLibraryExW(program.c_str(), nullptr, LOAD_LIBRARY_AS_DATAFILE);
    SetWindowLongPtrW(window, GWLP_HINSTANCE, LONG_PTR(module));
    HICON own = nullptr; // as the shell takes it from the file
    ExtractIconExW(program.c_str(), 0, nullptr, &own, 1);
    IconImage const got = readIcon(getWindowIcon(window)), shell = readIcon(own);
    EXPECT_EQ(size, got.size);
    EXPECT_TRUE(shell.size == size && got.colour.pixels == shell.colour.pixels);
    return wintest::childTestResult(); // the process's end frees the rest
}

TEST(GlyphIcon, AtEveryDpiTheIconsTakeTheSmallIconSizeAndHoldTheLetterWhole)
{
    for (int const dpi : {96, 120, 144, 192}) {
        wintest::ScopedLogPixels const setting{DWORD(dpi)}; // read when a process starts
        std::wstring const size = std::to_wstring(dpi / 6); // 16 px at 96 DPI
        EXPECT_EQ(0, runProcess(ownExecutablePath(), L"--child icons_at_dpi " + size)) << dpi;
    }
}

TEST(WindowIcon, TheWindowsOwnSmallIconAsACopyElseItsModulesIcon)
{
    HWND const window = wintest::createTestWindow(L"icon");
    ASSERT_NE(nullptr, window);
    HICON const forNothing = getWindowIcon(nullptr);
    EXPECT_NE(nullptr, forNothing);
    DestroyIcon(forNothing);

    HFONT const font = plainFont(-13);
    HICON const own = makeGlyphIcon(L"K", kYellow, kRed, font);
    SendMessageW(window, WM_SETICON, ICON_SMALL, reinterpret_cast<LPARAM>(own));
    HICON const copy = getWindowIcon(window);
    IconImage const gotOwn = readIcon(copy);
    ASSERT_TRUE(gotOwn.valid());
    EXPECT_TRUE(gotOwn.colour.pixels == readIcon(own).colour.pixels);
    EXPECT_GT(countPixels(gotOwn, kYellow), 0);
    DestroyIcon(copy);
    EXPECT_TRUE(readIcon(own).valid()) << "the window keeps its own icon";
    DestroyWindow(window);
    DestroyIcon(own);
    DeleteObject(font);
}

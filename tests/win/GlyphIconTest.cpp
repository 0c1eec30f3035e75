// The glyph renderer and the main window's icon lookup, checked on the
// pixels and masks of the icons they return.
#include <gtest/gtest.h>
#include <windows.h>
#include <shellapi.h>
#include <winternl.h>

#include <stdio.h>

#include <vector>

#include "tray/GlyphIcon.h"
#include "tray/GlyphLayout.h"

namespace {

COLORREF const kRed = RGB(255, 0, 0);
COLORREF const kGreen = RGB(0, 255, 0);
COLORREF const kYellow = RGB(255, 255, 0);
COLORREF const kBlack = RGB(0, 0, 0);

// An icon's 16x16 colour image and mask, top row first.
struct IconImage {
    bool valid = false;
    COLORREF colour[16][16] = {};
    bool transparent[16][16] = {};
};

bool readBitmap(HDC dc, HBITMAP bitmap, DWORD (&pixels)[16 * 16])
{
    BITMAPINFO info = {};
    info.bmiHeader.biSize = sizeof(info.bmiHeader);
    info.bmiHeader.biWidth = 16;
    info.bmiHeader.biHeight = -16;
    info.bmiHeader.biPlanes = 1;
    info.bmiHeader.biBitCount = 32;
    info.bmiHeader.biCompression = BI_RGB;
    return GetDIBits(dc, bitmap, 0, 16, pixels, &info, DIB_RGB_COLORS) == 16;
}

IconImage readIcon(HICON icon)
{
    IconImage image;
    ICONINFO info = {};
    if (icon == nullptr || !GetIconInfo(icon, &info))
        return image;
    HDC const screen = GetDC(nullptr);
    DWORD colour[16 * 16] = {};
    DWORD mask[16 * 16] = {};
    BITMAP size = {};
    GetObjectW(info.hbmMask, sizeof(size), &size);
    image.valid = info.hbmColor != nullptr && size.bmWidth == 16 && size.bmHeight == 16 &&
                  readBitmap(screen, info.hbmColor, colour) && readBitmap(screen, info.hbmMask, mask);
    for (int y = 0; y < 16; ++y) {
        for (int x = 0; x < 16; ++x) {
            DWORD const bgrx = colour[y * 16 + x];
            image.colour[y][x] = RGB((bgrx >> 16) & 0xFF, (bgrx >> 8) & 0xFF, bgrx & 0xFF);
            image.transparent[y][x] = (mask[y * 16 + x] & 0xFFFFFF) != 0;
        }
    }
    ReleaseDC(nullptr, screen);
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

int countOpaque(IconImage const& image, COLORREF colour)
{
    int count = 0;
    for (int y = 0; y < 16; ++y)
        for (int x = 0; x < 16; ++x)
            count += !image.transparent[y][x] && image.colour[y][x] == colour;
    return count;
}

int countTransparent(IconImage const& image)
{
    int count = 0;
    for (int y = 0; y < 16; ++y)
        for (int x = 0; x < 16; ++x)
            count += image.transparent[y][x];
    return count;
}

// Leftmost column holding a pixel that is not the background; 16 if none.
int leftmostInk(IconImage const& image, COLORREF background)
{
    for (int x = 0; x < 16; ++x)
        for (int y = 0; y < 16; ++y)
            if (image.transparent[y][x] || image.colour[y][x] != background)
                return x;
    return 16;
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

// Live GDI objects of this process. Windows counts them for us; Wine's
// GetGuiResources answers 0, but Wine keeps the Windows handle table in
// the process (PEB GdiSharedHandleTable, 24-byte entries on 64-bit, the
// object type at byte 14), which is counted instead.
long liveGdiObjects()
{
    DWORD const counted = GetGuiResources(GetCurrentProcess(), GR_GDIOBJECTS);
    if (counted != 0)
        return long(counted);
#ifdef _WIN64
    size_t const tableOffset = 0xF8;
    size_t const entrySize = 24;
#else
    size_t const tableOffset = 0x94;
    size_t const entrySize = 16;
#endif
    BYTE const* const peb = reinterpret_cast<BYTE const*>(NtCurrentTeb()->ProcessEnvironmentBlock);
    BYTE const* const table = *reinterpret_cast<BYTE const* const*>(peb + tableOffset);
    if (table == nullptr)
        return -1;
    long live = 0;
    for (size_t i = 0; i < 0x10000; ++i)
        live += table[i * entrySize + 14] != 0;
    return live;
}

} // namespace

TEST(GlyphIcon, DrawsTheLetterOnTheBackgroundWithNothingSeeThrough)
{
    HFONT const font = plainFont(-13);
    IconImage const image = render(L"N", kGreen, kRed, font);
    ASSERT_TRUE(image.valid);
    EXPECT_EQ(0, countTransparent(image));
    int const letter = countOpaque(image, kGreen);
    int const background = countOpaque(image, kRed);
    EXPECT_GT(letter, 8) << "the N is drawn";
    EXPECT_EQ(256, letter + background) << "a plain font leaves no other colour";
    EXPECT_EQ(kRed, image.colour[15][0]);
    EXPECT_EQ(kRed, image.colour[15][15]);
    DeleteObject(font);
}

TEST(GlyphIcon, EmptyTextGivesAPlainSquareOfTheBackground)
{
    HFONT const font = iconTitleFont();
    for (COLORREF const back : {kBlack, kRed, kYellow, COLORREF(0x00C0834B)}) {
        IconImage const image = render(L"", kGreen, back, font);
        ASSERT_TRUE(image.valid);
        EXPECT_EQ(256, countOpaque(image, back)) << std::hex << back;
    }
    IconImage const nullText = render(nullptr, kGreen, kRed, font);
    EXPECT_EQ(256, countOpaque(nullText, kRed));
    DeleteObject(font);
}

TEST(GlyphIcon, PixelsOfTheTransparencyKeyAreSeeThrough)
{
    HFONT const font = plainFont(-13);
    EXPECT_EQ(COLORREF(8487297), kGlyphTransparentColour);

    IconImage const square = render(L"", kGreen, kGlyphTransparentColour, font);
    ASSERT_TRUE(square.valid);
    EXPECT_EQ(256, countTransparent(square)) << "an empty glyph on the key is invisible";

    IconImage const onKey = render(L"N", kGreen, kGlyphTransparentColour, font);
    int const letter = countOpaque(onKey, kGreen);
    EXPECT_GT(letter, 8);
    EXPECT_EQ(256, letter + countTransparent(onKey)) << "only the letter stays";

    IconImage const keyLetter = render(L"N", kGlyphTransparentColour, kRed, font);
    int const holes = countTransparent(keyLetter);
    EXPECT_EQ(letter, holes) << "the letter becomes a hole of the same shape";
    EXPECT_EQ(256 - holes, countOpaque(keyLetter, kRed));

    // A colour one step off the key is not transparent.
    IconImage const nearKey = render(L"", kGreen, RGB(129, 129, 128), font);
    EXPECT_EQ(0, countTransparent(nearKey));
    DeleteObject(font);
}

TEST(GlyphIcon, TheWidthOfHPlacesEveryGlyph)
{
    for (int const height : {-9, -11, -13, -16, -20}) {
        HFONT const font = plainFont(height);
        int const left = glyphLeft(widthOfH(font));
        IconImage const h = render(L"H", kGreen, kRed, font);
        ASSERT_TRUE(h.valid);
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
    long const before = liveGdiObjects();
    ASSERT_GT(before, 0) << "no way to count GDI objects here";
    for (int i = 0; i < 1000; ++i) {
        HICON const icon = makeGlyphIcon(i % 2 ? L"A" : L"a", kYellow, kBlack, font);
        ASSERT_NE(nullptr, icon);
        DestroyIcon(icon);
    }
    EXPECT_EQ(before, liveGdiObjects());
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

TEST(WindowIcon, AWindowWithoutItsOwnSmallIconGetsTheShellsIcon)
{
    HWND const window = CreateWindowExW(0, L"STATIC", L"no icon", WS_OVERLAPPED, 0, 0, 50, 50,
                                        nullptr, nullptr, GetModuleHandleW(nullptr), nullptr);
    ASSERT_NE(nullptr, window);
    HICON const icon = getWindowIcon(window);
    ASSERT_NE(nullptr, icon);

    wchar_t path[MAX_PATH] = {};
    GetModuleFileNameW(nullptr, path, MAX_PATH);
    SHFILEINFOW info = {};
    SHGetFileInfoW(path, FILE_ATTRIBUTE_NORMAL, &info, sizeof(info),
                   SHGFI_ICON | SHGFI_SMALLICON | SHGFI_USEFILEATTRIBUTES);
    ASSERT_NE(nullptr, info.hIcon);
    IconImage const got = readIcon(icon);
    IconImage const shell = readIcon(info.hIcon);
    ASSERT_TRUE(got.valid);
    EXPECT_EQ(0, memcmp(got.colour, shell.colour, sizeof(got.colour)));
    EXPECT_EQ(0, memcmp(got.transparent, shell.transparent, sizeof(got.transparent)));
    EXPECT_TRUE(DestroyIcon(icon)) << "the caller owns it";
    DestroyIcon(info.hIcon);

    HICON const forNothing = getWindowIcon(nullptr);
    EXPECT_NE(nullptr, forNothing);
    DestroyIcon(forNothing);
    DestroyWindow(window);
}

TEST(WindowIcon, AWindowsOwnSmallIconIsReturnedAsACopy)
{
    HWND const window = CreateWindowExW(0, L"STATIC", L"own icon", WS_OVERLAPPED, 0, 0, 50, 50,
                                        nullptr, nullptr, GetModuleHandleW(nullptr), nullptr);
    ASSERT_NE(nullptr, window);
    HFONT const font = plainFont(-13);
    HICON const own = makeGlyphIcon(L"K", kYellow, kRed, font);
    SendMessageW(window, WM_SETICON, ICON_SMALL, reinterpret_cast<LPARAM>(own));

    HICON const icon = getWindowIcon(window);
    IconImage const got = readIcon(icon);
    IconImage const expected = readIcon(own);
    ASSERT_TRUE(got.valid);
    EXPECT_EQ(0, memcmp(got.colour, expected.colour, sizeof(got.colour)));
    EXPECT_GT(countOpaque(got, kYellow), 0);
    DestroyIcon(icon);
    EXPECT_TRUE(readIcon(own).valid) << "the window keeps its own icon";

    DestroyWindow(window);
    DestroyIcon(own);
    DeleteObject(font);
}

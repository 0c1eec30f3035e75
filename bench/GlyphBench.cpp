// Renders lock glyphs with the production renderer in a loop and destroys
// them, as the poll does on every lock change: time per render and the
// growth of the process's private bytes.
//   glyph_bench.exe [RENDERS]
#include <windows.h>

#include <stdlib.h>

#include "bench/BenchCommon.h"
#include "tray/GlyphIcon.h"
#include "tray/GlyphLayout.h"

namespace {

// Every glyph the lock icons show, on and off, in the default colours, one
// of them with the transparent background.
struct GlyphCase {
    LockKey lock;
    bool on;
    COLORREF text;
    COLORREF back;
};

GlyphCase const kCases[] = {
    {LockKey::Num, false, RGB(0, 255, 0), RGB(0, 0, 0)},
    {LockKey::Num, true, RGB(0, 255, 0), RGB(0, 0, 0)},
    {LockKey::Caps, false, RGB(255, 255, 0), kGlyphTransparentColour},
    {LockKey::Caps, true, RGB(255, 255, 0), kGlyphTransparentColour},
    {LockKey::Scroll, false, RGB(0, 255, 255), RGB(255, 0, 0)},
    {LockKey::Scroll, true, RGB(0, 255, 255), RGB(255, 0, 0)},
};
size_t const kCaseCount = sizeof(kCases) / sizeof(kCases[0]);

// Renders `count` glyphs; returns how many failed (a null icon or a failed
// destroy).
long renderMany(long count, HFONT font)
{
    long failed = 0;
    for (long i = 0; i < count; ++i) {
        GlyphCase const& c = kCases[size_t(i) % kCaseCount];
        HICON const icon = makeGlyphIcon(lockGlyph(c.lock, c.on), c.text, c.back, font);
        if (icon == nullptr || !DestroyIcon(icon))
            ++failed;
    }
    return failed;
}

} // namespace

int wmain(int argc, wchar_t** argv)
{
    takeLinuxPid(argc, argv);
    long const renders = argc > 1 ? wcstol(argv[1], nullptr, 10) : 100000;
    // The font the tray icons draw with.
    LOGFONTW logFont = {};
    SystemParametersInfoW(SPI_GETICONTITLELOGFONT, sizeof(logFont), &logFont, 0);
    HFONT const font = CreateFontIndirectW(&logFont);

    // Warm-up: the first renders load comctl32's image lists and the font.
    long failed = renderMany(1000, font);
    MemoryFigures const before = memoryFigures();
    double const start = secondsNow();
    failed += renderMany(renders, font);
    double const elapsed = secondsNow() - start;
    MemoryFigures const after = memoryFigures();
    DeleteObject(font);

    figure("glyph_renders", double(renders));
    figure("glyph_failed", double(failed));
    figure("glyph_us_per_render", elapsed * 1e6 / double(renders));
    printMemory("glyph_before", before);
    printMemory("glyph_after", after);
    figure("glyph_private_growth", double(privateBytes(after)) - double(privateBytes(before)));
    return failed == 0 ? 0 : 1;
}

// Helpers of the Win32 tests: private folders, child processes and files;
// in namespace wintest, the windows, shell icons, registry, GDI and screen
// mode helpers that several Win32 test files share.
#pragma once

#include <windows.h>

#include <atomic>
#include <string>
#include <thread>
#include <vector>

// A fresh folder under %TEMP%, removed with everything in it at the end.
class TempFolder {
public:
    TempFolder();
    ~TempFolder();
    TempFolder(TempFolder const&) = delete;
    TempFolder& operator=(TempFolder const&) = delete;

    std::wstring const& path() const { return path_; }
    std::wstring file(wchar_t const* name) const { return path_ + L"\\" + name; }

private:
    std::wstring path_;
};

std::wstring ownExecutablePath();

// Copies this test executable into `folder` under `name` and returns its path.
std::wstring copySelfInto(TempFolder const& folder, wchar_t const* name);

// Runs `exe` with `arguments`, waits up to `timeoutMs`; returns the exit code,
// or -1 when it could not start or did not finish in time (it is then killed).
int runProcess(std::wstring const& exe, std::wstring const& arguments, DWORD timeoutMs = 20000);

bool fileExists(std::wstring const& path);
std::string readFileBytes(std::wstring const& path);
bool writeFileBytes(std::wstring const& path, std::string const& bytes);

// Child modes: the test executable, started with "--child NAME ARGS...",
// runs the named function instead of the tests and exits with its result.
using ChildMain = int (*)(int argc, wchar_t** argv);
struct ChildRegistration {
    ChildRegistration(wchar_t const* name, ChildMain function);
};
int runChildIfAsked(int argc, wchar_t** argv, bool& wasChild);

#define KOVIX_CHILD_MODE(name)                                             \
    static int child_##name(int argc, wchar_t** argv);                     \
    static ChildRegistration const registration_##name(L## #name, child_##name); \
    static int child_##name([[maybe_unused]] int argc, [[maybe_unused]] wchar_t** argv)

namespace wintest {

std::wstring folderOf(std::wstring const& path);

// A top-level window of a class of its own for each procedure (null:
// DefWindowProcW).
HWND createTestWindow(wchar_t const* title = L"KOVIX Tool Beta 1.0", WNDPROC procedure = nullptr);

// Translates and dispatches this thread's messages for `milliseconds`.
void pumpMessages(DWORD milliseconds);

// The shell's notification icons, seen from outside any record: a modify
// with no flags succeeds exactly when the shell knows (owner, id).
bool shellHasIcon(HWND owner, UINT id);
bool shellAddIcon(HWND owner, UINT id);
bool shellDeleteIcon(HWND owner, UINT id);

// The size DrawTextW gives `text` in `font` on the screen.
SIZE textSize(HFONT font, wchar_t const* text);

// Live GDI objects of this process, -1 when they cannot be counted.
long gdiObjectCount();

// A value's type and data; false when it cannot be read.
bool readRegistryValue(HKEY root, wchar_t const* path, wchar_t const* name, DWORD& type,
                       std::string& data);

// A key and the keys above it, as a machine with their program has them.
bool createRegistryKey(HKEY root, wchar_t const* path);

// Denies everyone the writing of values and subkeys of an existing key, as
// Windows does for an account without administrator rights, until it goes;
// reading still works. The key's own descriptor comes back at the end.
// `view` picks the 32- or 64-bit registry view (KEY_WOW64_32KEY).
class KeyLock {
public:
    KeyLock(HKEY root, wchar_t const* path, REGSAM view = 0);
    ~KeyLock();
    KeyLock(KeyLock const&) = delete;
    KeyLock& operator=(KeyLock const&) = delete;

    bool locked() const { return !saved_.empty(); }

private:
    HKEY key_ = nullptr;
    std::string saved_;
};

// Sets the logical DPI (HKCU\Control Panel\Desktop\LogPixels) for the
// processes started from now on, and puts the old setting back at the end.
class ScopedLogPixels {
public:
    explicit ScopedLogPixels(DWORD dpi);
    ~ScopedLogPixels();
    ScopedLogPixels(ScopedLogPixels const&) = delete;
    ScopedLogPixels& operator=(ScopedLogPixels const&) = delete;

private:
    HKEY key_ = nullptr;
    DWORD old_ = 0;
    bool hadOld_ = false;
};

// A 32-bit picture, top row first.
struct Picture {
    int width = 0;
    int height = 0;
    std::vector<DWORD> pixels;

    COLORREF at(int x, int y) const
    {
        DWORD const bgrx = pixels[size_t(y) * size_t(width) + size_t(x)];
        return RGB((bgrx >> 16) & 0xFF, (bgrx >> 8) & 0xFF, bgrx & 0xFF);
    }
};
// The header of such a picture, for CreateDIBSection and GetDIBits.
BITMAPINFO pictureInfo(int width, int height);
// A bitmap's colours as such a picture (the alpha bytes 0); an empty one when
// they cannot be read.
Picture readBitmap(HBITMAP bitmap);

// Saves the whole screen as a 24-bit BMP file (tools/test.sh keeps PNG
// copies of the end-to-end tests' ones).
bool saveScreenshot(std::wstring const& path);

// The primary screen's size as this process's metrics give it now.
bool screenIs(int width, int height);
// The display driver lists a mode of this size (at any depth).
bool offersMode(DWORD width, DWORD height);

// A switch made without the program's code; flags 0 leaves the recorded
// mode alone.
LONG changeScreenMode(DWORD width, DWORD height, DWORD bitsPerPixel = 32, DWORD flags = 0);
// Puts the rig's own 800x480 back and records it, through X when Wine fails
// or X was left elsewhere. True when Wine's switch succeeded (as another
// program's switch would).
bool restoreNativeScreenMode();

// Restores 800x480 when it goes, in the rig only (never someone's own display).
class ScreenModeRestorer {
public:
    ScreenModeRestorer() = default;
    ~ScreenModeRestorer();
    ScreenModeRestorer(ScreenModeRestorer const&) = delete;
    ScreenModeRestorer& operator=(ScreenModeRestorer const&) = delete;
};

// Runs "--child ARGUMENTS" in a copy of this executable in `folder` (also its
// working folder), its output going to this test's output. Returns the exit
// code, or -1 when it could not start or did not end in time.
int runChildIn(TempFolder const& folder, std::wstring const& arguments, DWORD timeoutMs = 100000);

// Exit code of a child mode that made gtest assertions: 0 when all held
// (in WinTestMain.cpp, the one part of this support that needs GoogleTest).
int childTestResult();

// All jiffies and the idle ones of a /proc/stat line ("cpu" for the whole
// machine, "cpuN" for one processor), read through drive Z:; total 0 when
// it cannot be read.
struct CpuJiffies {
    unsigned long long total = 0;
    unsigned long long idle = 0;
};
CpuJiffies readProcStat(std::string const& wanted);
// The busy share between two readings in per cent; -1 without a difference.
double busyPercent(CpuJiffies const& before, CpuJiffies const& after);

// Keeps one processor busy until destroyed.
class BusyCore {
public:
    BusyCore()
        : thread_([this] {
              volatile unsigned long long spins = 0;
              while (!stop_.load(std::memory_order_relaxed))
                  spins = spins + 1;
          })
    {
    }
    ~BusyCore()
    {
        stop_ = true;
        thread_.join();
    }
    BusyCore(BusyCore const&) = delete;
    BusyCore& operator=(BusyCore const&) = delete;

private:
    std::atomic<bool> stop_{false};
    std::thread thread_;
};

} // namespace wintest

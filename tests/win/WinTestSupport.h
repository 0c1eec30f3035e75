// Helpers of the Win32 tests: private folders, child processes and files.
#pragma once

#include <windows.h>

#include <string>
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

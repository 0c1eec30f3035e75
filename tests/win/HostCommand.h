// Shell commands of the Linux host, run from a test under Wine: the X
// display's modes are the rig's (tools/rig.sh, xrandr), not Wine's, so the
// display tests look at them and change them from the host side. The one
// runner, path bridge and rig check of the Win32, end-to-end and bench code.
#pragma once

#include <windows.h>

#include <stdlib.h>

#include <cstdio>

#include <string>

#include "tests/win/WinTestSupport.h"

namespace host {

// Wine's bridges between its paths and the host's; null outside Wine.
typedef char*(CDECL* UnixNameFunction)(wchar_t const*);
typedef wchar_t*(CDECL* DosNameFunction)(char const*);

template <typename Function>
Function wineFunction(char const* name)
{
    FARPROC const address = GetProcAddress(GetModuleHandleW(L"kernel32.dll"), name);
    return reinterpret_cast<Function>(reinterpret_cast<void (*)()>(address));
}

// The host's path of a file of the Wine prefix, and the other way round;
// empty outside Wine.
inline std::string unixPath(std::wstring const& windowsPath)
{
    UnixNameFunction const convert = wineFunction<UnixNameFunction>("wine_get_unix_file_name");
    if (convert == nullptr)
        return std::string();
    char* const name = convert(windowsPath.c_str());
    std::string const result = name != nullptr ? name : "";
    HeapFree(GetProcessHeap(), 0, name);
    return result;
}

inline std::wstring dosPath(std::string const& unixPath)
{
    DosNameFunction const convert = wineFunction<DosNameFunction>("wine_get_dos_file_name");
    if (convert == nullptr)
        return std::wstring();
    wchar_t* const name = convert(unixPath.c_str());
    std::wstring const result = name != nullptr ? name : L"";
    HeapFree(GetProcessHeap(), 0, name);
    return result;
}

// The source tree on the host, from this test executable's place in it
// (<repo>/build/<preset>/NAME.exe); empty outside Wine.
inline std::string repoPath()
{
    std::string path = unixPath(ownExecutablePath());
    for (int level = 0; level < 3 && !path.empty(); ++level)
        path = path.substr(0, path.find_last_of('/'));
    return path;
}

struct Result {
    int status = -1; // the script's exit status; -1 when it could not run or timed out
    std::string output; // standard output and error together
};

// Runs `script` with /bin/sh on the host, in the test's environment (DISPLAY,
// KOVIX_RIG_DIR, ...). Wine starts host programs but cannot wait for them,
// so the script leaves its status in a file, written last.
inline Result run(std::string const& script, DWORD timeoutMs = 20000)
{
    Result result;
    TempFolder folder;
    std::string const dir = unixPath(folder.path());
    if (dir.empty())
        return result;
    std::string const wrapper = "( " + script + "\n) >'" + dir + "/out' 2>&1\n"
                                "echo $? >'" + dir + "/status.tmp'\n"
                                "mv '" + dir + "/status.tmp' '" + dir + "/status'\n";
    if (!writeFileBytes(folder.file(L"script.sh"), wrapper))
        return result;
    std::wstring const shell = dosPath("/bin/sh");
    if (shell.empty())
        return result;
    std::wstring commandLine = L"\"" + shell + L"\" \"";
    for (char const c : dir + "/script.sh")
        commandLine += wchar_t(static_cast<unsigned char>(c));
    commandLine += L"\"";
    STARTUPINFOW startup = {};
    startup.cb = sizeof(startup);
    PROCESS_INFORMATION process = {};
    if (!CreateProcessW(nullptr, &commandLine[0], nullptr, nullptr, FALSE, 0, nullptr, nullptr,
                        &startup, &process))
        return result;
    CloseHandle(process.hThread);
    CloseHandle(process.hProcess);
    std::wstring const statusFile = folder.file(L"status");
    DWORD const start = GetTickCount();
    while (!fileExists(statusFile)) {
        if (GetTickCount() - start > timeoutMs)
            return result;
        // Keep this thread's windows answering while the host works.
        MSG message;
        while (PeekMessageW(&message, nullptr, 0, 0, PM_REMOVE))
            DispatchMessageW(&message);
        Sleep(10);
    }
    result.status = atoi(readFileBytes(statusFile).c_str());
    result.output = readFileBytes(folder.file(L"out"));
    return result;
}

// The X screen's size as the X server reports it, e.g. "800x480".
inline std::string screenSize()
{
    Result const result = run("xdpyinfo | awk '/dimensions:/ { print $2 }'");
    std::string size = result.output;
    while (!size.empty() && (size.back() == '\n' || size.back() == '\r'))
        size.pop_back();
    return result.status == 0 ? size : std::string();
}

// The RandR output of the rig's screen, as a shell expression. awk reads
// all of xrandr's output: an awk that stopped early would leave xrandr to die
// of SIGPIPE, which happens under Wine (whose host processes keep SIGPIPE at
// its default).
char const kOutputName[] =
    "$(xrandr --current | awk '$2 == \"connected\" && !found { print $1; found = 1 }')";

// Switches the X screen to the mode named WxH behind Wine's back, as
// `tools/rig.sh set-mode` does, and checks that X took it.
inline bool setScreenMode(std::string const& size)
{
    Result const result =
        run(std::string("xrandr --output ") + kOutputName + " --mode " + size +
            " && [ \"$(xdpyinfo | awk '/dimensions:/ { print $2 }')\" = " + size + " ]");
    if (result.status != 0)
        std::fprintf(stderr, "switching X to %s: status %d: %s\n", size.c_str(), result.status,
                     result.output.c_str());
    return result.status == 0;
}

// The X window Wine made for a top-level window, which it keeps in this
// property; 0 when there is none.
inline unsigned long long xWindow(HWND window)
{
    return reinterpret_cast<UINT_PTR>(GetPropW(window, L"__wine_x11_whole_window"));
}

// True inside tools/rig.sh exec (its display, tray host and Wine prefix).
inline bool inRig()
{
    wchar_t value[8] = {};
    return GetEnvironmentVariableW(L"KOVIX_RIG", value, ARRAYSIZE(value)) > 0 &&
           std::wstring(value) == L"1";
}

} // namespace host

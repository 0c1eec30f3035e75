#include "tests/e2e/ToolProcess.h"

#include <vector>

namespace {

std::wstring folderOfSelf()
{
    std::wstring const self = ownExecutablePath();
    return self.substr(0, self.find_last_of(L'\\'));
}

struct FindRequest {
    DWORD processId;
    wchar_t const* className;
    wchar_t const* title;
    HWND found;
};

BOOL CALLBACK matchWindow(HWND window, LPARAM param)
{
    FindRequest& request = *reinterpret_cast<FindRequest*>(param);
    DWORD owner = 0;
    GetWindowThreadProcessId(window, &owner);
    if (owner != request.processId)
        return TRUE;
    if (windowClass(window) != request.className)
        return TRUE;
    if (request.title != nullptr && windowText(window) != request.title)
        return TRUE;
    request.found = window;
    return FALSE;
}

} // namespace

ToolProcess::ToolProcess(TempFolder const& folder)
{
    exe_ = folder.file(L"KOVIX Tool.exe");
    CopyFileW((folderOfSelf() + L"\\KOVIX Tool.exe").c_str(), exe_.c_str(), FALSE);
}

ToolProcess::~ToolProcess()
{
    kill();
}

bool ToolProcess::start()
{
    std::wstring commandLine = L"\"" + exe_ + L"\"";
    std::wstring const folder = exe_.substr(0, exe_.find_last_of(L'\\'));
    STARTUPINFOW startup = {};
    startup.cb = sizeof(startup);
    return CreateProcessW(exe_.c_str(), &commandLine[0], nullptr, nullptr, FALSE, 0, nullptr,
                          folder.c_str(), &startup, &process_) != FALSE;
}

HWND ToolProcess::waitForMainWindow(DWORD timeoutMs)
{
    waitUntil([&] {
        HWND const window = findProcessWindow(id(), L"KOVIX TOOL");
        // Built once the controls exist and it has been shown (or minimised
        // into the tray, which hides it).
        if (window != nullptr && GetWindow(window, GW_CHILD) != nullptr &&
            (IsWindowVisible(window) || IsIconic(window)))
            main_ = window;
        return main_ != nullptr;
    }, timeoutMs);
    return main_;
}

int ToolProcess::waitForExit(DWORD timeoutMs)
{
    if (process_.hProcess == nullptr)
        return -1;
    if (WaitForSingleObject(process_.hProcess, timeoutMs) != WAIT_OBJECT_0)
        return -1;
    DWORD code = 0;
    GetExitCodeProcess(process_.hProcess, &code);
    return int(code);
}

void ToolProcess::kill()
{
    if (process_.hProcess == nullptr)
        return;
    if (WaitForSingleObject(process_.hProcess, 0) != WAIT_OBJECT_0) {
        TerminateProcess(process_.hProcess, 1);
        WaitForSingleObject(process_.hProcess, 5000);
    }
    CloseHandle(process_.hThread);
    CloseHandle(process_.hProcess);
    process_ = {};
}

HWND findProcessWindow(DWORD processId, wchar_t const* className, wchar_t const* title)
{
    FindRequest request = {processId, className, title, nullptr};
    EnumWindows(matchWindow, reinterpret_cast<LPARAM>(&request));
    return request.found;
}

HWND waitForProcessWindow(DWORD processId, wchar_t const* className, wchar_t const* title,
                          DWORD timeoutMs)
{
    HWND found = nullptr;
    waitUntil([&] { return (found = findProcessWindow(processId, className, title)) != nullptr; },
              timeoutMs);
    return found;
}

std::wstring windowText(HWND window)
{
    wchar_t text[512] = {};
    SendMessageTimeoutW(window, WM_GETTEXT, ARRAYSIZE(text), reinterpret_cast<LPARAM>(text),
                        SMTO_ABORTIFHUNG, 2000, nullptr);
    return text;
}

std::wstring windowClass(HWND window)
{
    wchar_t name[256] = {};
    GetClassNameW(window, name, ARRAYSIZE(name));
    return name;
}

void pressKeys(std::initializer_list<WORD> virtualKeys)
{
    std::vector<INPUT> inputs;
    for (WORD key : virtualKeys) {
        INPUT input = {};
        input.type = INPUT_KEYBOARD;
        input.ki.wVk = key;
        input.ki.wScan = WORD(MapVirtualKeyW(key, 0));
        inputs.push_back(input);
    }
    std::vector<WORD> reversed(virtualKeys.begin(), virtualKeys.end());
    for (auto it = reversed.rbegin(); it != reversed.rend(); ++it) {
        INPUT input = {};
        input.type = INPUT_KEYBOARD;
        input.ki.wVk = *it;
        input.ki.wScan = WORD(MapVirtualKeyW(*it, 0));
        input.ki.dwFlags = KEYEVENTF_KEYUP;
        inputs.push_back(input);
    }
    SendInput(UINT(inputs.size()), inputs.data(), sizeof(INPUT));
}

bool bringToFront(HWND window)
{
    SetForegroundWindow(window);
    return waitUntil([&] { return GetForegroundWindow() == window; }, 2000);
}

bool saveScreenshot(std::wstring const& path)
{
    int const width = GetSystemMetrics(SM_CXSCREEN);
    int const height = GetSystemMetrics(SM_CYSCREEN);
    HDC const screen = GetDC(nullptr);
    HDC const memory = CreateCompatibleDC(screen);
    BITMAPINFO info = {};
    info.bmiHeader.biSize = sizeof(info.bmiHeader);
    info.bmiHeader.biWidth = width;
    info.bmiHeader.biHeight = height;
    info.bmiHeader.biPlanes = 1;
    info.bmiHeader.biBitCount = 24;
    void* bits = nullptr;
    HBITMAP const bitmap = CreateDIBSection(screen, &info, DIB_RGB_COLORS, &bits, nullptr, 0);
    HGDIOBJ const old = SelectObject(memory, bitmap);
    BitBlt(memory, 0, 0, width, height, screen, 0, 0, SRCCOPY);
    SelectObject(memory, old);

    DWORD const rowBytes = DWORD((width * 3 + 3) & ~3);
    DWORD const imageBytes = rowBytes * DWORD(height);
    BITMAPFILEHEADER file = {};
    file.bfType = 0x4D42;
    file.bfOffBits = sizeof(file) + sizeof(info.bmiHeader);
    file.bfSize = file.bfOffBits + imageBytes;
    std::string bytes(reinterpret_cast<char*>(&file), sizeof(file));
    bytes.append(reinterpret_cast<char*>(&info.bmiHeader), sizeof(info.bmiHeader));
    bytes.append(static_cast<char*>(bits), imageBytes);

    DeleteObject(bitmap);
    DeleteDC(memory);
    ReleaseDC(nullptr, screen);
    return writeFileBytes(path, bytes);
}

std::wstring screenshotFolder()
{
    std::wstring const folder = folderOfSelf() + L"\\screenshots";
    CreateDirectoryW(folder.c_str(), nullptr);
    return folder;
}

std::string readMachineValue(wchar_t const* keyPath, wchar_t const* valueName, DWORD* type)
{
    DWORD valueType = 0;
    std::string data;
    HKEY key = nullptr;
    if (RegOpenKeyExW(HKEY_LOCAL_MACHINE, keyPath, 0, KEY_READ, &key) == ERROR_SUCCESS) {
        BYTE buffer[2048];
        DWORD size = sizeof(buffer);
        if (RegQueryValueExW(key, valueName, nullptr, &valueType, buffer, &size) == ERROR_SUCCESS)
            data.assign(reinterpret_cast<char*>(buffer), size);
        else
            valueType = 0;
        RegCloseKey(key);
    }
    if (type != nullptr)
        *type = valueType;
    return data;
}

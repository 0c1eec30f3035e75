#include "tests/win/WinTestSupport.h"

#include <sddl.h>
#include <shellapi.h>
#include <winternl.h>

#include <cstdio>
#include <map>

#include "tests/win/HostCommand.h"

namespace {

void removeTree(std::wstring const& path)
{
    WIN32_FIND_DATAW found;
    HANDLE const search = FindFirstFileW((path + L"\\*").c_str(), &found);
    if (search != INVALID_HANDLE_VALUE) {
        do {
            std::wstring const name = found.cFileName;
            if (name == L"." || name == L"..")
                continue;
            std::wstring const child = path + L"\\" + name;
            SetFileAttributesW(child.c_str(), FILE_ATTRIBUTE_NORMAL);
            if (found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY)
                removeTree(child);
            else
                DeleteFileW(child.c_str());
        } while (FindNextFileW(search, &found));
        FindClose(search);
    }
    RemoveDirectoryW(path.c_str());
}

std::map<std::wstring, ChildMain>& childModes()
{
    static std::map<std::wstring, ChildMain> modes;
    return modes;
}

} // namespace

TempFolder::TempFolder()
{
    wchar_t base[MAX_PATH];
    GetTempPathW(MAX_PATH, base);
    static unsigned counter = 0;
    for (;;) {
        path_ = std::wstring(base) + L"kovix-test-" + std::to_wstring(GetCurrentProcessId()) +
                L"-" + std::to_wstring(++counter);
        if (CreateDirectoryW(path_.c_str(), nullptr))
            break;
    }
}

TempFolder::~TempFolder()
{
    removeTree(path_);
}

std::wstring ownExecutablePath()
{
    wchar_t path[MAX_PATH];
    GetModuleFileNameW(nullptr, path, MAX_PATH);
    return path;
}

std::wstring copySelfInto(TempFolder const& folder, wchar_t const* name)
{
    std::wstring const target = folder.file(name);
    CopyFileW(ownExecutablePath().c_str(), target.c_str(), FALSE);
    return target;
}

namespace {

// Starts `exe` (in `folder` when given, its output going to this process's
// when `shareOutput`), waits up to `timeoutMs`; -1 when it could not start
// or did not end in time (it is then killed).
int startAndWait(std::wstring const& exe, std::wstring const& arguments, DWORD timeoutMs,
                 wchar_t const* folder, bool shareOutput)
{
    std::wstring commandLine = L"\"" + exe + L"\" " + arguments;
    STARTUPINFOW startup = {};
    startup.cb = sizeof(startup);
    if (shareOutput) {
        startup.dwFlags = STARTF_USESTDHANDLES;
        startup.hStdInput = GetStdHandle(STD_INPUT_HANDLE);
        startup.hStdOutput = GetStdHandle(STD_OUTPUT_HANDLE);
        startup.hStdError = GetStdHandle(STD_ERROR_HANDLE);
        for (HANDLE handle : {startup.hStdOutput, startup.hStdError})
            SetHandleInformation(handle, HANDLE_FLAG_INHERIT, HANDLE_FLAG_INHERIT);
        std::fflush(stdout);
    }
    PROCESS_INFORMATION process = {};
    if (!CreateProcessW(exe.c_str(), &commandLine[0], nullptr, nullptr, shareOutput, 0, nullptr,
                        folder, &startup, &process))
        return -1;
    DWORD code = DWORD(-1);
    if (WaitForSingleObject(process.hProcess, timeoutMs) == WAIT_OBJECT_0)
        GetExitCodeProcess(process.hProcess, &code);
    else
        TerminateProcess(process.hProcess, 1);
    CloseHandle(process.hThread);
    CloseHandle(process.hProcess);
    return int(code);
}

} // namespace

int runProcess(std::wstring const& exe, std::wstring const& arguments, DWORD timeoutMs)
{
    return startAndWait(exe, arguments, timeoutMs, nullptr, false);
}

bool fileExists(std::wstring const& path)
{
    return GetFileAttributesW(path.c_str()) != INVALID_FILE_ATTRIBUTES;
}

std::string readFileBytes(std::wstring const& path)
{
    std::string bytes;
    HANDLE const file = CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr,
                                    OPEN_EXISTING, 0, nullptr);
    if (file == INVALID_HANDLE_VALUE)
        return bytes;
    char chunk[4096];
    DWORD got = 0;
    while (ReadFile(file, chunk, sizeof(chunk), &got, nullptr) && got > 0)
        bytes.append(chunk, got);
    CloseHandle(file);
    return bytes;
}

bool writeFileBytes(std::wstring const& path, std::string const& bytes)
{
    HANDLE const file =
        CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
    if (file == INVALID_HANDLE_VALUE)
        return false;
    DWORD written = 0;
    BOOL const ok = WriteFile(file, bytes.data(), DWORD(bytes.size()), &written, nullptr);
    CloseHandle(file);
    return ok && written == bytes.size();
}

ChildRegistration::ChildRegistration(wchar_t const* name, ChildMain function)
{
    childModes()[name] = function;
}

int runChildIfAsked(int argc, wchar_t** argv, bool& wasChild)
{
    wasChild = argc >= 3 && std::wstring(argv[1]) == L"--child";
    if (!wasChild)
        return 0;
    auto const found = childModes().find(argv[2]);
    if (found == childModes().end())
        return 99;
    return found->second(argc - 3, argv + 3);
}

namespace wintest {

std::wstring folderOf(std::wstring const& path)
{
    return path.substr(0, path.find_last_of(L'\\'));
}

HWND createTestWindow(wchar_t const* title, WNDPROC procedure)
{
    WNDCLASSEXW windowClass = {};
    windowClass.cbSize = sizeof(windowClass);
    windowClass.lpfnWndProc = procedure != nullptr ? procedure : DefWindowProcW;
    windowClass.hInstance = GetModuleHandleW(nullptr);
    std::wstring const name =
        L"KovixTestWindow" + std::to_wstring(reinterpret_cast<UINT_PTR>(windowClass.lpfnWndProc));
    windowClass.lpszClassName = name.c_str();
    RegisterClassExW(&windowClass); // fails harmlessly once registered
    return CreateWindowExW(0, name.c_str(), title, WS_OVERLAPPEDWINDOW, 0, 0, 100, 100, nullptr, nullptr,
                           windowClass.hInstance, nullptr);
}

void pumpMessages(DWORD milliseconds)
{
    DWORD const start = GetTickCount();
    do {
        MSG message;
        while (PeekMessageW(&message, nullptr, 0, 0, PM_REMOVE)) {
            TranslateMessage(&message);
            DispatchMessageW(&message);
        }
        Sleep(5);
    } while (GetTickCount() - start < milliseconds);
}

namespace {

bool notifyShell(DWORD command, HWND owner, UINT id, UINT flags)
{
    NOTIFYICONDATAW data = {};
    data.cbSize = sizeof(data);
    data.hWnd = owner;
    data.uID = id;
    data.uFlags = flags;
    data.hIcon = LoadIconW(nullptr, IDI_APPLICATION);
    return Shell_NotifyIconW(command, &data) != FALSE;
}

} // namespace

bool shellHasIcon(HWND owner, UINT id)
{
    return notifyShell(NIM_MODIFY, owner, id, 0);
}

bool shellAddIcon(HWND owner, UINT id)
{
    return notifyShell(NIM_ADD, owner, id, NIF_ICON);
}

bool shellDeleteIcon(HWND owner, UINT id)
{
    return notifyShell(NIM_DELETE, owner, id, 0);
}

SIZE textSize(HFONT font, wchar_t const* text)
{
    HDC const screen = GetDC(nullptr);
    HGDIOBJ const previous = SelectObject(screen, font);
    RECT rect = {0, 0, 0, 0};
    DrawTextW(screen, text, -1, &rect, DT_CALCRECT);
    SelectObject(screen, previous);
    ReleaseDC(nullptr, screen);
    return SIZE{rect.right - rect.left, rect.bottom - rect.top};
}

// Windows counts them; Wine's GetGuiResources answers 0, but Wine keeps the
// Windows handle table in the process (PEB GdiSharedHandleTable: 24-byte
// entries on 64-bit, 16 on 32-bit, the object type at byte 14).
long gdiObjectCount()
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

bool readRegistryValue(HKEY root, wchar_t const* path, wchar_t const* name, DWORD& type,
                       std::string& data)
{
    HKEY key = nullptr;
    if (RegOpenKeyExW(root, path, 0, KEY_READ, &key) != ERROR_SUCCESS)
        return false;
    BYTE buffer[256];
    DWORD size = sizeof(buffer);
    LONG const result = RegQueryValueExW(key, name, nullptr, &type, buffer, &size);
    RegCloseKey(key);
    data.assign(reinterpret_cast<char*>(buffer), result == ERROR_SUCCESS ? size : 0);
    return result == ERROR_SUCCESS;
}

bool createRegistryKey(HKEY root, wchar_t const* path)
{
    HKEY key = nullptr;
    LONG const result = RegCreateKeyExW(root, path, 0, nullptr, 0, KEY_READ, nullptr, &key, nullptr);
    if (result == ERROR_SUCCESS)
        RegCloseKey(key);
    return result == ERROR_SUCCESS;
}

KeyLock::KeyLock(HKEY root, wchar_t const* path, REGSAM view)
{
    if (RegOpenKeyExW(root, path, 0, READ_CONTROL | WRITE_DAC | view, &key_) != ERROR_SUCCESS) {
        key_ = nullptr;
        return;
    }
    DWORD size = 0;
    RegGetKeySecurity(key_, DACL_SECURITY_INFORMATION, nullptr, &size);
    std::string saved(size, '\0');
    PSECURITY_DESCRIPTOR denying = nullptr;
    if (size == 0 ||
        RegGetKeySecurity(key_, DACL_SECURITY_INFORMATION, &saved[0], &size) != ERROR_SUCCESS ||
        !ConvertStringSecurityDescriptorToSecurityDescriptorW(L"D:(D;;0x6;;;WD)(A;;KA;;;WD)",
                                                              SDDL_REVISION_1, &denying, nullptr))
        return;
    if (RegSetKeySecurity(key_, DACL_SECURITY_INFORMATION, denying) == ERROR_SUCCESS)
        saved_ = saved;
    LocalFree(denying);
}

KeyLock::~KeyLock()
{
    if (locked())
        RegSetKeySecurity(key_, DACL_SECURITY_INFORMATION, &saved_[0]);
    if (key_ != nullptr)
        RegCloseKey(key_);
}

ScopedLogPixels::ScopedLogPixels(DWORD dpi)
{
    RegCreateKeyExW(HKEY_CURRENT_USER, L"Control Panel\\Desktop", 0, nullptr, 0, KEY_ALL_ACCESS,
                    nullptr, &key_, nullptr);
    DWORD size = sizeof(old_);
    hadOld_ = RegQueryValueExW(key_, L"LogPixels", nullptr, nullptr, reinterpret_cast<BYTE*>(&old_),
                               &size) == ERROR_SUCCESS;
    RegSetValueExW(key_, L"LogPixels", 0, REG_DWORD, reinterpret_cast<BYTE*>(&dpi), sizeof(dpi));
}

ScopedLogPixels::~ScopedLogPixels()
{
    if (hadOld_)
        RegSetValueExW(key_, L"LogPixels", 0, REG_DWORD, reinterpret_cast<BYTE*>(&old_),
                       sizeof(old_));
    else
        RegDeleteValueW(key_, L"LogPixels");
    RegCloseKey(key_);
}

BITMAPINFO pictureInfo(int width, int height)
{
    BITMAPINFO info = {};
    info.bmiHeader.biSize = sizeof(info.bmiHeader);
    info.bmiHeader.biWidth = width;
    info.bmiHeader.biHeight = -height; // top-down
    info.bmiHeader.biPlanes = 1;
    info.bmiHeader.biBitCount = 32;
    info.bmiHeader.biCompression = BI_RGB;
    return info;
}

Picture readBitmap(HBITMAP bitmap)
{
    BITMAP size = {};
    if (GetObjectW(bitmap, sizeof(size), &size) == 0)
        return Picture();
    Picture picture = {int(size.bmWidth), int(size.bmHeight),
                       std::vector<DWORD>(size_t(size.bmWidth) * size_t(size.bmHeight))};
    BITMAPINFO info = pictureInfo(picture.width, picture.height);
    HDC const screen = GetDC(nullptr);
    int const rows = GetDIBits(screen, bitmap, 0, UINT(picture.height), picture.pixels.data(), &info,
                               DIB_RGB_COLORS);
    ReleaseDC(nullptr, screen);
    for (DWORD& pixel : picture.pixels)
        pixel &= 0xFFFFFF; // the colour alone, whatever the alpha byte says
    return rows == picture.height ? picture : Picture();
}

bool saveScreenshot(std::wstring const& path)
{
    int const width = GetSystemMetrics(SM_CXSCREEN);
    int const height = GetSystemMetrics(SM_CYSCREEN);
    BITMAPINFOHEADER header = {};
    header.biSize = sizeof(header);
    header.biWidth = width;
    header.biHeight = height;
    header.biPlanes = 1;
    header.biBitCount = 24;
    header.biCompression = BI_RGB;
    DWORD const stride = DWORD((width * 3 + 3) & ~3);
    header.biSizeImage = stride * DWORD(height);

    HDC const screen = GetDC(nullptr);
    HDC const memory = CreateCompatibleDC(screen);
    void* bits = nullptr;
    HBITMAP const bitmap = CreateDIBSection(screen, reinterpret_cast<BITMAPINFO*>(&header),
                                            DIB_RGB_COLORS, &bits, nullptr, 0);
    HGDIOBJ const previous = SelectObject(memory, bitmap);
    BOOL const copied = BitBlt(memory, 0, 0, width, height, screen, 0, 0, SRCCOPY);
    GdiFlush();

    BITMAPFILEHEADER file = {};
    file.bfType = 0x4D42;
    file.bfOffBits = sizeof(file) + sizeof(header);
    file.bfSize = file.bfOffBits + header.biSizeImage;
    std::string bytes(reinterpret_cast<char const*>(&file), sizeof(file));
    bytes.append(reinterpret_cast<char const*>(&header), sizeof(header));
    if (bits != nullptr)
        bytes.append(static_cast<char const*>(bits), header.biSizeImage);

    SelectObject(memory, previous);
    DeleteObject(bitmap);
    DeleteDC(memory);
    ReleaseDC(nullptr, screen);
    return copied && bits != nullptr && writeFileBytes(path, bytes);
}

bool screenIs(int width, int height)
{
    return GetSystemMetrics(SM_CXSCREEN) == width && GetSystemMetrics(SM_CYSCREEN) == height;
}

bool offersMode(DWORD width, DWORD height)
{
    DEVMODEW mode = {};
    mode.dmSize = sizeof(mode);
    for (DWORD index = 0; EnumDisplaySettingsW(nullptr, index, &mode); ++index)
        if (mode.dmPelsWidth == width && mode.dmPelsHeight == height)
            return true;
    return false;
}

LONG changeScreenMode(DWORD width, DWORD height, DWORD bitsPerPixel, DWORD flags)
{
    DEVMODEW mode = {};
    mode.dmSize = sizeof(mode);
    mode.dmFields = DM_BITSPERPEL | DM_PELSWIDTH | DM_PELSHEIGHT;
    mode.dmPelsWidth = width;
    mode.dmPelsHeight = height;
    mode.dmBitsPerPel = bitsPerPixel;
    return ChangeDisplaySettingsW(&mode, flags);
}

bool restoreNativeScreenMode()
{
    bool const switched = changeScreenMode(800, 480, 32, CDS_UPDATEREGISTRY) == DISP_CHANGE_SUCCESSFUL;
    if (!switched || host::screenSize() != "800x480")
        host::setScreenMode("800x480");
    return switched;
}

ScreenModeRestorer::~ScreenModeRestorer()
{
    if (host::inRig())
        restoreNativeScreenMode();
}

int runChildIn(TempFolder const& folder, std::wstring const& arguments, DWORD timeoutMs)
{
    return startAndWait(copySelfInto(folder, L"child.exe"), L"--child " + arguments, timeoutMs,
                        folder.path().c_str(), true);
}

} // namespace wintest

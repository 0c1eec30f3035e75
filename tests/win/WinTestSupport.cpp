#include "tests/win/WinTestSupport.h"

#include <map>

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

int runProcess(std::wstring const& exe, std::wstring const& arguments, DWORD timeoutMs)
{
    std::wstring commandLine = L"\"" + exe + L"\" " + arguments;
    STARTUPINFOW startup = {};
    startup.cb = sizeof(startup);
    PROCESS_INFORMATION process = {};
    if (!CreateProcessW(exe.c_str(), &commandLine[0], nullptr, nullptr, FALSE, 0, nullptr,
                        nullptr, &startup, &process))
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

#include "app/SingleInstance.h"

#include "common/HandleOwners.h"

namespace {

// The first copy may still be starting: its window may not exist yet, or
// answer kReplyStarting until it is built.
DWORD const kStartingWaitMs = 10000;
DWORD const kRetryIntervalMs = 100;

HANDLE instanceMutex = nullptr;

// Sends the payload once; false when no answer came (the reply is then
// meaningless).
bool sendPayload(HWND running, COPYDATASTRUCT& data, DWORD_PTR& reply)
{
    return SendMessageTimeoutW(running, WM_COPYDATA, 0, reinterpret_cast<LPARAM>(&data),
                               SMTO_NORMAL | SMTO_ABORTIFHUNG, kAnswerTimeoutMs, &reply) != 0;
}

// Once the running copy has taken /exit: its end, when its process can be
// watched at all (a copy with more rights may not let us).
int waitForEnd(HANDLE process)
{
    if (process == nullptr)
        return kExitDone;
    return WaitForSingleObject(process, kAnswerTimeoutMs) == WAIT_OBJECT_0 ? kExitDone
                                                                           : kExitNoAnswer;
}

// One attempt at handing the command over. True when it is settled, with
// the exit code; false when the copy is still starting, or its window went
// meanwhile (a copy that ended, or one that is starting again).
bool handOver(HWND running, CommandKind kind, COPYDATASTRUCT& data, int& exitCode)
{
    DWORD processId = 0;
    GetWindowThreadProcessId(running, &processId);
    // Only a process in the foreground may hand the foreground on.
    if (kind == CommandKind::Show)
        AllowSetForegroundWindow(processId);
    ScopedHandle const process(kind == CommandKind::Exit ? OpenProcess(SYNCHRONIZE, FALSE, processId)
                                                         : nullptr);
    DWORD_PTR reply = 0;
    bool settled = false;
    if (sendPayload(running, data, reply)) {
        settled = reply != DWORD_PTR(kReplyStarting);
        exitCode = exitCodeForReply(int32_t(reply));
        if (kind == CommandKind::Exit && exitCode == kExitDone)
            exitCode = waitForEnd(process.get());
    } else {
        settled = IsWindow(running) != FALSE;
        exitCode = kExitNoAnswer;
    }
    return settled;
}

// The running copy's window, waited for until kStartingWaitMs after
// `start`: it may still be starting.
HWND waitForRunningWindow(wchar_t const* windowClassName, DWORD start)
{
    for (;;) {
        HWND const running = FindWindowW(windowClassName, nullptr);
        if (running != nullptr || GetTickCount() - start >= kStartingWaitMs)
            return running;
        Sleep(kRetryIntervalMs);
    }
}

bool takeOverFromCopyWithoutElevation(wchar_t const* windowClassName, ElevationQuery elevated)
{
    if (!elevated(GetCurrentProcess()))
        return false;
    HWND const running = waitForRunningWindow(windowClassName, GetTickCount());
    if (running == nullptr)
        return false;
    DWORD processId = 0;
    GetWindowThreadProcessId(running, &processId);
    ScopedHandle const process(OpenProcess(PROCESS_QUERY_INFORMATION, FALSE, processId));
    // A copy this one may not even query is left alone, as an elevated one is.
    if (!process.valid() || elevated(process.get()) ||
        handToRunningCopy(windowClassName, {CommandKind::Exit, 0}) != kExitDone)
        return false;
    // Its end abandoned the mutex, which this process's handle keeps.
    DWORD const wait = WaitForSingleObject(instanceMutex, kAnswerTimeoutMs);
    return wait == WAIT_OBJECT_0 || wait == WAIT_ABANDONED;
}

} // namespace

bool processIsElevated(HANDLE process)
{
    HANDLE opened = nullptr;
    if (!OpenProcessToken(process, TOKEN_QUERY, &opened))
        return false;
    ScopedHandle const token(opened);
    // TOKEN_ELEVATION: one DWORD. Windows XP refuses the class (20).
    DWORD elevation = 0;
    DWORD size = 0;
    return GetTokenInformation(token.get(), TOKEN_INFORMATION_CLASS(20), &elevation,
                               sizeof(elevation), &size) &&
           elevation != 0;
}

bool claimSingleInstance(wchar_t const* windowClassName, ElevationQuery elevated)
{
    instanceMutex = CreateMutexW(nullptr, TRUE, L"KOVIX Tool single instance");
    DWORD const error = GetLastError();
    // A copy with more rights (run as administrator) made a mutex that this
    // one may not open: it exists all the same, so that copy runs.
    if (instanceMutex == nullptr)
        return error != ERROR_ACCESS_DENIED;
    if (error != ERROR_ALREADY_EXISTS)
        return true;
    return takeOverFromCopyWithoutElevation(windowClassName, elevated);
}

int handToRunningCopy(wchar_t const* windowClassName, ToolCommand command)
{
    wchar_t payload[kCommandPayloadCapacity];
    if (!formatCommandPayload(command, payload, ARRAYSIZE(payload)))
        return kExitUsage;
    COPYDATASTRUCT data = {};
    data.dwData = kCommandDataId;
    data.cbData = DWORD((lstrlenW(payload) + 1) * sizeof(wchar_t));
    data.lpData = payload;

    DWORD const start = GetTickCount();
    do {
        int exitCode = kExitNoAnswer;
        HWND const running = waitForRunningWindow(windowClassName, start);
        if (running != nullptr && handOver(running, command.kind, data, exitCode))
            return exitCode;
        Sleep(kRetryIntervalMs);
    } while (GetTickCount() - start < kStartingWaitMs);
    return kExitNoAnswer;
}

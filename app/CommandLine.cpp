#include "app/CommandLine.h"

#include "settings/SettingsText.h"

namespace {

wchar_t const kUsageHead[] = L"KOVIX Tool [command]\n\n";
wchar_t const kUsageTail[] =
    L"\n"
    L"    switch to the mode, as its item in the tray menu does\n"
    L"/show    show the settings window\n"
    L"/tray    put the settings window into the tray\n"
    L"/exit    end the running copy\n"
    L"/?, /help    this text\n"
    L"\n"
    L"A command goes to the copy that runs; without one, the program starts "
    L"and then carries it out. Commands may start with / or -.\n"
    L"\n"
    L"Exit codes: 0 done, 1 the mode switch failed, 2 usage error, "
    L"3 the running copy is busy, 4 no answer in time.";

// Longer than every command and mode, so that a longer token fails to match
// instead of being cut to one that does.
size_t const kTokenCapacity = 16;

struct CommandName {
    wchar_t const* name;
    CommandKind kind;
};

CommandName const kCommandNames[] = {
    {L"mode", CommandKind::Mode}, {L"show", CommandKind::Show}, {L"tray", CommandKind::Tray},
    {L"exit", CommandKind::Exit}, {L"?", CommandKind::Help},    {L"help", CommandKind::Help},
};

ToolCommand const kInvalid = {CommandKind::Invalid, 0};

bool isBlank(wchar_t c)
{
    return c == L' ' || c == L'\t' || c == L'\r' || c == L'\n';
}

wchar_t lowerAscii(wchar_t c)
{
    return c >= L'A' && c <= L'Z' ? wchar_t(c - L'A' + L'a') : c;
}

bool sameIgnoringCase(wchar_t const* a, wchar_t const* b)
{
    for (; *a != 0 && *b != 0; ++a, ++b) {
        if (lowerAscii(*a) != lowerAscii(*b))
            return false;
    }
    return *a == *b;
}

// The length of `path` when `text` starts with it as a whole token (followed
// by a blank or the end); 0 otherwise.
size_t leadingPathLength(wchar_t const* text, wchar_t const* path)
{
    if (path == nullptr || *path == 0)
        return 0;
    size_t length = 0;
    for (; path[length] != 0; ++length) {
        if (lowerAscii(text[length]) != lowerAscii(path[length]))
            return 0; // also where the text ends first
    }
    return text[length] == 0 || isBlank(text[length]) ? length : 0;
}

// Reads the next token into `token`; returns false at the end of the text.
// `overlong` is set when the token did not fit (it is then skipped whole).
bool nextToken(wchar_t const*& cursor, wchar_t (&token)[kTokenCapacity], bool& overlong)
{
    while (isBlank(*cursor))
        ++cursor;
    if (*cursor == 0)
        return false;
    size_t length = 0;
    bool quoted = false;
    overlong = false;
    for (; *cursor != 0 && (quoted || !isBlank(*cursor)); ++cursor) {
        if (*cursor == L'"') {
            quoted = !quoted;
        } else if (length + 1 < kTokenCapacity) {
            token[length++] = *cursor;
        } else {
            overlong = true;
        }
    }
    token[length] = 0;
    return true;
}

CommandKind commandKind(wchar_t const* token)
{
    if (token[0] != L'/' && token[0] != L'-')
        return CommandKind::Invalid;
    for (CommandName const& entry : kCommandNames) {
        if (sameIgnoringCase(token + 1, entry.name))
            return entry.kind;
    }
    return CommandKind::Invalid;
}

ResolutionMode modeOf(wchar_t const* token)
{
    for (size_t i = 0; i < kChoosableModeCount; ++i) {
        if (sameIgnoringCase(token, kModeTable[i].commandName))
            return kModeTable[i].mode;
    }
    return 0;
}

bool canBeHandedOver(CommandKind kind)
{
    return kind == CommandKind::Mode || kind == CommandKind::Show || kind == CommandKind::Tray ||
           kind == CommandKind::Exit;
}

} // namespace

wchar_t const* commandArguments(wchar_t const* commandLine, wchar_t const* modulePath)
{
    if (commandLine == nullptr)
        return L"";
    wchar_t const* cursor = commandLine;
    if (*cursor == L'"') {
        ++cursor;
        while (*cursor != 0 && *cursor != L'"')
            ++cursor;
        if (*cursor == L'"')
            ++cursor;
    } else if (size_t const pathLength = leadingPathLength(cursor, modulePath)) {
        cursor += pathLength;
    } else {
        while (*cursor != 0 && !isBlank(*cursor))
            ++cursor;
    }
    while (isBlank(*cursor))
        ++cursor;
    return cursor;
}

ToolCommand parseCommandLine(wchar_t const* text)
{
    ToolCommand command = {CommandKind::None, 0};
    if (text == nullptr)
        return command;
    wchar_t const* cursor = text;
    wchar_t token[kTokenCapacity];
    bool overlong = false;
    while (nextToken(cursor, token, overlong)) {
        if (overlong || command.kind != CommandKind::None)
            return kInvalid;
        command.kind = commandKind(token);
        if (command.kind == CommandKind::Invalid)
            return kInvalid;
        if (command.kind == CommandKind::Mode) {
            if (!nextToken(cursor, token, overlong) || overlong)
                return kInvalid;
            command.mode = modeOf(token);
            if (command.mode == 0)
                return kInvalid;
        }
    }
    return command;
}

bool formatCommandPayload(ToolCommand command, wchar_t* dest, size_t capacity)
{
    if (capacity == 0)
        return false;
    dest[0] = 0;
    wchar_t const* name = nullptr;
    for (CommandName const& entry : kCommandNames) {
        if (entry.kind == command.kind && canBeHandedOver(entry.kind))
            name = entry.name;
    }
    if (name == nullptr)
        return false;
    wchar_t text[kCommandPayloadCapacity] = L"/";
    size_t length = 1 + copyText(text + 1, kCommandPayloadCapacity - 1, name);
    if (command.kind == CommandKind::Mode) {
        ModeRow const* const row = choosableModeRow(command.mode);
        if (row == nullptr)
            return false;
        text[length++] = L' ';
        length += copyText(text + length, kCommandPayloadCapacity - length, row->commandName);
    }
    if (length + 1 > capacity)
        return false;
    copyText(dest, capacity, text);
    return true;
}

ToolCommand readCommandPayload(wchar_t const* units, size_t unitCount)
{
    if (units == nullptr || unitCount == 0 || unitCount > kCommandPayloadCapacity)
        return kInvalid;
    for (size_t i = 0; i + 1 < unitCount; ++i) {
        if (units[i] == 0)
            return kInvalid;
    }
    if (units[unitCount - 1] != 0)
        return kInvalid;
    ToolCommand const command = parseCommandLine(units);
    return canBeHandedOver(command.kind) ? command : kInvalid;
}

void formatUsageText(wchar_t* dest, size_t capacity)
{
    if (capacity == 0)
        return;
    size_t length = copyText(dest, capacity, kUsageHead);
    for (size_t i = 0; i < kChoosableModeCount; ++i) {
        if (i > 0)
            length += copyText(dest + length, capacity - length, L", ");
        length += copyText(dest + length, capacity - length, L"/mode ");
        length += copyText(dest + length, capacity - length, kModeTable[i].commandName);
    }
    copyText(dest + length, capacity - length, kUsageTail);
}

int exitCodeForReply(int32_t reply)
{
    switch (reply) {
    case kReplyDone:
        return kExitDone;
    case kReplySwitchFailed:
        return kExitSwitchFailed;
    case kReplyBusy:
        return kExitBusy;
    default:
        return kExitNoAnswer;
    }
}

// The program's small command line, and the form in which a second start
// hands a command to the copy that already runs. Free of platform calls so
// that the parser can be unit-tested and fuzzed natively: the receiving copy
// reads another process's data with it, so it must hold for any input.
#pragma once

#include <stddef.h>
#include <stdint.h>

#include "display/ResolutionModes.h"

enum class CommandKind : uint8_t {
    None,    // no arguments: start as always
    Mode,    // /mode WxH: as the tray menu's item for that mode
    Show,    // /show: the settings window out of the tray, in front
    Tray,    // /tray: the settings window into the tray
    Exit,    // /exit: end the running copy
    Help,    // /? or /help: the usage box
    Invalid, // anything else: the usage box, exit code kExitUsage
};

struct ToolCommand {
    CommandKind kind;
    ResolutionMode mode; // a choosable mode for Mode, else 0
};

// The arguments within the whole command line (GetCommandLineW), after the
// program's path. Launchers pass it as they got it, and one that does not
// quote (WinExec, a CreateProcess that names only the application, an
// unquoted Run value) leaves "C:\Tools\KOVIX Tool.exe" with its blank, which
// the C runtime's rule (the first token ends at the first blank) would cut
// into the program "C:\Tools\KOVIX" and an argument "Tool.exe". So: after a
// quoted first token; after an unquoted start that equals `modulePath` in
// any case of A-Z and ends at a blank or the end; else after the first
// blank. Leading blanks of the arguments are skipped.
wchar_t const* commandArguments(wchar_t const* commandLine, wchar_t const* modulePath);

// Parses the arguments (the command line after the program's name). Tokens
// are separated by blanks; a double quote groups blanks into a token and is
// not part of it. A command is a token "/name" or "-name", the name in any
// case of A-Z; /mode takes the next token, a choosable mode's command name
// (its x in either case). One command at most: a second one, a token
// that is no command, a missing or unknown mode, or a token longer than any
// of these make the line Invalid. Only blanks, or nothing, is None.
ToolCommand parseCommandLine(wchar_t const* text);

// The identifier in COPYDATASTRUCT::dwData of a handed-over command ("KVX1").
uint32_t const kCommandDataId = 0x4B565831;
// Largest payload in UTF-16 units, terminator included; the longest /mode
// payload is 15.
size_t const kCommandPayloadCapacity = 32;

// Writes the payload text of a command that can be handed over (Mode, Show,
// Tray, Exit) into `dest`; false, with `dest` empty, for any other command or
// a capacity too small for it.
bool formatCommandPayload(ToolCommand command, wchar_t* dest, size_t capacity);

// Reads a received payload of `unitCount` units: it must fit
// kCommandPayloadCapacity, end with its one and only terminator, and parse
// as a command that can be handed over. Anything else is Invalid.
ToolCommand readCommandPayload(wchar_t const* units, size_t unitCount);

// What the running copy answers to a handed-over command (the result of the
// message). A window answers 0 to a message it does not take, so every
// answer is non-zero.
int32_t const kReplyDone = 1;
int32_t const kReplySwitchFailed = 2; // the display is not in the mode asked for
int32_t const kReplyBusy = 3;         // an Apply or one of its questions is open
int32_t const kReplyStarting = 4;     // the window is not built yet: ask again

// Exit codes of a start with a command.
int const kExitDone = 0;
int const kExitSwitchFailed = 1;
int const kExitUsage = 2;
int const kExitBusy = 3;
int const kExitNoAnswer = 4;

// The exit code for the running copy's final answer (not kReplyStarting).
int exitCodeForReply(int32_t reply);

// The text of the usage box, with every choosable mode's /mode line.
size_t const kUsageTextCapacity = 640;
void formatUsageText(wchar_t* dest, size_t capacity);

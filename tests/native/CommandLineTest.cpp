#include "app/CommandLine.h"

#include <gtest/gtest.h>

#include <string>

namespace {

CommandKind const None = CommandKind::None;
CommandKind const Mode = CommandKind::Mode;
CommandKind const Show = CommandKind::Show;
CommandKind const Tray = CommandKind::Tray;
CommandKind const Exit = CommandKind::Exit;
CommandKind const Help = CommandKind::Help;
CommandKind const Invalid = CommandKind::Invalid;

std::string narrow(std::wstring const& text)
{
    std::string out;
    for (wchar_t c : text)
        out += c >= 32 && c < 127 ? char(c) : '#';
    return out;
}

} // namespace

TEST(CommandLine, ParsesEachCommandAndRejectsEverythingElse)
{
    struct Row {
        wchar_t const* text;
        CommandKind kind;
        ResolutionMode mode;
    };
    Row const rows[] = {
        {L"", None, 0}, {L"   \t ", None, 0}, {L"\"\"", Invalid, 0},
        {L"/mode 800x480", Mode, kMode800x480}, {L"/mode 800x600", Mode, kMode800x600},
        {L"/mode 1024x768", Mode, kMode1024x768}, {L"-MODE 1024X768", Mode, kMode1024x768},
        {L"  /Mode\t800X600  ", Mode, kMode800x600}, {L"\"/mode\" \"800x600\"", Mode, kMode800x600},
        {L"/sh\"o\"w", Show, 0}, {L"/mo\"de 8\"00x480", Invalid, 0},
        {L"/show", Show, 0}, {L"-SHOW", Show, 0}, {L"/tray", Tray, 0}, {L"-Tray", Tray, 0},
        {L"/exit", Exit, 0}, {L"-eXiT", Exit, 0}, {L"/?", Help, 0}, {L"-?", Help, 0},
        {L"/help", Help, 0}, {L"/HELP", Help, 0},
        // Missing, unknown and near-miss modes.
        {L"/mode", Invalid, 0}, {L"/mode ", Invalid, 0}, {L"/mode 640x480", Invalid, 0},
        {L"/mode 1000x600", Invalid, 0}, {L"/mode 800x4800", Invalid, 0},
        {L"/mode 800*600", Invalid, 0}, {L"/mode 800x600x32", Invalid, 0},
        {L"/mode:800x600", Invalid, 0}, {L"/mode=800x600", Invalid, 0}, {L"/mode \"\"", Invalid, 0},
        {L"/mode /show", Invalid, 0}, {L"/mode 1", Invalid, 0}, {L"/mode 2", Invalid, 0},
        // Only A-Z fold: a dotless or dotted capital I is not an i.
        {L"/\x0130" L"tray", Invalid, 0}, {L"/show\x0131", Invalid, 0}, {L"/sh\x0130w", Invalid, 0},
        // More than one command, or anything besides it.
        {L"/show /tray", Invalid, 0}, {L"/exit /exit", Invalid, 0}, {L"/? /exit", Invalid, 0},
        {L"/mode 800x600 /mode 800x480", Invalid, 0}, {L"/mode 800x600 800x480", Invalid, 0},
        {L"/show now", Invalid, 0}, {L"show", Invalid, 0}, {L"800x600", Invalid, 0},
        {L"//show", Invalid, 0}, {L"/", Invalid, 0}, {L"-", Invalid, 0}, {L"/ show", Invalid, 0},
        {L"\\show", Invalid, 0}, {L"/shows", Invalid, 0}, {L"/sho", Invalid, 0},
        {L"--show", Invalid, 0}, {L"/show\x00A0", Invalid, 0},
        // A long token is never cut down to one that matches.
        {L"/showwwwwwwwwwwwwwwwwwwwwwww", Invalid, 0},
        {L"/mode 800x600000000000000000000", Invalid, 0},
        {L"/exit\"                                \"", Invalid, 0},
    };
    for (Row const& row : rows) {
        SCOPED_TRACE(narrow(row.text));
        ToolCommand const command = parseCommandLine(row.text);
        EXPECT_EQ(int(row.kind), int(command.kind));
        EXPECT_EQ(row.mode, command.mode);
    }
    EXPECT_EQ(int(None), int(parseCommandLine(nullptr).kind));
}

TEST(CommandLine, PayloadsRoundTripAndMalformedOnesAreRefused)
{
    struct Sent {
        ToolCommand command;
        wchar_t const* text; // null: cannot be handed over
    };
    Sent const sent[] = {
        {{Mode, kMode800x480}, L"/mode 800x480"}, {{Mode, kMode800x600}, L"/mode 800x600"},
        {{Mode, kMode1024x768}, L"/mode 1024x768"}, {{Show, 0}, L"/show"}, {{Tray, 0}, L"/tray"},
        {{Exit, 0}, L"/exit"}, {{Help, 0}, nullptr}, {{None, 0}, nullptr}, {{Invalid, 0}, nullptr},
        {{Mode, kMode640x480}, nullptr}, {{Mode, kMode1024x600}, nullptr}, {{Mode, 4}, nullptr},
    };
    for (Sent const& row : sent) {
        wchar_t payload[kCommandPayloadCapacity];
        std::wstring const expected = row.text != nullptr ? row.text : L"";
        SCOPED_TRACE(narrow(expected));
        EXPECT_EQ(row.text != nullptr, formatCommandPayload(row.command, payload, kCommandPayloadCapacity));
        EXPECT_EQ(expected, payload);
        if (row.text == nullptr)
            continue;
        ToolCommand const read = readCommandPayload(payload, expected.size() + 1);
        EXPECT_EQ(int(row.command.kind), int(read.kind));
        EXPECT_EQ(row.command.mode, read.mode);
        // Exactly as long as it needs, or it is not written at all.
        EXPECT_TRUE(formatCommandPayload(row.command, payload, expected.size() + 1));
        EXPECT_FALSE(formatCommandPayload(row.command, payload, expected.size()));
        EXPECT_EQ(std::wstring(), payload);
    }

    struct Received {
        std::wstring units; // as received, terminators included
        CommandKind kind;
    };
    std::wstring const padded = L"/show" + std::wstring(kCommandPayloadCapacity - 6, L' ');
    Received const received[] = {
        {std::wstring(L"/show\0", 6), Show},
        {std::wstring(L" -EXIT \0", 8), Exit},
        {padded + L'\0', Show},                 // the largest payload
        {padded + L' ' + L'\0', Invalid},       // one unit over
        {std::wstring(L"/show", 5), Invalid},    // no terminator
        {std::wstring(L"/show\0\0", 7), Invalid}, // a second terminator
        {std::wstring(L"/sh\0ow\0", 7), Invalid},  // a terminator inside
        {std::wstring(L"\0", 1), Invalid},       // nothing
        {std::wstring(), Invalid},
        {std::wstring(L"/help\0", 6), Invalid},  // parses, but is never handed over
        {std::wstring(L"/?\0", 3), Invalid},
        {std::wstring(L"/mode 640x480\0", 14), Invalid},
        {std::wstring(L"/show /exit\0", 12), Invalid},
    };
    for (Received const& row : received) {
        SCOPED_TRACE(narrow(row.units) + " (" + std::to_string(row.units.size()) + " units)");
        ToolCommand const command = readCommandPayload(row.units.data(), row.units.size());
        EXPECT_EQ(int(row.kind), int(command.kind));
    }
    EXPECT_EQ(int(Invalid), int(readCommandPayload(nullptr, 6).kind));
}

TEST(CommandLine, TheArgumentsFollowTheProgramPathHoweverItIsQuoted)
{
    wchar_t const* const path = L"C:\\Tools\\KOVIX Tool.exe";
    struct Row {
        wchar_t const* commandLine;
        wchar_t const* arguments;
    };
    Row const rows[] = {
        // Quoted: up to the closing quote, a blank after it or not.
        {L"\"C:\\Tools\\KOVIX Tool.exe\"", L""},
        {L"\"C:\\Tools\\KOVIX Tool.exe\" /mode 800x600", L"/mode 800x600"},
        {L"\"C:\\Tools\\KOVIX Tool.exe\"/show", L"/show"},
        {L"\"C:\\Elsewhere\\KOVIX Tool.exe\" /show", L"/show"},
        {L"\"C:\\Tools\\KOVIX Tool.exe", L""},
        // Unquoted, as a launcher passes the path it was given: the module's
        // own path, in any case, is the program's name whole.
        {L"C:\\Tools\\KOVIX Tool.exe", L""},
        {L"C:\\Tools\\KOVIX Tool.exe   ", L""},
        {L"C:\\Tools\\KOVIX Tool.exe /mode 800x600", L"/mode 800x600"},
        {L"c:\\tools\\kovix tool.EXE\t/exit", L"/exit"},
        // Anything else: the runtime's rule, the name ends at the first blank.
        {L"C:\\Tools\\KOVIX Tool.exe2 /show", L"Tool.exe2 /show"},
        {L"C:\\Tools\\KOVIX Tool.ex /show", L"Tool.ex /show"},
        {L"C:\\Elsewhere\\KOVIX Tool.exe /show", L"Tool.exe /show"},
        {L"KOVIXT~1.EXE /show", L"/show"},
        {L"KOVIXT~1.EXE", L""},
        {L"", L""},
    };
    for (Row const& row : rows) {
        SCOPED_TRACE(narrow(row.commandLine));
        EXPECT_EQ(std::wstring(row.arguments), commandArguments(row.commandLine, path));
    }
    EXPECT_EQ(std::wstring(L"Tool.exe /show"),
              commandArguments(L"C:\\Tools\\KOVIX Tool.exe /show", nullptr))
        << "without the module's path, the runtime's rule";
    EXPECT_EQ(std::wstring(L"Tool.exe"), commandArguments(L"C:\\Tools\\KOVIX Tool.exe", L""));
    EXPECT_EQ(std::wstring(), commandArguments(nullptr, path));
}

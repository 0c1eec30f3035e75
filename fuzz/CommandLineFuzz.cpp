// The command parser over arbitrary UTF-16 units: both what a user types
// and what any process may send the running copy.
#include <stdint.h>
#include <stdlib.h>
#include <string.h>
#include <wchar.h>

#include "app/CommandLine.h"

namespace {

bool isHandedOver(CommandKind kind)
{
    return kind == CommandKind::Mode || kind == CommandKind::Show || kind == CommandKind::Tray ||
           kind == CommandKind::Exit;
}

void checkShape(ToolCommand command)
{
    bool const modeChosen = command.mode == kMode800x480 || command.mode == kMode800x600 ||
                            command.mode == kMode1024x768;
    if (command.kind == CommandKind::Mode ? !modeChosen : command.mode != 0)
        abort();
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(uint8_t const* data, size_t size)
{
    // Little-endian UTF-16 units, as a payload arrives.
    size_t const count = size / 2;
    wchar_t* units = static_cast<wchar_t*>(malloc((count + 1) * sizeof(wchar_t)));
    if (units == nullptr)
        return 0;
    for (size_t i = 0; i < count; ++i)
        units[i] = wchar_t(data[2 * i] | (data[2 * i + 1] << 8));
    units[count] = 0;

    ToolCommand const typed = parseCommandLine(units);
    checkShape(typed);

    // The arguments lie within the whole line, however it starts.
    wchar_t const* const arguments = commandArguments(units, L"C:\\Tools\\KOVIX Tool.exe");
    if (arguments < units || arguments > units + wcslen(units))
        abort();
    checkShape(parseCommandLine(arguments));

    ToolCommand const received = readCommandPayload(units, count);
    checkShape(received);
    if (received.kind != CommandKind::Invalid) {
        // Accepted only as a terminated, bounded text that parses the same.
        if (!isHandedOver(received.kind) || count > kCommandPayloadCapacity || units[count - 1] != 0 ||
            wcslen(units) + 1 != count || typed.kind != received.kind || typed.mode != received.mode)
            abort();
    }

    // What a second start would send reads back as the same command.
    wchar_t payload[kCommandPayloadCapacity];
    if (formatCommandPayload(typed, payload, kCommandPayloadCapacity)) {
        ToolCommand const back = readCommandPayload(payload, wcslen(payload) + 1);
        if (back.kind != typed.kind || back.mode != typed.mode)
            abort();
    } else if (isHandedOver(typed.kind)) {
        abort();
    }
    free(units);
    return 0;
}

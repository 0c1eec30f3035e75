#!/usr/bin/env bash
# Checks that the test rig works: display modes, mode switching from X and
# from a Windows program, Wine exit codes, the tray host and its restart.
# Run it inside the rig:  tools/rig.sh exec -- tools/rig-selftest.sh
set -uo pipefail

REPO=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
RIG="$REPO/tools/rig.sh"
EXPECTED_MODES="640x480 800x480 800x600 1000x600 1024x600 1024x768"

passed=0
failed=0
pass() { passed=$((passed + 1)); echo "ok   $*"; }
fail() { failed=$((failed + 1)); echo "FAIL $*"; }
check() {  # check DESCRIPTION COMMAND...
  local what=$1
  shift
  if "$@"; then pass "$what"; else fail "$what"; fi
}

if [ "${KOVIX_RIG:-}" != 1 ]; then
  echo "run me inside the rig: tools/rig.sh exec -- $0" >&2
  exit 2
fi

work=$(mktemp -d "${TMPDIR:-/tmp}/rig-selftest.XXXXXX")
probe_pid=""
cleanup() {
  if [ -n "$probe_pid" ]; then
    touch "$work/stop"
    wait "$probe_pid" 2>/dev/null
  fi
  rm -rf "$work"
}
trap cleanup EXIT

# --------------------------------------------------------------- helpers

modes() {  # every mode of the connected output, sorted by size
  xrandr --current | awk '
    $2 == "connected" { on = 1; next }
    /^[^ ]/ { on = 0 }
    on && $1 ~ /^[0-9]+x[0-9]+$/ { print $1 }' | sort -t x -k1,1n -k2,2n | xargs
}
current_mode() { xdpyinfo | awk '/dimensions:/ { print $2; exit }'; }
mode_is() { [ "$(current_mode)" = "$1" ]; }
now() { echo "$EPOCHREALTIME"; }
elapsed() { awk -v a="$1" -v b="$2" 'BEGIN { printf "%.3f", b - a }'; }

# Polls "$@" every 50 ms for up to $1 seconds.
wait_for() {
  local limit=$(( $1 * 20 )) i=0
  shift
  until "$@"; do
    i=$((i + 1))
    [ "$i" -ge "$limit" ] && return 1
    sleep 0.05
  done
}

trayer_pid() { cat "$KOVIX_RIG_DIR/trayer.pid" 2>/dev/null; }
window_pid() { xprop -id "$1" _NET_WM_PID 2>/dev/null | awk '{ print $NF }'; }
process_gone() { ! kill -0 "$1" 2>/dev/null || grep -q '^State:.*Z' "/proc/$1/status" 2>/dev/null; }

# The window trayer docks icons into, and whether a Wine icon sits in it.
tray_panel() {
  xwininfo -root -tree | awk '/\("panel" "trayer"\)/ { print $1; exit }'
}
wine_icon_docked() {
  local panel
  panel=$(tray_panel)
  [ -n "$panel" ] && xwininfo -tree -id "$panel" | grep -q '"explorer.exe"'
}

# ----------------------------------------------------------- the probe

# A tiny Windows program: "exit N" returns N, "mode W H" returns what
# ChangeDisplaySettingsW says, "tray STOPFILE" shows a tray icon until
# STOPFILE exists (at most 30 s).
cat >"$work/probe.c" <<'EOF'
#include <windows.h>
#include <shellapi.h>
#include <stdlib.h>
#include <string.h>

static int change_mode(int width, int height)
{
    DEVMODEW dm;
    ZeroMemory(&dm, sizeof dm);
    dm.dmSize = sizeof dm;
    dm.dmPelsWidth = width;
    dm.dmPelsHeight = height;
    dm.dmBitsPerPel = 32;
    dm.dmFields = DM_PELSWIDTH | DM_PELSHEIGHT | DM_BITSPERPEL;
    return (int)ChangeDisplaySettingsW(&dm, 0);
}

static int show_tray_icon(const char *unix_stop_file)
{
    WCHAR stop[MAX_PATH] = L"Z:";
    MultiByteToWideChar(CP_UTF8, 0, unix_stop_file, -1, stop + 2, MAX_PATH - 2);
    for (WCHAR *p = stop; *p; ++p)
        if (*p == L'/')
            *p = L'\\';

    HWND wnd = CreateWindowW(L"STATIC", L"probe", 0, 0, 0, 0, 0, NULL, NULL, NULL, NULL);
    NOTIFYICONDATAW nid;
    ZeroMemory(&nid, sizeof nid);
    nid.cbSize = sizeof nid;
    nid.hWnd = wnd;
    nid.uID = 1;
    nid.uFlags = NIF_ICON | NIF_TIP;
    nid.hIcon = LoadIconW(NULL, (LPCWSTR)IDI_APPLICATION);
    lstrcpynW(nid.szTip, L"rig probe", 64);
    if (!Shell_NotifyIconW(NIM_ADD, &nid))
        return 3;

    DWORD start = GetTickCount();
    while (GetFileAttributesW(stop) == INVALID_FILE_ATTRIBUTES && GetTickCount() - start < 30000) {
        MSG msg;
        MsgWaitForMultipleObjects(0, NULL, FALSE, 50, QS_ALLINPUT);
        while (PeekMessageW(&msg, NULL, 0, 0, PM_REMOVE))
            DispatchMessageW(&msg);
    }
    Shell_NotifyIconW(NIM_DELETE, &nid);
    DestroyWindow(wnd);
    return 0;
}

int main(int argc, char **argv)
{
    if (argc == 3 && !strcmp(argv[1], "exit"))
        return atoi(argv[2]);
    if (argc == 4 && !strcmp(argv[1], "mode"))
        return change_mode(atoi(argv[2]), atoi(argv[3]));
    if (argc == 3 && !strcmp(argv[1], "tray"))
        return show_tray_icon(argv[2]);
    return 2;
}
EOF

# ---------------------------------------------------------------- checks

# 1. The display offers exactly our modes and starts in 800x480.
got=$(modes)
check "xrandr lists the modes $EXPECTED_MODES (got: $got)" [ "$got" = "$EXPECTED_MODES" ]
check "the display starts in 800x480 (is $(current_mode))" mode_is 800x480

# 2. set-mode switches the X screen and back.
"$RIG" set-mode 1024x768
check "set-mode 1024x768 changes the screen (is $(current_mode))" mode_is 1024x768
"$RIG" set-mode 800x480
check "set-mode 800x480 changes it back (is $(current_mode))" mode_is 800x480
if "$RIG" set-mode 1234x567 2>/dev/null; then
  fail "set-mode refuses a mode the display lacks"
else
  pass "set-mode refuses a mode the display lacks"
fi

# 3. A Windows program runs, its exit code comes back, and its mode
# switch reaches X.
if x86_64-w64-mingw32-gcc -O2 -Wall -o "$work/probe.exe" "$work/probe.c"; then
  pass "the probe program builds"
  t0=$(now)
  "$WINE" "$work/probe.exe" exit 42
  rc=$?
  t1=$(now)
  check "wine64 returns the program's exit code (42, got $rc)" [ "$rc" = 42 ]
  "$WINE" "$work/probe.exe" exit 0
  t2=$(now)
  echo "time: one wine64 program start in the warm rig: $(elapsed "$t0" "$t1") s, then $(elapsed "$t1" "$t2") s"

  "$WINE" "$work/probe.exe" mode 800 600
  rc=$?
  check "ChangeDisplaySettingsW(800x600x32) succeeds (DISP_CHANGE_* $rc)" [ "$rc" = 0 ]
  check "X follows the program to 800x600 (is $(current_mode))" mode_is 800x600
  "$RIG" set-mode 800x480
  check "set-mode puts the screen back to 800x480 (is $(current_mode))" mode_is 800x480

  # 4. A real tray host owns the selection, and Wine docks icons into it.
  if [ -f "$KOVIX_RIG_DIR/trayer.pid" ]; then
    owner=$("$RIG" tray-owner)
    check "the system-tray selection has an owner ($owner)" [ "$owner" != 0x0 ]
    old_pid=$(trayer_pid)
    owner_pid=$(window_pid "$owner")
    check "the owner is the rig's trayer (pid $owner_pid, trayer $old_pid)" [ "$owner_pid" = "$old_pid" ]
    "$WINE" "$work/probe.exe" tray "$work/stop" &
    probe_pid=$!
    check "a Wine tray icon docks into trayer" wait_for 10 wine_icon_docked

    # 5. restart-tray replaces the tray host and the icon comes back.
    if "$RIG" restart-tray; then pass "restart-tray succeeds"; else fail "restart-tray succeeds"; fi
    new_pid=$(trayer_pid)
    new_owner=$("$RIG" tray-owner)
    check "the old trayer ($old_pid) is gone" process_gone "$old_pid"
    check "a new trayer runs ($new_pid)" kill -0 "${new_pid:-0}"
    owner_pid=$(window_pid "$new_owner")
    check "the new trayer owns the tray (pid $owner_pid)" [ "$owner_pid" = "$new_pid" ]
    check "the Wine tray icon docks into the new trayer" wait_for 10 wine_icon_docked
    touch "$work/stop"
    wait "$probe_pid"
    rc=$?
    probe_pid=""
    check "the tray probe ends cleanly (exit $rc)" [ "$rc" = 0 ]
  else
    echo "skip tray checks: the rig runs without a tray host (--no-tray)"
  fi
else
  fail "the probe program builds"
fi

# Screenshots work.
"$RIG" screenshot "$work/screen.png" 2>/dev/null
check "screenshot writes a PNG" grep -q PNG <(head -c 8 "$work/screen.png" 2>/dev/null)

if [ -f "$KOVIX_RIG_DIR/startup" ]; then
  startup_seconds=$(sed -n 's/^startup_seconds=//p' "$KOVIX_RIG_DIR/startup")
  prefix_created=$(sed -n 's/^prefix_created=//p' "$KOVIX_RIG_DIR/startup")
  echo "time: rig start-up $startup_seconds s (prefix created: $prefix_created)"
fi

echo "$passed passed, $failed failed"
[ "$failed" -eq 0 ]

#!/usr/bin/env bash
# The test platform ("rig"): a private headless Xorg display (dummy driver,
# switchable modes), a Wine prefix with a warm wineserver, and a real X
# system-tray host (trayer). It starts them, runs one command inside, and
# stops exactly what it started.
#
#   tools/rig.sh exec [--no-tray] [--taskbar] [--xorg-conf FILE] [--fresh-prefix] -- CMD [ARGS...]
#   tools/rig.sh restart-tray      (inside a rig) restart the tray host
#   tools/rig.sh tray-owner        (inside a rig) print the tray selection owner
#   tools/rig.sh set-mode WxH      (inside a rig) switch the screen mode
#   tools/rig.sh screenshot FILE   (inside a rig) save the screen as an image
#
# --taskbar lays the tray strip along the bottom edge, as Windows' taskbar
# holds the notification area, and announces the work area above it on the
# root window (_NET_WORKAREA, as a window manager would) before the Wine
# session starts, which is when Wine reads it.
#
# CMD gets DISPLAY, WINEPREFIX, WINEDEBUG (-all, or $KOVIX_RIG_WINEDEBUG), WINE, WINESERVER, KOVIX_RIG=1
# and KOVIX_RIG_DIR (the rig's state directory: PIDs, logs, and "startup"
# with the start-up time), and stdin from /dev/null.
# The exit status is CMD's.
#
# The Wine prefix defaults to $KOVIX_WINEPREFIX or build/wine/prefix and is
# kept between runs. A prefix serves one rig at a time (a wineserver belongs
# to one display), so a rig that finds it busy takes the next one of
# PREFIX-2 .. PREFIX-4, creating it the first time.
#
# KOVIX_RIG_TRACE=1 prints the time of each start-up step;
# KOVIX_RIG_KEEP=1 keeps the state directory with the logs afterwards;
# KOVIX_RIG_WINEDEBUG=+event,+systray (say) traces the rig's Wine, explorer
# and its tray adaptors included, into wine.log there.
set -euo pipefail

REPO=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
WINE64=/usr/lib/wine/wine64
WINESERVER_BIN=/usr/lib/wine/wineserver
PYTHON=/usr/bin/python3
READY_STAMP=.kovix-rig-ready
WOW64_MARK=drive_c/windows/syswow64/kernel32.dll
MAX_PREFIX_SLOTS=4
LOCK_FD=9

# Options for trayer: a small black strip in the top right corner that
# grows with the icons it docks; in a --taskbar rig a strip of a taskbar's
# height in the bottom right corner.
TASKBAR_HEIGHT=30
trayer_args() {
  local edge=top height=20
  [ "${KOVIX_RIG_TASKBAR:-0}" = 1 ] && edge=bottom height=$TASKBAR_HEIGHT
  echo --edge "$edge" --align right --widthtype request --height "$height" \
    --transparent false --tint 0x000000 --SetDockType true --SetPartialStrut true
}

usage() {
  cat >&2 <<'EOF'
usage: tools/rig.sh exec [--no-tray] [--taskbar] [--xorg-conf FILE] [--fresh-prefix] -- CMD [ARGS...]
       tools/rig.sh restart-tray | tray-owner | set-mode WxH | screenshot FILE.png
                    (these four only inside a rig)
EOF
  exit 2
}

say() { echo "rig: $*" >&2; }

RIG_T0=$EPOCHREALTIME
trace() {
  [ "${KOVIX_RIG_TRACE:-0}" = 1 ] || return 0
  local now=$EPOCHREALTIME
  printf 'rig: %6.3f s  %s\n' "$(awk -v a="$RIG_T0" -v b="$now" 'BEGIN { print b - a }')" "$*" >&2
}

# ---------------------------------------------------------------- helpers

# True while PID runs (a zombie counts as gone).
is_alive() {
  local st
  st=$(cat "/proc/$1/stat" 2>/dev/null) || return 1
  st=${st##*) }
  [ "${st%% *}" != Z ]
}

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

not_alive() { ! is_alive "$1"; }

# Sends TERM, then KILL after $2 seconds; reaps the process if it is ours.
stop_pid() {
  local pid=$1 grace=${2:-5}
  [ -n "$pid" ] || return 0
  if is_alive "$pid"; then
    kill -TERM "$pid" 2>/dev/null || true
    if ! wait_for "$grace" not_alive "$pid"; then
      kill -KILL "$pid" 2>/dev/null || true
      wait_for 5 not_alive "$pid" || true
    fi
  fi
  wait "$pid" 2>/dev/null || true
}

# Prints the window owning the system-tray selection of the default screen.
# Args: SECONDS MODE [WINDOW]. MODE "now": print it at once; "taken": wait
# until some window other than WINDOW owns it; "left": wait until WINDOW
# no longer owns it.
tray_owner() {
  "$PYTHON" - "$@" <<'PY'
import ctypes, sys, time
x11 = ctypes.CDLL("libX11.so.6")
x11.XOpenDisplay.restype = ctypes.c_void_p
x11.XOpenDisplay.argtypes = [ctypes.c_char_p]
x11.XDefaultScreen.argtypes = [ctypes.c_void_p]
x11.XInternAtom.restype = ctypes.c_ulong
x11.XInternAtom.argtypes = [ctypes.c_void_p, ctypes.c_char_p, ctypes.c_int]
x11.XGetSelectionOwner.restype = ctypes.c_ulong
x11.XGetSelectionOwner.argtypes = [ctypes.c_void_p, ctypes.c_ulong]
wait, mode = float(sys.argv[1]), sys.argv[2]
window = int(sys.argv[3], 0) if len(sys.argv) > 3 else 0
dpy = x11.XOpenDisplay(None)
if not dpy:
    sys.exit(2)
atom = x11.XInternAtom(dpy, b"_NET_SYSTEM_TRAY_S%d" % x11.XDefaultScreen(dpy), 0)
deadline = time.monotonic() + wait
while True:
    owner = x11.XGetSelectionOwner(dpy, atom)
    done = {"now": True,
            "taken": owner != 0 and owner != window,
            "left": owner != window}[mode]
    if done or time.monotonic() >= deadline:
        print(hex(owner))
        sys.exit(0 if done else 1)
    time.sleep(0.02)
PY
}

# The rig's own commands need a running rig.
require_rig() {
  if [ "${KOVIX_RIG:-}" != 1 ] || [ -z "${KOVIX_RIG_DIR:-}" ] ||
     [ ! -d "$KOVIX_RIG_DIR" ] || [ -z "${DISPLAY:-}" ]; then
    say "'$1' works only inside 'tools/rig.sh exec'"
    exit 2
  fi
}

# Starts trayer on $DISPLAY, records its PID, waits until it owns the tray.
start_trayer() {
  local dir=$1 pid
  # shellcheck disable=SC2046 # the options are words without blanks
  trayer $(trayer_args) </dev/null >>"$dir/trayer.log" 2>&1 {LOCK_FD}>&- &
  pid=$!
  echo "$pid" >"$dir/trayer.pid.new"
  mv -f "$dir/trayer.pid.new" "$dir/trayer.pid"
}

wait_trayer() {
  local dir=$1 pid
  pid=$(cat "$dir/trayer.pid")
  if ! tray_owner 10 taken >/dev/null; then
    is_alive "$pid" || say "trayer exited"
    say "trayer did not take the system tray within 10 s; its log:"
    tail -n 20 "$dir/trayer.log" >&2 || true
    return 1
  fi
}

# The screen less the taskbar along its bottom edge, on the root window.
announce_work_area() {
  local size
  size=$(xdpyinfo | awk '$1 == "dimensions:" { print $2 }')
  xprop -root -f _NET_WORKAREA 32c -set _NET_WORKAREA \
    "0, 0, ${size%x*}, $((${size#*x} - TASKBAR_HEIGHT))"
}

# Stops the trayer recorded in DIR, if it is still that program.
stop_trayer() {
  local dir=$1 pid comm
  [ -f "$dir/trayer.pid" ] || return 0
  pid=$(cat "$dir/trayer.pid")
  comm=$(cat "/proc/$pid/comm" 2>/dev/null) || comm=""
  [ "$comm" = trayer ] && stop_pid "$pid" 3
  rm -f "$dir/trayer.pid"
}

# ------------------------------------------------------ commands in a rig

cmd_restart_tray() {
  require_rig restart-tray
  local dir=$KOVIX_RIG_DIR old
  old=$(tray_owner 0 now)
  stop_trayer "$dir"
  # The old owner window goes away with the old trayer's X connection.
  if [ "$old" != 0x0 ] && ! tray_owner 5 left "$old" >/dev/null; then
    say "the old tray host still owns the system tray"
    exit 1
  fi
  start_trayer "$dir"
  wait_trayer "$dir" || exit 1
}

cmd_tray_owner() {
  require_rig tray-owner
  local owner
  owner=$(tray_owner 0 now)
  echo "$owner"
  [ "$owner" != 0x0 ]
}

cmd_set_mode() {
  require_rig set-mode
  if [ $# -ne 1 ] || ! [[ $1 =~ ^[0-9]+x[0-9]+$ ]]; then
    say "usage: set-mode WxH"
    exit 2
  fi
  local output current
  output=$(xrandr --current | awk '$2 == "connected" && !found { print $1; found = 1 }')
  [ -n "$output" ] || { say "no connected RandR output on $DISPLAY"; exit 1; }
  if ! xrandr --current | awk -v m="$1" '$1 == m { f = 1 } END { exit !f }'; then
    say "mode $1 is not available on $DISPLAY"
    exit 1
  fi
  xrandr --output "$output" --mode "$1"
  current=$(xdpyinfo | awk '/dimensions:/ && !found { print $2; found = 1 }')
  [ "$current" = "$1" ] || { say "mode is $current after switching to $1"; exit 1; }
}

cmd_screenshot() {
  require_rig screenshot
  [ $# -eq 1 ] || { say "usage: screenshot FILE.png"; exit 2; }
  import -display "$DISPLAY" -window root "$1"
}

# ------------------------------------------------------------------ exec

# State of the running rig, used by the cleanup.
RIG_DIR=""
XORG_PID=""
WS_PID=""
CMD_PID=""
PREFIX=""
PARTIAL_PREFIX=""
FRESH_DIR=""
SETUP_FAILED=0
CREATED_PREFIX=""

fail() {
  say "$*"
  SETUP_FAILED=1
  exit 1
}

show_log() {
  [ -s "$2" ] || return 0
  say "--- last lines of $1 ---"
  tail -n "${3:-15}" "$2" >&2 || true
}

# Runs a Wine program for the rig's own setup, its output into the log.
rig_wine() {
  WINEDLLOVERRIDES="mscoree,mshtml=" timeout 300 "$WINE64" "$@" \
    </dev/null >>"$RIG_DIR/wine.log" 2>&1 {LOCK_FD}>&-
}

# Stops the wineserver of WINEPREFIX=$1 (and every Wine process in it).
kill_wineserver() {
  WINEPREFIX=$1 "$WINESERVER_BIN" -k </dev/null >/dev/null 2>&1 {LOCK_FD}>&- || true
}

# Ends, by PID, the Wine processes of prefix $1 that outlived its server: a
# program wineboot was still starting when `wineserver -k` struck waits on a
# pipe forever. Only the rig's wineboot runs in a partial prefix.
stop_prefix_processes() {
  local environ pid
  for environ in /proc/[0-9]*/environ; do
    pid=${environ#/proc/}
    pid=${pid%/environ}
    { tr '\0' '\n' <"$environ"; } 2>/dev/null | grep -qxF "WINEPREFIX=$1" && stop_pid "$pid" 5
  done
  return 0
}

# The folder wineserver keeps its socket in (Debian records its name in
# the prefix); removed with a throw-away prefix.
remove_server_dir() {
  local name
  name=$(cat "$1/wineserver" 2>/dev/null) || return 0
  [[ $name =~ ^wine-[A-Za-z0-9]{6}$ ]] && rm -rf "${TMPDIR:-/tmp}/$name"
  return 0
}

on_exit() {
  local status=$?
  trap - EXIT INT TERM HUP
  set +e
  if [ -n "$CMD_PID" ] && is_alive "$CMD_PID"; then
    say "stopping the command (pid $CMD_PID)"
    stop_pid "$CMD_PID" 5
  fi
  if [ -n "$WS_PID" ]; then
    is_alive "$WS_PID" && kill_wineserver "$PREFIX"
    stop_pid "$WS_PID" 5
  fi
  if [ -n "$PARTIAL_PREFIX" ]; then
    kill_wineserver "$PARTIAL_PREFIX"
    stop_prefix_processes "$PARTIAL_PREFIX"
    remove_server_dir "$PARTIAL_PREFIX"
    rm -rf "$PARTIAL_PREFIX"
  fi
  [ -n "$RIG_DIR" ] && stop_trayer "$RIG_DIR"
  stop_pid "$XORG_PID" 5
  if [ -n "$FRESH_DIR" ]; then
    remove_server_dir "$FRESH_DIR/prefix"
    rm -rf "$FRESH_DIR"
  fi
  eval "exec $LOCK_FD>&-"
  if [ "$SETUP_FAILED" = 1 ] && [ -n "$RIG_DIR" ]; then
    if [ -s "$RIG_DIR/xorg.log" ]; then
      show_log "the Xorg log" "$RIG_DIR/xorg.log" 25
    else
      show_log "Xorg's output" "$RIG_DIR/xorg.out"
    fi
    show_log "Wine's output" "$RIG_DIR/wine.log"
    show_log "wineserver's output" "$RIG_DIR/wineserver.log"
  fi
  trace "rig stopped"
  if [ -n "$RIG_DIR" ]; then
    if [ "${KOVIX_RIG_KEEP:-0}" = 1 ] || [ "$SETUP_FAILED" = 1 ]; then
      say "state and logs kept in $RIG_DIR"
    else
      rm -rf "$RIG_DIR"
    fi
  fi
  exit "$status"
}

display_known() {
  local n
  n=$(cat "$RIG_DIR/display" 2>/dev/null) || return 1
  [[ $n =~ ^[0-9]+$ ]]
}
display_known_or_xorg_gone() { display_known || ! is_alive "$XORG_PID"; }

start_xorg() {
  local conf=$1 n
  # -displayfd makes Xorg pick a free display and report it once ready.
  # The dummy driver needs no console; the VT options keep Xorg off the
  # machine's VTs all the same.
  Xorg -displayfd 3 -config "$conf" -noreset -nolisten tcp \
    -novtswitch -sharevts -s 0 -dpms -logfile "$RIG_DIR/xorg.log" \
    3>"$RIG_DIR/display" </dev/null >"$RIG_DIR/xorg.out" 2>&1 &
  XORG_PID=$!
  echo "$XORG_PID" >"$RIG_DIR/xorg.pid"
  wait_for 20 display_known_or_xorg_gone
  display_known || {
    is_alive "$XORG_PID" && fail "Xorg did not report a display within 20 s"
    fail "Xorg failed to start with $conf"
  }
  n=$(cat "$RIG_DIR/display")
  export DISPLAY=":$n"
  wait_for 10 xdpyinfo_ok || fail "Xorg on $DISPLAY does not answer"
}

xdpyinfo_ok() { xdpyinfo >/dev/null 2>&1; }

# Makes prefix $1 with Managed=N, building it beside and renaming it into
# place when done, so an interrupted build never looks like a prefix.
# The caller holds the prefix's lock.
create_prefix() {
  local target=$1 tmp
  tmp="$target.partial"
  rm -rf "$tmp"
  PARTIAL_PREFIX=$tmp
  CREATED_PREFIX=" (new)"
  WINEPREFIX=$tmp rig_wine wineboot -i || fail "wineboot -i failed for $tmp"
  [ -f "$tmp/$WOW64_MARK" ] || fail "wineboot -i made no 32-bit system files in $tmp (is wine32 installed?)"
  trace "wineboot -i done"
  # Without a window manager, hiding a managed window stalls for seconds.
  WINEPREFIX=$tmp rig_wine reg add 'HKCU\Software\Wine\X11 Driver' \
    /v Managed /t REG_SZ /d N /f || fail "could not set Managed=N in $tmp"
  # wineserver saves the registry when it is told to stop.
  kill_wineserver "$tmp"
  WINEPREFIX=$tmp timeout 30 "$WINESERVER_BIN" -w {LOCK_FD}>&- || true
  stop_prefix_processes "$tmp"
  grep -q '^"Managed"="N"' "$tmp/user.reg" || fail "Managed=N did not reach $tmp/user.reg"
  date >"$tmp/$READY_STAMP"
  mv -T "$tmp" "$target"
  PARTIAL_PREFIX=""
  trace "prefix $target created"
}

# Starts `wineserver -p` for $PREFIX in the foreground of a background job
# (so its PID is known) and waits until it listens. Fails if the prefix
# already has a server (wineserver then exits at once).
ws_listening() {
  local fd link inode
  is_alive "$WS_PID" || return 0
  for fd in /proc/"$WS_PID"/fd/*; do
    link=$(readlink "$fd" 2>/dev/null) || continue
    [[ $link =~ ^socket:\[([0-9]+)\]$ ]] || continue
    inode=${BASH_REMATCH[1]}
    # A listening (flags 00010000) socket named ".../socket".
    awk -v i="$inode" '$7 == i && $4 == "00010000" && $NF ~ /(^|\/)socket$/ { f = 1 }
                       END { exit !f }' /proc/net/unix && return 0
  done
  return 1
}

start_wineserver() {
  WINEPREFIX=$PREFIX "$WINESERVER_BIN" -f -p </dev/null \
    >>"$RIG_DIR/wineserver.log" 2>&1 {LOCK_FD}>&- &
  WS_PID=$!
  wait_for 15 ws_listening || fail "wineserver for $PREFIX did not start listening"
  if ! is_alive "$WS_PID"; then
    wait "$WS_PID" 2>/dev/null || true
    WS_PID=""
    return 1
  fi
  echo "$WS_PID" >"$RIG_DIR/wineserver.pid"
}

prefix_usable() {
  local p=$1
  if [ -f "$p/$READY_STAMP" ]; then
    [ -f "$p/$WOW64_MARK" ] && return 0
    # Made before 32-bit Wine was installed: 32-bit programs would find no
    # kernel32.dll in it ("status c0000135").
    say "$p has no 32-bit system files; making it again"
    remove_server_dir "$p"
    rm -rf "$p"
  fi
  if [ -e "$p" ] && [ -n "$(ls -A "$p" 2>/dev/null)" ]; then
    fail "$p exists but was not made by the rig; remove it or set KOVIX_WINEPREFIX elsewhere"
  fi
  rmdir "$p" 2>/dev/null || true
  create_prefix "$p"
}

# Takes the first free prefix slot (lock held on fd $LOCK_FD for the whole
# run), creating the prefix if needed, and starts its wineserver.
acquire_prefix() {
  local base=$1 slot p waited=0
  mkdir -p "$(dirname "$base")"
  while :; do
    for slot in $(seq 1 "$MAX_PREFIX_SLOTS"); do
      p=$base
      [ "$slot" -gt 1 ] && p="$base-$slot"
      eval "exec $LOCK_FD>>\"\$p.lock\""
      if flock -n "$LOCK_FD"; then
        PREFIX=$p
        prefix_usable "$p"
        start_wineserver && return 0
        say "a wineserver not started by this rig runs on $p; trying the next prefix"
        PREFIX=""
      fi
      eval "exec $LOCK_FD>&-"
    done
    if [ "$waited" -eq 0 ]; then
      say "all Wine prefixes ${base}[-2..$MAX_PREFIX_SLOTS] are busy; waiting"
    fi
    waited=$((waited + 1))
    [ "$waited" -gt 1800 ] && fail "no Wine prefix became free within 30 minutes"
    sleep 1
  done
}

cmd_exec() {
  local xorg_conf="$REPO/tools/xorg-dummy.conf" tray=1 fresh=0 taskbar=0
  while [ $# -gt 0 ]; do
    case $1 in
      --no-tray) tray=0; shift ;;
      --taskbar) taskbar=1; shift ;;
      --fresh-prefix) fresh=1; shift ;;
      --xorg-conf) [ $# -ge 2 ] || usage; xorg_conf=$2; shift 2 ;;
      --xorg-conf=*) xorg_conf=${1#*=}; shift ;;
      --) shift; break ;;
      *) usage ;;
    esac
  done
  [ $# -gt 0 ] || usage
  # Not inherited: a rig started inside a rig has its own desktop.
  export KOVIX_RIG_TASKBAR=$taskbar
  [ -f "$xorg_conf" ] || { say "no such Xorg configuration: $xorg_conf"; exit 2; }
  xorg_conf=$(realpath "$xorg_conf")   # Xorg takes relative paths from /etc/X11

  "$REPO/tools/install-deps.sh" >&2 || { say "tools/install-deps.sh failed"; exit 1; }

  trap on_exit EXIT
  trap 'exit 130' INT
  trap 'exit 143' TERM
  trap 'exit 129' HUP

  RIG_DIR=$(mktemp -d "${TMPDIR:-/tmp}/kovix-rig.XXXXXX")
  export KOVIX_RIG_DIR=$RIG_DIR
  export WINEDEBUG=${KOVIX_RIG_WINEDEBUG:--all} WINE=$WINE64 WINESERVER=$WINESERVER_BIN
  unset WINEARCH WINELOADER WINEPREFIX

  trace "packages checked"
  start_xorg "$xorg_conf"
  trace "Xorg ready on $DISPLAY"
  [ "$taskbar" = 1 ] && announce_work_area
  [ "$tray" = 1 ] && start_trayer "$RIG_DIR"

  if [ "$fresh" = 1 ]; then
    mkdir -p "$REPO/build/wine"
    FRESH_DIR=$(mktemp -d "$REPO/build/wine/fresh.XXXXXX")
    PREFIX="$FRESH_DIR/prefix"
    create_prefix "$PREFIX"
    start_wineserver || fail "wineserver for $PREFIX did not start"
  else
    acquire_prefix "$(realpath -m "${KOVIX_WINEPREFIX:-$REPO/build/wine/prefix}")"
  fi
  export WINEPREFIX=$PREFIX
  trace "wineserver ready for $PREFIX"

  if [ "$tray" = 1 ]; then
    wait_trayer "$RIG_DIR" || fail "the tray host is not ready"
    trace "trayer owns the system tray"
  fi
  # Boot the Wine session now (services, explorer with the tray), so the
  # command's first program starts as fast as the later ones.
  rig_wine wineboot || fail "wineboot in $PREFIX failed"
  trace "Wine session booted"
  printf 'startup_seconds=%s\nprefix_created=%s\n' \
    "$(awk -v a="$RIG_T0" -v b="$EPOCHREALTIME" 'BEGIN { printf "%.2f", b - a }')" \
    "$([ -n "$CREATED_PREFIX" ] && echo yes || echo no)" >"$RIG_DIR/startup"

  say "display $DISPLAY, Wine prefix $PREFIX$CREATED_PREFIX"
  env --default-signal=INT,QUIT KOVIX_RIG=1 "$@" </dev/null {LOCK_FD}>&- &
  CMD_PID=$!
  local status=0
  wait "$CMD_PID" || status=$?
  CMD_PID=""
  trace "command ended with status $status"
  exit "$status"
}

case ${1:-} in
  exec) shift; cmd_exec "$@" ;;
  restart-tray) shift; cmd_restart_tray "$@" ;;
  tray-owner) shift; cmd_tray_owner "$@" ;;
  set-mode) shift; cmd_set_mode "$@" ;;
  screenshot) shift; cmd_screenshot "$@" ;;
  *) usage ;;
esac

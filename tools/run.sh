#!/usr/bin/env bash
# Runs KOVIX Tool.
#   With DISPLAY set: on that X display, under 64-bit Wine.
#   Without one: on the project's emulated 800x480 panel (a private Xorg
#   dummy display with a tray host), saving a screenshot of the panel.
#
#   tools/run.sh [--release] [--screenshot FILE.png] [--seconds N]
#
# The program runs from build/run/, where its Resolution.ini and OSD.ini
# are created. By default the x86_64 build of the same sources runs; the
# shipped i686 executable is built too and its path is printed. --release
# runs that shipped executable instead, under 32-bit Wine, which on a
# machine whose kernel cannot run 32-bit programs goes through CPU emulation
# (qemu-i386) and takes about a minute to start (tools/i386-mode.sh tells).
set -euo pipefail
cd "$(dirname "$0")/.."
root=$PWD

screenshot=$root/build/run/screen.png
seconds=0
build=win64
while [ $# -gt 0 ]; do
  case $1 in
    --release) build=release; shift ;;
    --screenshot) screenshot=$(realpath -m "$2"); shift 2 ;;
    --seconds) seconds=$2; shift 2 ;;
    *) echo "usage: tools/run.sh [--release] [--screenshot FILE.png] [--seconds N]" >&2; exit 2 ;;
  esac
done

bash tools/install-deps.sh
{ cmake --preset release && cmake --build --preset release --target kovix_tool &&
  cmake --preset win64 && cmake --build --preset win64 --target kovix_tool; } >build-run.log 2>&1 ||
  { cat build-run.log; exit 1; }
rm -f build-run.log
echo "Windows executable (32-bit, ships): $root/build/release/KOVIX Tool.exe"

mkdir -p build/run
cp "build/$build/KOVIX Tool.exe" "build/run/KOVIX Tool.exe"
export WINEDEBUG=-all
if [ "$build" = release ]; then
  if [ "$(bash tools/i386-mode.sh)" = emulated ]; then
    echo "Running the shipped 32-bit executable: 32-bit programs go through CPU emulation here, so it takes about a minute to start."
  else
    echo "Running the shipped 32-bit executable (32-bit programs run natively here)."
  fi
fi

if [ -n "${DISPLAY:-}" ]; then
  export WINEPREFIX=$root/build/wine/desktop-prefix
  if [ "$build" = release ] && [ -d "$WINEPREFIX" ] &&
     [ ! -f "$WINEPREFIX/drive_c/windows/syswow64/kernel32.dll" ]; then
    echo "$WINEPREFIX has no 32-bit system files; Wine makes it again."
    rm -rf "$WINEPREFIX"
  fi
  echo "Running on $DISPLAY (settings in build/run/). Close it with File > Exit."
  cd build/run
  if [ "$seconds" -gt 0 ]; then
    timeout "$seconds" /usr/lib/wine/wine64 "KOVIX Tool.exe" || true
  else
    exec /usr/lib/wine/wine64 "KOVIX Tool.exe"
  fi
  exit 0
fi

# No display: the emulated panel. The program runs until Ctrl-C (or for
# --seconds); a screenshot of the panel is saved once it has started.
inner=$(mktemp)
trap 'rm -f "$inner"' EXIT
cat >"$inner" <<'INNER'
set -u
cd build/run
"$WINE" "KOVIX Tool.exe" &
pid=$!
if [ "$BUILD" = release ]; then
  # Until its window is on the screen (the emulated start).
  for _ in $(seq 1 360); do
    xdotool search --name '^KOVIX Tool' >/dev/null 2>&1 && break
    sleep 0.5
  done
fi
sleep 3
bash ../../tools/rig.sh screenshot "$SHOT" && echo "Screenshot of the 800x480 panel: $SHOT"
if [ "$SECONDS_TO_RUN" -gt 0 ]; then
  sleep "$SECONDS_TO_RUN"
  kill "$pid" 2>/dev/null
else
  echo "Running on the emulated panel ($DISPLAY); press Ctrl-C to stop."
  wait "$pid"
fi
INNER
SHOT=$screenshot SECONDS_TO_RUN=$seconds BUILD=$build bash tools/rig.sh exec -- bash "$inner"

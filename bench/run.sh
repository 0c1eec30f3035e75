#!/usr/bin/env bash
# Benchmarks of KOVIX Tool, each figure against its goal, with the ratio to
# the floor program where there is one. They print figures; they are not
# tests and fail nothing.
#
#   bash bench/run.sh            everything (about 30 minutes)
#   bash bench/run.sh --quick    shorter runs (20 s idle, 10,000 renders,
#                                34,560 polls, 20 kills, 60 s of fuzzing)
#   bash bench/run.sh --only kills,fuzz   only these steps; their figures
#                                replace those of the last run
#
# What runs, all in one test rig (tools/rig.sh: private Xorg dummy display,
# Wine prefix, tray host), the program and its comparison in the same run:
#   idle      the program beside bench/FloorIndicator.cpp (a window and a
#             250 ms timer reading the three locks), both the shipped i686
#             build where 32-bit programs run natively (tools/i386-mode.sh),
#             else both x86_64, for 120 s: CPU seconds
#             of both and of the wineserver from /proc/PID/stat; (a) with the
#             lock icons only (KbInd=0), (b) with the defaults and the OSD,
#             whose frames are counted on its X window (tools/count_damage.py)
#   latency   50 Caps Lock presses through SendInput: time until the OSD
#             window's height changes (polled every millisecond) and until
#             the tray strip's pixels do (read on a thread of its own)
#   startup   process start to the main window shown and the main tray icon
#             in the shell, against the floor's start to its window shown
#   i686      the same start-up of the shipped i686 exe on its own (a minute
#             a start under CPU emulation; reported, no goal)
#   glyph     100,000 makeGlyphIcon + DestroyIcon (bench/GlyphBench.cpp)
#   soak      345,600 polls of the production controller with the OSD on,
#             locks toggled every 100 polls (bench/SoakBench.cpp)
#   kills     200 SIGKILLs of the program while it applies and rewrites
#             Resolution.ini: the file must be the old or the new whole text
#   release   size and DLL imports of the i686 KOVIX Tool.exe (and whether
#             every import is on the reviewed list of tests/release)
#   fuzz      the settings reader's fuzz target for 10 minutes
# Builds go to build/bench-w64, build/bench-release and build/bench-fuzz;
# the figures to build/bench-w64/results.txt and the table to
# build/bench-w64/results.md.
set -euo pipefail
REPO=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
cd "$REPO"
W64=$REPO/build/bench-w64
RELEASE=$REPO/build/bench-release
FUZZ=$REPO/build/bench-fuzz
RESULTS=$W64/results.txt
WORK=$W64/work

quick=0
inside=0
ONLY=""
while [ $# -gt 0 ]; do
  case $1 in
    --quick) quick=1; shift ;;
    --inside) inside=1; shift ;;
    --only) [ $# -ge 2 ] || set -- --help; ONLY=$2; shift 2 ;;
    *) echo "usage: bash bench/run.sh [--quick] [--only idle,latency,startup,i686,glyph,soak,kills,release,fuzz]" >&2
       exit 2 ;;
  esac
done
export ONLY

# True when step $1 runs: every step, or those named with --only.
want() { [ -z "$ONLY" ] || [[ ",$ONLY," == *",$1,"* ]]; }
if [ "$quick" = 1 ]; then
  IDLE_SECONDS=20 TOGGLES=10 STARTUPS=3 RENDERS=10000 POLLS=34560 KILLS=20 FUZZ_SECONDS=60
else
  IDLE_SECONDS=120 TOGGLES=50 STARTUPS=10 RENDERS=100000 POLLS=345600 KILLS=200 FUZZ_SECONDS=600
fi
I686_STARTUPS=3 # about a minute each under CPU emulation

# The figures are those of the shipped i686 exe where this machine runs
# 32-bit programs itself; under CPU emulation (a minute a start) the x86_64
# build of the same sources stands in, and the i686 start-up is reported
# on its own.
I386_MODE=$(bash "$REPO/tools/i386-mode.sh" 2>/dev/null || true)
if [ "$I386_MODE" = native ]; then MEASURED_BUILD=i686; else MEASURED_BUILD=x86_64; fi
if [ "$MEASURED_BUILD" = i686 ]; then
  PROGRAM_EXE=$RELEASE/KOVIX\ Tool.exe FLOOR_EXE=$RELEASE/bench/floor_indicator.exe
else
  PROGRAM_EXE=$W64/KOVIX\ Tool.exe FLOOR_EXE=$W64/bench/floor_indicator.exe
fi

say() { echo "bench: $*" >&2; }
record() { echo "$1 $2" >>"$RESULTS"; }

# ------------------------------------------------------------ inside the rig

DRIVER=$W64/bench/bench_driver.exe
TOOL_PID=""
FLOOR_PID=""

stop_started() {
  local pid
  for pid in $TOOL_PID $FLOOR_PID; do
    kill -KILL "$pid" 2>/dev/null || true
    wait "$pid" 2>/dev/null || true
  done
  TOOL_PID="" FLOOR_PID=""
}

# CPU seconds (user + system) of a process so far.
cpu_seconds() {
  local stat
  stat=$(cat "/proc/$1/stat")
  stat=${stat##*) }
  awk -v hz="$(getconf CLK_TCK)" '{ printf "%.2f", ($12 + $13) / hz }' <<<"$stat"
}

# A folder with the program (the measured build, or the executable $3) and
# the given Resolution.ini.
tool_folder() {
  local dir=$WORK/$1
  rm -rf "$dir"
  mkdir -p "$dir"
  cp "${3:-$PROGRAM_EXE}" "$dir/"
  [ -n "${2:-}" ] && printf '%s' "$2" >"$dir/Resolution.ini"
  echo "$dir"
}

# The default contents (the tests' golden file), with KbInd=... and
# NumLock=... as given.
settings_text() {
  sed -e "s/^KbInd=1;/KbInd=$1;/" -e "s/^NumLock=1;/NumLock=$2;/" \
    "$REPO/tests/resources/default-Resolution.ini"
}

start_tool() {
  (cd "$1" && exec "$WINE" "KOVIX Tool.exe") &
  TOOL_PID=$!
  "$WINE" "$DRIVER" wait-ready || { say "the program did not come up"; return 1; }
}

exit_tool() {
  "$WINE" "$DRIVER" exit || true
  wait "$TOOL_PID" 2>/dev/null || true
  TOOL_PID=""
}

# Idle: the program and the floor side by side. $1: label, $2: KbInd.
idle_run() {
  local label=$1 kbind=$2 dir ws t0 f0 w0 t1 f1 w1 xid="" counter=""
  dir=$(tool_folder "idle-$label" "$(settings_text "$kbind" 1)")
  ws=$(cat "$KOVIX_RIG_DIR/wineserver.pid")
  start_tool "$dir"
  (exec "$WINE" "$FLOOR_EXE") &
  FLOOR_PID=$!
  sleep 5 # both past their start-up
  if [ "$kbind" = 1 ]; then
    xid=$("$WINE" "$DRIVER" osd-xid) || { say "no OSD window"; return 1; }
    python3 "$REPO/tools/count_damage.py" "$xid" "$IDLE_SECONDS" >"$WORK/damage-$label.txt" &
    counter=$!
  fi
  t0=$(cpu_seconds "$TOOL_PID") f0=$(cpu_seconds "$FLOOR_PID") w0=$(cpu_seconds "$ws")
  sleep "$IDLE_SECONDS"
  t1=$(cpu_seconds "$TOOL_PID") f1=$(cpu_seconds "$FLOOR_PID") w1=$(cpu_seconds "$ws")
  record "idle_${label}_tool_cpu" "$(awk -v a="$t0" -v b="$t1" 'BEGIN { printf "%.2f", b - a }')"
  record "idle_${label}_floor_cpu" "$(awk -v a="$f0" -v b="$f1" 'BEGIN { printf "%.2f", b - a }')"
  record "idle_${label}_wineserver_cpu" "$(awk -v a="$w0" -v b="$w1" 'BEGIN { printf "%.2f", b - a }')"
  if [ -n "$counter" ]; then
    wait "$counter"
    record "idle_${label}_osd_frames" "$(awk '/^damage_frames/ { print $2 }' "$WORK/damage-$label.txt")"
    record "idle_${label}_osd_repaints" "$(awk '/^damage_repaints/ { print $2 }' "$WORK/damage-$label.txt")"
  fi
}

# SIGKILLs while the program applies. Each round starts the program, queues
# pairs of (toggle "Num lock", click "Apply") and kills it after a random
# delay; the file must then be one of the two whole texts.
kill_loop() {
  local dir round pid delay kept_on=0 kept_off=0 broken=0 temp_left=0 not_applying=0
  dir=$(tool_folder kills "$(settings_text 1 1)")
  settings_text 1 1 >"$WORK/whole-on.ini"
  settings_text 1 0 >"$WORK/whole-off.ini"
  for round in $(seq 1 "$KILLS"); do
    # Wine takes the killed process down a moment after the host process is
    # gone; a copy started before that would find the last one still there
    # and leave at once (one copy at a time).
    "$WINE" "$DRIVER" wait-gone || say "round $round: the last copy's window is still there"
    (cd "$dir" && exec "$WINE" "KOVIX Tool.exe") &
    pid=$!
    if ! "$WINE" "$DRIVER" apply-flood 300; then
      say "round $round: no Apply button"
      not_applying=$((not_applying + 1))
    fi
    delay=$(awk -v r="$RANDOM" 'BEGIN { printf "%.3f", r % 800 / 1000 }')
    sleep "$delay"
    kill -KILL "$pid" 2>/dev/null || not_applying=$((not_applying + 1))
    wait "$pid" 2>/dev/null || true
    if cmp -s "$dir/Resolution.ini" "$WORK/whole-on.ini"; then
      kept_on=$((kept_on + 1))
    elif cmp -s "$dir/Resolution.ini" "$WORK/whole-off.ini"; then
      kept_off=$((kept_off + 1))
    else
      broken=$((broken + 1))
      cp "$dir/Resolution.ini" "$WORK/broken-$round.ini" 2>/dev/null || true
      say "round $round: Resolution.ini is neither whole text (kept as $WORK/broken-$round.ini)"
      cp "$WORK/whole-on.ini" "$dir/Resolution.ini"
    fi
    # The temporary file of the atomic write, left when the kill fell into it.
    if [ -e "$dir/Resolution.in~" ]; then
      temp_left=$((temp_left + 1))
      rm -f "$dir/Resolution.in~"
    fi
  done
  record kills_rounds "$KILLS"
  record kills_whole "$((kept_on + kept_off))"
  record kills_broken "$broken"
  record kills_with_numlock_on "$kept_on"
  record kills_with_numlock_off "$kept_off"
  record kills_inside_write "$temp_left"
  record kills_not_applying "$not_applying"
}

inside_rig() {
  trap stop_started EXIT
  mkdir -p "$WORK"
  if want idle; then
    record idle_seconds "$IDLE_SECONDS"
    say "idle (a): lock icons only, ${IDLE_SECONDS} s"
    idle_run a 0
    exit_tool
    kill "$FLOOR_PID"; wait "$FLOOR_PID" 2>/dev/null || true; FLOOR_PID=""

    say "idle (b): defaults with the OSD, ${IDLE_SECONDS} s"
    idle_run b 1
    kill "$FLOOR_PID"; wait "$FLOOR_PID" 2>/dev/null || true; FLOOR_PID=""
  fi
  [ -d "$WORK/idle-b" ] || tool_folder idle-b "$(settings_text 1 1)" >/dev/null
  if want latency; then
    if [ -z "$TOOL_PID" ]; then
      start_tool "$WORK/idle-b"
      sleep 5
    fi
    say "lock latency: $TOGGLES Caps Lock presses"
    "$WINE" "$DRIVER" latency "$TOGGLES" | tee -a "$RESULTS" || say "latency: some changes not seen"
  fi
  [ -n "$TOOL_PID" ] && exit_tool

  if want startup; then
    say "start-up: $STARTUPS starts of each"
    local winpath="Z:${WORK//\//\\}"
    "$WINE" "$DRIVER" startup "$STARTUPS" "$winpath\\idle-b\\KOVIX Tool.exe" \
      "Z:${FLOOR_EXE//\//\\}" | tee -a "$RESULTS" || say "start-up: failures"
  fi

  if want i686; then
    say "start-up of the shipped i686 exe ($I386_MODE): $I686_STARTUPS starts"
    tool_folder i686 "$(settings_text 1 1)" "$RELEASE/KOVIX Tool.exe" >/dev/null
    "$WINE" "$DRIVER" tool-startup "$I686_STARTUPS" "Z:${WORK//\//\\}\\i686\\KOVIX Tool.exe" 240 |
      tee -a "$RESULTS" || say "i686 start-up: failures"
  fi

  if want glyph; then
    say "glyph rendering: $RENDERS renders"
    bash -c 'exec "$WINE" "$0" "$1" --linux-pid $$' "$W64/bench/glyph_bench.exe" "$RENDERS" |
      tee -a "$RESULTS" || say "glyph: failed renders"
  fi

  if want soak; then
    say "soak: $POLLS polls"
    rm -rf "$WORK/soak"; mkdir -p "$WORK/soak"
    cp "$W64/bench/soak_bench.exe" "$WORK/soak/"
    (cd "$WORK/soak" && bash -c 'exec "$WINE" soak_bench.exe "$0" --linux-pid $$' "$POLLS") |
      grep -v '^checkpoint' | tee -a "$RESULTS" || say "soak: failures"
  fi

  if want kills; then
    say "kill during Apply: $KILLS SIGKILLs"
    kill_loop
  fi
}

if [ "$inside" = 1 ]; then
  inside_rig
  exit 0
fi

# ------------------------------------------------------------------ outside

bash tools/install-deps.sh
say "building (x86_64 and i686, MinSizeRel like the release); measuring the $MEASURED_BUILD build ($I386_MODE 32-bit)"
cmake -S . -B "$W64" -G Ninja -DCMAKE_TOOLCHAIN_FILE="$REPO/cmake/mingw-x86_64.cmake" \
  -DCMAKE_BUILD_TYPE=MinSizeRel -DKOVIX_BENCH=ON >/dev/null
cmake --build "$W64" -j2 --target kovix_tool floor_indicator glyph_bench soak_bench bench_driver >/dev/null
cmake -S . -B "$RELEASE" -G Ninja -DCMAKE_TOOLCHAIN_FILE="$REPO/cmake/mingw-i686.cmake" \
  -DCMAKE_BUILD_TYPE=MinSizeRel -DKOVIX_BENCH=ON >/dev/null
cmake --build "$RELEASE" -j2 --target kovix_tool floor_indicator >/dev/null
mkdir -p "$WORK"
if [ -z "$ONLY" ]; then
  rm -f "$RESULTS"
elif [ -f "$RESULTS" ]; then
  # The figures of the steps that run again are replaced.
  for step in ${ONLY//,/ }; do
    sed -i "/^${step}_/d" "$RESULTS"
  done
fi
# What the figures are of; a partial run keeps those of the steps it repeats.
sed -i '/^bench_/d' "$RESULTS" 2>/dev/null || true
record bench_date "$(date -u +%Y-%m-%d)"
record bench_commit "$(git -C "$REPO" rev-parse --short HEAD)$(git -C "$REPO" diff --quiet HEAD -- . 2>/dev/null || echo +changes)"
record bench_i386_mode "${I386_MODE:-none}"
record bench_build "$MEASURED_BUILD"

if want idle || want latency || want startup || want i686 || want glyph || want soak || want kills; then
  KOVIX_RIG_TRACE=0 bash tools/rig.sh exec -- bash "$REPO/bench/run.sh" --inside \
    $([ "$quick" = 1 ] && echo --quick) ${ONLY:+--only "$ONLY"} || say "the rig run ended with status $?"
fi

if want release; then
  say "release executable"
  exe="$RELEASE/KOVIX Tool.exe"
  record release_bytes "$(stat -c %s "$exe")"
  record release_imports "$(i686-w64-mingw32-objdump -p "$exe" | sed -n 's/^\s*DLL Name: //p' | tr 'A-Z' 'a-z' | sort | paste -sd, -)"
  if bash tests/release/check_imports.sh "$exe" >/dev/null; then record release_system_only 1; else record release_system_only 0; fi
fi

if want fuzz; then
  # The long run uses the lean start-up-path target (fuzz/SettingsLookupFuzz.cpp)
  # on both cores; the thorough target keeps its short run in the tests.
  say "fuzzing the settings lookups for $FUZZ_SECONDS s on two workers"
  cmake -S . -B "$FUZZ" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DCMAKE_CXX_COMPILER=clang++ \
    -DCMAKE_C_COMPILER=clang -DKOVIX_FUZZ=ON >/dev/null
  cmake --build "$FUZZ" -j2 --target settings_lookup_fuzz >/dev/null
  rm -rf "$FUZZ/corpus-work" "$FUZZ/artifacts"
  mkdir -p "$FUZZ/artifacts"
  worker_pids=()
  for worker in 0 1; do
    mkdir -p "$FUZZ/corpus-work/$worker"
    cp fuzz/corpus/* "$FUZZ/corpus-work/$worker/"
    # Settings files the program meets are small: its own texts stay under 700 characters.
    UBSAN_OPTIONS="halt_on_error=1:print_stacktrace=1" ASAN_OPTIONS="abort_on_error=1:detect_leaks=1" \
      "$FUZZ/settings_lookup_fuzz" "$FUZZ/corpus-work/$worker" -max_total_time="$FUZZ_SECONDS" \
      -max_len=700 -seed=$((worker + 1)) -print_final_stats=1 -timeout=10 -rss_limit_mb=1024 \
      -artifact_prefix="$FUZZ/artifacts/" >"$FUZZ/fuzz-$worker.log" 2>&1 &
    worker_pids+=($!)
  done
  fuzz_status=0
  for pid in "${worker_pids[@]}"; do wait "$pid" || fuzz_status=$?; done
  executions=0
  for worker in 0 1; do
    grep -E '^#[0-9]+' "$FUZZ/fuzz-$worker.log" | tail -n 1 >&2 || true
    n=$(sed -n 's/^stat::number_of_executed_units: *//p' "$FUZZ/fuzz-$worker.log" | tail -n 1)
    executions=$((executions + ${n:-0}))
  done
  record fuzz_seconds "$FUZZ_SECONDS"
  record fuzz_executions "$executions"
  record fuzz_exec_per_second "$((executions / FUZZ_SECONDS))"
  record fuzz_coverage "$(grep -E '^#[0-9]+' "$FUZZ/fuzz-0.log" | tail -n 1 | sed -n 's/.*cov: \([0-9]*\) ft: \([0-9]*\).*/\1 edges, \2 features/p' | tr ' ' '_')"
  findings=$(ls "$FUZZ/artifacts" | wc -l)
  [ "$fuzz_status" -ne 0 ] && [ "$findings" -eq 0 ] && findings=1
  record fuzz_findings "$findings"
fi

# ------------------------------------------------------------------- report
python3 "$REPO/bench/report.py" "$RESULTS" "$quick" | tee "$W64/results.md"

#!/usr/bin/env bash
# Fuzzes the settings reader and the command parser for SECONDS each
# (default 30) and reports the result.
# Usage: tools/fuzz.sh [SECONDS]
# Builds the `fuzz` preset, runs build/fuzz/settings_fuzz on a working copy of
# fuzz/corpus plus the default Resolution.ini of tests/resources, and
# build/fuzz/command_line_fuzz on one of fuzz/commands (the checked-in seeds
# stay untouched) and ends with "fuzz: N passed, 0 failed"
# on success, N the inputs of both; any crash, failed check or sanitizer
# report makes it exit non-zero.
set -uo pipefail

seconds="${1:-30}"
if ! [[ "$seconds" =~ ^[0-9]+$ ]] || [ "$seconds" -lt 1 ]; then
  echo "usage: $0 [SECONDS]" >&2
  exit 2
fi

root="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
cd "$root" || exit 2

cmake --preset fuzz >/dev/null || { echo "fuzz: configure failed" >&2; exit 2; }
cmake --build --preset fuzz || { echo "fuzz: build failed" >&2; exit 2; }

artifacts="build/fuzz/artifacts"
mkdir -p "$artifacts"

# UBSan only prints by default; make every report fatal like ASan's.
export UBSAN_OPTIONS="halt_on_error=1:print_stacktrace=1"
export ASAN_OPTIONS="abort_on_error=1:detect_leaks=1"

total=0
failed=0
# Runs TARGET on a working copy of the seeds in SEEDS (and of any further
# seed files named) for SECONDS.
run_target() {
  local target=$1 seeds=$2 work="build/fuzz/$1-corpus" log="build/fuzz/$1.log" status runs
  shift 2
  mkdir -p "$work"
  cp -n "$seeds"/* "$@" "$work/"
  # One worker: the machine's cores are shared.
  "build/fuzz/$target" "$work" \
    -max_total_time="$seconds" -print_final_stats=1 -timeout=10 -rss_limit_mb=1024 \
    -artifact_prefix="$artifacts/$target-" >"$log" 2>&1
  status=$?

  # Figures: the last status line (coverage and features) and the final stats.
  echo "$target:"
  grep -E '^#[0-9]+' "$log" | tail -n 1
  grep -E '^stat::(number_of_executed_units|average_exec_per_sec|new_units_added|peak_rss_mb)' "$log"
  runs="$(sed -n 's/^stat::number_of_executed_units: *//p' "$log" | tail -n 1)"
  total=$((total + ${runs:-0}))

  if [ "$status" -ne 0 ] || grep -qE 'runtime error|ERROR: (Address|UndefinedBehavior|Leak)Sanitizer|check failed|deadly signal' "$log"; then
    grep -E -m 5 'runtime error|ERROR: |check failed|deadly signal|Test unit written' "$log"
    echo "full log: $log"
    failed=1
  fi
}

run_target settings_fuzz fuzz/corpus tests/resources/default-Resolution.ini tests/resources/default-OSD.ini
run_target command_line_fuzz fuzz/commands

echo "fuzz: $total passed, $failed failed"
[ "$failed" -eq 0 ]

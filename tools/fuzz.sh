#!/usr/bin/env bash
# Fuzzes the settings reader for SECONDS (default 30) and reports the result.
# Usage: tools/fuzz.sh [SECONDS]
# Builds the `fuzz` preset, runs build/fuzz/settings_fuzz on a working copy of
# fuzz/corpus (the checked-in seeds stay untouched) and ends with
# "fuzz: N passed, 0 failed" on success; any crash, failed check or sanitizer
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

work="build/fuzz/corpus-work"
artifacts="build/fuzz/artifacts"
log="build/fuzz/fuzz.log"
mkdir -p "$work" "$artifacts"
cp -n fuzz/corpus/* "$work/"

# UBSan only prints by default; make every report fatal like ASan's.
export UBSAN_OPTIONS="halt_on_error=1:print_stacktrace=1"
export ASAN_OPTIONS="abort_on_error=1:detect_leaks=1"

# One worker: the machine's cores are shared.
build/fuzz/settings_fuzz "$work" \
  -max_total_time="$seconds" -print_final_stats=1 -timeout=10 -rss_limit_mb=1024 \
  -artifact_prefix="$artifacts/" >"$log" 2>&1
status=$?

# Figures: the last status line (coverage and features) and the final stats.
grep -E '^#[0-9]+' "$log" | tail -n 1
grep -E '^stat::(number_of_executed_units|average_exec_per_sec|new_units_added|peak_rss_mb)' "$log"
runs="$(sed -n 's/^stat::number_of_executed_units: *//p' "$log" | tail -n 1)"
runs="${runs:-0}"

if [ "$status" -ne 0 ] || grep -qE 'runtime error|ERROR: (Address|UndefinedBehavior|Leak)Sanitizer|check failed|deadly signal' "$log"; then
  grep -E -m 5 'runtime error|ERROR: |check failed|deadly signal|Test unit written' "$log"
  echo "full log: $log"
  echo "fuzz: $runs passed, 1 failed"
  exit 1
fi
echo "fuzz: $runs passed, 0 failed"

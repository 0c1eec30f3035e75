#!/usr/bin/env bash
# The cases that need a display without 1024x768: they are disabled in the
# ordinary rig and run here, in a rig of their own on tools/xorg-no1024.conf
# (started inside the rig ctest already runs in, if any: each rig has its
# own X display and Wine prefix).
#
#   tests/e2e/no1024.sh WIN_TESTS_EXE E2E_TESTS_EXE
set -uo pipefail
repo=$(cd "$(dirname "${BASH_SOURCE[0]}")/../.." && pwd)

if [ $# -ne 2 ] && [ "${1:-}" != --inside ]; then
  echo "usage: tests/e2e/no1024.sh WIN_TESTS_EXE E2E_TESTS_EXE" >&2
  exit 2
fi

# Runs the disabled cases named by FILTER in EXE and checks that exactly
# COUNT of them ran and passed.
run_cases() {
  local exe=$1 filter=$2 count=$3 log status
  log=$(mktemp)
  "$WINE" "$exe" --gtest_also_run_disabled_tests --gtest_filter="$filter" 2>&1 | tee "$log"
  status=${PIPESTATUS[0]}
  if [ "$status" -ne 0 ]; then
    echo "no1024: $(basename "$exe") failed (exit $status)"
  elif ! grep -q "^\[  PASSED  \] $count test" "$log" || grep -q '^\[  SKIPPED \]' "$log"; then
    echo "no1024: $(basename "$exe") did not run and pass exactly $count case(s)"
    status=1
  fi
  rm -f "$log"
  return "$status"
}

if [ "${1:-}" = --inside ]; then
  # On the display without 1024x768.
  if xrandr --current | awk '$1 == "1024x768" { found = 1 } END { exit !found }'; then
    echo "no1024: the display offers 1024x768"
    exit 1
  fi
  rc=0
  run_cases "$2" 'Display.DISABLED_Without*' 1 || rc=1
  run_cases "$3" 'StartupMode.DISABLED_Without*' 1 || rc=1
  run_cases "$3" 'CommandLine.DISABLED_Without*' 1 || rc=1
  exit "$rc"
fi

exec bash "$repo/tools/rig.sh" exec --xorg-conf "$repo/tools/xorg-no1024.conf" -- \
  bash "$repo/tests/e2e/no1024.sh" --inside "$(realpath "$1")" "$(realpath "$2")"

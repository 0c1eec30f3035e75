#!/usr/bin/env bash
# Runs the end-to-end suites of the shipped i686 KOVIX Tool.exe (disabled in
# the ordinary run, DISABLED_ShippedExe*) in a rig of their own: the win64
# e2e_tests.exe drives the release build, which 32-bit Wine runs under CPU
# emulation. Fails unless some case ran and every one passed.
#
#   tests/e2e/shipped_exe.sh [E2E_TESTS_EXE [RELEASE_EXE]]
set -uo pipefail
repo=$(cd "$(dirname "${BASH_SOURCE[0]}")/../.." && pwd)
tests=$(realpath "${1:-$repo/build/win64/e2e_tests.exe}")
exe=$(realpath "${2:-$repo/build/release/KOVIX Tool.exe}")
for file in "$tests" "$exe"; do
  [ -f "$file" ] || { echo "shipped_exe: no $file (build the win64 and release presets first)"; exit 1; }
done
log=$(mktemp)
trap 'rm -f "$log"' EXIT

# A start takes about a minute under the emulation; the program's own work
# gets 15 times the x86_64 time-outs.
KOVIX_TOOL_EXE=$exe KOVIX_TOOL_SLOWDOWN=15 bash "$repo/tools/rig.sh" exec -- \
  bash -c '"$WINE" "$1" --gtest_also_run_disabled_tests --gtest_filter="DISABLED_ShippedExe*"' \
  _ "$tests" 2>&1 | tee "$log"
status=${PIPESTATUS[0]}
if [ "$status" -ne 0 ]; then
  echo "shipped_exe: FAILED (exit $status)"
elif ! grep -qE '^\[  PASSED  \] [1-9][0-9]* tests?\.' "$log" || grep -q '^\[  SKIPPED \]' "$log"; then
  echo "shipped_exe: no case ran, or some were skipped"
  status=1
fi
exit "$status"

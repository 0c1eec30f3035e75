#!/usr/bin/env bash
# Runs the end-to-end tests on the shipped i686 KOVIX Tool.exe: the win64
# e2e_tests.exe drives the release build under 32-bit Wine, chosen through
# KOVIX_TOOL_EXE. How many tests depends on how 32-bit programs run here
# (tools/i386-mode.sh):
#   native    every end-to-end test (ctest label e2e), as for the x86_64 build
#   emulated  a start takes about a minute, so only the suite OneStart,
#             whose one start serves many checks; the memory line is left
#             out there (qemu misreports the memory)
# Fails unless some test ran and every one passed.
#
#   tests/e2e/shipped_exe.sh [E2E_TESTS_EXE [RELEASE_EXE]]
set -uo pipefail
repo=$(cd "$(dirname "${BASH_SOURCE[0]}")/../.." && pwd)
tests=$(realpath "${1:-$repo/build/win64/e2e_tests.exe}")
exe=$(realpath "${2:-$repo/build/release/KOVIX Tool.exe}")
for file in "$tests" "$exe"; do
  [ -f "$file" ] || { echo "shipped_exe: no $file (build the win64 and release presets first)"; exit 1; }
done
mode=$(bash "$repo/tools/i386-mode.sh") || { echo "shipped_exe: 32-bit Wine does not run here"; exit 1; }
echo "shipped_exe: 32-bit programs run $mode here"
log=$(mktemp)
trap 'rm -f "$log"' EXIT

if [ "$mode" = native ]; then
  KOVIX_TOOL_EXE=$exe bash "$repo/tools/rig.sh" exec -- \
    ctest --test-dir "$(dirname "$tests")" -L e2e --output-on-failure 2>&1 | tee "$log"
  status=${PIPESTATUS[0]}
  ran='tests passed, [0-9]+ tests? failed out of [1-9]'
else
  # The program's own work gets 15 times the x86_64 time-outs.
  KOVIX_TOOL_EXE=$exe KOVIX_TOOL_SLOWDOWN=15 bash "$repo/tools/rig.sh" exec -- \
    bash -c '"$WINE" "$1" --gtest_filter="OneStart.*"' \
    _ "$tests" 2>&1 | tee "$log"
  status=${PIPESTATUS[0]}
  ran='^\[  PASSED  \] [1-9][0-9]* tests?\.'
fi
if [ "$status" -ne 0 ]; then
  echo "shipped_exe: FAILED (exit $status)"
elif ! grep -qE "$ran" "$log" || grep -q '^\[  SKIPPED \]' "$log"; then
  echo "shipped_exe: no test ran, or some were skipped"
  status=1
fi
exit "$status"

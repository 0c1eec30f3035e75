#!/usr/bin/env bash
# Runs the end-to-end test whose restart request ends the Wine session, and
# with it every program of the prefix, in a rig of its own with a fresh
# prefix, so no other test's session is touched. Works inside another rig
# too (the rig then starts a second display and wineserver).
#   tests/e2e/restart_request.sh PATH/TO/e2e_tests.exe
set -uo pipefail
exe=$1
repo=$(cd "$(dirname "${BASH_SOURCE[0]}")/../.." && pwd)
log=$(mktemp)
trap 'rm -f "$log"' EXIT

KOVIX_OWN_WINE_SESSION=1 bash "$repo/tools/rig.sh" exec --fresh-prefix -- \
  bash -c '"$WINE" "$1" --gtest_also_run_disabled_tests \
             --gtest_filter="ApplyTest.DISABLED_YesThenYesHandsTheRestartToTheSystemAndTheSessionEnds"' \
  _ "$exe" >"$log" 2>&1
status=$?
cat "$log"
# A program the session's end kills exits with code 0 as well: only
# GoogleTest's own verdict counts.
if [ "$status" -ne 0 ] || ! grep -q '^\[  PASSED  \] 1 test' "$log"; then
  echo "restart_request: FAILED (exit $status)"
  exit 1
fi

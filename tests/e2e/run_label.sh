#!/usr/bin/env bash
# Runs the ctest entries of BUILD_DIR that carry LABEL and fails unless at
# least one ran and every one passed; a skipped one fails, since the caller
# has set up the rig that label needs.
#
#   tests/e2e/run_label.sh BUILD_DIR LABEL
set -uo pipefail
# The entries are read from a copy of the build folder's test list in a
# folder of its own, so that the ctest which runs this script (in the build
# folder) keeps its own logs under Testing/.
scratch=$(mktemp -d)
trap 'rm -rf "$scratch"' EXIT
cp "$1/CTestTestfile.cmake" "$scratch/" || exit 1
log=$scratch/log
ctest --test-dir "$scratch" -L "^$2\$" --no-tests=error --output-on-failure 2>&1 | tee "$log"
status=${PIPESTATUS[0]}
if [ "$status" -ne 0 ]; then
  echo "$2: FAILED (exit $status)"
elif grep -q '(Skipped)' "$log"; then
  echo "$2: some case was skipped"
  status=1
fi
exit "$status"

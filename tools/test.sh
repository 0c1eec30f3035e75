#!/usr/bin/env bash
# Builds everything and runs every test, layer by layer:
#   native   platform-free logic, GoogleTest under ASan + UBSan
#   fuzz     a bounded libFuzzer run over the settings reader
#   release  the i686 KOVIX Tool.exe and its checks (imports, resources, a
#            second build elsewhere byte-identical, the zip's README.txt)
#   win64    Win32 and end-to-end tests under Wine on the Xorg dummy display
#   i686     the shipped i686 KOVIX Tool.exe itself under 32-bit Wine, driven
#            by every end-to-end test where 32-bit programs run natively, by
#            the suite OneStart under CPU emulation
# Every layer runs even when an earlier one failed; the exit status is
# non-zero when any failed. The last line sums up all layers.
set -uo pipefail
cd "$(dirname "$0")/.."
root=$PWD
logs=$root/build/test-logs
mkdir -p "$logs"

bash tools/install-deps.sh || { echo "dependency installation failed"; exit 1; }

declare -A status
passed=0
failed=0

# Adds the counts of a ctest log ("N% tests passed, F tests failed out of T");
# ctest counts a skipped test among the passed ones, this does not.
count_ctest() {
  local line total bad skipped
  line=$(grep -E 'tests passed, [0-9]+ tests? failed out of [0-9]+' "$1" | tail -n 1)
  [ -n "$line" ] || return 0
  total=$(sed -E 's/.*out of ([0-9]+).*/\1/' <<<"$line")
  bad=$(sed -E 's/.*tests passed, ([0-9]+) tests? failed.*/\1/' <<<"$line")
  skipped=$(awk '/tests passed, [0-9]+ tests? failed out of/ { n = 0; next }
                 / \(Skipped\)$/ { n++ } END { print n + 0 }' "$1")
  passed=$((passed + total - bad - skipped))
  failed=$((failed + bad))
}

# Adds the counts of a GoogleTest log ("[  PASSED  ] N tests.",
# "[  FAILED  ] F tests, listed below:").
count_gtest() {
  local ok bad
  ok=$(sed -nE 's/^\[  PASSED  \] ([0-9]+) tests?\..*/\1/p' "$1" | tail -n 1)
  bad=$(sed -nE 's/^\[  FAILED  \] ([0-9]+) tests?, listed below.*/\1/p' "$1" | tail -n 1)
  passed=$((passed + ${ok:-0}))
  failed=$((failed + ${bad:-0}))
}

layer() {
  local name=$1; shift
  echo "== $name"
  local start=$SECONDS
  "$@" 2>&1 | tee "$logs/$name.log"
  local rc=${PIPESTATUS[0]}
  status[$name]=$rc
  echo "== $name: exit $rc in $((SECONDS - start)) s"
}

native() {
  cmake --preset native >/dev/null && cmake --build --preset native &&
    ctest --preset native
}
fuzz() { bash tools/fuzz.sh "${KOVIX_FUZZ_SECONDS:-30}"; }
release() {
  cmake --preset release >/dev/null && cmake --build --preset release &&
    ctest --preset release --no-tests=ignore
}
win64() {
  cmake --preset win64 >/dev/null && cmake --build --preset win64 &&
    bash tools/rig.sh exec -- ctest --preset win64
}
i686() { bash tests/e2e/shipped_exe.sh build/win64/e2e_tests.exe "build/release/KOVIX Tool.exe"; }

layer native native
count_ctest "$logs/native.log"
layer fuzz fuzz
# The bounded fuzz run counts as one test.
if [ "${status[fuzz]}" -eq 0 ]; then passed=$((passed + 1)); else failed=$((failed + 1)); fi
layer release release
count_ctest "$logs/release.log"
layer win64 win64
count_ctest "$logs/win64.log"
layer i686 i686
# ctest's summary where every end-to-end test ran, else the one gtest run's.
if grep -qE 'tests passed, [0-9]+ tests? failed out of' "$logs/i686.log"; then
  count_ctest "$logs/i686.log"
else
  count_gtest "$logs/i686.log"
fi

# The end-to-end tests save what the screen showed as BMP; keep PNG copies.
for shot in build/win64/screenshots/*.bmp; do
  [ -e "$shot" ] && convert "$shot" "${shot%.bmp}.png" 2>/dev/null
done
[ -d build/win64/screenshots ] && echo "screenshots: build/win64/screenshots/"

rc=0
for name in native fuzz release win64 i686; do
  if [ "${status[$name]}" -ne 0 ]; then
    echo "layer $name FAILED (exit ${status[$name]}; log: build/test-logs/$name.log)"
    rc=1
    [ "$failed" -eq 0 ] && failed=1  # a build failure runs no test but still fails
  fi
done
echo "total: $passed passed, $failed failed"
exit $rc

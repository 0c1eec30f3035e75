#!/usr/bin/env bash
# The release executable must depend on its sources alone: a copy of the
# source tree at another path, built now into another build folder, must give
# the same bytes as the executable of this build.
#   check_reproducible.sh <exe> <source root>
set -euo pipefail
exe=$1
src=$2
work=$(dirname "$exe")/reproducible
rm -rf "$work"
mkdir -p "$work/src"
tar -C "$src" --exclude=./build --exclude=./dist --exclude=./.git -c . | tar -x -C "$work/src"
(cd "$work/src" && cmake --preset release >/dev/null && cmake --build --preset release --target kovix_tool >/dev/null)
again="$work/src/build/release/$(basename "$exe")"
first=$(sha256sum <"$exe" | cut -d' ' -f1)
second=$(sha256sum <"$again" | cut -d' ' -f1)
echo "$first  $exe"
echo "$second  $again"
if [ "$first" != "$second" ]; then
  # cmp counts bytes from 1; it also says when one file is shorter.
  byte=$(cmp "$exe" "$again" 2>&1 | sed -nE 's/.*differ: (char|byte) ([0-9]+).*/\2/p' || true)
  if [ -n "$byte" ]; then
    printf 'FAIL the two builds differ; the first differing offset is 0x%X\n' $((byte - 1))
  else
    echo "FAIL the two builds differ: $(cmp "$exe" "$again" 2>&1 || true)"
  fi
  exit 1
fi
rm -rf "$work"
echo "ok   the two builds are byte-identical"

#!/usr/bin/env bash
# Runs the cases labelled no1024, which need a display without 1024x768, in
# a rig of their own on tools/xorg-no1024.conf (started inside the rig ctest
# already runs in, if any: each rig has its own X display and Wine prefix).
#
#   tests/e2e/no1024.sh BUILD_DIR
set -uo pipefail
repo=$(cd "$(dirname "${BASH_SOURCE[0]}")/../.." && pwd)
[ $# -eq 1 ] || { echo "usage: tests/e2e/no1024.sh BUILD_DIR" >&2; exit 2; }

if [ -n "${KOVIX_NO1024_INSIDE:-}" ]; then
  if xrandr --current | awk '$1 == "1024x768" { found = 1 } END { exit !found }'; then
    echo "no1024: the display offers 1024x768"
    exit 1
  fi
  exec bash "$repo/tests/e2e/run_label.sh" "$1" no1024
fi
KOVIX_NO1024_INSIDE=1 exec bash "$repo/tools/rig.sh" exec --xorg-conf "$repo/tools/xorg-no1024.conf" -- \
  bash "$repo/tests/e2e/no1024.sh" "$(realpath "$1")"

#!/usr/bin/env bash
# Runs the case labelled session-end, whose restart request ends the Wine
# session and with it every program of the prefix, in a rig of its own with
# a fresh prefix, so no other test's session is touched. Works inside
# another rig too (the rig then starts a second display and wineserver).
#
#   tests/e2e/restart_request.sh BUILD_DIR
set -uo pipefail
repo=$(cd "$(dirname "${BASH_SOURCE[0]}")/../.." && pwd)
[ $# -eq 1 ] || { echo "usage: tests/e2e/restart_request.sh BUILD_DIR" >&2; exit 2; }
KOVIX_OWN_WINE_SESSION=1 exec bash "$repo/tools/rig.sh" exec --fresh-prefix -- \
  bash "$repo/tests/e2e/run_label.sh" "$(realpath "$1")" session-end

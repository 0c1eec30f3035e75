#!/usr/bin/env bash
# Makes a release: builds the release preset, runs its tests (among them the
# reproducibility check) and writes dist/KOVIX-Tool-<version>.zip with
# "KOVIX Tool.exe", README.txt and LICENSE.txt, and dist/SHA256SUMS.
# The zip's entries carry the time of the last commit (SOURCE_DATE_EPOCH
# when set), so the same commit gives the same zip from any folder.
set -euo pipefail
cd "$(dirname "$0")/.."

bash tools/install-deps.sh
cmake --preset release >/dev/null
cmake --build --preset release
ctest --preset release --no-tests=ignore

stamp=${SOURCE_DATE_EPOCH:-$(git log -1 --format=%ct)}
rm -rf dist
python3 tools/make_dist.py "build/release/KOVIX Tool.exe" dist "$stamp"
ls -l dist

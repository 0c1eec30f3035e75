#!/usr/bin/env bash
# Installs every Debian package the build, the tests and the run command need.
# Idempotent and quiet: does nothing when all packages are already present.
set -euo pipefail

PACKAGES=(
  cmake ninja-build g++ clang libclang-rt-14-dev googletest libgtest-dev
  g++-mingw-w64-i686 g++-mingw-w64-x86-64 binutils-mingw-w64-i686 binutils-mingw-w64-x86-64
  wine64 xserver-xorg-core xserver-xorg-video-dummy x11-xserver-utils x11-utils
  xdotool trayer imagemagick python3 libxdamage1
)

# One query for all packages: this runs before every test rig start.
mapfile -t installed < <(dpkg-query -W -f='${db:Status-Abbrev} ${Package}\n' "${PACKAGES[@]}" 2>/dev/null |
  awk '$1 == "ii" { sub(/:.*/, "", $2); print $2 }')
missing=()
for p in "${PACKAGES[@]}"; do
  [[ " ${installed[*]} " == *" $p "* ]] || missing+=("$p")
done
[ ${#missing[@]} -eq 0 ] && exit 0

SUDO=""
[ "$(id -u)" -ne 0 ] && SUDO="sudo"
echo "Installing: ${missing[*]}" >&2
export DEBIAN_FRONTEND=noninteractive
$SUDO apt-get update -qq </dev/null
$SUDO apt-get install -y -qq --no-install-recommends "${missing[@]}" </dev/null >/dev/null

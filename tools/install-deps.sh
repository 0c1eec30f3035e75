#!/usr/bin/env bash
# Installs every Debian package the build, the tests and the run command need,
# and makes 32-bit Linux programs (the 32-bit Wine that runs the shipped
# i686 executable) runnable. Idempotent and quiet: does nothing when all is
# already in place.
set -euo pipefail

PACKAGES=(
  cmake ninja-build g++ clang libclang-rt-14-dev googletest libgtest-dev
  g++-mingw-w64-i686 g++-mingw-w64-x86-64 binutils-mingw-w64-i686 binutils-mingw-w64-x86-64
  wine64 xserver-xorg-core xserver-xorg-video-dummy x11-xserver-utils x11-utils
  xdotool trayer imagemagick python3 libxdamage1
  # 32-bit Wine, run through user-mode emulation where the kernel cannot
  # run 32-bit programs. Its X11 driver loads the X extension libraries at
  # run time (without libxrandr2 no display mode switches), and wine32 only
  # recommends them.
  qemu-user wine32:i386 libxrandr2:i386 libxrender1:i386 libxcursor1:i386 libxi6:i386
  libxinerama1:i386 libxcomposite1:i386 libxfixes3:i386 libxxf86vm1:i386
)
WINE32=/usr/lib/wine/wine
QEMU_I386=/usr/bin/qemu-i386
BINFMT=/proc/sys/fs/binfmt_misc

SUDO=""
[ "$(id -u)" -ne 0 ] && SUDO="sudo"

# One query for all packages: this runs before every test rig start.
mapfile -t installed < <(dpkg-query -W -f='${db:Status-Abbrev} ${Package}:${Architecture}\n' \
  "${PACKAGES[@]}" 2>/dev/null | awk '$1 == "ii" { print $2 }')
missing=()
for p in "${PACKAGES[@]}"; do
  # dpkg names packages of the native architecture without a suffix.
  [[ $p == *:* ]] && want=$p || want="$p:$(dpkg --print-architecture)"
  [[ " ${installed[*]} " == *" $want "* || " ${installed[*]} " == *" $p:all "* ]] || missing+=("$p")
done

if [ ${#missing[@]} -gt 0 ]; then
  echo "Installing: ${missing[*]}" >&2
  export DEBIAN_FRONTEND=noninteractive
  if [[ " ${missing[*]} " == *:i386* ]] && ! dpkg --print-foreign-architectures | grep -qx i386; then
    $SUDO dpkg --add-architecture i386
  fi
  $SUDO apt-get update -qq </dev/null
  $SUDO apt-get install -y -qq --no-install-recommends "${missing[@]}" </dev/null >/dev/null
fi

# 32-bit programs: nothing to do when the 32-bit Wine loader already runs
# (a kernel with 32-bit support, or qemu already registered).
"$WINE32" --version >/dev/null 2>&1 && exit 0
fail32() {
  echo "install-deps: 32-bit programs cannot run here: $*" >&2
  exit 1
}
[ -x "$QEMU_I386" ] || fail32 "$QEMU_I386 is missing"
if [ ! -e "$BINFMT/register" ]; then
  $SUDO mount -t binfmt_misc binfmt_misc "$BINFMT" ||
    fail32 "could not mount binfmt_misc on $BINFMT (a container may need --privileged)"
fi
if [ ! -e "$BINFMT/qemu-i386" ]; then
  # i386 ELF executables (e_machine 3), to qemu-i386; F opens the
  # interpreter now, so it also serves programs in other mount namespaces.
  printf '%s' ':qemu-i386:M::\x7fELF\x01\x01\x01\x00\x00\x00\x00\x00\x00\x00\x00\x00\x02\x00\x03\x00:\xff\xff\xff\xff\xff\xfe\xfe\x00\xff\xff\xff\xff\xff\xff\xff\xff\xfe\xff\xff\xff:'"$QEMU_I386"':F' |
    $SUDO tee "$BINFMT/register" >/dev/null ||
    fail32 "could not register $QEMU_I386 in $BINFMT/register"
elif ! grep -qx enabled "$BINFMT/qemu-i386"; then
  echo 1 | $SUDO tee "$BINFMT/qemu-i386" >/dev/null || fail32 "could not enable $BINFMT/qemu-i386"
fi
"$WINE32" --version >/dev/null 2>&1 ||
  fail32 "$WINE32 does not start even with $QEMU_I386 registered ($(cat "$BINFMT/qemu-i386" 2>/dev/null | head -n 1))"

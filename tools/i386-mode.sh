#!/usr/bin/env bash
# How 32-bit programs run on this machine, as tools/install-deps.sh left it:
#   native    the kernel runs them itself (IA32 emulation): the 32-bit Wine
#             loader runs and no qemu handler is enabled in binfmt_misc
#   emulated  qemu-i386 is enabled in binfmt_misc, so they may go through
#             CPU emulation (about a minute per start of the shipped exe)
#   none      the 32-bit Wine loader does not run at all
# Prints the word; exit 0 except for "none".
set -u
wine32=/usr/lib/wine/wine
handler=/proc/sys/fs/binfmt_misc/qemu-i386
if ! "$wine32" --version >/dev/null 2>&1; then
  echo none
  exit 1
fi
# install-deps.sh registers qemu only where the loader failed without it.
# A kernel that could run them natively would still do so with the handler
# enabled; counting that case as emulated only costs coverage, never time.
if [ -e "$handler" ] && grep -qx enabled "$handler"; then
  echo emulated
else
  echo native
fi

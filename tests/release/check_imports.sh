#!/usr/bin/env bash
# The shipped executable may import system DLLs only (libstdc++, libgcc and
# winpthread are linked in statically), and of those only the functions in
# xp-imports.txt, each reviewed against the "Minimum supported client" of
# its documentation: a function Windows XP lacks stops the program loading
# there ("The procedure entry point ... could not be located"). Functions of
# later Windows are looked up at run time and so never appear here. The PE
# header must not ask for more than Windows XP (5.1) either.
#   check_imports.sh EXE [LIST]
set -euo pipefail
exe=$1
list=${2:-$(dirname "$0")/xp-imports.txt}
objdump=${OBJDUMP:-i686-w64-mingw32-objdump}
allowed='^(kernel32|user32|gdi32|shell32|advapi32|comctl32|msvcrt|ntdll|comdlg32|ole32|oleaut32|shlwapi|version)\.dll$'
headers=$("$objdump" -p "$exe")
pass=0 fail=0
ok() { pass=$((pass + 1)); echo "ok   $*"; }
bad() { fail=$((fail + 1)); echo "FAIL $*"; }

mapfile -t dlls < <(sed -n 's/^\s*DLL Name: //p' <<<"$headers" | tr 'A-Z' 'a-z')
[ ${#dlls[@]} -gt 0 ] || { echo "no import table found in $exe"; exit 1; }
for dll in "${dlls[@]}"; do
  if [[ $dll =~ $allowed ]]; then ok "imports $dll"
  else bad "imports $dll (not a system DLL)"; fi
done

# "dll function" of every import, and of every reviewed line marked OK.
mapfile -t imports < <(awk '/DLL Name:/ { dll = tolower($3); next }
                            dll && /^\t[0-9a-f]+\t/ { print dll, $3 }' <<<"$headers" | sort -u)
declare -A reviewed
while read -r dll name rest; do
  [ -n "$dll" ] && [ "${dll:0:1}" != "#" ] && [ "${rest##* }" = OK ] && reviewed["${dll,,} $name"]=1
done <"$list"
unlisted=0
for entry in "${imports[@]}"; do
  [ -n "${reviewed[$entry]:-}" ] && continue
  unlisted=$((unlisted + 1))
  bad "imports ${entry#* } from ${entry%% *}, which is not on the reviewed list $(basename "$list")"
done
[ "$unlisted" -eq 0 ] && ok "all ${#imports[@]} imported functions are on the reviewed list"

# The loader of Windows XP refuses an image that asks for a later version.
for field in OSystem Subsystem; do
  major=$(sed -n "s/^Major${field}Version\s*//p" <<<"$headers")
  minor=$(sed -n "s/^Minor${field}Version\s*//p" <<<"$headers")
  if [ -n "$major" ] && [ $((major * 100 + minor)) -le 501 ]; then ok "${field} version $major.$minor"
  else bad "${field} version ${major:-?}.${minor:-?}, above Windows XP's 5.1"; fi
done

format=$("$objdump" -f "$exe" | sed -n 's/.*file format //p')
if [ "$format" = "pei-i386" ]; then ok "format $format"
else bad "format $format, expected pei-i386"; fi
echo "size $(stat -c %s "$exe") bytes"
echo "$pass passed, $fail failed"
[ "$fail" -eq 0 ]

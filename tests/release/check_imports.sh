#!/usr/bin/env bash
# The shipped executable may import system DLLs only: everything else
# (libstdc++, libgcc, winpthread) must be linked in statically.
set -euo pipefail
exe=$1
objdump=${OBJDUMP:-i686-w64-mingw32-objdump}
allowed='^(kernel32|user32|gdi32|shell32|advapi32|comctl32|msvcrt|ntdll|comdlg32|ole32|oleaut32|shlwapi|version)\.dll$'
mapfile -t dlls < <("$objdump" -p "$exe" | sed -n 's/^\s*DLL Name: //p' | tr 'A-Z' 'a-z')
pass=0 fail=0
[ ${#dlls[@]} -gt 0 ] || { echo "no import table found in $exe"; exit 1; }
for dll in "${dlls[@]}"; do
  if [[ $dll =~ $allowed ]]; then pass=$((pass + 1)); echo "ok   imports $dll"
  else fail=$((fail + 1)); echo "FAIL imports $dll (not a system DLL)"; fi
done
format=$("$objdump" -f "$exe" | sed -n 's/.*file format //p')
if [ "$format" = "pei-i386" ]; then pass=$((pass + 1)); echo "ok   format $format"
else fail=$((fail + 1)); echo "FAIL format $format, expected pei-i386"; fi
echo "size $(stat -c %s "$exe") bytes"
echo "$pass passed, $fail failed"
[ "$fail" -eq 0 ]

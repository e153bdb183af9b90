#!/usr/bin/env bash
# Compares the symbols a shared library exports with the function names its public headers
# declare; for a Windows DLL also checks that it imports from system DLLs only (the GCC runtime
# must be linked in). Usage: check_exports.sh <library> <header>...
# OBJDUMP names the objdump that reads the DLL (the cross toolchain's).
set -euo pipefail
library=$1
shift
expected=$(grep -ohE '\b(Nivexa|NivexaDevices|NivexaMsg|NivexaWin|NivexaStream)_[A-Za-z0-9_]+\s*\(' "$@" | tr -d ' (' | sort -u)
status=0
case "$library" in
  *.dll | *.DLL)
    dump=$("${OBJDUMP:-x86_64-w64-mingw32-objdump}" -p "$library")
    # The export name table: lines "	[   3] Nivexa_Close" after "[Ordinal/Name Pointer] Table".
    actual=$(echo "$dump" | sed -n '/\[Ordinal\/Name Pointer\] Table/,/^$/p' |
      sed -n 's/^\s*\[ *[0-9]*\] \([^ ]*\)$/\1/p' | sort -u)
    all_exports=$(echo "$dump" | sed -n '/\[Ordinal\/Name Pointer\] Table/,/^$/p' | grep -c '^\s*\[ *[0-9]' || true)
    if [ "$all_exports" -ne "$(echo "$actual" | grep -c . || true)" ]; then
      echo "the export table names some entry twice"
      status=1
    fi
    imports=$(echo "$dump" | sed -n 's/^\s*DLL Name: //p' | sort -u)
    system_dll='^(kernel32|user32|gdi32|advapi32|setupapi|winmm|msvfw32|comctl32|comdlg32|shell32|ole32|oleaut32|msvcrt|ucrtbase|api-ms-win-[a-z0-9-]+)\.dll$'
    foreign=$(echo "$imports" | grep -viE "$system_dll" || true)
    if [ -n "$foreign" ]; then
      echo "imports from DLLs that are not part of Windows:"; echo "$foreign" | sed 's/^/  /'
      status=1
    fi
    echo "imports: $(echo "$imports" | tr '\n' ' ')"
    ;;
  *)
    actual=$(nm -D --defined-only "$library" | awk '{print $3}' | sed 's/@.*//' | sort -u)
    ;;
esac
missing=$(comm -23 <(echo "$expected") <(echo "$actual"))
extra=$(comm -13 <(echo "$expected") <(echo "$actual"))
count=$(echo "$expected" | grep -c '^Nivexa_' || true)
if [ "$count" -ne 149 ]; then
  echo "headers declare $count Nivexa_ functions, expected 149"
  status=1
fi
if [ -n "$missing" ]; then
  echo "declared but not exported:"; echo "$missing" | sed 's/^/  /'
  status=1
fi
if [ -n "$extra" ]; then
  echo "exported but not declared:"; echo "$extra" | sed 's/^/  /'
  status=1
fi
[ $status -eq 0 ] && echo "exports match the headers: $(echo "$actual" | wc -l) names"
exit $status

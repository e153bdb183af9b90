#!/usr/bin/env bash
# Builds the README's first Windows program from what is shipped (the header folder, the DLL and
# its import library) with the MinGW compiler, and runs it under Wine against a virtual camera.
# Usage: first_program_check.sh <cc> <include-dir> <dll> <import-lib> <source> <runner...>
set -euo pipefail
cc=$1 include=$2 dll=$3 implib=$4 source=$5
shift 5
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
cp "$dll" "$implib" "$work/"
"$cc" -std=c99 -Wall -Wextra -Werror -I "$include" "$source" "$work/$(basename "$implib")" \
  -o "$work/first.exe"
status=0
output=$(cd "$work" && NIVEXA_VIRTUAL_CAMERAS="serial=FIRST1" "$@" "$work/first.exe") || status=$?
output=${output//$'\r'/}  # the C runtime writes text with CR LF
echo "$output"
echo "exit code $status"
echo "$output" | grep -q '^SDK 022b0521, handle ' || { echo "no handle"; exit 1; }
# A whole frame of the virtual camera's pattern, from its first row.
[ "$status" -eq 0 ] || exit 1
echo "$output" | grep -qE '^snapshot 2048 x 1536, ' || { echo "no snapshot of the camera"; exit 1; }

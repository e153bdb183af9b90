#!/usr/bin/env bash
# The library on a machine without X libraries: it must not need them to load, and a program
# using it must take a snapshot and stream frames while they cannot be found, its preview
# window failing as without a display. The libraries are hidden in a mount namespace of the
# program's own (an empty file bound over each), so the machine's installation is untouched.
# Usage: check_headless.sh <library> <program>
set -euo pipefail
library=$1
program=$2
# ctest's code for a test that cannot run here (no right to make a mount namespace).
skip=77

needed=$(objdump -p "$library" | awk '$1 == "NEEDED" { print $2 }')
if grep -E '^lib(X11|Xext)\.so' <<< "$needed"; then
  echo "check-headless: $library needs the X libraries above"
  exit 1
fi

hidden=()
for soname in libX11.so.6 libXext.so.6; do
  while read -r path; do
    hidden+=("$(readlink -f "$path")")
  done < <(ldconfig -p | awk -v name="$soname" '$1 == name { print $NF }')
done

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
unshare --mount true 2> /dev/null || { echo "check-headless: no mount namespace here"; exit $skip; }
NIVEXA_VIRTUAL_CAMERAS=1 NIVEXA_REGISTRY_FILE="$work/registry.reg" \
  unshare --mount --propagation private bash -euc '
program=$1
shift
for file in "$@"; do
  mount --bind /dev/null "$file"
  [ ! -s "$file" ] || { echo "check-headless: $file is still visible"; exit 1; }
done
exec "$program"' check-headless "$program" "${hidden[@]}"

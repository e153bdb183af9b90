#!/usr/bin/env bash
# Installs the Debian packages that scripts/package.sh made, as a user would (apt-get install
# ./*.deb), uses them as an application developer would, then purges them and fails on any file
# they leave behind. Needs root (or sudo): it changes the machine's installation.
# Usage: check-packages.sh <folder of the .deb files>
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
packages=$(cd "$1" && pwd)
sudo=""
[ "$(id -u)" -eq 0 ] || sudo=sudo
export DEBIAN_FRONTEND=noninteractive
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

debs=("$packages"/*.deb)
[ -e "${debs[0]}" ] || { echo "check-packages: no .deb in $packages"; exit 1; }
ours=()
for deb in "${debs[@]}"; do
  ours+=("$(dpkg-deb -f "$deb" Package)")
done
installed() { dpkg-query -W -f='${db:Status-Abbrev} ${Package}\n' 2>/dev/null | awk '$1 == "ii" { print $2 }' | sort; }
# What the folders of the packages hold: every folder a package lists, one level deep, so that
# a stray file beside ours or inside a folder of ours is seen, and nothing of the rest of the
# machine, where other programs may be at work meanwhile.
for deb in "${debs[@]}"; do
  dpkg-deb -c "$deb" | awk '$1 ~ /^d/ { print $6 }' | sed -e 's|^\.||' -e 's|/$||'
done | grep -v '^$' | sort -u > "$work/folders"
files() {
  while read -r folder; do
    if [ -d "$folder" ]; then
      find "$folder" -mindepth 1 -maxdepth 1
    fi
  done < "$work/folders" | sort -u
}

# A run that stopped half-way leaves them installed: start from none.
leftover=$(installed | grep -Fx -f <(printf '%s\n' "${ours[@]}") || true)
[ -z "$leftover" ] || $sudo apt-get purge -y -qq $leftover > /dev/null

installed > "$work/packages.before"
files > "$work/files.before"
echo "check-packages: installing ${ours[*]}"
$sudo apt-get -o DPkg::Lock::Timeout=900 install -y -qq --no-install-recommends "${debs[@]}" \
  > "$work/install.log" 2>&1 || { cat "$work/install.log"; exit 1; }

# The runtime library loads without the X libraries.
library=$(dpkg -L "$(dpkg-deb -f "$packages"/libnivexasdk-m7qx-tec[0-9]*_*.deb Package)" |
  grep '/libNivexaSdk_M7QX_TEC\.so\.[0-9]*$')
if ldd "$library" | grep -E 'libX11|libXext'; then
  echo "check-packages: $library loads X libraries"
  exit 1
fi

run() {
  NIVEXA_VIRTUAL_CAMERAS=1 NIVEXA_SHM_PREFIX="nivexa-packages-$$-" \
    NIVEXA_REGISTRY_FILE="$work/registry.reg" "$@"
}
# The example against the installed development package, with the system's pkg-config and no
# path of ours.
cc -std=c99 -Wall -Wextra -Werror $(pkg-config --cflags NivexaSdk) \
  "$root/examples/linux/first_program.c" $(pkg-config --libs NivexaSdk) -o "$work/first"
run "$work/first"
# The same with find_package, the tool, the Python package and the GStreamer element, each
# found where the system looks.
cmake -S "$root/examples/linux" -B "$work/first_cmake" -DCMAKE_C_FLAGS="-Wall -Wextra -Werror" \
  > "$work/configure.log" || { cat "$work/configure.log"; exit 1; }
cmake --build "$work/first_cmake" > "$work/build.log" || { cat "$work/build.log"; exit 1; }
run "$work/first_cmake/first_program" > /dev/null
run nivexa info > /dev/null
# Byte code written as for any user, which the package must take away with it.
(cd "$work" && run env -u PYTHONDONTWRITEBYTECODE /usr/bin/python3 -c '
import nivexa
with nivexa.open() as cam:
    image = cam.snapshot()
print("check-packages: Python package", nivexa.__version__, "snapshot", image.shape)')
# The desktop viewer, from the menu entry the package puts where desktops look, for as long as
# a display lets it run; without one it is only found.
viewer_entry=/usr/share/applications/nivexa-viewer.desktop
[ -f "$viewer_entry" ] || { echo "check-packages: no $viewer_entry"; exit 1; }
viewer=$(sed -n 's/^Exec=//p' "$viewer_entry")
command -v "$viewer" > /dev/null || { echo "check-packages: $viewer_entry runs $viewer, not installed"; exit 1; }
if command -v xvfb-run > /dev/null; then
  run xvfb-run -a "$viewer" --measure 1 | grep -q '^measure: [1-9]' ||
    { echo "check-packages: $viewer showed no frame"; exit 1; }
fi
if command -v gst-inspect-1.0 > /dev/null; then
  run env GST_REGISTRY="$work/gst-registry.bin" gst-inspect-1.0 nivexasrc > /dev/null
fi

python_folder=$(dpkg -L python3-nivexa | grep '/nivexa$')
[ -d "$python_folder/__pycache__" ] ||
  { echo "check-packages: no byte code in $python_folder: its removal went untested"; exit 1; }
installed > "$work/packages.installed"
echo "check-packages: purging"
$sudo apt-get purge -y -qq "${ours[@]}" > "$work/purge.log" 2>&1 ||
  { cat "$work/purge.log"; exit 1; }
# Packages apt brought in as dependencies stay, and so do their files.
comm -13 "$work/packages.before" "$work/packages.installed" |
  grep -Fvx -f <(printf '%s\n' "${ours[@]}") > "$work/dependencies" || true
: > "$work/dependency-files"
while read -r package; do
  dpkg -L "$package" >> "$work/dependency-files" 2>/dev/null || true
done < "$work/dependencies"
files | comm -13 "$work/files.before" - | grep -Fvx -f "$work/dependency-files" \
  > "$work/left" || true
if [ -s "$work/left" ]; then
  echo "check-packages: files left behind after the purge:"
  cat "$work/left"
  exit 1
fi
echo "check-packages: ${#ours[@]} packages installed, used and purged without a trace"

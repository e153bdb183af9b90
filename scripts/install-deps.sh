#!/usr/bin/env bash
# Installs every Debian package the build, the tests and the demo need. Safe to run again:
# it asks apt only for what is missing.
set -euo pipefail

packages=(
  build-essential cmake binutils pkg-config ccache
  libgtest-dev libgmock-dev googletest libbenchmark-dev
  libjpeg-dev libpng-dev libtiff-dev zlib1g-dev libx11-dev libusb-1.0-0-dev
  pngcheck libtiff-tools imagemagick
  clang libclang-rt-dev
  ffmpeg
)

missing=()
for package in "${packages[@]}"; do
  if ! dpkg-query -W -f='${Status}' "$package" 2>/dev/null | grep -q 'install ok installed'; then
    missing+=("$package")
  fi
done

if [ ${#missing[@]} -eq 0 ]; then
  echo "install-deps: everything is installed"
  exit 0
fi

sudo=""
if [ "$(id -u)" -ne 0 ]; then
  sudo="sudo"
fi
echo "install-deps: installing ${missing[*]}"
export DEBIAN_FRONTEND=noninteractive
$sudo apt-get update -qq
$sudo apt-get install -y -qq --no-install-recommends "${missing[@]}"

#!/usr/bin/env bash
# Installs the Debian packages the build needs. Safe to run again: it asks apt only for what is
# missing. Usage: install-deps.sh [--library]
#   --library  only what the library and the command-line tool need (the main job, scripts/demo.sh)
#   (default)  everything the tests, the Windows build and the benchmarks' build need as well
set -euo pipefail

# The library and the tool.
library_packages=(
  build-essential cmake pkg-config ccache
  libjpeg-dev libpng-dev libtiff-dev zlib1g-dev libx11-dev libxext-dev libusb-1.0-0-dev
)
packages=(
  "${library_packages[@]}"
  binutils
  libgtest-dev libgmock-dev googletest libbenchmark-dev
  # The check that every name of the public headers is documented, and their reference.
  doxygen
  xvfb x11-utils
  # The viewer's screenshots drive it with the mouse and keyboard.
  xdotool
  pngcheck libtiff-tools imagemagick
  clang libclang-rt-dev
  # The emulated USB bus the libusb code is tested on.
  umockdev libumockdev-dev
  ffmpeg
  # The Debian packages (CPack runs dpkg-shlibdeps on the binaries file finds) and their check.
  dpkg-dev file lintian
  # The settings dialogs' GTK module, its tests under Xvfb, Japanese glyphs for its screenshots.
  libgtk-3-dev fonts-noto-cjk
  # The Python package nivexa, its tests and `pip install ./python` (offline: no build isolation).
  python3 python3-numpy python3-pytest python3-setuptools python3-pip
  # The GStreamer element, its checks and the elements its tests and pipelines use.
  libgstreamer1.0-dev libgstreamer-plugins-base1.0-dev gstreamer1.0-tools gstreamer1.0-plugins-base
  gstreamer1.0-plugins-good
)
# The Windows DLL: MinGW-w64 cross compilers (posix threads) and Wine to run its tests; zlib for
# MinGW and nasm (libjpeg-turbo's SIMD kernels) for the image libraries that
# scripts/build-mingw-deps.sh cross-builds from Debian's source packages.
windows_packages=(
  g++-mingw-w64-x86-64-posix gcc-mingw-w64-x86-64-posix binutils-mingw-w64-x86-64 wine wine64
  libz-mingw-w64-dev nasm
)

if [ "${1:-}" = --library ]; then
  packages=("${library_packages[@]}")
  windows_packages=()
fi

missing=()
for package in "${packages[@]}"; do
  if ! dpkg-query -W -f='${Status}' "$package" 2>/dev/null | grep -q 'install ok installed'; then
    missing+=("$package")
  fi
done

windows_missing=()
for package in "${windows_packages[@]+"${windows_packages[@]}"}"; do
  if ! dpkg-query -W -f='${Status}' "$package" 2>/dev/null | grep -q 'install ok installed'; then
    windows_missing+=("$package")
  fi
done

if [ ${#missing[@]} -eq 0 ] && [ ${#windows_missing[@]} -eq 0 ]; then
  echo "install-deps: everything is installed"
  exit 0
fi

sudo=""
if [ "$(id -u)" -ne 0 ]; then
  sudo="sudo"
fi
export DEBIAN_FRONTEND=noninteractive
$sudo apt-get update -qq
apt_install() {
  $sudo apt-get -o DPkg::Lock::Timeout=900 install -y -qq --no-install-recommends "$@"
}
if [ ${#missing[@]} -gt 0 ]; then
  echo "install-deps: installing ${missing[*]}"
  apt_install "${missing[@]}"
fi
# The Linux build does not need these; scripts/test.sh says so when they are not there.
if [ ${#windows_missing[@]} -gt 0 ]; then
  echo "install-deps: installing ${windows_missing[*]} (Windows build)"
  apt_install "${windows_missing[@]}" ||
    echo "install-deps: could not install the Windows cross build and Wine"
fi

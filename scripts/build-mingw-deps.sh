#!/usr/bin/env bash
# Cross-builds the image libraries the writers link (libjpeg-turbo, libpng, libtiff) for
# MinGW-w64 as static libraries into a prefix, because Debian ships no MinGW builds of them.
# zlib comes from Debian's libz-mingw-w64-dev. The sources are Debian's own source packages of
# the release this machine runs, fetched through apt with a private source list and state kept
# inside the prefix (the system's apt configuration is not touched).
# Usage: build-mingw-deps.sh [prefix]   (default build/windows-deps)
# Does nothing for a library whose build is already in the prefix.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
prefix=${1:-build/windows-deps}
mkdir -p "$prefix"
prefix=$(cd "$prefix" && pwd)
toolchain="$root/cmake/mingw-w64-x86_64.cmake"
jobs=$(nproc 2>/dev/null || echo 2)

# Only what the writers use: the libraries and their headers, no tools, tests or documents;
# libtiff writes uncompressed files, so it is built without any codec library.
libraries=(libjpeg-turbo libpng1.6 tiff)
stamp() { echo "$prefix/.built-$1"; }

todo=()
for library in "${libraries[@]}"; do
  [ -f "$(stamp "$library")" ] || todo+=("$library")
done
if [ ${#todo[@]} -eq 0 ]; then
  echo "build-mingw-deps: image libraries for MinGW-w64 are in $prefix"
  exit 0
fi

apt_dir="$prefix/apt"
sources="$prefix/sources"
mkdir -p "$apt_dir/lists/partial" "$apt_dir/archives/partial" "$sources"
. /etc/os-release
codename=${VERSION_CODENAME:-bookworm}
echo "deb-src http://deb.debian.org/debian $codename main" >"$apt_dir/sources.list"
apt_options=(
  -o "Dir::Etc::SourceList=$apt_dir/sources.list" -o "Dir::Etc::SourceParts=/dev/null"
  -o "Dir::State::Lists=$apt_dir/lists" -o "Dir::Cache::Archives=$apt_dir/archives"
  -o "Debug::NoLocking=1" -o "APT::Sandbox::User=$(id -un)"
)
if [ -z "$(ls "$apt_dir/lists" | grep Sources || true)" ]; then
  apt-get "${apt_options[@]}" update -qq
fi

fetch() {  # fetch <source package>: prints the unpacked source directory
  local package=$1 dsc
  dsc=$(ls "$sources"/"${package}"_*.dsc 2>/dev/null | head -n 1 || true)
  if [ -z "$dsc" ]; then
    (cd "$sources" && apt-get "${apt_options[@]}" source --download-only -qq "$package" >&2)
    dsc=$(ls "$sources"/"${package}"_*.dsc | head -n 1)
  fi
  local tree="$sources/$package"
  if [ ! -d "$tree" ]; then
    # Debian's patches (security fixes among them) are applied on unpacking.
    dpkg-source --no-check -x "$dsc" "$tree" >&2
  fi
  echo "$tree"
}

configure_and_build() {  # <source> <build> <target> [cmake arguments...]
  local source=$1 build=$2 target=$3
  shift 3
  cmake -S "$source" -B "$build" -DCMAKE_TOOLCHAIN_FILE="$toolchain" -DCMAKE_BUILD_TYPE=Release \
    -DCMAKE_INSTALL_PREFIX="$prefix" -DBUILD_SHARED_LIBS=OFF -DNIVEXA_MINGW_DEPS="$prefix" \
    -Wno-dev "$@" >"$build.log" 2>&1 || { cat "$build.log"; return 1; }
  cmake --build "$build" -j"$jobs" --target "$target" >>"$build.log" 2>&1 ||
    { tail -n 40 "$build.log"; return 1; }
}

mkdir -p "$prefix/include" "$prefix/lib"
for library in "${todo[@]}"; do
  echo "build-mingw-deps: $library"
  source=$(fetch "$library")
  build="$prefix/build/$library"
  rm -rf "$build"
  mkdir -p "$build"
  case $library in
    libjpeg-turbo)
      # The SIMD kernels need nasm; without it the library is plain C (correct, slower).
      configure_and_build "$source" "$build" jpeg-static -DENABLE_SHARED=OFF -DENABLE_STATIC=ON \
        -DWITH_TURBOJPEG=OFF -DWITH_JAVA=OFF
      cp "$build/libjpeg.a" "$prefix/lib/"
      cp "$build/jconfig.h" "$source/jpeglib.h" "$source/jmorecfg.h" "$source/jerror.h" \
        "$prefix/include/"
      ;;
    libpng1.6)
      configure_and_build "$source" "$build" png_static -DPNG_SHARED=OFF -DPNG_STATIC=ON \
        -DPNG_TESTS=OFF -DPNG_EXECUTABLES=OFF -DZLIB_USE_STATIC_LIBS=ON
      cp "$build/libpng16.a" "$prefix/lib/"
      cp "$source/png.h" "$source/pngconf.h" "$build/pnglibconf.h" "$prefix/include/"
      ;;
    tiff)
      configure_and_build "$source" "$build" tiff -Dtiff-tools=OFF -Dtiff-tests=OFF \
        -Dtiff-contrib=OFF -Dtiff-docs=OFF -Dcxx=OFF -Dzlib=OFF -Dlibdeflate=OFF -Dpixarlog=OFF \
        -Djpeg=OFF -Dold-jpeg=OFF -Djbig=OFF -Dlerc=OFF -Dlzma=OFF -Dzstd=OFF -Dwebp=OFF \
        -Dsphinx=OFF
      cp "$build/libtiff/libtiff.a" "$prefix/lib/"
      cp "$source/libtiff/tiff.h" "$source/libtiff/tiffio.h" "$source/libtiff/tiffvers.h" \
        "$build/libtiff/tiffconf.h" "$prefix/include/"
      ;;
  esac
  touch "$(stamp "$library")"
done
rm -rf "$prefix/build"
echo "build-mingw-deps: image libraries for MinGW-w64 are in $prefix"

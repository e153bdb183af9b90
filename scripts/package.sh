#!/usr/bin/env bash
# Builds the distribution packages from this tree.
# Usage: package.sh [--windows] [build-dir]
#   (default)  the Debian packages, one per part of the SDK, into <build-dir>/packages
#              (build-dir default build/package)
#   --windows  the Windows DLL, its import library, the headers, nivexa.exe, the licence and a
#              README in one zip, cross-built with MinGW-w64 (build-dir default build/windows)
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
windows=0
if [ "${1:-}" = --windows ]; then
  windows=1
  shift
fi
version=$(sed -n 's/^project(NivexaSdk VERSION \([0-9.]*\).*/\1/p' "$root/CMakeLists.txt")

if [ "$windows" = 1 ]; then
  dir=${1:-build/windows}
  # Only the DLL and the tool are built here; a tree that also has the tests (scripts/test.sh's)
  # is reused as it is.
  NIVEXA_BUILD_TARGETS=tool "$root/scripts/build-windows.sh" "$dir"
  dir=$(cd "$dir" && pwd)
  name=NivexaSdk-$version-win64
  stage=$dir/zip/$name
  rm -rf "$dir/zip"
  cmake --install "$dir" --prefix "$stage" --component Runtime > /dev/null
  cmake --install "$dir" --prefix "$stage" --component Development > /dev/null
  cmake --install "$dir" --prefix "$stage" --component Tools > /dev/null
  # A program finds its DLLs beside itself: the tool and the DLL share bin/.
  cp "$root/LICENSE" "$root/CHANGELOG.md" "$stage/"
  cp "$root/docs/windows-zip-readme.txt" "$stage/README.txt"
  for file in bin/NivexaSdk_M7QX_TEC.dll bin/nivexa.exe lib/NivexaSdk_M7QX_TEC.lib \
              include/NivexaSdk.h include/NivexaStream.h include/NivexaDevices.h \
              include/NivexaMessages.h; do
    [ -e "$stage/$file" ] || { echo "package: $file is missing from the zip"; exit 1; }
  done
  (cd "$dir/zip" && cmake -E tar cf "$name.zip" --format=zip "$name")
  mv "$dir/zip/$name.zip" "$dir/"
  echo "package: $dir/$name.zip, $(stat -c %s "$dir/$name.zip") bytes" \
       "(DLL $(stat -c %s "$stage/bin/NivexaSdk_M7QX_TEC.dll") bytes)"
  exit 0
fi

for tool in dpkg-shlibdeps dpkg-deb; do
  command -v "$tool" > /dev/null ||
    { echo "package: $tool is missing (scripts/install-deps.sh installs dpkg-dev)"; exit 1; }
done
dir=${1:-build/package}
# Without tests and benchmarks: only what the packages hold is built. With the same compiler
# flags as the normal build, the compiler cache serves most of it.
"$root/scripts/build.sh" "$dir" -DCMAKE_INSTALL_PREFIX=/usr -DNIVEXA_DEBIAN_LAYOUT=ON \
  -DNIVEXA_BUILD_TESTS=OFF -DNIVEXA_BUILD_BENCH=OFF
dir=$(cd "$dir" && pwd)
rm -rf "$dir/packages"
(cd "$dir" && cpack -G DEB -B "$dir/packages" > "$dir/cpack.log" 2>&1) ||
  { cat "$dir/cpack.log"; exit 1; }
rm -rf "$dir/packages/_CPack_Packages"
# CPack's debug-information packages list their files under the staging folder's absolute path
# and carry no documentation: each is rebuilt with its md5sums made again and, as Debian's own
# -dbgsym packages do, its documentation folder linking to that of the package it belongs to.
for ddeb in "$dir"/packages/*.ddeb; do
  [ -e "$ddeb" ] || continue
  tree=$dir/packages/ddeb-tree
  rm -rf "$tree"
  dpkg-deb -R "$ddeb" "$tree"
  package=$(dpkg-deb -f "$ddeb" Package)
  mkdir -p "$tree/usr/share/doc"
  ln -s "${package%-dbgsym}" "$tree/usr/share/doc/$package"
  (cd "$tree" && find usr -type f -exec md5sum {} + | sort -k 2) > "$tree/DEBIAN/md5sums"
  dpkg-deb --root-owner-group -Zxz -b "$tree" "$ddeb" > /dev/null
  rm -rf "$tree"
done
echo "package: Debian packages in $dir/packages"
for package in "$dir"/packages/*.deb "$dir"/packages/*.ddeb; do
  [ -e "$package" ] && printf '  %-60s %9d bytes\n' "$(basename "$package")" "$(stat -c %s "$package")"
done

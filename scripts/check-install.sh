#!/usr/bin/env bash
# Installs a built tree into a temporary prefix and builds two small programs against that
# installation only, as an application developer would: one with pkg-config and a plain compiler
# call, one with find_package(NivexaSdk). Both run against one virtual camera.
# Usage: check-install.sh <build-dir>
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
build=$(cd "$1" && pwd)
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
prefix=$work/prefix

cmake --install "$build" --prefix "$prefix" > "$work/install.log" ||
  { cat "$work/install.log"; exit 1; }
# Only this installation is searched, never the system's own pkg-config folders.
pc=$(find "$prefix" -name NivexaSdk.pc -print -quit)
[ -n "$pc" ] || { echo "check-install: no NivexaSdk.pc under $prefix"; exit 1; }
export PKG_CONFIG_PATH="" PKG_CONFIG_LIBDIR=$(dirname "$pc")
libdir=$(pkg-config --variable=libdir NivexaSdk)

# What the installation must hold: the library under its soname, the headers, the dialogs'
# module beside the library, the tool, the viewer with its menu entry, and the two ways of finding
# them.
soname=$(objdump -p "$libdir/libNivexaSdk_M7QX_TEC.so" | awk '$1 == "SONAME" { print $2 }')
for file in "$libdir/$soname" "$prefix/include/NivexaSdk.h" "$prefix/include/NivexaMessages.h" \
            "$prefix/include/NivexaWindows.h" "$libdir/libNivexaSdkDialogs.so" "$prefix/bin/nivexa" \
            "$prefix/bin/nivexa-viewer" "$prefix/share/applications/nivexa-viewer.desktop" \
            "$libdir/pkgconfig/NivexaSdk.pc" \
            "$libdir/cmake/NivexaSdk/NivexaSdkConfig.cmake"; do
  [ -e "$file" ] || { echo "check-install: $file is missing"; exit 1; }
done
echo "check-install: $(pkg-config --modversion NivexaSdk), soname $soname"

run() {
  # Each run its own device-table namespace, so that parallel test runs never meet.
  NIVEXA_VIRTUAL_CAMERAS=1 NIVEXA_SHM_PREFIX="nivexa-install-$$-" \
    NIVEXA_REGISTRY_FILE="$work/registry.reg" "$@"
}

# pkg-config and a plain compiler call, as strict as our own build.
cc -std=c99 -Wall -Wextra -Werror $(pkg-config --cflags NivexaSdk) \
  "$root/examples/linux/first_program.c" $(pkg-config --libs NivexaSdk) \
  -Wl,-rpath,"$libdir" -o "$work/first_pkgconfig"
run "$work/first_pkgconfig"

# find_package with the imported target.
cmake -S "$root/examples/linux" -B "$work/first_cmake" -DCMAKE_PREFIX_PATH="$prefix" \
  -DCMAKE_C_FLAGS="-Wall -Wextra -Werror" > "$work/configure.log" ||
  { cat "$work/configure.log"; exit 1; }
cmake --build "$work/first_cmake" > "$work/build.log" || { cat "$work/build.log"; exit 1; }
run "$work/first_cmake/first_program"

# The GStreamer plugin, where the tree built it, is installed and finds the installed library.
if [ -e "$build/gst-plugins/libgstnivexa.so" ]; then
  plugin=$libdir/gstreamer-1.0/libgstnivexa.so
  [ -e "$plugin" ] || { echo "check-install: $plugin is missing"; exit 1; }
  run env GST_PLUGIN_PATH="$libdir/gstreamer-1.0" GST_REGISTRY="$work/gst-registry.bin" \
    gst-inspect-1.0 nivexasrc > /dev/null
fi

# The installed tool finds the installed library by itself.
run "$prefix/bin/nivexa" --version > /dev/null
# The installed Python package loads the library installed beside it, with no variable naming
# a library and no library path.
python=python3
"$python" -c "import numpy" 2> /dev/null || python=/usr/bin/python3
(cd "$work" && run env -u NIVEXA_SDK_LIBRARY -u LD_LIBRARY_PATH \
  PYTHONPATH="$prefix/lib/python3/dist-packages" "$python" -c '
import nivexa, nivexa._library as found
with nivexa.open() as cam:
    image = cam.snapshot()
assert found.library()._name.startswith(found.__file__.rsplit("/", 1)[0]), found.library()._name
print("check-install: Python package", nivexa.sdk_version(), "snapshot", image.shape)')
echo "check-install: both programs, the tool and the Python package ran against the installed SDK"

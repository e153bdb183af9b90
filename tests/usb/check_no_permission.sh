#!/bin/sh
# A camera whose device node the user may not open, as on a machine without the udev rule: run
# as an unprivileged user on the emulated bus, `nivexa list` must name the camera and the missing
# rule instead of passing over it or falling back to a virtual camera, and the library's log must
# say the same.
# Usage (under the emulator, as root): check_no_permission.sh NIVEXA_TOOL
set -u
nivexa=$1
unprivileged=65534
# The test bed is the emulator's, made by root: the user may read it but not the camera's node.
chmod -R a+rwX "$UMOCKDEV_DIR"
for node in "$UMOCKDEV_DIR"/dev/bus/usb/*/*; do
  chmod 600 "$node"
done
# The build tree may lie where the user cannot reach (a root home): the tool and the SDK library
# it loads are run from a copy in the test bed.
copy="$UMOCKDEV_DIR/unprivileged-bin"
mkdir -p "$copy"
cp "$nivexa" "$copy/"
library=$(ldd "$nivexa" | awk '/NivexaSdk/ { print $3 }')
cp -L "$library" "$copy/"
chmod -R a+rX "$copy"
out=$(setpriv --reuid=$unprivileged --regid=$unprivileged --clear-groups \
  env LD_LIBRARY_PATH="$copy" NIVEXA_LOG=transport:error \
  NIVEXA_REGISTRY_FILE="$UMOCKDEV_DIR/unprivileged.reg" "$copy/$(basename "$nivexa")" list 2>&1)
status=$?
echo "$out"
fail=0
echo "$out" | grep -Eq "camera 04b4:[0-9a-f]{4} at USB port 1-1: no permission \(install the udev rule, see README\)" ||
  { echo "FAIL: the camera without permission is not named"; fail=1; }
echo "$out" | grep -q "the udev rule 70-nivexa-camera.rules is missing" ||
  { echo "FAIL: the library's log does not name the missing rule"; fail=1; }
if echo "$out" | grep -q "virtual camera"; then
  echo "FAIL: a virtual camera stood in for the attached one"
  fail=1
fi
[ "$status" -ne 0 ] || { echo "FAIL: list succeeded with no camera it could open"; fail=1; }
[ "$fail" -eq 0 ] && echo "the camera without permission was reported"
exit "$fail"

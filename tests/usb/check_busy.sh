#!/bin/sh
# A camera that another program holds: `nivexa list` passes over it with a log line saying so and
# lists the others; once the other program lets go, it is listed again.
# Usage (under the emulator with two cameras): check_busy.sh NIVEXA_TOOL
set -u
nivexa=$1
control=${NIVEXA_USB_EMULATOR_CONTROL:?not run under the emulator}
fail=0
echo "hold 1" > "$control"
sleep 0.2
held=$(NIVEXA_LOG=transport:warning "$nivexa" list 2>&1)
echo "$held"
echo "$held" | grep -Eq "camera .*#1-2#.* is in use by another program" ||
  { echo "FAIL: no log line for the held camera"; fail=1; }
echo "$held" | grep -Eq "^0 +NivexaM7QXTEC_01 +VC0001" ||
  { echo "FAIL: the free camera is not listed"; fail=1; }
if echo "$held" | grep -q "VC0002"; then
  echo "FAIL: the held camera was opened"
  fail=1
fi
echo "letgo 1" > "$control"
sleep 0.2
free=$("$nivexa" list 2>&1)
echo "$free"
echo "$free" | grep -Eq "VC0002" || { echo "FAIL: the camera let go is not listed"; fail=1; }
[ "$fail" -eq 0 ] && echo "the held camera was passed over and came back"
exit "$fail"

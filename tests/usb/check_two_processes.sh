#!/bin/sh
# Two programs on one emulated bus at once, each streaming from a camera of its own, while a
# third lists the cameras: the device table they share names both cameras to each, and neither
# program disturbs the other's stream.
# Usage: check_two_processes.sh NIVEXA_TOOL SCRATCH_DIR
set -u
nivexa=$1
scratch=$2
mkdir -p "$scratch"
# Two full-rate streams of full frames are more than the emulated bus moves (every byte crosses
# the one emulator loop both cameras share): on a busy machine one program could see no frame in
# its seconds at all. At 20 frames a second each both keep up, and a stream that one program
# holds up in the other still shows.
exposure=0.05
# The second starts once the first has its camera: two programs that open the library at the
# very same instant can still miss each other's cameras (each one's start opens camera 0 for a
# moment, and a camera another program holds is left out of the table it builds).
"$nivexa" stream --device 0 --exposure "$exposure" --seconds 4 > "$scratch/first.txt" 2>&1 &
first_pid=$!
sleep 1
"$nivexa" stream --device 1 --exposure "$exposure" --seconds 3 > "$scratch/second.txt" 2>&1 &
second_pid=$!
sleep 1
"$nivexa" list > "$scratch/list.txt" 2>&1
listed=$?
wait "$first_pid"
first=$?
wait "$second_pid"
second=$?
status=0
for name in first second; do
  # At the camera's own timing a host slowed down (a sanitizer, two streams through the
  # emulation) may ask for a frame late and see a gap in the counter, as with a real camera:
  # frames must come and none may fail, but a gap is counted, not refused.
  if ! grep -Eq "summary: [1-9][0-9]* frames .* 0 frame errors" "$scratch/$name.txt"; then
    echo "the $name stream did not deliver its frames:"
    cat "$scratch/$name.txt"
    status=1
  fi
done
if [ "$first" -ne 0 ] || [ "$second" -ne 0 ] || [ "$listed" -ne 0 ]; then
  echo "exit statuses: first $first, second $second, list $listed"
  status=1
fi
if [ "$(grep -Ec '^[01] +NivexaM7QXTEC_0[12] +VC000[12]' "$scratch/list.txt")" -ne 2 ]; then
  echo "the list taken while both cameras streamed does not name both:"
  cat "$scratch/list.txt"
  status=1
fi
[ "$status" -eq 0 ] && echo "two processes streamed side by side"
exit "$status"

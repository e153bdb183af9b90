#!/usr/bin/env bash
# nivexa record against a virtual camera at its own frame timing, at full resolution: one second
# fits a plain file; the README's five seconds need the extended layout, usually in more than one
# RIFF chunk. The tool must count the frames of every chunk, find there every frame the stream
# delivered, and report the file's real size.
set -euo pipefail
tool=$1
folder=$(mktemp -d)
trap 'rm -rf "$folder"' EXIT
export NIVEXA_VIRTUAL_CAMERAS=noise=off
export NIVEXA_REGISTRY_FILE="$folder/registry.reg"
fail() { echo "record_tool: $*" >&2; exit 1; }
gibibyte=$((1 << 30))

for case in "1 plain" "5 extended"; do
  read -r seconds layout <<<"$case"
  file="$folder/clip-$seconds.avi"
  out=$("$tool" record -o "$file" --seconds "$seconds" 2>"$folder/errors") ||
    fail "$seconds s: exit status $?: $(cat "$folder/errors")"
  echo "$out"
  [ ! -s "$folder/errors" ] || fail "$seconds s: said on stderr: $(cat "$folder/errors")"
  pattern='^recorded .* \(([0-9]+) bytes, ([a-z]+) layout, ([0-9]+) RIFF chunks?\): ([0-9]+) frames, ([0-9.]+) fps, ([0-9]+) delivered, [0-9]+ lost, [0-9]+ dropped, 0 frame errors$'
  [[ $out =~ $pattern ]] || fail "$seconds s: unexpected report: $out"
  bytes=${BASH_REMATCH[1]} reported_layout=${BASH_REMATCH[2]} chunks=${BASH_REMATCH[3]}
  frames=${BASH_REMATCH[4]} fps=${BASH_REMATCH[5]} delivered=${BASH_REMATCH[6]}
  # The frames counted in the file are every frame the stream delivered.
  [[ $frames == "$delivered" ]] || fail "$seconds s: $frames frames in the file, $delivered delivered"
  [[ $bytes == $(stat -c %s "$file") ]] || fail "$seconds s: reported $bytes bytes"
  [[ $reported_layout == "$layout" ]] || fail "$seconds s: $reported_layout layout, not $layout"
  ((frames >= 2)) || fail "$seconds s: $frames frames"
  [[ $fps != 0.00 ]] || fail "$seconds s: no frame rate"
  if ((bytes > gibibyte && chunks < 2)); then fail "$seconds s: $bytes bytes in one RIFF chunk"; fi
  if command -v ffprobe >/dev/null; then
    packets=$(ffprobe -v error -count_packets -select_streams v:0 \
      -show_entries stream=nb_read_packets -of default=noprint_wrappers=1:nokey=1 "$file")
    [[ $packets == "$frames" ]] || fail "$seconds s: ffprobe reads $packets frames, not $frames"
  fi
  rm -f "$file"
done
echo "record_tool: ok"

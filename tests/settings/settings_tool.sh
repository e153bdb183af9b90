#!/usr/bin/env bash
# nivexa-diag settings: show lists what is stored, reset asks for --yes and then removes it.
set -euo pipefail
tool=$1
folder=$(mktemp -d)
trap 'rm -rf "$folder"' EXIT
export NIVEXA_REGISTRY_FILE="$folder/registry.reg"
fail() { echo "settings_tool: $*" >&2; exit 1; }

"$tool" settings | grep -q "no camera position has stored settings" || fail "empty store not reported"
printf '%s\r\n\r\n%s\r\n%s\r\n%s\r\n%s\r\n' 'Windows Registry Editor Version 5.00' \
  '[HKEY_CURRENT_USER\Software\Oblent\NivexaM7QXTEC3R5Sdk\Camera_00\Gain]' '"Global"=dword:00000040' \
  '[HKEY_CURRENT_USER\Software\Oblent\NivexaM7QXTEC3R5Sdk\Size_00]' '"EH"=dword:00000280' \
  > "$NIVEXA_REGISTRY_FILE"
"$tool" settings show | grep -q "Global = 64" || fail "stored gain not shown"
if "$tool" settings reset 2>/dev/null; then fail "reset without --yes went ahead"; fi
"$tool" settings show | grep -q "Global = 64" || fail "reset without --yes removed settings"
"$tool" settings reset --yes | grep -q "removed the stored settings of 1 camera position" ||
  fail "reset did not report its work"
"$tool" settings | grep -q "no camera position has stored settings" || fail "reset left settings"
grep -q '"EH"=dword:00000280' "$NIVEXA_REGISTRY_FILE" || fail "reset removed the product presets"
if "$tool" settings frobnicate 2>/dev/null; then fail "unknown action accepted"; fi
echo "settings_tool: ok"

#!/usr/bin/env bash
# Builds the SDK and the command-line tool, then runs the tool.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
cd "$root"
"$root/scripts/install-deps.sh"
"$root/scripts/build.sh" build/release
build/release/tools/nivexa/nivexa version

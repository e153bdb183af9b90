#!/usr/bin/env bash
# Runs one Windows program under Wine in the given prefix, creating the prefix on first use.
# Usage: wine-run.sh <prefix> <program.exe> [arguments...]
# The prefix uses the null graphics driver: the suites that need no display run without X.
set -euo pipefail
prefix=$1
shift
export WINEPREFIX=$prefix
export WINEDEBUG=${WINEDEBUG:--all}
# No Mono or Gecko installers: nothing here needs .NET or HTML, and there is no network.
export WINEDLLOVERRIDES=${WINEDLLOVERRIDES:-mscoree,mshtml=}
wine=$(command -v wine64 || command -v wine || echo /usr/lib/wine/wine64)

if [ ! -f "$prefix/.nivexa-ready" ]; then
  mkdir -p "$prefix"
  # Parallel tests may arrive here together; one of them builds the prefix.
  exec 9>"$prefix.lock"
  flock 9
  if [ ! -f "$prefix/.nivexa-ready" ]; then
    wineboot -i >/dev/null 2>&1
    "$wine" reg add 'HKCU\Software\Wine\Drivers' /v Graphics /d null /f >/dev/null 2>&1
    wineserver -w
    touch "$prefix/.nivexa-ready"
  fi
  flock -u 9
  exec 9>&-
fi
exec "$wine" "$@"

#!/usr/bin/env bash
# Runs one Windows program under Wine in the given prefix, creating the prefix on first use.
# Usage: wine-run.sh <prefix> <program.exe> [arguments...]
# The prefix uses the null graphics driver: the suites that need no display run without X.
set -euo pipefail
prefix=$1
shift
export WINEPREFIX=$prefix
# Wine's own errors when it cannot load a program or one of its DLLs, or when a program dies of
# an exception, are kept: without them such a program ends with no word of why.
export WINEDEBUG=${WINEDEBUG:--all,err+module,err+seh}
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

# A test program creates the file named by NIVEXA_TEST_STARTED_FILE as soon as its own code runs.
# One that failed without it never started: Wine's loader gave up on it, and its own messages
# (err+module above) say why. That is reported as such, and the failure stands: a program is never
# run a second time, so nothing the loader does wrong is hidden.
started=$(mktemp -u "${TMPDIR:-/tmp}/nivexa-started.XXXXXXXX")
trap 'rm -f "$started"' EXIT
program=$(basename "$1")
status=0
NIVEXA_TEST_STARTED_FILE="Z:$started" "$wine" "$@" || status=$?
if [ "$status" -ne 0 ]; then
  echo "wine-run: $program ended with status $status" >&2
  if [[ $program == *_tests.exe ]] && [ ! -e "$started" ]; then
    echo "wine-run: $program never reached its own code: Wine could not start it" >&2
  fi
fi
exit "$status"

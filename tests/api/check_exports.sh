#!/usr/bin/env bash
# Compares the dynamic symbols a shared library defines with the function names its public
# headers declare. Usage: check_exports.sh <library> <header>...
set -euo pipefail
library=$1
shift
expected=$(grep -ohE '\b(Nivexa|NivexaMsg)_[A-Za-z0-9_]+\s*\(' "$@" | tr -d ' (' | sort -u)
actual=$(nm -D --defined-only "$library" | awk '{print $3}' | sed 's/@.*//' | sort -u)
missing=$(comm -23 <(echo "$expected") <(echo "$actual"))
extra=$(comm -13 <(echo "$expected") <(echo "$actual"))
count=$(echo "$expected" | grep -c '^Nivexa_' || true)
status=0
if [ "$count" -ne 149 ]; then
  echo "headers declare $count Nivexa_ functions, expected 149"
  status=1
fi
if [ -n "$missing" ]; then
  echo "declared but not exported:"; echo "$missing" | sed 's/^/  /'
  status=1
fi
if [ -n "$extra" ]; then
  echo "exported but not declared:"; echo "$extra" | sed 's/^/  /'
  status=1
fi
[ $status -eq 0 ] && echo "exports match the headers: $(echo "$actual" | wc -l) names"
exit $status

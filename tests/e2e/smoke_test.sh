#!/usr/bin/env bash
# Runs the real setup.exe under Wine with nothing else of the product around
# and checks that it starts, constructs its application object, passes its
# checks and ends with exit code 0. The stages come from its debug output.
#   smoke_test.sh <wine-run.sh> <build folder>
set -u
wine_run=$1
build=$2
log=$(mktemp)
trap 'rm -f "$log"' EXIT
WINEDEBUG=+debugstr timeout 120 "$wine_run" "$build/setup.exe" </dev/null >/dev/null 2>"$log"
code=$?
fail=0
if [ "$code" -ne 0 ]; then
  echo "setup.exe ended with exit code $code"
  fail=1
fi
expected="processor locale support hooks application InitInstance checks passed"
seen=$(grep -o 'qv-startup: [A-Za-z ]*' "$log" | sed 's/^qv-startup: //; s/ *$//' | tr '\n' ' ' | sed 's/ $//')
case "$seen" in
  "$expected"*) ;;
  *) echo "stages seen:     '$seen'"; echo "stages expected: '$expected'"; fail=1 ;;
esac
if [ $fail -ne 0 ]; then
  tail -n 40 "$log"
  echo "0 passed, 1 failed"
  exit 1
fi
echo "setup.exe: $seen; exit code 0"
exit 0

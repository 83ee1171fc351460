#!/usr/bin/env bash
# Runs the payload packer under Wine with its output in a log file: Wine's
# service processes inherit the standard handles, and the build would wait
# for them if they held its pipes.
#   run-packer.sh <log> <wine-run.sh> <packer.exe> <manifest> <output>
set -u
log=$1; shift
if [ ! -x "$1" ] || [ ! -f "$2" ]; then
  echo "run-packer.sh: cannot run the packer ($1 $2); a 32-bit build on a 64-bit-only machine needs the x86_64 build first" >&2
  exit 1
fi
"$@" >"$log" 2>&1 </dev/null
rc=$?
cat "$log"
exit $rc

#!/usr/bin/env bash
# Runs the payload packer under Wine.
#
#   run-packer.sh <log> [--build <source> <x86_64 build>] <wine-run.sh> <packer.exe> <manifest> <output>
#
# Wine's output goes to <log> (and is shown afterwards): Wine's service
# processes inherit the standard handles, and the build would wait for them
# if they held its pipes.
#
# --build: this build's own programs cannot run here (a 32-bit build on a
# machine with 64-bit Wine only), so the packer of the x86_64 build beside it
# is used; it is configured and brought up to date first.
set -euo pipefail
log=$1; shift
if [ "$1" = --build ]; then
  source=$2 sibling=$3; shift 3
  if [ ! -f "$sibling/CMakeCache.txt" ]; then
    bash "$source/tools/bootstrap-deps.sh" x86_64
    cmake -S "$source" -B "$sibling" -G Ninja -DCMAKE_BUILD_TYPE=Release \
      -DCMAKE_TOOLCHAIN_FILE="$source/cmake/toolchain-mingw-x86_64.cmake" >/dev/null
  fi
  cmake --build "$sibling" --target payload_packer -j 2 >/dev/null
fi
set +e
"$@" >"$log" 2>&1 </dev/null
rc=$?
cat "$log"
exit $rc

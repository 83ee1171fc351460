#!/usr/bin/env bash
# Builds setup.exe and the tests from a fresh or an existing checkout:
# installs the packages, builds the third-party libraries once, configures
# and builds.
#
#   build.sh [i686|x86_64]...   default: i686, into build/i686 (build/x86_64)
#
# QV_BUILD_ROOT moves the build folders (default: build/ in the checkout).
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
build_root=${QV_BUILD_ROOT:-$root/build}
[ $# -gt 0 ] || set -- i686
bash "$root/tools/install-packages.sh"
for arch in "$@"; do
  bash "$root/tools/bootstrap-deps.sh" "$arch"
  build="$build_root/$arch"
  if [ ! -f "$build/CMakeCache.txt" ]; then
    cmake -S "$root" -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=Release \
      -DCMAKE_TOOLCHAIN_FILE="$root/cmake/toolchain-mingw-$arch.cmake"
  fi
  cmake --build "$build" -j "$(nproc)"
done

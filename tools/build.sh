#!/usr/bin/env bash
# Builds setup.exe and the tests from a fresh or an existing checkout:
# installs the packages, builds the third-party libraries once, configures
# and builds.
#
#   build.sh [i686|x86_64]...   default: i686, into build/i686 (build/x86_64)
#   build.sh runnable           i686, and x86_64 too when this machine cannot
#                               run 32-bit Wine; the last line printed names
#                               the build that Wine can run here
#
# QV_BUILD_ROOT moves the build folders (default: build/ in the checkout).
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
build_root=${QV_BUILD_ROOT:-$root/build}
[ $# -gt 0 ] || set -- i686
bash "$root/tools/install-packages.sh"
runnable=""
if [ "$1" = runnable ]; then
  runnable=${QV_WINE_ARCH:-$(bash "$root/tools/wine-arch.sh")}
  if [ "$runnable" = i686 ]; then
    set -- i686
  else
    echo "This machine cannot run 32-bit Wine: x86_64 is built too, for running under 64-bit Wine." >&2
    set -- i686 x86_64
  fi
fi
for arch in "$@"; do
  bash "$root/tools/bootstrap-deps.sh" "$arch"
  build="$build_root/$arch"
  if [ ! -f "$build/CMakeCache.txt" ]; then
    cmake -S "$root" -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=Release \
      -DCMAKE_TOOLCHAIN_FILE="$root/cmake/toolchain-mingw-$arch.cmake"
  fi
  cmake --build "$build" -j "$(nproc)"
done
[ -z "$runnable" ] || echo "$runnable"

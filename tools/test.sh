#!/usr/bin/env bash
# Builds everything and runs every test under Wine, headless under Xvfb.
#
# The program that ships is the i686 build. Its tests run in a 32-bit Wine
# prefix where the machine can run 32-bit Wine; where it cannot (a kernel
# without 32-bit user code), the same sources are built for x86_64 and the
# tests run under 64-bit Wine, and the i686 setup.exe is still checked
# (PE32, GUI, imports, manifest, version resource) without running it.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
build_root=${QV_BUILD_ROOT:-$root/build}
bash "$root/tools/build.sh" runnable | tee "$build_root.log"
arch=$(tail -n 1 "$build_root.log")

status=0
if [ "$arch" != i686 ]; then
  (cd "$build_root/i686" && ctest --output-on-failure -L static) || status=1
fi
cd "$build_root/$arch"
# One X server for the whole run: a wineserver started without a display
# cannot show windows later, so every Wine process of the run shares it.
xvfb-run -a -s "-screen 0 1024x768x24" \
  ctest --output-on-failure --timeout 600 -j "$(nproc)" "$@" || status=1
exit $status

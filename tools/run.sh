#!/usr/bin/env bash
# Builds setup.exe and runs it under Wine, in a prefix of its own (never the
# tests' prefix): on the user's display when there is one, otherwise under
# Xvfb, saving a screenshot of what it shows to build/screenshot.png.
#
# The i686 setup.exe is what ships. On a machine that cannot run 32-bit Wine
# (a kernel without 32-bit user code) the x86_64 build of the same sources
# is run instead, and this script says so.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
build_root=${QV_BUILD_ROOT:-$root/build}
bash "$root/tools/build.sh" runnable | tee "$build_root.log"
arch=$(tail -n 1 "$build_root.log")
build="$build_root/$arch"
run="$build/wine-run.sh"
echo "setup.exe: $build_root/i686/setup.exe"
# A Wine prefix of its own, made on first use and kept: an installation
# done here stays here (a second run finds the product installed), and the
# tests' prefix never sees it. Remove the folder to start afresh.
export QV_WINEPREFIX="$build/run-prefix" QV_WINEHOME="$build/run-home"
echo "Wine prefix: $QV_WINEPREFIX"
# Made before the program starts (the first time takes a while), so that
# the wait for the program's window below is not spent on it.
"$run" --prefix >/dev/null

if [ -n "${DISPLAY:-}" ]; then
  rc=0
  "$run" "$build/setup.exe" || rc=$?
  echo "setup.exe ended with exit code $rc"
  exit 0
fi

shot="$build_root/screenshot.png"
# A display of our own for the run: the prefix's wineserver must see it
# from the start, so it is stopped first and started again under Xvfb.
"$run" --stop
display=:$(( 90 + RANDOM % 100 ))
Xvfb "$display" -screen 0 1024x768x24 -nolisten tcp >/dev/null 2>&1 &
xvfb=$!
trap 'kill $xvfb 2>/dev/null; true' EXIT
export DISPLAY=$display
sleep 1
"$run" "$build/setup.exe" &
setup=$!
# Give the program time to start and show its first window.
for _ in $(seq 1 ${QV_RUN_WAIT:-8}); do
  sleep 1
  kill -0 $setup 2>/dev/null || break
done
import -window root "$shot"
if kill -0 $setup 2>/dev/null; then
  echo "screenshot: $shot"
  echo "setup.exe is still running (showing its window); stopping it."
  "$run" --stop
else
  echo "screenshot: $shot (setup.exe had already ended without a window left open: it shows the empty desktop)"
fi
wait $setup 2>/dev/null && rc=0 || rc=$?
echo "setup.exe ended with exit code $rc"
"$run" --stop

#!/usr/bin/env bash
# Runs one test program in a Wine prefix of its own: a copy of the build's
# prepared prefix with its own wineserver, home folder, registry and kernel
# objects, removed again afterwards. Tests that install the product change
# machine-wide state (Program Files, the registry, HKEY_CLASSES_ROOT) that
# no other test may see.
#
#   own_prefix.sh <wine-run.sh> <prefix folder> <program.exe> [args...]
set -u
run=$1 prefix=$2; shift 2
shared=$("$run" --prefix) || exit 1
home="$prefix.home"
cleanup() {
  QV_WINEPREFIX="$prefix" QV_WINEHOME="$home" "$run" --stop
  rm -rf "$prefix" "$home"
}
rm -rf "$prefix" "$home"
mkdir -p "$(dirname "$prefix")" "$home"
cp -a "$shared" "$prefix"
# The user's Desktop, Documents and the like point into the build's home:
# give the copy its own.
for link in "$prefix"/drive_c/users/*/*; do
  if [ -L "$link" ]; then
    rm "$link"
    mkdir -p "$home/$(basename "$link")"
    ln -s "$home/$(basename "$link")" "$link"
  fi
done
trap cleanup EXIT
export QV_WINEPREFIX="$prefix" QV_WINEHOME="$home"
"$run" --start
"$run" "$@"

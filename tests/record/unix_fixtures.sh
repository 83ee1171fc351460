#!/bin/sh
# Runs a test program with two things that only the Unix side can make:
#   - a full disk: a 128 KB tmpfs behind the Wine drive Q: (QV_FULL_DISK=Q:),
#     or QV_FULL_DISK_SKIP with the reason when mounting is not permitted;
#   - a dangling symbolic link "dangling.dat" to "target.dat" in the folder
#     QV_LINK_FOLDER (a Unix path).
# Everything is removed again when the program ends, however it ends;
# "--cleanup" removes what a killed run left behind (a ctest cleanup fixture).
#   unix_fixtures.sh [--cleanup] <build folder> [program args...]
set -u
mode=run
if [ "$1" = --cleanup ]; then mode=cleanup; shift; fi
build=$1; shift
prefix=${QV_WINEPREFIX:-$build/wine/prefix}
state=$build/tests/record/unix-fixtures
mnt=$state/full-disk
drive=$prefix/dosdevices/q:

cleanup() {
  if [ -L "$drive" ] && [ "$(readlink "$drive")" = "$mnt" ]; then rm -f "$drive"; fi
  if mountpoint -q "$mnt" 2>/dev/null; then umount "$mnt" || umount -l "$mnt"; fi
  if ! mountpoint -q "$mnt" 2>/dev/null; then rm -rf "$state"; fi
}
cleanup
[ "$mode" = cleanup ] && exit 0
trap cleanup EXIT
trap 'exit 130' INT TERM HUP

mkdir -p "$mnt" "$state/links"
if [ -e "$drive" ] || [ -L "$drive" ]; then
  export QV_FULL_DISK_SKIP="the Wine drive Q: is in use in this prefix"
elif mount -t tmpfs -o size=128k qv-full-disk "$mnt" 2>"$state/mount.err"; then
  ln -s "$mnt" "$drive"
  export QV_FULL_DISK=Q:
else
  export QV_FULL_DISK_SKIP="mounting a tmpfs is not permitted here: $(cat "$state/mount.err")"
fi
ln -s "$state/links/target.dat" "$state/links/dangling.dat"
export QV_LINK_FOLDER="$state/links"
"$build/wine-run.sh" "$@"

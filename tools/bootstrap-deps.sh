#!/usr/bin/env bash
# Fetches the third-party sources from Debian's source packages and builds them
# as static libraries for one mingw target (i686, the default, or x86_64) into
# a cache folder (.deps/<arch> in the project root, ignored by git). Each step
# leaves a stamp, so a second run only checks the stamps.
#
#   bootstrap-deps.sh [i686|x86_64]
#
#   boost1.81  -> headers (one merged include tree), libboost_filesystem.a,
#                 libboost_iostreams.a (the bzip2 filter only)
#   bzip2      -> libbz2.a (stdcall entry points, see BZ_EXPORT below)
#   googletest -> libgtest.a, libgtest_main.a, libgmock.a
set -euo pipefail

root=$(cd "$(dirname "$0")/.." && pwd)
arch=${1:-i686}
deps=${QV_DEPS_DIR:-$root/.deps}
src=$deps/src/$arch
prefix=$deps/$arch
downloads=$deps/downloads
mkdir -p "$src" "$downloads" "$prefix/include" "$prefix/lib"

CXX=$arch-w64-mingw32-g++-posix
CC=$arch-w64-mingw32-gcc-posix
AR=$arch-w64-mingw32-ar
jobs=$(nproc)
# Vista is the oldest Windows the installer supports; keep newer imports out.
common=(-O2 -D_WIN32_WINNT=0x0600 -DWINVER=0x0600 -DUNICODE -D_UNICODE)

fetch() { # source package name
  local pkg=$1
  if ! ls "$downloads/${pkg}_"*.orig.tar.* >/dev/null 2>&1; then
    (cd "$downloads" && apt-get source --download-only "$pkg" >/dev/null 2>&1)
  fi
  ls "$downloads/${pkg}_"*.orig.tar.* | head -n 1
}

compile_all() { # out-dir compiler flags... -- sources...
  local out=$1; shift
  local cc=$1; shift
  local flags=() srcs=()
  while [ "$1" != "--" ]; do flags+=("$1"); shift; done; shift
  srcs=("$@")
  mkdir -p "$out"
  printf '%s\n' "${srcs[@]}" | xargs -P "$jobs" -I{} sh -c \
    'f="$1"; shift; o="$0/$(basename "$f").o"; "$@" -c "$f" -o "$o"' "$out" {} "$cc" "${flags[@]}"
}

# --- bzip2 -------------------------------------------------------------------
if [ ! -f "$prefix/.bzip2.done" ]; then
  tarball=$(fetch bzip2)
  rm -rf "$src/bzip2"; mkdir -p "$src/bzip2"
  tar -xzf "$tarball" -C "$src/bzip2" --strip-components=1
  b=$src/bzip2
  # On _WIN32 bzlib.h declares the entry points WINAPI; BZ_EXPORT makes it
  # declare functions (not DLL import pointers). Consumers define it too.
  compile_all "$b/obj" "$CC" "${common[@]}" -DBZ_EXPORT= -I"$b" -- \
    "$b"/{blocksort,huffman,crctable,randtable,compress,decompress,bzlib}.c
  rm -f "$prefix/lib/libbz2.a"
  $AR rcs "$prefix/lib/libbz2.a" "$b"/obj/*.o
  cp "$b/bzlib.h" "$prefix/include/"
  touch "$prefix/.bzip2.done"
fi

# --- Boost -------------------------------------------------------------------
if [ ! -f "$prefix/.boost.done" ]; then
  tarball=$(fetch boost1.81)
  rm -rf "$src/boost" "$prefix/include/boost"
  # The orig tarball has Boost's git layout: every library brings its own
  # include/boost folder. Extract only those and the sources we compile, then
  # merge the include folders into one tree.
  tar -xJf "$tarball" -C "$src" --wildcards \
    'boost/libs/*/include/*' \
    'boost/libs/filesystem/src/*' 'boost/libs/iostreams/src/bzip2.cpp'
  mkdir -p "$prefix/include/boost"
  for inc in "$src"/boost/libs/*/include "$src"/boost/libs/numeric/*/include; do
    [ -d "$inc/boost" ] && cp -a "$inc/boost/." "$prefix/include/boost/"
  done
  fs=$src/boost/libs/filesystem/src
  # Boost.Filesystem's sources use std::atomic_ref when the standard has it.
  compile_all "$src/boost/obj-fs" "$CXX" "${common[@]}" -std=c++20 \
    -DBOOST_FILESYSTEM_SOURCE -DBOOST_FILESYSTEM_STATIC_LINK=1 -DBOOST_FILESYSTEM_HAS_BCRYPT \
    -DBOOST_ALL_NO_LIB -I"$prefix/include" -I"$fs" -- "$fs"/*.cpp
  compile_all "$src/boost/obj-io" "$CXX" "${common[@]}" -std=c++17 \
    -DBOOST_IOSTREAMS_STATIC_LINK=1 -DBOOST_ALL_NO_LIB -DBZ_EXPORT= \
    -I"$prefix/include" -- "$src/boost/libs/iostreams/src/bzip2.cpp"
  rm -f "$prefix/lib/libboost_filesystem.a" "$prefix/lib/libboost_iostreams.a"
  $AR rcs "$prefix/lib/libboost_filesystem.a" "$src"/boost/obj-fs/*.o
  $AR rcs "$prefix/lib/libboost_iostreams.a" "$src"/boost/obj-io/*.o
  touch "$prefix/.boost.done"
fi

# --- GoogleTest --------------------------------------------------------------
if [ ! -f "$prefix/.googletest.done" ]; then
  tarball=$(fetch googletest)
  rm -rf "$src/googletest"; mkdir -p "$src/googletest"
  tar -xzf "$tarball" -C "$src/googletest" --strip-components=1
  g=$src/googletest
  flags=("${common[@]}" -std=c++17 -I"$g/googletest/include" -I"$g/googletest"
         -I"$g/googlemock/include" -I"$g/googlemock")
  compile_all "$g/obj" "$CXX" "${flags[@]}" -- \
    "$g/googletest/src/gtest-all.cc" "$g/googletest/src/gtest_main.cc" "$g/googlemock/src/gmock-all.cc"
  rm -f "$prefix"/lib/libgtest*.a "$prefix/lib/libgmock.a"
  $AR rcs "$prefix/lib/libgtest.a" "$g/obj/gtest-all.cc.o"
  $AR rcs "$prefix/lib/libgtest_main.a" "$g/obj/gtest_main.cc.o"
  $AR rcs "$prefix/lib/libgmock.a" "$g/obj/gmock-all.cc.o"
  rm -rf "$prefix/include/gtest" "$prefix/include/gmock"
  cp -a "$g/googletest/include/gtest" "$g/googlemock/include/gmock" "$prefix/include/"
  touch "$prefix/.googletest.done"
fi
echo "dependencies ready in $prefix"

#!/usr/bin/env bash
# Installs the Debian packages the build and the tests need: the mingw-w64
# cross compilers (i686 for the program that ships, x86_64 for the test build
# on machines that cannot run 32-bit Wine), CMake, Wine with its 32-bit and
# 64-bit halves, Xvfb and the screenshot tools.
# Idempotent: does nothing when everything is already there.
set -euo pipefail

packages=(g++-mingw-w64-i686 binutils-mingw-w64-i686 g++-mingw-w64-x86-64 binutils-mingw-w64-x86-64
          cmake ninja-build make wine wine32:i386 wine64 xvfb xauth x11-apps imagemagick
          dpkg-dev xz-utils python3 locales)

missing=()
for p in "${packages[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed' || missing+=("$p")
done
# Source packages are fetched with apt-get source, which needs deb-src entries.
need_src=0
if ! grep -rqsE '^(deb-src|Types:.*deb-src)' /etc/apt/sources.list /etc/apt/sources.list.d/; then
  need_src=1
fi
if [ ${#missing[@]} -eq 0 ] && [ $need_src -eq 0 ] && dpkg --print-foreign-architectures | grep -qx i386; then
  exit 0
fi

SUDO=""
[ "$(id -u)" -eq 0 ] || SUDO=sudo
export DEBIAN_FRONTEND=noninteractive
dpkg --print-foreign-architectures | grep -qx i386 || $SUDO dpkg --add-architecture i386
if [ $need_src -eq 1 ]; then
  if [ -f /etc/apt/sources.list.d/debian.sources ]; then
    $SUDO sed -i 's/^Types: deb$/Types: deb deb-src/' /etc/apt/sources.list.d/debian.sources
  fi
  if [ -f /etc/apt/sources.list ] && grep -qE '^deb ' /etc/apt/sources.list; then
    grep -E '^deb ' /etc/apt/sources.list | sed 's/^deb /deb-src /' | $SUDO tee /etc/apt/sources.list.d/qv-src.list >/dev/null
  fi
fi
$SUDO apt-get update -q
$SUDO apt-get install -y -q --no-install-recommends "${packages[@]}"

#!/usr/bin/env bash
# Prints the build that Wine can run on this machine: i686 when the kernel
# executes 32-bit Linux programs (32-bit Wine is one), x86_64 otherwise
# (some virtual machines run 64-bit user code only).
if /usr/lib/wine/wine --version >/dev/null 2>&1; then echo i686; else echo x86_64; fi

#!/usr/bin/env bash
# Installs what the Windows stage needs on a Debian machine (only what is missing): the mingw-w64
# cross compilers (posix threads), 64-bit Wine, GoogleTest's sources (built with the cross compiler
# for the suites run under Wine) and srecord (the firmware file of the same-output comparison).
set -euo pipefail

packages=(g++-mingw-w64-i686-posix g++-mingw-w64-x86-64-posix binutils-mingw-w64 wine wine64
  googletest srecord python3)

"$(dirname "$0")/install-missing.sh" "${packages[@]}"

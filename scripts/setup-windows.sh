#!/usr/bin/env bash
# Installs what the Windows stage needs on a Debian machine (only what is missing): the mingw-w64
# cross compilers (posix threads), 64-bit Wine, GoogleTest's sources (built with the cross compiler
# for the suites run under Wine) and srecord (the firmware file of the same-output comparison).
set -euo pipefail

packages=(g++-mingw-w64-i686-posix g++-mingw-w64-x86-64-posix binutils-mingw-w64 wine wine64
  googletest srecord python3)

missing=()
for p in "${packages[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
done

if ((${#missing[@]})); then
  echo "installing: ${missing[*]}"
  sudo=""
  [ "$(id -u)" -eq 0 ] || sudo="sudo"
  export DEBIAN_FRONTEND=noninteractive
  $sudo apt-get update -qq
  $sudo apt-get install -y -qq --no-install-recommends "${missing[@]}"
fi

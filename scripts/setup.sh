#!/usr/bin/env bash
# Installs what the build, tests and demo need on a fresh Debian machine (only what is missing).
set -euo pipefail

packages=(
  build-essential cmake ninja-build pkg-config
  libgtest-dev libgmock-dev libbenchmark-dev
  libusb-1.0-0 libusb-1.0-0-dev
  clang-format binutils srecord python3 python3-pil
  clang-14 libclang-rt-14-dev
  umockdev libumockdev-dev
  librsvg2-bin chromium
  tshark
)

"$(dirname "$0")/install-missing.sh" "${packages[@]}"

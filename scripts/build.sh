#!/usr/bin/env bash
# build.sh DIR [cmake options...] [--target TARGET...]: configure and build into DIR (all
# targets unless some are named). Compiles through ccache where it is installed: a rebuild of
# the same sources, in this or another build folder, then costs little.
set -euo pipefail
dir=$1
shift
options=()
while (($#)) && [ "$1" != --target ]; do
  options+=("$1")
  shift
done
targets=("$@")
if command -v ccache >/dev/null; then
  options=(-DCMAKE_C_COMPILER_LAUNCHER=ccache -DCMAKE_CXX_COMPILER_LAUNCHER=ccache "${options[@]}")
fi
cmake -S "$(dirname "$0")/.." -B "$dir" -G Ninja "${options[@]}" >/dev/null
cmake --build "$dir" -j "$(nproc)" "${targets[@]}"

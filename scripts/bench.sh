#!/usr/bin/env bash
# Runs every benchmark program in an optimised build; never part of the tests.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/setup.sh
scripts/build.sh build/bench -DCMAKE_BUILD_TYPE=Release -DQX5_BUILD_TESTS=OFF
for b in build/bench/benchmarks/*; do
  [ -x "$b" ] && [ -f "$b" ] || continue
  echo "== $b"
  "$b" "$@"
done

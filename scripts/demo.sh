#!/usr/bin/env bash
# The main job against simulated gauges: set up, build, then run the tester on two of them.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/setup.sh
scripts/build.sh build/release -DCMAKE_BUILD_TYPE=RelWithDebInfo
if [ ! -x build/release/bin/qx5cmd ]; then
  echo "qx5cmd is not built yet; the library is in build/release/bin/libqx5dll.so" >&2
  exit 0
fi
QX5SIM=${QX5SIM:-2} build/release/bin/qx5cmd -d=0 -n=3 info "$@"

#!/usr/bin/env bash
# The main job against simulated gauges: set up, build, then run the tester on two of them.
# Extra words are passed on as further tests, e.g. scripts/demo.sh lcd Goto 20 1 5 60 5
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/setup.sh
scripts/build.sh build/release -DCMAKE_BUILD_TYPE=RelWithDebInfo
QX5SIM=${QX5SIM:-2} build/release/bin/qx5cmd -d=0 -n=3 info "$@"

#!/usr/bin/env bash
# The Windows stage: cross-builds QX5DLL.DLL (32- and 64-bit), qx5cmd.exe and the test programs,
# checks the 32-bit DLL statically and runs the 64-bit build under Wine (tests/windows/run.sh).
# Needs the Linux build (for the same-output comparison): test-windows.sh [LINUX_BUILD]
set -euo pipefail
cd "$(dirname "$0")/.."
linux=${1:-build/release}
scripts/setup-windows.sh

started=$SECONDS
echo "== building build/win32 (the product: checked statically)"
scripts/build.sh build/win32 -DCMAKE_TOOLCHAIN_FILE="$PWD/cmake/toolchain-mingw-i686.cmake" \
  -DCMAKE_BUILD_TYPE=RelWithDebInfo -DQX5_BUILD_TESTS=OFF
win32_time=$((SECONDS - started))
echo "== building build/win64 (the same source, run under Wine)"
scripts/build.sh build/win64 -DCMAKE_TOOLCHAIN_FILE="$PWD/cmake/toolchain-mingw-x86_64.cmake" \
  -DCMAKE_BUILD_TYPE=RelWithDebInfo
win64_time=$((SECONDS - started - win32_time))
echo "== testing the Windows builds"
status=0
tests/windows/run.sh build/win32 build/win64 "$linux" || status=$?
echo "== Windows stage: build/win32 ${win32_time} s, build/win64 ${win64_time} s," \
  "checks $((SECONDS - started - win32_time - win64_time)) s"
exit $status

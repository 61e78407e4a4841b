#!/usr/bin/env bash
# The one test command: set up, build, run every test; then again under ASan and UBSan; then the
# concurrency tests under ThreadSanitizer; then a smoke run of every fuzz target; then the
# Windows stage (scripts/test-windows.sh: cross-built DLL and tester, checked and run under Wine).
# QX5_SKIP_WINDOWS=1 skips the Windows stage.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/setup.sh

jobs=$(nproc)
run_suite() {
  local dir=$1
  shift
  echo "== building $dir"
  scripts/build.sh "$dir" "$@"
  echo "== testing $dir"
  ctest --test-dir "$dir" --output-on-failure -j "$jobs"
}

run_suite build/release -DCMAKE_BUILD_TYPE=RelWithDebInfo
ASAN_OPTIONS=detect_leaks=1:abort_on_error=1 UBSAN_OPTIONS=print_stacktrace=1 \
  run_suite build/sanitize -DCMAKE_BUILD_TYPE=Debug -DQX5_SANITIZE=ON -DQX5_BUILD_BENCH=OFF
# Concurrent callers of the library under ThreadSanitizer: only the suite that needs it.
echo "== building build/tsan"
cmake -S . -B build/tsan -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DQX5_SANITIZE_THREAD=ON \
  -DQX5_BUILD_BENCH=OFF >/dev/null
cmake --build build/tsan -j "$jobs" --target test_api
echo "== testing build/tsan"
TSAN_OPTIONS=halt_on_error=1 build/tsan/bin/test_api --gtest_filter='ThreadSafety.*'
echo "== fuzz smoke run"
scripts/fuzz.sh 5
if [ "${QX5_SKIP_WINDOWS:-0}" = 1 ]; then
  echo "== Windows stage skipped (QX5_SKIP_WINDOWS=1)"
else
  started=$SECONDS
  scripts/test-windows.sh build/release
  echo "== Windows stage took $((SECONDS - started)) s"
fi
echo "== all tests passed"

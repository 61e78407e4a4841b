#!/usr/bin/env bash
# The one test command: set up, then every stage below; each stage's time at the end.
#   release   build everything, run every test
#   sanitize  the same under ASan and UBSan; the fuzz corpora are replayed among its tests
#   tsan      the concurrency tests under ThreadSanitizer
#   fuzz      a short run of every libFuzzer target (scripts/fuzz.sh; longer runs by hand)
#   windows   scripts/test-windows.sh: cross-built DLL and tester, checked and run under Wine
# test.sh --quick: the release stage alone. QX5_SKIP_WINDOWS=1 skips the Windows stage.
# Builds go through ccache where it is installed (scripts/build.sh).
set -euo pipefail
cd "$(dirname "$0")/.."
quick=0
case "${1:-}" in
  --quick) quick=1 ;;
  "") ;;
  *)
    echo "usage: scripts/test.sh [--quick]" >&2
    exit 2
    ;;
esac
scripts/setup.sh

jobs=$(nproc)
names=()
walls=()
cpus=()
# Seconds of processor time of every finished child so far (user + system). `times` runs in this
# shell, not in a pipe or $(...): a subshell would report only its own children.
cpu_file=$(mktemp)
child_cpu() {  # into cpu_now
  times >"$cpu_file"
  cpu_now=$(tail -1 "$cpu_file" |
    awk '{ n = 0; for (i = 1; i <= 2; i++) { split($i, t, /[ms]/); n += t[1] * 60 + t[2] } printf "%d", n }')
}
report_times() {
  ((${#names[@]})) || return 0
  echo "== stage times (wall, and processor time of all cores)"
  local i total=0
  for i in "${!names[@]}"; do
    printf '%-10s %5d s  %6d s cpu\n' "${names[$i]}" "${walls[$i]}" "${cpus[$i]}"
    total=$((total + walls[i]))
  done
  printf '%-10s %5d s\n' total "$total"
}
# A failed stage ends the run: the times so far still show.
trap 'report_times; rm -f "$cpu_file"' EXIT
stage() {  # stage NAME COMMAND...
  local name=$1 started=$SECONDS cpu
  shift
  child_cpu
  cpu=$cpu_now
  echo "== stage $name"
  "$@"
  names+=("$name")
  walls+=($((SECONDS - started)))
  child_cpu
  cpus+=($((cpu_now - cpu)))
}

run_suite() {
  local dir=$1
  shift
  echo "== building $dir"
  scripts/build.sh "$dir" "$@"
  echo "== testing $dir"
  ctest --test-dir "$dir" --output-on-failure -j "$jobs"
}
sanitize() {
  ASAN_OPTIONS=detect_leaks=1:abort_on_error=1 UBSAN_OPTIONS=print_stacktrace=1 \
    run_suite build/sanitize -DCMAKE_BUILD_TYPE=Debug -DQX5_SANITIZE=ON -DQX5_BUILD_BENCH=OFF
}
# Concurrent callers of the library under ThreadSanitizer: only the suite that needs it.
tsan() {
  echo "== building build/tsan"
  scripts/build.sh build/tsan -DCMAKE_BUILD_TYPE=RelWithDebInfo -DQX5_SANITIZE_THREAD=ON \
    -DQX5_BUILD_BENCH=OFF --target test_api test_diagnostics test_gaugesim qx5cmd test_qx5cmd_e2e
  echo "== testing build/tsan"
  TSAN_OPTIONS=halt_on_error=1 build/tsan/bin/test_api --gtest_filter='ThreadSafety.*'
  TSAN_OPTIONS=halt_on_error=1 build/tsan/bin/test_diagnostics --gtest_filter='LogThreads.*'
  TSAN_OPTIONS=halt_on_error=1 build/tsan/bin/test_gaugesim --gtest_filter='SimulatedPlatformThreads.*'
  # qx5cmd -j: its workers and the library under them (a race ends qx5cmd with status 66).
  TSAN_OPTIONS=halt_on_error=1 build/tsan/bin/test_qx5cmd_e2e --gtest_filter='Qx5cmdParallel.*'
}

stage release run_suite build/release -DCMAKE_BUILD_TYPE=RelWithDebInfo
if ((quick)); then
  trap - EXIT
  report_times
  rm -f "$cpu_file"
  echo "== release tests passed (--quick: the other stages not run)"
  exit 0
fi
stage sanitize sanitize
stage tsan tsan
stage fuzz scripts/fuzz.sh 5
if [ "${QX5_SKIP_WINDOWS:-0}" = 1 ]; then
  echo "== Windows stage skipped (QX5_SKIP_WINDOWS=1)"
else
  stage windows scripts/test-windows.sh build/release
fi
trap - EXIT
report_times
rm -f "$cpu_file"
echo "== all tests passed"

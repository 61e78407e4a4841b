#!/usr/bin/env bash
# fuzz.sh [seconds per target] [target...]: builds the libFuzzer targets (clang, ASan, UBSan)
# in build/fuzz and runs each for the given time (default 60), starting from its seed corpus in
# fuzz/corpus/<target>. New inputs collect in build/fuzz/corpus/<target>; a crash leaves its
# input in build/fuzz/artifacts/ and fails the run. Prints executions and coverage per target.
set -euo pipefail
cd "$(dirname "$0")/.."
seconds=${1:-60}
shift || true
dir=build/fuzz
all=(hex_file eeprom_image gauge_files sim_packets recording_file export_replies command_line)
targets=("${@:-${all[@]}}")

CC=clang-14 CXX=clang++-14 scripts/build.sh "$dir" -DCMAKE_BUILD_TYPE=RelWithDebInfo \
  -DQX5_FUZZ=ON -DQX5_BUILD_TESTS=OFF -DQX5_BUILD_BENCH=OFF --target "${targets[@]}"

mkdir -p "$dir/artifacts"
failed=0
printf '%-16s %12s %8s %8s  %s\n' target executions cov ft result
for t in "${targets[@]}"; do
  mkdir -p "$dir/corpus/$t"
  log="$dir/$t.log"
  status=0
  # -close_fd_mask=3: the code under test prints; libFuzzer keeps its own copy of stderr.
  ASAN_OPTIONS=detect_leaks=1 UBSAN_OPTIONS=print_stacktrace=1 \
    "$dir/fuzz/$t" -max_total_time="$seconds" -timeout=10 -rss_limit_mb=2048 \
    -close_fd_mask=3 -print_final_stats=1 -artifact_prefix="$dir/artifacts/$t-" \
    "$dir/corpus/$t" "fuzz/corpus/$t" >"$log" 2>&1 || status=$?
  runs=$(sed -n 's/^stat::number_of_executed_units: *//p' "$log" | tail -1)
  cov=$(sed -n 's/.* cov: \([0-9]*\).*/\1/p' "$log" | tail -1)
  ft=$(sed -n 's/.* ft: \([0-9]*\).*/\1/p' "$log" | tail -1)
  result=clean
  if ((status != 0)); then
    result="FAILED (exit $status, see $log)"
    failed=1
  fi
  printf '%-16s %12s %8s %8s  %s\n' "$t" "${runs:-?}" "${cov:-?}" "${ft:-?}" "$result"
done
exit $failed

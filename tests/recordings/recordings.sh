#!/usr/bin/env bash
# recordings.sh check|record BIN_DIR [NAME...]: the sessions in this folder, one per folder NAME/
# holding `args` (qx5cmd's arguments, one line), `session.rec` (the recording), `console.txt`
# (what qx5cmd printed) and every file the run wrote (lcd_*.bmp kept as lcd.bmp).
#   record: runs qx5cmd on a fresh simulated gauge with QX5_RECORD, keeping all of the above.
#   check:  replays session.rec with the model switched off (QX5SIM_REPLAY=strict) and fails
#           unless the console, the files and the log show exactly what was recorded.
set -euo pipefail
mode=$1 bin=$(cd "$2" && pwd)
shift 2
here=$(cd "$(dirname "$0")" && pwd)
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
# A copy of its own: the library refuses while another process has a file of its name loaded.
library=$work/libqx5dll_replay_$$.so
cp "$bin/libqx5dll.so" "$library"
export QX5CMD_LIBRARY=$library USERNAME=
unset QX5SIM QX5_RECORD QX5SIM_REPLAY QX5SIM_TRACE QX5SIM_LATENCY_MS QX5SIM_BUS QX5LOGFILE \
  QX5LOGLEVEL QX5_VIRTUAL_CLOCK

names=("$@")
[ ${#names[@]} -gt 0 ] || for d in "$here"/*/; do names+=("$(basename "$d")"); done

# Runs qx5cmd in a fresh folder $work/run with the firmware files at hand.
run() {
  rm -rf "$work/run" && mkdir "$work/run" && cp "$here"/*.hex "$work/run/"
  local args
  read -r -a args <"$here/$name/args"
  (cd "$work/run" && env "$@" "$bin/qx5cmd" "${args[@]}" >console.txt 2>&1)
  for f in "$work"/run/lcd_*.bmp; do [ -e "$f" ] && mv "$f" "$work/run/lcd.bmp"; done
  for f in "$here"/*.hex; do rm -f "$work/run/$(basename "$f")"; done
}

# Statistics' durations depend on the machine; everything else is the gauge's.
deterministic() { grep -Ev '[0-9.]+ (micro|milli)?seconds$' "$1"; }

failed=0
for name in "${names[@]}"; do
  dir=$here/$name
  if [ "$mode" = record ]; then
    find "$dir" -mindepth 1 ! -name args -delete
    run QX5SIM=1 QX5_RECORD="$dir/session.rec"
    cp "$work"/run/* "$dir/"
    echo "recorded $name: $(grep -c '^[<>]' "$dir/session.rec") packets"
    continue
  fi
  # On a virtual clock: the download's launch wait takes no time.
  rm -f "$work/clock"
  run QX5SIM="$dir/session.rec" QX5SIM_REPLAY=strict QX5LOGFILE="$work/replay.log" \
    QX5_VIRTUAL_CLOCK="$work/clock"
  problems=$(
    diff -u <(deterministic "$dir/console.txt") <(deterministic "$work/run/console.txt") || true
    for f in "$dir"/* "$work"/run/*; do
      base=$(basename "$f")
      case $base in args | session.rec | console.txt) continue ;; esac
      cmp -s "$dir/$base" "$work/run/$base" || echo "$base differs from the recorded run"
    done | sort -u
    cat "$work"/replay*.log 2>/dev/null | grep "is not in the recording" || true
  )
  rm -f "$work"/replay*.log
  if [ -n "$problems" ]; then
    echo "FAIL $name:"
    echo "$problems"
    failed=1
  else
    echo "ok   $name"
  fi
done

# A request a recording lacks, strict: the call fails and the log names the request.
if [ "$mode" = check ] && [ -d "$here/lcd" ]; then
  rm -rf "$work/run" && mkdir "$work/run"
  (cd "$work/run" && QX5SIM="$here/lcd/session.rec" QX5SIM_REPLAY=strict \
    QX5LOGFILE="$work/replay.log" "$bin/qx5cmd" -d=0 GetDeviceName >console.txt 2>&1) || true
  if grep -q "GetDeviceName error reading data" "$work/run/console.txt" &&
    grep -q "request 38 24 01 01 0b 1e 00 21 .* is not in the recording; no reply (strict); nearest" \
      "$work"/replay*.log; then
    echo "ok   an unrecorded request fails and is logged"
  else
    echo "FAIL an unrecorded request:"
    cat "$work/run/console.txt" "$work"/replay*.log
    failed=1
  fi
fi
exit $failed

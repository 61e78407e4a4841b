#!/usr/bin/env bash
# The Windows checks: run.sh WIN32_BUILD WIN64_BUILD LINUX_BUILD
# The 32-bit DLL is checked statically (our machines cannot execute 32-bit code); the 64-bit build
# of the same source runs under Wine. Every Wine process that loads the library takes the shared
# run lock, as every Linux one does. Ends with "N passed, N failed".
set -uo pipefail
root=$(cd "$(dirname "$0")/../.." && pwd)
win32=$(cd "$1" && pwd)
win64=$(cd "$2" && pwd)
linux=$(cd "$3" && pwd)
lock=/tmp/qx5-run.lock
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

export WINEDEBUG=-all
export WINEPREFIX=${WINEPREFIX:-$win64/wineprefix}
# No Mono or Gecko prompts, no window.
export WINEDLLOVERRIDES="mscoree,mshtml="
unset QX5SIM QX5LOGFILE QX5CMD_LIBRARY

passed=0
failed=0
check() {  # check NAME COMMAND...: the command's exit status decides
  local name=$1 started=$SECONDS
  shift
  local ok=0
  "$@" >"$work/out" 2>&1 && ok=1
  # A Wine server lost under load (the program never ran) is Wine's fault, not the check's:
  # the check runs once more, and says so.
  if [ $ok = 0 ] && grep -q "^wine client error:" "$work/out"; then
    echo "     ($name: the Wine server went away; once more)"
    "$@" >"$work/out" 2>&1 && ok=1
  fi
  if [ $ok = 1 ]; then
    echo "PASS $name ($((SECONDS - started)) s)"
    passed=$((passed + 1))
  else
    echo "FAIL $name ($((SECONDS - started)) s)"
    sed 's/^/    /' "$work/out" | head -40
    failed=$((failed + 1))
  fi
}

[ -d "$WINEPREFIX" ] || wineboot -i >/dev/null 2>&1
# One server for the whole run: each program then starts in well under a second. Wine's
# background services start with the first program and keep its open files: start them
# outside the run lock, or they would hold the lock for the rest of the run.
wineserver -p 30
wine cmd /c exit >/dev/null 2>&1

# --- the 32-bit product, statically -------------------------------------------------------
check "32-bit QX5DLL.DLL: exports, imports, stdcall epilogues" \
  python3 "$root/tests/windows/check_dll.py" "$win32/bin/QX5DLL.DLL" \
  "$root/qx5_dll/api/export_table.txt" \
  "$root/qx5_dll/include/qx5dll.h:$win32/qx5_dll/include/qx5dll_gauge.h"
check "32-bit files to ship: stripped, with the same exports and imports" bash -c '
  for f in QX5DLL.DLL qx5cmd.exe; do
    [ -s "$1/ship/$f" ] && [ "$(stat -c %s "$1/ship/$f")" -lt "$(stat -c %s "$1/bin/$f")" ] || exit 1
    diff <(i686-w64-mingw32-objdump -p "$1/bin/$f" | sed -n "/^The Import Tables/,\$p") \
      <(i686-w64-mingw32-objdump -p "$1/ship/$f" | sed -n "/^The Import Tables/,\$p") || exit 1
  done' _ "$win32"
check "64-bit QX5DLL.DLL and qx5cmd.exe need no MinGW runtime DLL" bash -c '
  for f in "$1/bin/QX5DLL.DLL" "$1/bin/qx5cmd.exe"; do
    if x86_64-w64-mingw32-objdump -p "$f" | grep -iE "DLL Name: (lib|setupapi|winusb|psapi)"; then
      exit 1; fi; done' _ "$win64"

# --- the 64-bit build under Wine ----------------------------------------------------------
table_path=$(winepath -w "$root/qx5_dll/api/export_table.txt" 2>/dev/null)
check "C client binds every export by name and ordinal and calls them" bash -c '
  out=$(cd "$1/bin" && QX5SIM=2 flock "$3" wine qx5_client.exe "$2" 2>&1 | tr -d "\r")
  echo "$out"
  grep -q "^176 exports bound by name and ordinal$" <<<"$out" &&
  grep -q "^gauge 1 through handle 1: serial 10002$" <<<"$out" &&
  grep -q "^gauge 1: serial 10002, pressures in range$" <<<"$out" && grep -q "^ok$" <<<"$out"' \
  _ "$win64" "$table_path" "$lock"

check "qx5cmd.exe loads QX5DLL.DLL beside it and reads simulated gauges (the stripped pair)" bash -c '
  out=$(cd "$1/ship" && QX5SIM=2 flock "$2" wine qx5cmd.exe -d=0 GetSerialNumber 2>&1 | tr -d "\r")
  echo "$out"; grep -q "GetSerialNumber      10002" <<<"$out"' _ "$win64" "$lock"

# The holder holds until the second process has been refused, however long that takes to start.
check "process guard: a second process is refused while one holds the library" bash -c '
  cd "$1/bin"
  flock "$2" bash -c "
    QX5SIM=1 wine qx5_client.exe hold 60 >\"$3/holder\" 2>&1 &
    holder=\$!
    for i in \$(seq 1 50); do grep -q holding \"$3/holder\" && break; sleep 0.2; done
    QX5SIM=1 wine qx5cmd.exe -d=0 GetSerialNumber >\"$3/second\" 2>&1
    kill \$holder; wait"
  tr -d "\r" <"$3/second"
  grep -q "QX5Init true" "$3/holder" &&
  grep -q "is being used by process .* \"qx5_client.exe\"" "$3/second"' _ "$win64" "$lock" "$work"

# --- the unit suites, cross-built with GoogleTest from its sources ---------------------------
# Each runs from a scratch folder, as the Linux suites do under CTest.
while read -r suite; do
  [ -n "$suite" ] || continue
  check "unit suite $suite" bash -c '
    mkdir -p "$4/$3" && cd "$4/$3" &&
    flock "$2" wine "$1/bin/$3.exe" --gtest_brief=1 >"$4/$3.out" 2>&1
    status=$?
    tr -d "\r" <"$4/$3.out" | grep -v "^\[       OK \]"
    exit $status' _ "$win64" "$lock" "$suite" "$work/suites"
done <"$win64/windows_suites.txt"
cat "$work"/suites/*.out 2>/dev/null | tr -d "\r" |
  sed -nE 's/^\[==========\] ([0-9]+) tests? from .* ran\..*/\1/p' |
  awk '{ n += $1 } END { print "     " n + 0 " unit tests ran under Wine" }'

# --- the WinUSB binding against the stand-in SETUPAPI.DLL and WINUSB.DLL -------------------
gauges=$work/gauges
mkdir -p "$gauges"
printf 'serial = 20001\n' >"$gauges/a.gauge"
printf 'serial = 20002\nfault = silent\n' >"$gauges/b.gauge"
printf 'serial = 20003\nfault = unplug-after=12\n' >"$gauges/c.gauge"
gauges_w=$(winepath -w "$gauges" 2>/dev/null)
check "WinUSB binding: enumeration, pipes and packets through the stand-ins" bash -c '
  out=$(cd "$1/standin" && QX5STANDIN=2 WINEDLLOVERRIDES="$WINEDLLOVERRIDES;setupapi,winusb=n" \
    flock "$2" wine qx5cmd.exe -d=0 info 2>&1 | tr -d "\r")
  echo "$out"
  grep -q "Number of Gauges:    2" <<<"$out" && grep -q "\[1\] GetDeviceRanges      Open,Ring A" <<<"$out"' \
  _ "$win64" "$lock"
check "WinUSB binding: a silent gauge times out with error 121, the others answer" bash -c '
  out=$(cd "$1/standin" && QX5STANDIN="$3" WINEDLLOVERRIDES="$WINEDLLOVERRIDES;setupapi,winusb=n" \
    flock "$2" wine qx5cmd.exe -d=0 GetSerialNumber 2>&1 | tr -d "\r")
  echo "$out"
  grep -q "Error=121 " <<<"$out" && grep -q "GetSerialNumber      20001" <<<"$out" &&
  grep -q "GetSerialNumber      20003" <<<"$out"' _ "$win64" "$lock" "$gauges_w"
check "WinUSB binding: a gauge gone before it is opened is reported and leaves no file" bash -c '
  temp=$(winepath -u "$(wine cmd /c echo %TEMP% 2>/dev/null | tr -d "\r")" 2>/dev/null)
  rm -rf "$temp"/qx5-standin-*
  out=$(cd "$1/standin" && QX5STANDIN=2 QX5STANDIN_NO_FILE=sim1 \
    WINEDLLOVERRIDES="$WINEDLLOVERRIDES;setupapi,winusb=n" \
    flock "$2" wine qx5cmd.exe -d=0 GetSerialNumber 2>&1 | tr -d "\r")
  echo "$out"
  grep -qE "GetSerialNumber +10001" <<<"$out" && ! grep -qE "GetSerialNumber +10002" <<<"$out" &&
  [ -d "$temp" ] && ! ls "$temp"/qx5-standin-*/*sim1* 2>/dev/null' _ "$win64" "$lock"
rm "$gauges/b.gauge"
check "WinUSB binding: a gauge unplugged mid-run is reported and the run goes on" bash -c '
  out=$(cd "$1/standin" && QX5STANDIN="$3" WINEDLLOVERRIDES="$WINEDLLOVERRIDES;setupapi,winusb=n" \
    flock "$2" wine qx5cmd.exe -d=0 -n=4 GetPressure 2>&1 | tr -d "\r")
  echo "$out"
  grep -q "Error=1167 " <<<"$out" && grep -q "^4 Gauge#                 20001" <<<"$out"' \
  _ "$win64" "$lock" "$gauges_w"

# --- same console output on Linux and under Wine ------------------------------------------
check "qx5cmd: the same output on Linux and under Wine" \
  "$root/tests/windows/compare_outputs.sh" "$linux/bin/qx5cmd" "$win64/bin/qx5cmd.exe" "$work/compare"

wineserver -k 2>/dev/null || true
echo "windows: $passed passed, $failed failed"
[ "$failed" -eq 0 ]

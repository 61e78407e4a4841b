#!/usr/bin/env bash
# compare_outputs.sh LINUX_QX5CMD WINDOWS_QX5CMD_EXE WORKDIR
# Runs a dozen qx5cmd command lines against two fresh simulated gauges on Linux and under Wine
# and compares their console output and the files they write (uploads, EEPROM backups, lcd
# bitmaps). Each run starts from the same firmware release, fw.2.hex, in its working folder.
# Timings are masked: statistics keep their names, the progress lines and measured errors of
# Goto's timed loop are dropped, and the program's own path reads "qx5cmd". The beep is
# dropped too: the terminal bell on Linux, a system sound on Windows. Every run has a virtual
# clock of its own (QX5_VIRTUAL_CLOCK): the download's launch wait and Goto's timed loop take no
# time, and both sides see the same time pass. That clock moves only when the tester waits, so
# Goto gets a poll pause (-d): with none its loop would never see time go by.
set -uo pipefail
linux=$1
windows=$2
work=$3
lock=/tmp/qx5-run.lock
mkdir -p "$work"

commands=(
  "-d=0 info"
  "-d=0 -s -n=3 GetSerialNumber GetPressure"
  "-d=0 GetDLLVersion GetQX5FirmwareVersion GetUSBCPUVersion"
  "-d=0 SetRange 2 GetDeviceRange GetDeviceRanges"
  "-d=0 SetFanSpeed 50 GetFanSpeed GetFanSpeedPercent"
  "-d=0 SetCompanyName Acme TimeAverageMode"
  "-d=0 -g=10002 GetFlow GetCalibrationDate"
  "-d=0 lcd"
  "-d=100 Goto 0 5 1 1 1"
  "-d=0 get_sig_fig"
  "-d=0 check_ranges"
  "-d=0 get_sizes"
  "-d=0 upload upload_config"
  "-d=0 -g=10001 download fw 17 GetQX5FirmwareVersion"
  "-h"
)

# A small firmware release for the simulated gauges' chipset (2): code at 0 and the version record
# the simulated gauge reads at 0x1EFC0.
release=$work/release
mkdir -p "$release"
head -c 3000 /dev/zero | tr '\0' '\125' >"$release/code.bin"
printf 'VER:7.77\0' >"$release/version.bin"
srec_cat "$release/code.bin" -binary "$release/version.bin" -binary -offset 0x1EFC0 \
  -o "$release/fw.2.hex" -intel -obs=16 || exit 1

normalise() {
  tr -d '\r\a' |
    sed -E -e 's#[^ ]*qx5cmd(\.exe)?\b#qx5cmd#g' \
      -e 's/(min|avg|max) -?[0-9.]+/\1 T/g' \
      -e 's/num \([0-9]+\)/num (N)/' \
      -e 's/(TotalTestTime|GetErrorMessage|controller period) +[0-9.]+( [a-z]+)?$/\1 T/' \
      -e 's/during sample duration -?[0-9.]+/during sample duration T/' \
      -e 's/(milli|micro)?seconds$/UNIT/' \
      -e 's/ +[0-9.]+ UNIT$/ T UNIT/' |
    grep -v -e '(at pressure for' -e '(sampling steady state error)' -e '^controller period'
}

faults=0
for i in "${!commands[@]}"; do
  words=${commands[$i]}
  mkdir -p "$work/linux$i" "$work/wine$i"
  cp "$release/fw.2.hex" "$work/linux$i"
  cp "$release/fw.2.hex" "$work/wine$i"
  # shellcheck disable=SC2086 # the words are split on purpose
  (cd "$work/linux$i" && QX5SIM=2 QX5_VIRTUAL_CLOCK="$work/clock-linux$i" flock "$lock" \
    "$linux" $words 2>&1) | normalise >"$work/linux$i.txt"
  clock=$(winepath -w "$work/clock-wine$i" 2>/dev/null)
  # shellcheck disable=SC2086
  (cd "$work/wine$i" && QX5SIM=2 QX5_VIRTUAL_CLOCK="$clock" flock "$lock" \
    wine "$windows" $words 2>&1) | normalise >"$work/wine$i.txt"
  if ! diff -u "$work/linux$i.txt" "$work/wine$i.txt" >"$work/diff$i"; then
    echo "differs: qx5cmd $words"
    head -20 "$work/diff$i"
    faults=$((faults + 1))
    continue
  fi
  # Files written must match byte for byte; the names of lcd bitmaps carry the time.
  linux_files=$(cd "$work/linux$i" && ls | sed -E 's/_[A-Z][a-z]{2}[0-9]{2}_[0-9]{6}//' | sort)
  wine_files=$(cd "$work/wine$i" && ls | sed -E 's/_[A-Z][a-z]{2}[0-9]{2}_[0-9]{6}//' | sort)
  # Text files end their lines as the platform does (HEX files in CRLF on Windows).
  linux_sums=$(cd "$work/linux$i" && cat -- * 2>/dev/null | md5sum)
  wine_sums=$(cd "$work/wine$i" && for f in *; do
    [ -e "$f" ] || continue
    case $f in *.hex) tr -d '\r' <"$f" ;; *) cat -- "$f" ;; esac
  done | md5sum)
  if [ "$linux_files" != "$wine_files" ] || [ "$linux_sums" != "$wine_sums" ]; then
    echo "files differ: qx5cmd $words"
    faults=$((faults + 1))
    continue
  fi
  echo "same: qx5cmd $words"
done
[ "$faults" -eq 0 ]

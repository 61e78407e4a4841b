#!/usr/bin/env bash
# Every cut point of download, download_eeprom and save_settings: the gauge vanishes after N
# packets for every N of an uncut run, is plugged in again and the same command runs once more;
# then 200 random histories of 30 steps. Ends with the time taken and "N cut points recovered,
# M failed". Options go to the program (--command=NAME, --every=K, --histories=H, --steps=S,
# --seed=X).
set -euo pipefail
cd "$(dirname "$0")/.."
cmake -S . -B build/release -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
cmake --build build/release --target cut_points >/dev/null
build/release/bin/cut_points --histories=200 --steps=30 "$@"

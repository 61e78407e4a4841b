#!/usr/bin/env bash
# pcap_test.sh BIN_DIR: a qx5cmd run recorded as a USB capture (QX5_RECORD=FILE.pcap) reads in
# tshark as interrupt transfers on the gauge's endpoints, carrying exactly the packets the same
# run records in the text format, in the same order.
set -euo pipefail
bin=$(cd "$1" && pwd)
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
library=$work/libqx5dll_pcap_$$.so
cp "$bin/libqx5dll.so" "$library"
export QX5CMD_LIBRARY=$library USERNAME= QX5SIM=1
unset QX5SIM_REPLAY QX5SIM_TRACE QX5SIM_LATENCY_MS QX5SIM_BUS QX5LOGFILE
cd "$work"
for file in session.rec capture.pcap; do
  QX5_RECORD=$work/$file "$bin/qx5cmd" -d=0 GetSerialNumber GetPressure >/dev/null
done

tshark -r capture.pcap -T fields -e usb.transfer_type -e usb.endpoint_address -e usb.urb_type \
  -e usb.capdata 2>/dev/null >fields.txt
# Every event an interrupt transfer on endpoint 0x01 (out) or 0x81 (in).
if grep -Ev $'^0x01\t0x(01|81)\t' fields.txt; then
  echo "FAIL: events that are not interrupt transfers on the gauge's endpoints"
  exit 1
fi
# Data as it went: out in the submission, in in the completion.
awk -F'\t' '$4 != "" { d = ($2 == "0x01") ? ">" : "<"; print d, $4 }' fields.txt >captured.txt
awk '/^[<>] / { line = $1 " "; for (i = 4; i <= NF; ++i) line = line $i; print line }' \
  session.rec >recorded.txt
if [ ! -s recorded.txt ] || ! diff -u recorded.txt captured.txt; then
  echo "FAIL: the capture's packets are not the recorded ones"
  exit 1
fi
echo "ok: $(wc -l <captured.txt) packets as interrupt transfers"

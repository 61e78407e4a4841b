#!/usr/bin/env bash
# install_test.sh BUILD_DIR LIBDIR BINDIR PYTHONDIR DOCDIR: stages an install of the build in
# a scratch DESTDIR, so the tree works away from its prefix, and uses it as an application
# developer would, without LD_LIBRARY_PATH: the C
# example built with pkg-config, both examples built with find_package, the installed qx5cmd
# and the installed Python module, all against one simulated gauge.
set -euo pipefail
build=$1 libdir=$2 bindir=$3 pythondir=$4 docdir=$5
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
prefix=$work/stage/opt/qx5
unset LD_LIBRARY_PATH QX5CMD_LIBRARY QX5DLL_LIBRARY QX5LOGFILE
export QX5SIM=1

step() { echo "== $*"; }
expect() {  # expect REGEX COMMAND...: the command succeeds and prints a matching line
  local regex=$1 output
  shift
  output=$("$@" 2>&1) || { printf '%s\n' "$output"; echo "FAILED: $*" >&2; exit 1; }
  printf '%s\n' "$output"
  grep -Eq -- "$regex" <<<"$output" || { echo "FAILED: no line matches $regex" >&2; exit 1; }
}

step "install into $prefix"
DESTDIR=$work/stage cmake --install "$build" --prefix /opt/qx5 >/dev/null
real=$(basename "$(readlink -f "$prefix/$libdir/libqx5dll.so")")
expect 'SONAME.*\[libqx5dll\.so\.2\]' readelf -d "$prefix/$libdir/$real"
[ "$(readlink -f "$prefix/$libdir/libqx5dll.so.2")" = "$prefix/$libdir/$real" ]
examples=$prefix/$docdir/examples

step "C example built with pkg-config"
export PKG_CONFIG_PATH=$prefix/$libdir/pkgconfig
# shellcheck disable=SC2046
cc -std=c99 -Wall -Wextra -Werror "$examples/read_gauges.c" $(pkg-config --cflags --libs qx5dll) \
  -o "$work/read_gauges_pc"
expect "libqx5dll\.so\.2 => $prefix/" ldd "$work/read_gauges_pc"
expect 'gauge 0: serial 10001, firmware' "$work/read_gauges_pc"

step "the README's first C program"
sed -n '/^```c$/,/^```$/{/^```/d;p}' "$(dirname "$0")/../../README.md" | head -n 20 >"$work/first.c"
# shellcheck disable=SC2046
cc -std=c99 -Wall -Wextra -Werror "$work/first.c" $(pkg-config --cflags --libs qx5dll) -o "$work/first"
QX5SIM=2 expect '^10002: A -?[0-9]+\.[0-9]{3} B -?[0-9]+\.[0-9]{3}$' "$work/first"

step "examples built with find_package(qx5dll)"
cmake -S "$(dirname "$0")/consumer" -B "$work/consumer" -G Ninja -DCMAKE_PREFIX_PATH="$prefix" \
  -DQX5_EXAMPLES_DIR="$examples" >/dev/null
cmake --build "$work/consumer" >/dev/null
expect "libqx5dll\.so\.2 => $prefix/" ldd "$work/consumer/read_gauges"
expect 'gauge 0: serial 10001, firmware' "$work/consumer/read_gauges"
(cd "$work" && expect '^serial 10001: device' "$work/consumer/log_to_file" example.log)
grep -q 'log_to_file: done' "$work/example_0.log"

step "installed qx5cmd finds the installed library"
expect 'RUNPATH.*\$ORIGIN/' readelf -d "$prefix/$bindir/qx5cmd"
expect "calling init: $prefix/$bindir/[^ ]*libqx5dll\.so" \
  env LD_DEBUG=libs "$prefix/$bindir/qx5cmd" -d=0 GetSerialNumber
expect '10001' "$prefix/$bindir/qx5cmd" -d=0 GetSerialNumber
[ -s "$prefix/share/man/man1/qx5cmd.1" ]
step "qx5cmd runs where only the soname is installed (a runtime package)"
mv "$prefix/$libdir/libqx5dll.so" "$work/dev-link"
expect '10001' "$prefix/$bindir/qx5cmd" -d=0 GetSerialNumber
mv "$work/dev-link" "$prefix/$libdir/libqx5dll.so"

step "a second process is refused, whichever name of the library each one loaded"
# The holder waits until it is interrupted, once the second process has been refused.
"$prefix/$bindir/qx5cmd" -d=0 Wait 600 >/dev/null &
holder=$!
for _ in $(seq 100); do
  grep -q libqx5dll "/proc/$holder/maps" 2>/dev/null && break
  sleep 0.1
done
if refused=$("$work/read_gauges_pc" 2>&1); then
  echo "FAILED: not refused while qx5cmd ($holder) holds the library" >&2
  exit 1
fi
printf '%s\n' "$refused"
grep -q "being used by process $holder \"qx5cmd\"" <<<"$refused"
kill -INT "$holder"
wait "$holder"

step "installed Python module"
export PYTHONPATH=$prefix/$pythondir
expect "^$prefix/$libdir/libqx5dll\.so" python3 -c 'import os, qx5; print(os.path.normpath(qx5.library()._name))'
expect 'gauge 0: serial 10001, firmware' python3 "$examples/python/read_gauges.py"

if python3 -m pip --version >/dev/null 2>&1; then
  step "pip install --no-build-isolation of the module, offline"
  src=$(cd "$(dirname "$0")/../../python" && pwd)
  cp -r "$src" "$work/python-src"  # pip may write next to the sources
  python3 -m pip install -q --no-build-isolation --no-index --target "$work/site" "$work/python-src"
  PYTHONPATH=$work/site QX5DLL_LIBRARY=$prefix/$libdir/libqx5dll.so.2 \
    expect 'gauge 0: serial 10001, firmware' python3 "$examples/python/read_gauges.py"
else
  step "no pip: skipping the pip install"
fi
echo "install test passed"

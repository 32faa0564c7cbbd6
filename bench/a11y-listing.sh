#!/bin/sh
# Listing time of the device page with an assistive-technology client
# connected: how long KRO-VEXA takes to list N simulated devices while a
# screen-reader-like client is attached, and the CPU its user-interface
# thread spends on it.
#
#   bench/a11y-listing.sh [--build DIR] N [N ...]
#
# Everything runs in a private network namespace with only loopback up
# (unshare -n; unshare -rn when not root): Xvfb, a private D-Bus session bus,
# the accessibility bus (at-spi-bus-launcher, which starts at-spi2-registryd),
# KRO-VEXA from DIR/bin (default build-rel, a Release tree) with
# QT_LINUX_ACCESSIBILITY_ALWAYS_ON=1 and VEXA_INTERFACES=lo, and the client
# bench/a11y-client.py. The client reads the window's widgets once (not the
# table's cells), as a screen reader does when a window gets the focus, then
# starts `vexa-devsim --count N` and polls the table's row count through the
# accessibility bus until all N are listed; at the end it reads the row count
# and a cell back, so a table the client can no longer read is a failure.
#
# VEXA_A11Y_CELLS=R: the client also reads every cell of the first R rows
# once they are listed (a screen reader reading the visible rows aloud), so
# the table's accessible interface holds cached cells during the burst.
# VEXA_A11Y_PERF=FILE: `perf record -g` of the tool while it lists.
#
# Debian packages: xvfb, dbus-daemon (or dbus), at-spi2-core, python3-gi,
# gir1.2-atspi-2.0. A benchmark that prints figures, not a test: CI does not
# run it.
set -eu
cd "$(dirname "$0")/.."
BUILD=build-rel
if [ "${1:-}" = --build ]; then
    BUILD=$2
    shift 2
fi
if [ $# -eq 0 ]; then
    echo "usage: $0 [--build DIR] N [N ...]" >&2
    exit 2
fi
for tool in Xvfb dbus-daemon /usr/libexec/at-spi-bus-launcher /usr/bin/python3; do
    if ! command -v "$tool" >/dev/null 2>&1; then
        echo "$tool is missing: apt-get install xvfb dbus-daemon at-spi2-core python3-gi gir1.2-atspi-2.0" >&2
        exit 1
    fi
done
/usr/bin/python3 -c 'import gi; gi.require_version("Atspi", "2.0")' 2>/dev/null || {
    echo "python3-gi with gir1.2-atspi-2.0 is missing" >&2
    exit 1
}
if [ ! -x "$BUILD/bin/KRO-VEXA" ] || [ ! -x "$BUILD/bin/vexa-devsim" ]; then
    echo "build KRO-VEXA and vexa-devsim in $BUILD first" >&2
    exit 1
fi

# Into a namespace of our own, so only our own simulator is seen.
. bench/session.sh
bench_namespace VEXA_A11Y_BENCH_NS --build "$BUILD" "$@"
bench_workdir vexa-a11y-bench

export XDG_RUNTIME_DIR="$WORK"
export HOME="$WORK"
export VEXA_INTERFACES=lo
export QT_LINUX_ACCESSIBILITY_ALWAYS_ON=1
export QT_QPA_PLATFORM=xcb
export NO_AT_BRIDGE=0

bench_xvfb
dbus-daemon --session --nofork --print-address=3 --address="unix:path=$WORK/bus" 3>"$WORK/bus.address" \
    >"$WORK/dbus.log" 2>&1 &
PIDS="$PIDS $!"
tries=0
until [ -s "$WORK/bus.address" ] && [ -s "$WORK/display" ]; do
    tries=$((tries + 1))
    [ $tries -le 100 ] || { echo "Xvfb or dbus-daemon did not start" >&2; cat "$WORK"/*.log >&2; exit 1; }
    sleep 0.1
done
DISPLAY=:$(head -n 1 "$WORK/display")
export DISPLAY
DBUS_SESSION_BUS_ADDRESS=$(head -n 1 "$WORK/bus.address")
export DBUS_SESSION_BUS_ADDRESS
/usr/libexec/at-spi-bus-launcher --launch-immediately >"$WORK/atspi.log" 2>&1 &
PIDS="$PIDS $!"

for count in "$@"; do
    "$BUILD/bin/KRO-VEXA" >"$WORK/tool.log" 2>&1 &
    TOOL=$!
    /usr/bin/python3 bench/a11y-client.py --pid $TOOL --count "$count" \
        --devsim "$BUILD/bin/vexa-devsim" ${VEXA_A11Y_CELLS:+--cells "$VEXA_A11Y_CELLS"} || status=$?
    kill $TOOL 2>/dev/null || true
    wait $TOOL 2>/dev/null || true
    if [ "${status:-0}" -ne 0 ]; then
        echo "--- tool log" >&2
        tail -n 20 "$WORK/tool.log" >&2
        exit "$status"
    fi
done

#!/bin/sh
# How long KRO-VEXA takes from launch to its last row, with N simulated
# devices already running on loopback, and what it costs: the tool's CPU
# (all its threads) and its peak memory.
#
#   bench/window-listing.sh [--build DIR] [--boot] N [N ...]
#
# --boot: the way bench/a11y-listing.sh lists, without its client: the tool
# runs first, then the simulator starts and its devices announce their boot;
# the clock starts at the simulator's "ready".
#
# Runs in a private network namespace with only loopback up (unless the caller
# already made one), under Xvfb. The simulator (DIR/bin/vexa-devsim --count N,
# devices already running) is started first; the clock starts when KRO-VEXA
# is launched and stops when the page's debug trace "===ws===N" says that N
# rows are listed. One line per N:
#   window devices=N listed_s=S cpu_s=C peak_mib=M
# Needs xvfb. A benchmark that prints figures, not a test.
set -eu
cd "$(dirname "$0")/.."
BUILD=build-rel
BOOT=
if [ "${1:-}" = --build ]; then
    BUILD=$2
    shift 2
fi
if [ "${1:-}" = --boot ]; then
    BOOT=--boot
    shift
fi
if [ $# -eq 0 ]; then
    echo "usage: $0 [--build DIR] N [N ...]" >&2
    exit 2
fi
command -v Xvfb >/dev/null 2>&1 || { echo "Xvfb is missing: apt-get install xvfb" >&2; exit 1; }
if [ ! -x "$BUILD/bin/KRO-VEXA" ] || [ ! -x "$BUILD/bin/vexa-devsim" ]; then
    echo "build KRO-VEXA and vexa-devsim in $BUILD first" >&2
    exit 1
fi
. bench/session.sh
bench_namespace VEXA_WINDOW_BENCH_NS --build "$BUILD" $BOOT "$@"
bench_workdir vexa-window-bench
export HOME="$WORK" XDG_RUNTIME_DIR="$WORK" VEXA_INTERFACES=lo QT_QPA_PLATFORM=xcb
bench_xvfb
tries=0
until [ -s "$WORK/display" ]; do
    tries=$((tries + 1))
    [ $tries -le 100 ] || { echo "Xvfb did not start" >&2; exit 1; }
    sleep 0.1
done
DISPLAY=:$(head -n 1 "$WORK/display")
export DISPLAY

now_ms() {
    awk '{ printf "%d\n", $1 * 1000 }' /proc/uptime
}

start_simulator() {
    mkfifo "$WORK/sim.in"
    # shellcheck disable=SC2046 # no option or two words
    "$BUILD/bin/vexa-devsim" --count "$1" $([ -z "$BOOT" ] && echo --no-boot-announce) --heartbeat 3600 \
        <"$WORK/sim.in" >"$WORK/sim.out" 2>"$WORK/sim.err" &
    SIM=$!
    exec 4>"$WORK/sim.in"
    tries=0
    until grep -q '^ready' "$WORK/sim.out" 2>/dev/null; do
        tries=$((tries + 1))
        [ $tries -le 1200 ] || { echo "vexa-devsim did not start" >&2; exit 1; }
        sleep 0.1
    done
}

for count in "$@"; do
    [ -n "$BOOT" ] || start_simulator "$count"
    start=$(now_ms)
    QT_LOGGING_RULES="vexa.device.page.debug=true" "$BUILD/bin/KRO-VEXA" >"$WORK/tool.out" 2>"$WORK/tool.err" &
    TOOL=$!
    if [ -n "$BOOT" ]; then
        sleep 2
        start_simulator "$count"
        start=$(now_ms)
    fi
    listed=
    while [ -z "$listed" ]; do
        sleep 0.05
        last=$(tail -n 1 "$WORK/tool.err" 2>/dev/null | sed -n 's/.*===ws===\([0-9]*\).*/\1/p')
        if [ "${last:-0}" -ge "$count" ]; then
            listed=$(now_ms)
        elif [ $(($(now_ms) - start)) -gt 120000 ] || ! kill -0 $TOOL 2>/dev/null; then
            echo "window devices=$count NOT listed (last count ${last:-none})" >&2
            break
        fi
    done
    # Until the tool is idle: the work after the last row counts too.
    ticks=$(awk '{ print $14 + $15 }' "/proc/$TOOL/stat")
    while sleep 0.5; do
        again=$(awk '{ print $14 + $15 }' "/proc/$TOOL/stat")
        [ "$again" -gt "$ticks" ] || break
        ticks=$again
    done
    peak=$(awk '/^VmHWM/ { printf "%d", $2 / 1024 }' "/proc/$TOOL/status")
    hz=$(getconf CLK_TCK)
    if [ -n "$listed" ]; then
        echo "window devices=$count listed_s=$(awk -v a="$listed" -v b="$start" 'BEGIN { printf "%.2f", (a - b) / 1000 }')" \
            "cpu_s=$(awk -v t="$ticks" -v hz="$hz" 'BEGIN { printf "%.2f", t / hz }') peak_mib=$peak"
    fi
    kill $TOOL 2>/dev/null || true
    wait $TOOL 2>/dev/null || true
    echo quit >&4
    exec 4>&-
    wait $SIM 2>/dev/null || true
    rm -f "$WORK/sim.in"
done

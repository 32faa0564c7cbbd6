#!/bin/sh
# The discovery figures of this build beside those of an older commit,
# measured in one run on one machine, so that a speed-up or a regression shows
# as a ratio rather than as two figures taken at different loads.
#
#   bench/compare-discovery.sh [--base REV] [--build DIR] [--runs K] [--window] N [N ...]
#
# REV (default 3ab4a96) is exported with `git archive` into
# build-compare/<commit>/src and built there in Release (kept for the next
# run; the ccache of the tree is used). DIR (default build-rel) is the current
# Release build. For each N, vexa-bench-discovery --devices N --runs K runs for
# the older build, then for this one, alternately, in a network namespace of
# their own with only loopback up; the table gives the medians and the ratio
# now/before (below 1: faster now). --window also lists N devices in
# KRO-VEXA of both builds (bench/window-listing.sh) and compares the time to the
# last row, the tool's CPU and its peak memory.
set -eu
cd "$(dirname "$0")/.."
BASE=3ab4a96
BUILD=build-rel
RUNS=3
WINDOW=
while [ $# -gt 0 ]; do
    case $1 in
    --base) BASE=$2; shift 2 ;;
    --build) BUILD=$2; shift 2 ;;
    --runs) RUNS=$2; shift 2 ;;
    --window) WINDOW=1; shift ;;
    --) shift; break ;;
    -*) echo "usage: $0 [--base REV] [--build DIR] [--runs K] [--window] N [N ...]" >&2; exit 2 ;;
    *) break ;;
    esac
done
if [ $# -eq 0 ]; then
    echo "usage: $0 [--base REV] [--build DIR] [--runs K] [--window] N [N ...]" >&2
    exit 2
fi
if [ ! -x "$BUILD/bin/vexa-bench-discovery" ] || [ ! -x "$BUILD/bin/vexa-devsim" ]; then
    echo "build vexa-bench-discovery and vexa-devsim in $BUILD (Release) first" >&2
    exit 1
fi
if [ -n "$WINDOW" ] && [ ! -x "$BUILD/bin/KRO-VEXA" ]; then
    echo "--window: build KRO-VEXA in $BUILD first" >&2
    exit 1
fi

# Into a namespace of our own: only loopback, only our simulators.
if [ -z "${VEXA_COMPARE_NS:-}" ]; then
    COMMIT=$(git rev-parse --verify "$BASE^{commit}")
    OLD=build-compare/$COMMIT
    if [ ! -f "$OLD/src/CMakeLists.txt" ]; then
        rm -rf "$OLD/src"
        mkdir -p "$OLD/src"
        git archive "$COMMIT" | tar -x -C "$OLD/src"
    fi
    TARGETS="vexa-bench-discovery vexa-devsim PACKET Vexa"
    GUI=OFF
    if [ -n "$WINDOW" ]; then
        TARGETS="$TARGETS KRO-VEXA"
        GUI=ON
    fi
    echo "building $BASE ($COMMIT) in $OLD/build ..." >&2
    cmake -S "$OLD/src" -B "$OLD/build" -G Ninja -DCMAKE_BUILD_TYPE=Release -DVEXA_BUILD_GUI=$GUI \
        -DCMAKE_CXX_COMPILER_LAUNCHER=ccache -DCMAKE_C_COMPILER_LAUNCHER=ccache >"$OLD/configure.log" 2>&1 ||
        { cat "$OLD/configure.log" >&2; exit 1; }
    # shellcheck disable=SC2086 # a list of targets
    cmake --build "$OLD/build" -j2 --target $TARGETS >"$OLD/build.log" 2>&1 ||
        { tail -n 30 "$OLD/build.log" >&2; exit 1; }
    export VEXA_COMPARE_NS=1 VEXA_COMPARE_OLD="$OLD/build"
    set -- --base "$BASE" --build "$BUILD" --runs "$RUNS" ${WINDOW:+--window} -- "$@"
    if [ "$(id -u)" -eq 0 ]; then
        exec unshare -n "$0" "$@"
    fi
    exec unshare -rn "$0" "$@"
fi
ip link set lo up
export VEXA_INTERFACES=lo

# "key=value" out of a benchmark's line.
field() {
    printf '%s\n' "$1" | tr ' ' '\n' | sed -n "s/^$2=//p" | head -n 1
}
ratio() {
    awk -v a="$1" -v b="$2" 'BEGIN { if (b > 0) printf "%.2f", a / b; else print "-" }'
}

echo "discovery (vexa-bench-discovery --runs $RUNS, loopback): $BASE vs $BUILD"
printf '%8s | %20s | %28s | %s\n' devices "$BASE median ms" "now median ms (runs)" "ratio now/before"
for count in "$@"; do
    before=$("$VEXA_COMPARE_OLD/bin/vexa-bench-discovery" --devices "$count" --runs "$RUNS" 2>/dev/null |
        grep '^devices=' || true)
    now=$("$BUILD/bin/vexa-bench-discovery" --devices "$count" --runs "$RUNS" 2>/dev/null | grep '^devices=' || true)
    b=$(field "$before" median_ms)
    n=$(field "$now" median_ms)
    printf '%8s | %13s found %-6s | %9s (%s) found %-6s | %s\n' "$count" "${b:--}" "$(field "$before" found)" \
        "${n:--}" "$(field "$now" runs_ms)" "$(field "$now" found)" "$(ratio "${n:-0}" "${b:-0}")"
done

if [ -n "$WINDOW" ]; then
    echo
    echo "window (bench/window-listing.sh: launch to last row): $BASE vs $BUILD"
    printf '%8s | %-34s | %-34s | %s\n' devices "$BASE s / CPU s / peak MiB" "now s / CPU s / peak MiB" \
        "ratio now/before (time, CPU)"
    for count in "$@"; do
        before=$(sh bench/window-listing.sh --build "$VEXA_COMPARE_OLD" "$count" 2>/dev/null | grep '^window' || true)
        now=$(sh bench/window-listing.sh --build "$BUILD" "$count" 2>/dev/null | grep '^window' || true)
        printf '%8s | %10s / %6s / %6s      | %10s / %6s / %6s      | %s, %s\n' "$count" \
            "$(field "$before" listed_s)" "$(field "$before" cpu_s)" "$(field "$before" peak_mib)" \
            "$(field "$now" listed_s)" "$(field "$now" cpu_s)" "$(field "$now" peak_mib)" \
            "$(ratio "$(field "$now" listed_s)" "$(field "$before" listed_s)")" \
            "$(ratio "$(field "$now" cpu_s)" "$(field "$before" cpu_s)")"
    done
fi

#!/bin/sh
# Commissioning jobs for a batch of N simulated devices (default 1000): for
# each job, vexa-scan's total time (from its start, discovery of the batch
# included) and its peak memory (GNU time's maximum resident set), with the
# number of devices done.
#
#   bench/jobs-batch.sh [--build DIR] [--restart-delay S] [N]
#
# DIR (default build-rel) is a Release build with vexa-devsim, vexa-scan and
# the packet driver. It runs in a network namespace of its own with only
# loopback up. The simulator serves every device on one thread and checks
# each administrator password with Argon2id: for the jobs that need one, it is
# usually the side that limits (its CPU is printed beside the tool's).
set -eu
cd "$(dirname "$0")/.."
BUILD=build-rel
DELAY=2
N=1000
while [ $# -gt 0 ]; do
    case $1 in
    --build) BUILD=$2; shift 2 ;;
    --restart-delay) DELAY=$2; shift 2 ;;
    -*) echo "usage: $0 [--build DIR] [--restart-delay S] [N]" >&2; exit 2 ;;
    *) N=$1; shift ;;
    esac
done
BIN=$(cd "$BUILD/bin" && pwd)
if [ ! -x "$BIN/vexa-devsim" ] || [ ! -x "$BIN/vexa-scan" ] || [ ! -x /usr/bin/time ]; then
    echo "needs vexa-devsim and vexa-scan in $BUILD (Release) and GNU time (/usr/bin/time)" >&2
    exit 1
fi
if [ -z "${VEXA_JOBS_NS:-}" ]; then
    exec env VEXA_JOBS_NS=1 unshare -n sh -c 'ip link set lo up && exec "$0" "$@"' "$0" --build "$BUILD" \
        --restart-delay "$DELAY" "$N"
fi
export VEXA_INTERFACES=lo

TMP=$(mktemp -d)
SIM=
cleanup() {
    [ -n "$SIM" ] && kill "$SIM" 2>/dev/null && wait "$SIM" 2>/dev/null
    rm -rf "$TMP"
}
trap cleanup EXIT INT TERM
mkfifo "$TMP/in"
"$BIN/vexa-devsim" --count "$N" --password demo1234 --state "$TMP/state.json" --no-boot-announce \
    --restart-delay "$DELAY" < "$TMP/in" > "$TMP/sim.out" 2>/dev/null &
SIM=$!
exec 3> "$TMP/in"
until grep -q '^ready' "$TMP/sim.out"; do sleep 0.2; done

"$BIN/vexa-scan" list --json --wait 3 | sed -n 's/.*"macAddr": "\(.*\)".*/--mac \1/p' > "$TMP/macs"
FOUND=$(wc -l < "$TMP/macs")
echo "$N simulated devices, $FOUND listed; at most 8 at a time; restart delay $DELAY s"
printf 'Site-7-admin\n' > "$TMP/new"
simCpu() { awk '{ print ($14 + $15) / 100 }' "/proc/$SIM/stat" 2>/dev/null || echo 0; }
row() {
    name=$1; shift
    before=$(simCpu)
    # shellcheck disable=SC2046
    /usr/bin/time -f '%e %M %U %S' -o "$TMP/time" "$BIN/vexa-scan" "$@" $(cat "$TMP/macs") \
        > "$TMP/out" 2>/dev/null || true
    after=$(simCpu)
    done=$(grep -c ': done' "$TMP/out" || true)
    read -r elapsed rss user sys < "$TMP/time"
    printf '%-28s %6s s %8s MiB %6s s %8s s %5s\n' "$name" "$elapsed" \
        "$(awk "BEGIN { printf \"%.1f\", $rss / 1024 }")" "$(awk "BEGIN { print $user + $sys }")" \
        "$(awk "BEGIN { print $after - $before }")" "$done"
}
printf '%-28s %8s %12s %8s %10s %5s\n' "job" "total" "peak RSS" "CPU" "sim CPU" "done"
row "time --read" time --read
row "time --now" time --now --password demo1234
row "time --ntp" time --ntp 192.0.2.1,ntp.example --password demo1234
row "passwd" passwd --password demo1234 --new-password-file "$TMP/new"
row "reboot --no-wait" reboot --no-wait --password Site-7-admin
sleep $((DELAY + 3))
row "reboot (waits for return)" reboot --password Site-7-admin
echo quit >&3

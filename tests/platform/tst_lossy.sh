#!/bin/sh
# Discovery over a lossy link: the tool and a simulator of DEVICES devices in
# two network namespaces joined by a veth pair, each namespace dropping the
# given share of incoming protocol datagrams at random (nftables numgen; the
# kernel may lack netem). `vexa-scan list` with its default wait must find on
# average at least MIN percent of the devices over RUNS runs at LOSS percent.
# Nothing leaves the namespaces.
#
# usage: tst_lossy.sh BINDIR [DEVICES RUNS LOSS MIN]   (exit 77: skipped)
#        with MIN "-" it only prints the found ratio of each run and the mean.

set -u
BIN=${1:?usage: tst_lossy.sh BINDIR [DEVICES RUNS LOSS MIN]}
DEVICES=${2:-400}
RUNS=${3:-5}
LOSS=${4:-20}
MIN=${5:-99}
. "$(dirname "$0")/netns.sh"
require_netns
if ! command -v nft >/dev/null 2>&1; then
    echo "SKIP: 'nft' is not available (Debian package nftables)"
    exit $SKIP
fi

ID=$$
TOOL=vxlt$ID
DEV=vxld$ID
WORK=$(mktemp -d /tmp/tst_lossy.XXXXXX)
SIM_PID=""

trap end_pair_test EXIT
trap 'exit 1' INT TERM HUP

first_netns "$TOOL"
ip netns add "$DEV" || fail "netns $DEV"
in_ns "$TOOL" ip link add vx0 type veth peer name vx0 netns "$DEV" || fail "veth"
address=1
for ns in $TOOL $DEV; do
    in_ns "$ns" ip link set lo up || fail "lo in $ns"
    in_ns "$ns" ip addr add 10.77.0.$address/24 dev vx0 || fail "address in $ns"
    in_ns "$ns" ip link set vx0 up || fail "vx0 up in $ns"
    in_ns "$ns" ip route add default dev vx0 || fail "route in $ns"
    address=$((address + 1))
    if [ "$LOSS" -gt 0 ]; then
        in_ns "$ns" nft -f - <<NFT || { echo "SKIP: nftables cannot filter here"; exit $SKIP; }
table inet vxloss {
    chain input {
        type filter hook input priority 0;
        udp dport 39310 numgen random mod 100 < $LOSS drop
    }
}
NFT
    fi
done

mkfifo "$WORK/sim.in"
# A plain command, so that $! is the simulator itself (ip and env exec it);
# through a shell function it would be a subshell, and killing that would
# leave the simulator running in the namespace.
ip netns exec "$DEV" env VEXA_INTERFACES=vx0 "$BIN/vexa-devsim" --count "$DEVICES" --no-boot-announce \
    <"$WORK/sim.in" >"$WORK/sim.out" 2>"$WORK/sim.err" &
SIM_PID=$!
exec 3>"$WORK/sim.in"
await_line "$WORK/sim.out" "^ready $DEVICES devices\$" 600 simulator "$WORK/sim.err"

total=0
run=1
while [ $run -le "$RUNS" ]; do
    scan list >"$WORK/list.txt" || fail "vexa-scan list"
    found=$(tail -n 1 "$WORK/list.txt" | cut -d' ' -f1)
    echo "run $run: $found of $DEVICES devices at $LOSS % loss"
    total=$((total + found))
    run=$((run + 1))
done
# Per mille, so that the check stays in integers.
mean=$((total * 1000 / (DEVICES * RUNS)))
echo "mean: $((mean / 10)).$((mean % 10)) % of $DEVICES devices over $RUNS runs at $LOSS % loss"
[ "$MIN" = - ] && exit 0
[ $mean -ge $((MIN * 10)) ] || fail "found on average fewer than $MIN % of the devices"
echo "PASS: at least $MIN % found at $LOSS % loss"
exit 0

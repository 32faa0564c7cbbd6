#!/bin/sh
# How many of N closed ONVIF devices `vexa-scan list` shows with its default
# wait, when they sit behind a veth pair and the tool's neighbour table holds
# one entry per device, as on a LAN. Each BINDIR's vexa-scan runs in turn
# against the same simulated devices (the first BINDIR's vexa-devsim).
# Root; nothing leaves the two namespaces it makes.
#
# usage: bench/onvif-lan-scan.sh N RUNS BINDIR [BINDIR...]
set -u
N=$1
RUNS=$2
shift 2
SIM_BIN=$1
TOOL=vxlst$$
DEV=vxlsd$$
WORK=$(mktemp -d /tmp/onvif-lan-scan.XXXXXX)
trap 'kill $SIM 2>/dev/null; ip netns del $TOOL 2>/dev/null; ip netns del $DEV 2>/dev/null; rm -rf "$WORK"' EXIT
ip netns add $TOOL && ip netns add $DEV || exit 1
ip -n $TOOL link add vx0 type veth peer name vx0 netns $DEV || exit 1
for ns in $TOOL $DEV; do
    ip -n $ns link set lo up && ip -n $ns link set vx0 up && ip -n $ns route add default dev vx0 || exit 1
done
ip -n $TOOL addr add 10.79.0.1/16 dev vx0
PEER=$(ip netns exec $DEV cat /sys/class/net/vx0/address)
i=0
printf '{"password": "bench1234", "devices": [\n' >"$WORK/devices.json"
while [ $i -lt "$N" ]; do
    addr=10.79.$((1 + i / 250)).$((1 + i % 250))
    echo "addr add $addr/16 dev vx0" >>"$WORK/dev.batch"
    echo "neigh replace $addr lladdr $PEER dev vx0 nud permanent" >>"$WORK/tool.batch"
    [ $i -gt 0 ] && printf ',\n' >>"$WORK/devices.json"
    printf '{"serialNo": "LS%06d", "macAddr": "02:4c:53:00:%02x:%02x", "ipv4Addr": "%s", "ipv4Mask": "255.255.0.0", "typeCode": "0x2F00", "typeName": "LAN cam", "port": 8080, "httpPort": 8080, "protocols": "onvif"}' \
        $i $((i / 256)) $((i % 256)) "$addr" >>"$WORK/devices.json"
    i=$((i + 1))
done
printf ']}\n' >>"$WORK/devices.json"
ip -n $DEV -batch "$WORK/dev.batch" && ip -n $TOOL -batch "$WORK/tool.batch" || exit 1
ip netns exec $DEV env VEXA_INTERFACES=vx0 "$SIM_BIN/vexa-devsim" --devices "$WORK/devices.json" --no-boot-announce \
    </dev/null >"$WORK/sim.out" 2>&1 &
SIM=$!
until grep -q '^ready' "$WORK/sim.out"; do sleep 0.1; done
for bin in "$@"; do
    run=0
    counts=""
    while [ $run -lt "$RUNS" ]; do
        ip netns exec $TOOL env VEXA_INTERFACES=vx0 "$bin/vexa-scan" list --json >"$WORK/scan.json" 2>/dev/null
        counts="$counts $(grep -c '"serialNo"' "$WORK/scan.json")"
        run=$((run + 1))
    done
    echo "$bin: listed of $N:$counts"
done

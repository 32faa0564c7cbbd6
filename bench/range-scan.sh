#!/bin/sh
# A range scan of a /20 (4094 addresses) through a router, at the default
# rate unless RATE is given: N simulated ONVIF devices spread over the range
# behind the router, the tool on the other side. Prints the time from start
# to the last probe and to the end, the probes a second that reached the
# router (nftables counts them), and the devices listed. Root; nothing leaves
# the three namespaces it makes.
#
# usage: bench/range-scan.sh BINDIR [N [RATE]]
set -u
BIN=${1:?usage: bench/range-scan.sh BINDIR [N [RATE]]}
N=${2:-100}
RATE=${3:-}
TOOL=vxbrt$$
ROUTER=vxbrr$$
DEV=vxbrd$$
WORK=$(mktemp -d /tmp/range-scan.XXXXXX)
SIM=""
trap '[ -n "$SIM" ] && kill $SIM 2>/dev/null; for ns in $TOOL $ROUTER $DEV; do ip netns del $ns 2>/dev/null; done; rm -rf "$WORK"' EXIT
for ns in $TOOL $ROUTER $DEV; do ip netns add $ns && ip -n $ns link set lo up || exit 1; done
ip -n $TOOL link add vt0 type veth peer name vt1 netns $ROUTER || exit 1
ip -n $DEV link add vd0 type veth peer name vd1 netns $ROUTER || exit 1
ip -n $TOOL addr add 10.33.0.2/24 dev vt0 && ip -n $ROUTER addr add 10.33.0.1/24 dev vt1 \
    && ip -n $ROUTER addr add 10.32.0.1/20 dev vd1 || exit 1
ip -n $TOOL link set vt0 up && ip -n $ROUTER link set vt1 up && ip -n $ROUTER link set vd1 up \
    && ip -n $DEV link set vd0 up || exit 1
ip -n $TOOL route add default via 10.33.0.1 || exit 1
ip netns exec $ROUTER sysctl -qw net.ipv4.ip_forward=1 || exit 1
ip netns exec $ROUTER nft -f - <<'NFT' || exit 1
table ip count {
    counter probes { }
    chain pre { type filter hook prerouting priority -300; iifname "vt1" ip daddr 10.32.0.0/20 udp dport 3702 counter name probes; }
}
NFT
i=0
printf '{"password": "bench1234", "onvifOpenReads": true, "devices": [\n' >"$WORK/devices.json"
while [ $i -lt "$N" ]; do
    # Spread over the range, clear of the router's 10.32.0.1.
    host=$((2 + i * 4000 / N))
    addr=10.32.$((host / 256)).$((host % 256))
    echo "addr add $addr/20 dev vd0" >>"$WORK/dev.batch"
    [ $i -gt 0 ] && printf ',\n' >>"$WORK/devices.json"
    printf '{"serialNo": "RS%06d", "macAddr": "02:52:53:00:%02x:%02x", "ipv4Addr": "%s", "ipv4Mask": "255.255.240.0", "typeCode": "0x2F00", "typeName": "Routed cam", "port": 8080, "httpPort": 8080, "protocols": "onvif"}' \
        $i $((i / 256)) $((i % 256)) "$addr" >>"$WORK/devices.json"
    i=$((i + 1))
done
printf ']}\n' >>"$WORK/devices.json"
ip -n $DEV -batch "$WORK/dev.batch" && ip -n $DEV route add default via 10.32.0.1 || exit 1
ip netns exec $DEV env VEXA_INTERFACES=vd0 "$BIN/vexa-devsim" --devices "$WORK/devices.json" --no-boot-announce \
    </dev/null >"$WORK/sim.out" 2>&1 &
SIM=$!
until grep -q '^ready' "$WORK/sim.out"; do sleep 0.1; done
probes() { ip netns exec $ROUTER nft list counter ip count probes | sed -n 's/.*packets \([0-9]*\).*/\1/p'; }
now_ms() { echo $(($(date +%s%N) / 1000000)); }

start=$(now_ms)
ip netns exec $TOOL env VEXA_INTERFACES=vt0 "$BIN/vexa-scan" scan 10.32.0.0/20 ${RATE:+--rate $RATE} --wait 2 --json \
    >"$WORK/scan.json" 2>"$WORK/scan.err" &
SCAN=$!
first="" last=""
while kill -0 $SCAN 2>/dev/null; do
    count=$(probes)
    [ -z "$first" ] && [ "$count" -gt 0 ] && first=$(now_ms)
    [ -z "$last" ] && [ "$count" -ge 4094 ] && last=$(now_ms)
    sleep 0.05
done
wait $SCAN
end=$(now_ms)
count=$(probes)
listed=$(grep -c '"serialNo"' "$WORK/scan.json")
echo "range 10.32.0.0/20 (4094 addresses), rate ${RATE:-default}, $N devices behind the router"
echo "probes reaching the router: $count"
if [ -n "$first" ] && [ -n "$last" ] && [ "$last" -gt "$first" ]; then
    echo "first to last probe: $((last - first)) ms, $((count * 1000 / (last - first))) probes/s"
fi
echo "start to last probe: $((${last:-$end} - start)) ms; start to exit: $((end - start)) ms (answers awaited 2 s, details 2 s)"
echo "devices listed: $listed of $N"

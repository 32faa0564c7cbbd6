#!/bin/sh
# Range scans reach ONVIF devices behind a router, which multicast does not
# cross. Three namespaces in a row: the tool (10.31.1.2), a router
# (10.31.1.1 | 10.31.2.1, forwarding) that also holds one ONVIF device on the
# tool's link (10.31.1.50), and a subnet of three ONVIF devices (10.31.2.10-12).
# Checked: `list` sees the link alone; `scan` lists all four, each once
# though the link's device answers both ways; each address is probed once and
# no faster than the rate (nftables counts the probes reaching the router);
# an interrupt ends a /16 at once. Nothing leaves the namespaces.
#
# usage: tst_rangescan_netns.sh BINDIR     (exit 77: skipped, not root, no `ip netns` or no `nft`)

set -u
BIN=${1:?usage: tst_rangescan_netns.sh BINDIR}
. "$(dirname "$0")/netns.sh"
require_netns
command -v nft >/dev/null 2>&1 || { echo "SKIP: nft is not available"; exit $SKIP; }

ID=$$
TOOL=vxrtool$ID
ROUTER=vxrrouter$ID
DEV=vxrdev$ID
WORK=$(mktemp -d /tmp/tst_rangescan_netns.XXXXXX)
LOCAL_PID=""
REMOTE_PID=""
SCAN_PID=""

end() {
    exec 3>&- 4>&-
    stop_pid "$SCAN_PID"
    stop_pid "$LOCAL_PID"
    stop_pid "$REMOTE_PID"
    for ns in $TOOL $ROUTER $DEV; do ip netns del "$ns" 2>/dev/null; done
    rm -rf "$WORK"
}
trap end EXIT
trap 'exit 1' INT TERM HUP

first_netns "$TOOL"
for ns in $ROUTER $DEV; do ip netns add "$ns" || fail "netns $ns"; done
for ns in $TOOL $ROUTER $DEV; do in_ns "$ns" ip link set lo up || fail "lo in $ns"; done
in_ns "$TOOL" ip link add vt0 type veth peer name vt1 netns "$ROUTER" || fail "veth tool-router"
in_ns "$DEV" ip link add vd0 type veth peer name vd1 netns "$ROUTER" || fail "veth router-devices"
in_ns "$TOOL" ip addr add 10.31.1.2/24 dev vt0 || fail "address of the tool"
in_ns "$ROUTER" ip addr add 10.31.1.1/24 dev vt1 || fail "router's address on the tool's link"
in_ns "$ROUTER" ip addr add 10.31.1.50/24 dev vt1 || fail "address of the link's device"
in_ns "$ROUTER" ip addr add 10.31.2.1/24 dev vd1 || fail "router's address on the devices' subnet"
for a in 10 11 12; do in_ns "$DEV" ip addr add 10.31.2.$a/24 dev vd0 || fail "device address .$a"; done
in_ns "$TOOL" ip link set vt0 up && in_ns "$ROUTER" ip link set vt1 up && in_ns "$ROUTER" ip link set vd1 up \
    && in_ns "$DEV" ip link set vd0 up || fail "links up"
in_ns "$TOOL" ip route add default via 10.31.1.1 || fail "tool's route"
in_ns "$DEV" ip route add default via 10.31.2.1 || fail "devices' route"
in_ns "$ROUTER" sysctl -qw net.ipv4.ip_forward=1 || fail "forwarding"
# Every directed probe that reaches the router from the tool's side, whatever becomes of it.
in_ns "$ROUTER" nft -f - <<'NFT' || fail "probe counter"
table ip count {
    counter probes { }
    chain pre { type filter hook prerouting priority -300; iifname "vt1" ip daddr != 224.0.0.0/4 udp dport 3702 counter name probes; }
}
NFT
probes() {
    in_ns "$ROUTER" nft list counter ip count probes | sed -n 's/.*packets \([0-9]*\).*/\1/p'
}
reset_probes() {
    in_ns "$ROUTER" nft reset counter ip count probes >/dev/null || fail "counter reset"
}

# devices FILE SERIAL-PREFIX MAC-PREFIX ADDRESS...: ONVIF devices showing their details to anyone.
devices() {
    file=$1 serial=$2 mac=$3
    shift 3
    n=0
    printf '{"password": "onvif123", "onvifOpenReads": true, "devices": [' >"$file"
    for addr in "$@"; do
        [ $n = 0 ] || printf ',' >>"$file"
        n=$((n + 1))
        printf '{"serialNo": "%s%d", "macAddr": "%s:%02x", "ipv4Addr": "%s", "ipv4Mask": "255.255.255.0",
          "typeCode": 8209, "typeName": "IPC-ONVIF", "port": 8080, "httpPort": 8080, "protocols": "onvif"}' \
            "$serial" $n "$mac" $n "$addr" >>"$file"
    done
    printf ']}\n' >>"$file"
}
devices "$WORK/local.json" LINK$ID- 02:4f:4e:00:01 10.31.1.50
devices "$WORK/remote.json" BEHIND$ID- 02:4f:4e:00:02 10.31.2.10 10.31.2.11 10.31.2.12
mkfifo "$WORK/local.in" "$WORK/remote.in"
# Plain commands, so that $! is the simulator itself (ip and env exec it).
ip netns exec "$ROUTER" env VEXA_INTERFACES=vt1 "$BIN/vexa-devsim" --devices "$WORK/local.json" \
    --state "$WORK/local.state" <"$WORK/local.in" >"$WORK/local.out" 2>"$WORK/local.err" &
LOCAL_PID=$!
exec 3>"$WORK/local.in"
ip netns exec "$DEV" env VEXA_INTERFACES=vd0 "$BIN/vexa-devsim" --devices "$WORK/remote.json" \
    --state "$WORK/remote.state" <"$WORK/remote.in" >"$WORK/remote.out" 2>"$WORK/remote.err" &
REMOTE_PID=$!
exec 4>"$WORK/remote.in"
await_line "$WORK/local.out" '^ready 1 devices$' 100 "the link's simulator" "$WORK/local.err"
await_line "$WORK/remote.out" '^ready 3 devices$' 100 "the subnet's simulator" "$WORK/remote.err"

tool() {
    in_ns "$TOOL" env VEXA_INTERFACES=vt0 "$BIN/vexa-scan" "$@"
}
rows() { grep -c '"serialNo"' "$1"; }
# once FILE SERIAL ADDRESS: exactly one entry for the device, at its address.
once() {
    [ "$(grep -c "\"serialNo\": \"$2\"" "$1")" = 1 ] || fail "$2 not listed exactly once: $(cat "$1")"
    grep -A2 "\"serialNo\": \"$2\"" "$1" | grep -q "\"ipv4Addr\": \"$3\"" || fail "$2 not at $3: $(cat "$1")"
}

# 1. Multicast stays on the link.
tool list --json --wait 2 >"$WORK/list.json" || fail "vexa-scan list"
[ "$(rows "$WORK/list.json")" = 1 ] || fail "list saw beyond the router: $(cat "$WORK/list.json")"
once "$WORK/list.json" LINK$ID-1 10.31.1.50

# 2. The scan finds the subnet behind the router; the link's device, found both ways, is one entry.
reset_probes
tool scan 10.31.2.0/24,10.31.1.0/24 --rate 1000 --json --wait 2 >"$WORK/scan.json" 2>"$WORK/scan.err" \
    || fail "vexa-scan scan: $(cat "$WORK/scan.err")"
grep -q "VXDP devices are link-local" "$WORK/scan.err" || fail "no note on VXDP devices: $(cat "$WORK/scan.err")"
[ "$(rows "$WORK/scan.json")" = 4 ] || fail "not four entries: $(cat "$WORK/scan.json")"
once "$WORK/scan.json" LINK$ID-1 10.31.1.50
for n in 1 2 3; do once "$WORK/scan.json" BEHIND$ID-$n 10.31.2.$((n + 9)); done
# The router sees each of the other subnet's 254 addresses probed once, and its own two on the link.
[ "$(probes)" = 256 ] || fail "$(probes) probes reached the router, not 256"

# 3. The rate: 254 probes at 100 a second take 2.4 s at least (a tenth of a second's burst), and
#    at no reading did more reach the router than the rate allows since the start. The wait after
#    the last probe leaves a loaded machine time to read the last device's details.
reset_probes
start=$(date +%s%N)
# Plain commands, so that $! is the scanner itself.
ip netns exec "$TOOL" env VEXA_INTERFACES=vt0 "$BIN/vexa-scan" scan 10.31.2.0/24 --rate 100 --wait 3 --json \
    >"$WORK/rate.json" 2>"$WORK/rate.err" &
SCAN_PID=$!
while kill -0 "$SCAN_PID" 2>/dev/null; do
    count=$(probes)
    elapsedMs=$((($(date +%s%N) - start) / 1000000))
    [ "$count" -le $((elapsedMs / 10 + 11)) ] || fail "$count probes after $elapsedMs ms at 100 a second"
    [ "$count" = 254 ] && [ -z "${lastMs:-}" ] && lastMs=$elapsedMs
    sleep 0.2
done
wait "$SCAN_PID" || fail "the paced scan: $(cat "$WORK/rate.err")"
SCAN_PID=""
[ "$(probes)" = 254 ] || fail "$(probes) probes at 100 a second, not 254"
[ "${lastMs:-99999}" -ge 2400 ] || fail "254 probes within ${lastMs} ms at 100 a second"
[ "$(rows "$WORK/rate.json")" = 4 ] || fail "the paced scan did not list the link and the three: $(cat "$WORK/rate.json")"

# 4. An interrupt ends a /16 (most of its probes unrouted past the router) within a moment.
reset_probes
ip netns exec "$TOOL" env VEXA_INTERFACES=vt0 "$BIN/vexa-scan" scan 10.31.0.0/16 --rate 200 --json \
    >"$WORK/cancel.json" 2>"$WORK/cancel.err" &
SCAN_PID=$!
sleep 1.5
kill -INT "$SCAN_PID"
n=0
while kill -0 "$SCAN_PID" 2>/dev/null; do
    n=$((n + 1))
    [ $n -le 20 ] || fail "the scan did not end within 2 s of the interrupt"
    sleep 0.1
done
wait "$SCAN_PID" && fail "an interrupted scan reported success"
SCAN_PID=""
grep -q "scan cancelled after" "$WORK/cancel.err" || fail "no word of the cancel: $(cat "$WORK/cancel.err")"
after=$(probes)
sleep 0.5
[ "$(probes)" = "$after" ] || fail "probes went on after the scan ended"
[ "$after" -gt 50 ] && [ "$after" -le 600 ] || fail "$after probes in 1.5 s at 200 a second"

echo "PASS: four devices listed once each, 254 probes at the rate, the /16 ended by an interrupt"
exit 0

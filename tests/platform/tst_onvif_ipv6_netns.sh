#!/bin/sh
# A simulated ONVIF device without a usable IPv4 address, found over IPv6
# (WS-Discovery on ff02::c) across a veth pair: its XAddr is its link-local
# address with the zone, its details are read over IPv6 and it is readdressed
# there. The device's interface has another name than the tool's: the zone it
# writes means nothing on the tool's host, which goes by the interface the
# answer came in on. Started again with the new address held on its link, it answers on
# both families and is still one device, at its IPv4 address.
#
# usage: tst_onvif_ipv6_netns.sh BINDIR     (exit 77: skipped, not root or no `ip netns`)

set -u
BIN=${1:?usage: tst_onvif_ipv6_netns.sh BINDIR}
. "$(dirname "$0")/netns.sh"
require_netns

ID=$$
TOOL=vxo6t$ID
DEV=vxo6d$ID
WORK=$(mktemp -d /tmp/tst_onvif_ipv6_netns.XXXXXX)
SIM_PID=""
trap end_pair_test EXIT
trap 'exit 1' INT TERM HUP

pair_namespaces
in_ns "$DEV" ip link set vx0 name dv0 || fail "name of the device's end"
# Link-local addresses at once, no duplicate detection to wait for.
in_ns "$TOOL" sysctl -qw net.ipv6.conf.vx0.accept_dad=0 || fail "sysctl in $TOOL"
in_ns "$DEV" sysctl -qw net.ipv6.conf.dv0.accept_dad=0 || fail "sysctl in $DEV"
in_ns "$TOOL" ip addr add 10.0.0.5/24 dev vx0 || fail "tool address"
for end in "$TOOL vx0" "$DEV dv0"; do
    set -- $end
    in_ns "$1" ip link set "$2" up || fail "$2 up in $1"
    in_ns "$1" ip route add default dev "$2" || fail "route in $1"
done
await_link_local "$DEV" dv0
await_link_local "$TOOL" vx0

SERIAL=ONV6$ID
MAC=02:4f:36:00:00:01
# The device believes in a 169.254 address its link does not carry.
cat >"$WORK/devices.json" <<JSON
{"password": "onvif6pass", "devices": [
  {"serialNo": "$SERIAL", "macAddr": "$MAC", "ipv4Addr": "169.254.7.7", "ipv4Mask": "255.255.0.0",
   "typeCode": 8209, "typeName": "IPC-ONVIF6", "port": 8080, "httpPort": 8080, "protocols": "onvif"}]}
JSON

start_sim() {
    rm -f "$WORK/sim.in" "$WORK/sim.out"
    mkfifo "$WORK/sim.in"
    ip netns exec "$DEV" env VEXA_INTERFACES=dv0 "$BIN/vexa-devsim" --onvif-open-reads \
        --devices "$WORK/devices.json" --state "$WORK/sim.state" \
        <"$WORK/sim.in" >"$WORK/sim.out" 2>"$WORK/sim.err" &
    SIM_PID=$!
    exec 3>"$WORK/sim.in"
    await_line "$WORK/sim.out" '^ready 1 devices$' 100 simulator "$WORK/sim.err"
}

# listed_once FILE: one row, its details read (serial number and model from the device itself).
listed_once() {
    [ "$(grep -c '"serialNo"' "$1")" = 1 ] || fail "not exactly one device: $(cat "$1")"
    grep -q "\"serialNo\": \"$SERIAL\"" "$1" || fail "details not read: $(cat "$1")"
    grep -q "\"macAddr\": \"$MAC\"" "$1" || fail "MAC not read: $(cat "$1")"
}

start_sim
# The device's side has no IPv4 address: it holds the IPv6 WS-Discovery group alone.
in_ns "$DEV" ip maddr show dev dv0 | grep -q ff02::c || fail "no ff02::c: $(in_ns "$DEV" ip maddr show dev dv0)"
DEV_LL=$(in_ns "$DEV" ip -6 addr show dev dv0 scope link | sed -n 's/.*inet6 \(fe80::[0-9a-f:]*\).*/\1/p')
[ -n "$DEV_LL" ] || fail "no link-local address of the device"

scan list --json --wait 3 >"$WORK/list1.json" || fail "vexa-scan list"
listed_once "$WORK/list1.json"
grep -q "\"ipv6Addr\": \"$DEV_LL%vx0\"" "$WORK/list1.json" ||
    fail "not listed at $DEV_LL%vx0: $(cat "$WORK/list1.json")"
grep -q '"ipv4Addr": ""' "$WORK/list1.json" || fail "an IPv4 address it cannot be reached at: $(cat "$WORK/list1.json")"

# Readdressed over IPv6, with its password only.
scan modify --mac $MAC --password wrong-password --ip 10.0.0.100 --mask 255.255.255.0 --port 8080 \
    >"$WORK/modify.out" 2>&1 && fail "readdressed with a wrong password"
scan modify --mac $MAC --password onvif6pass --ip 10.0.0.100 --mask 255.255.255.0 --port 8080 \
    >"$WORK/modify.out" 2>&1 || fail "vexa-scan modify over IPv6: $(cat "$WORK/modify.out")"

# Its link now carries the new address: started again, it answers on both families, once.
exec 3>&-
wait "$SIM_PID"
SIM_PID=""
in_ns "$DEV" ip addr add 10.0.0.100/24 dev dv0 || fail "device address"
start_sim
for group in ff02::c 239.255.255.250; do
    in_ns "$DEV" ip maddr show dev dv0 | grep -q "$group" || fail "not on $group: $(in_ns "$DEV" ip maddr show dev dv0)"
done
scan list --json --wait 3 >"$WORK/list2.json" || fail "vexa-scan list on both families"
listed_once "$WORK/list2.json"
grep -q '"ipv4Addr": "10.0.0.100"' "$WORK/list2.json" || fail "not at 10.0.0.100: $(cat "$WORK/list2.json")"

echo "PASS: an ONVIF device without IPv4 found over IPv6 at $DEV_LL%vx0, read, readdressed, then listed once on both families"
exit 0

#!/bin/sh
# An ONVIF device that shows its settings to no one without the password, on
# one side of a veth pair, the scanner on the other: it is listed with the MAC
# of its end of the link (the host's neighbour entry), so it can be named in a
# request, and readdressed with the right password only. Nothing leaves the
# namespaces.
#
# usage: tst_onvif_netns.sh BINDIR     (exit 77: skipped, not root or no `ip netns`)

set -u
BIN=${1:?usage: tst_onvif_netns.sh BINDIR}
. "$(dirname "$0")/netns.sh"
require_netns

ID=$$
TOOL=vxotool$ID
DEV=vxodev$ID
WORK=$(mktemp -d /tmp/tst_onvif_netns.XXXXXX)
SIM_PID=""

trap end_pair_test EXIT
trap 'exit 1' INT TERM HUP

MAC=02:4f:4e:00:00:01
pair_namespaces
in_ns "$DEV" ip link set vx0 address $MAC || fail "MAC of the device's end"
in_ns "$TOOL" ip addr add 10.0.0.5/24 dev vx0 || fail "address of the tool"
# The device's simulator listens only on addresses its namespace holds: the one it moves to too.
in_ns "$DEV" ip addr add 10.0.0.64/24 dev vx0 || fail "address of the device"
in_ns "$DEV" ip addr add 10.0.0.100/24 dev vx0 || fail "second address of the device"
link_up

SERIAL=ONVNS$ID
cat >"$WORK/devices.json" <<JSON
{"password": "onvif123", "devices": [
  {"serialNo": "$SERIAL", "macAddr": "$MAC", "ipv4Addr": "10.0.0.64", "ipv4Mask": "255.255.255.0",
   "typeCode": 8209, "typeName": "IPC-ONVIF", "port": 8080, "httpPort": 8080, "protocols": "onvif"}]}
JSON
mkfifo "$WORK/sim.in"
# A plain command, so that $! is the simulator itself (ip and env exec it).
ip netns exec "$DEV" env VEXA_INTERFACES=vx0 "$BIN/vexa-devsim" --devices "$WORK/devices.json" \
    --state "$WORK/sim.state" <"$WORK/sim.in" >"$WORK/sim.out" 2>"$WORK/sim.err" &
SIM_PID=$!
# Held open for writing, so the simulator keeps its input.
exec 3>"$WORK/sim.in"
await_line "$WORK/sim.out" '^ready 1 devices$' 100 simulator "$WORK/sim.err"

# listed_at FILE ADDRESS: one row, at ADDRESS, named by its endpoint reference and the link's MAC.
listed_at() {
    [ "$(grep -c '"serialNo"' "$1")" = 1 ] || fail "not exactly one device: $(cat "$1")"
    grep -q '"serialNo": "urn:uuid:' "$1" || fail "details were read without the password: $(cat "$1")"
    grep -q "\"macAddr\": \"$MAC\"" "$1" || fail "MAC of the link not listed: $(cat "$1")"
    grep -q "\"ipv4Addr\": \"$2\"" "$1" || fail "not at $2: $(cat "$1")"
}

scan list --json --wait 2 >"$WORK/list1.json" || fail "vexa-scan list"
listed_at "$WORK/list1.json" 10.0.0.64

scan modify --mac $MAC --password wrong-password --ip 10.0.0.100 --mask 255.255.255.0 --port 8080 \
    >"$WORK/modify.out" 2>&1 && fail "readdressed with a wrong password"
scan modify --mac $MAC --password onvif123 --ip 10.0.0.100 --mask 255.255.255.0 --port 8080 \
    >"$WORK/modify.out" 2>&1 || fail "vexa-scan modify: $(cat "$WORK/modify.out")"
scan list --json --wait 2 >"$WORK/list2.json" || fail "vexa-scan list after modify"
listed_at "$WORK/list2.json" 10.0.0.100

echo "PASS: the closed ONVIF device was listed with $MAC and readdressed to 10.0.0.100"
exit 0

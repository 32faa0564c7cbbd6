#!/bin/sh
# Devices in another IPv4 subnet than the tool, on one link built from network
# namespaces: a bridge in a namespace of its own, a veth pair per member. The
# tool (10.0.0.5/24) must find both devices (each at 192.168.1.64/24) and
# readdress one into its own subnet. Nothing leaves the namespaces.
#
# usage: tst_netns.sh BINDIR     (exit 77: skipped, not root or no `ip netns`)

set -u
BIN=${1:?usage: tst_netns.sh BINDIR}
. "$(dirname "$0")/netns.sh"
require_netns

ID=$$
BR=vxbr$ID
TOOL=vxtool$ID
DEV1=vxdev1$ID
DEV2=vxdev2$ID
WORK=$(mktemp -d /tmp/tst_netns.XXXXXX)
SIM_PIDS=""

cleanup() {
    exec 3>&- 4>&-
    for pid in $SIM_PIDS; do
        stop_pid "$pid"
    done
    for ns in $TOOL $DEV1 $DEV2 $BR; do
        ip netns del "$ns" 2>/dev/null
    done
    rm -rf "$WORK"
}
trap cleanup EXIT
trap 'exit 1' INT TERM HUP

make_bridge
member "$TOOL" 0 10.0.0.5/24
member "$DEV1" 1 192.168.1.64/24
member "$DEV2" 2 192.168.1.64/24

device_file() { # device_file PATH SERIAL MAC
    cat >"$1" <<JSON
{"password": "netns123", "devices": [
  {"serialNo": "$2", "macAddr": "$3", "ipv4Addr": "192.168.1.64", "ipv4Mask": "255.255.255.0",
   "ipv4Gateway": "192.168.1.1", "typeCode": 8209, "typeName": "IPC-NS", "port": 8000}]}
JSON
}

SERIAL1=NETNS${ID}A
SERIAL2=NETNS${ID}B
MAC1=02:4e:53:00:00:01
MAC2=02:4e:53:00:00:02

start_device() { # start_device NS SERIAL MAC
    device_file "$WORK/$1.json" "$2" "$3"
    mkfifo "$WORK/$1.in"
    # A plain command, so that $! is the simulator itself (ip and env exec it).
    ip netns exec "$1" env VEXA_INTERFACES=vx0 "$BIN/vexa-devsim" --devices "$WORK/$1.json" \
        --state "$WORK/$1.state" <"$WORK/$1.in" >"$WORK/$1.out" 2>"$WORK/$1.err" &
    SIM_PIDS="$SIM_PIDS $!"
}
# Each fifo stays open for writing from this shell, so its simulator keeps its input.
start_device "$DEV1" "$SERIAL1" "$MAC1"
exec 3>"$WORK/$DEV1.in"
start_device "$DEV2" "$SERIAL2" "$MAC2"
exec 4>"$WORK/$DEV2.in"

for ns in $DEV1 $DEV2; do
    await_line "$WORK/$ns.out" '^ready 1 devices$' 100 "simulator in $ns" "$WORK/$ns.err"
done

# Both devices, each once, with their own address.
scan list --json --wait 2 >"$WORK/list1.json" || fail "vexa-scan list"
for serial in $SERIAL1 $SERIAL2; do
    count=$(grep -c "\"serialNo\": \"$serial\"" "$WORK/list1.json")
    [ "$count" = 1 ] || fail "$serial listed $count times: $(cat "$WORK/list1.json")"
done
[ "$(grep -c '"ipv4Addr": "192.168.1.64"' "$WORK/list1.json")" = 2 ] || fail "addresses: $(cat "$WORK/list1.json")"

# Readdress the first into the tool's subnet.
scan modify --mac $MAC1 --password netns123 --ip 10.0.0.100 --mask 255.255.255.0 --port 8000 \
    --gateway 10.0.0.1 || fail "vexa-scan modify"
scan list --json --wait 2 >"$WORK/list2.json" || fail "vexa-scan list after modify"
grep -A2 "\"serialNo\": \"$SERIAL1\"" "$WORK/list2.json" | grep -q '"ipv4Addr": "10.0.0.100"' ||
    fail "new address not listed: $(cat "$WORK/list2.json")"
grep -A2 "\"serialNo\": \"$SERIAL2\"" "$WORK/list2.json" | grep -q '"ipv4Addr": "192.168.1.64"' ||
    fail "the other device changed: $(cat "$WORK/list2.json")"

echo "PASS: both devices found across subnets, one readdressed to 10.0.0.100"
exit 0

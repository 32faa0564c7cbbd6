#!/bin/sh
# A device without a usable IPv4 address, found over IPv6 link-local multicast
# and given an address: the tool (10.0.0.5/24) and the device share one link
# (a veth pair between two namespaces) on which the device's side has no IPv4
# address at all. Once found and readdressed, the device's side gets the new
# address for real while the simulator runs: the simulator picks it up without
# a restart and the device, now on both families, is still listed once.
#
# usage: tst_ipv6_netns.sh BINDIR     (exit 77: skipped, not root or no `ip netns`)

set -u
BIN=${1:?usage: tst_ipv6_netns.sh BINDIR}
. "$(dirname "$0")/netns.sh"
require_netns

ID=$$
TOOL=vx6tool$ID
DEV=vx6dev$ID
WORK=$(mktemp -d /tmp/tst_ipv6_netns.XXXXXX)
SIM_PID=""
trap end_pair_test EXIT
trap 'exit 1' INT TERM HUP

pair_namespaces
for ns in $TOOL $DEV; do # link-local addresses at once, no duplicate detection to wait for
    in_ns "$ns" sysctl -qw net.ipv6.conf.vx0.accept_dad=0 || fail "sysctl in $ns"
done
in_ns "$TOOL" ip addr add 10.0.0.5/24 dev vx0 || fail "tool address"
link_up
await_link_local "$DEV" vx0

SERIAL=IPV6${ID}
MAC=02:36:00:00:00:01
# The device believes in a 169.254 address on a link that has none.
cat >"$WORK/dev.json" <<JSON
{"password": "ipv6pass1", "devices": [
  {"serialNo": "$SERIAL", "macAddr": "$MAC", "ipv4Addr": "169.254.7.7", "ipv4Mask": "255.255.0.0",
   "ipv4Gateway": "0.0.0.0", "typeCode": 8209, "typeName": "IPC-V6", "port": 8000}]}
JSON
mkfifo "$WORK/dev.in"
ip netns exec "$DEV" env VEXA_INTERFACES=vx0 "$BIN/vexa-devsim" --devices "$WORK/dev.json" \
    --state "$WORK/dev.state" <"$WORK/dev.in" >"$WORK/dev.out" 2>"$WORK/dev.err" &
SIM_PID=$!
exec 3>"$WORK/dev.in"
await_line "$WORK/dev.out" '^ready 1 devices$' 100 "simulator" "$WORK/dev.err"

listed_once() { # listed_once FILE IPV4
    count=$(grep -c "\"serialNo\": \"$SERIAL\"" "$1")
    [ "$count" = 1 ] || fail "$SERIAL listed $count times: $(cat "$1")"
    grep -A2 "\"serialNo\": \"$SERIAL\"" "$1" | grep -q "\"ipv4Addr\": \"$2\"" || fail "address $2 not listed: $(cat "$1")"
}

# Before: the device's side holds the IPv6 device group alone.
in_ns "$DEV" ip maddr show dev vx0 | grep -q ff02::4d:1 || fail "no IPv6 group: $(in_ns "$DEV" ip maddr)"
in_ns "$DEV" ip maddr show dev vx0 | grep -q 239.255.77.1 && fail "IPv4 group without an IPv4 address"
scan list --json --wait 2 >"$WORK/list1.json" || fail "vexa-scan list"
listed_once "$WORK/list1.json" 169.254.7.7
# No global IPv6 address given: the record carries the link-local one the device answers from, zone and all.
grep -A14 "\"serialNo\": \"$SERIAL\"" "$WORK/list1.json" | grep -q "\"ipv6Addr\": \"fe80::[0-9a-f:]*%vx0\"" ||
    fail "no link-local address with its zone: $(cat "$WORK/list1.json")"

scan modify --mac $MAC --password ipv6pass1 --ip 10.0.0.100 --mask 255.255.255.0 --port 8000 \
    --gateway 10.0.0.1 || fail "vexa-scan modify over IPv6"
scan list --json --wait 2 >"$WORK/list2.json" || fail "vexa-scan list after modify"
listed_once "$WORK/list2.json" 10.0.0.100

# The address arrives on the device's link while the simulator runs: it now answers in both families.
in_ns "$DEV" ip addr add 10.0.0.100/24 dev vx0 || fail "device address"
sleep 0.5
scan list --json --wait 2 >"$WORK/list3.json" || fail "vexa-scan list on both families"
listed_once "$WORK/list3.json" 10.0.0.100
in_ns "$DEV" ip maddr show dev vx0 | grep -q 239.255.77.1 || fail "simulator did not join IPv4: $(in_ns "$DEV" ip maddr)"

echo "PASS: a device without IPv4 found over IPv6, readdressed, then listed once on both families"
exit 0

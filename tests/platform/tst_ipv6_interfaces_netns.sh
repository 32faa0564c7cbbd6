#!/bin/sh
# The tool's choice of interfaces, over IPv6 alone: the tool's namespace has
# two links, vxa to a device in one namespace and vxb to a device in another,
# and no IPv4 address anywhere. VEXA_INTERFACES narrows the list to the
# devices of the links it names; a link plugged while the tool runs is taken
# without a restart and its device found.
#
# usage: tst_ipv6_interfaces_netns.sh BINDIR     (exit 77: skipped, not root or no `ip netns`)

set -u
BIN=${1:?usage: tst_ipv6_interfaces_netns.sh BINDIR}
. "$(dirname "$0")/netns.sh"
require_netns

ID=$$
TOOL=vx6ct$ID
DEV1=vx6c1$ID
DEV2=vx6c2$ID
WORK=$(mktemp -d /tmp/tst_ipv6_interfaces.XXXXXX)
SIM_PIDS=""
SCAN_PID=""

cleanup() {
    exec 3>&- 4>&-
    stop_pid "$SCAN_PID"
    for pid in $SIM_PIDS; do
        stop_pid "$pid"
    done
    for ns in $TOOL $DEV1 $DEV2; do
        ip netns del "$ns" 2>/dev/null
    done
    rm -rf "$WORK"
}
trap cleanup EXIT
trap 'exit 1' INT TERM HUP

first_netns "$TOOL"
for ns in $DEV1 $DEV2; do
    ip netns add "$ns" || fail "netns $ns"
done
for ns in $TOOL $DEV1 $DEV2; do # link-local addresses at once, no duplicate detection to wait for
    in_ns "$ns" ip link set lo up || fail "lo in $ns"
    in_ns "$ns" sysctl -qw net.ipv6.conf.default.accept_dad=0 || fail "sysctl in $ns"
done

plug() { # plug TOOLSIDE DEVNS: a link from the tool's namespace to vx0 of DEVNS, both ends up
    in_ns "$TOOL" ip link add "$1" type veth peer name vx0 netns "$2" || fail "veth $1"
    in_ns "$TOOL" ip link set "$1" up || fail "$1 up"
    in_ns "$2" ip link set vx0 up || fail "vx0 up in $2"
    await_link_local "$TOOL" "$1"
    await_link_local "$2" vx0
}
plug vxa "$DEV1"
plug vxb "$DEV2"

start_device() { # start_device NS SERIAL MAC FD
    cat >"$WORK/$1.json" <<JSON
{"password": "choice123", "devices": [
  {"serialNo": "$2", "macAddr": "$3", "ipv4Addr": "169.254.9.9", "ipv4Mask": "255.255.0.0",
   "typeCode": 8209, "typeName": "IPC-V6", "port": 8000}]}
JSON
    mkfifo "$WORK/$1.in"
    ip netns exec "$1" env VEXA_INTERFACES=vx0 "$BIN/vexa-devsim" --devices "$WORK/$1.json" \
        --state "$WORK/$1.state" <"$WORK/$1.in" >"$WORK/$1.out" 2>"$WORK/$1.err" &
    SIM_PIDS="$SIM_PIDS $!"
}
SERIAL1=CHOICE${ID}A
SERIAL2=CHOICE${ID}B
start_device "$DEV1" "$SERIAL1" 02:36:00:00:01:01
exec 3>"$WORK/$DEV1.in"
start_device "$DEV2" "$SERIAL2" 02:36:00:00:01:02
exec 4>"$WORK/$DEV2.in"
for ns in $DEV1 $DEV2; do
    await_line "$WORK/$ns.out" '^ready 1 devices$' 100 "simulator in $ns" "$WORK/$ns.err"
done

count() { # count FILE SERIAL
    grep -c "\"serialNo\": \"$2\"" "$1"
}
expect_listed() { # expect_listed FILE COUNT1 COUNT2
    [ "$(count "$1" "$SERIAL1")" = "$2" ] && [ "$(count "$1" "$SERIAL2")" = "$3" ] ||
        fail "expected $SERIAL1 x$2, $SERIAL2 x$3 in $1: $(cat "$1")"
}
list() { # list SETTING FILE
    in_ns "$TOOL" env VEXA_INTERFACES="$1" "$BIN/vexa-scan" list --json --wait 2 >"$2" || fail "vexa-scan on $1"
}

list vxa,vxb "$WORK/both.json"
expect_listed "$WORK/both.json" 1 1
list vxb "$WORK/vxb.json"
expect_listed "$WORK/vxb.json" 0 1
list vxa "$WORK/vxa.json"
expect_listed "$WORK/vxa.json" 1 0

# vxb unplugged, the tool started on what is left (every suitable interface: the namespace holds
# only the test's), vxb plugged again while it runs.
in_ns "$TOOL" ip link del vxb || fail "unplug vxb"
in_ns "$TOOL" env -u VEXA_INTERFACES "$BIN/vexa-scan" list --json --wait 6 >"$WORK/plugged.json" &
SCAN_PID=$!
sleep 2
plug vxb "$DEV2"
wait "$SCAN_PID" || fail "vexa-scan while plugging"
SCAN_PID=""
expect_listed "$WORK/plugged.json" 1 1

echo "PASS: the choice narrows the list to its links' devices; a link plugged while running is taken"
exit 0

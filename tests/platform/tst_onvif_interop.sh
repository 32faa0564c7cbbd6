#!/bin/sh
# Code no one here wrote, against ours, inside namespaces of the test's own:
# 1. the npm clients "onvif" (Cam connect, device information, network
#    interfaces, setNetworkInterfaces) and "node-onvif" (OnvifDevice.init),
#    and Debian's onvif-util, against every ONVIF device of the demo network;
# 2. a third-party ONVIF device, the mock-up the npm "onvif" package 0.6.4
#    ships for its own tests, across a veth pair: listed by vexa-scan with its
#    details and readdressed.
# Skipped (77) without root, node/npm, or a reachable npm registry; onvif-util
# is used where installed.
#
# usage: tst_onvif_interop.sh BINDIR NPMDIR
set -u
BIN=$1
NPM=$2
SRC=$(dirname "$0")
. "$SRC/netns.sh"
require_netns
command -v node >/dev/null && command -v npm >/dev/null || { echo "SKIP: node and npm are not installed"; exit $SKIP; }
# Pinned, into the build tree. The device mock-up is CoffeeScript, run by coffeescript 1 with its dot templates.
PACKAGES="onvif@0.8.3 node-onvif@0.1.7 onvif-mockup@npm:onvif@0.6.4 coffeescript@1.12.7 dot@1.1.3"
if [ ! -f "$NPM/installed" ] || [ "$(cat "$NPM/installed")" != "$PACKAGES" ]; then
    mkdir -p "$NPM"
    # shellcheck disable=SC2086
    timeout 180 npm install --no-audit --no-fund --prefix "$NPM" $PACKAGES >"$NPM/install.log" 2>&1 ||
        { echo "SKIP: the npm registry is unreachable (see $NPM/install.log)"; exit $SKIP; }
    echo "$PACKAGES" >"$NPM/installed"
fi

ID=$$
WORK=$(mktemp -d /tmp/tst_onvif_interop.XXXXXX)
TOOL=vxitool$ID
DEV=vxidev$ID
SIM_PID=""
trap end_pair_test EXIT
trap 'exit 1' INT TERM HUP

# 1. The demo network on loopback, in a namespace with only loopback up.
SERIALS=NVT3200D2311A0417,ENC4CH2402B1188,PTZ18X2209C0031,VXC212020250110DM000034
cat >"$WORK/clients.sh" <<SH
set -u
ip link set lo up || exit 1
# The clients' probes leave by the routing table: multicast out of loopback.
ip route add 224.0.0.0/4 dev lo || exit 1
export VEXA_INTERFACES=lo NODE_PATH="$NPM/node_modules"
"$BIN/vexa-devsim" --devices "$SRC/../../tools/devsim/demo-network.json" --state "$WORK/state.json" \
    </dev/null >"$WORK/devsim.log" 2>&1 &
# This simulator and no other, on every way out.
SIM=\$!
trap 'kill \$SIM 2>/dev/null; wait \$SIM' EXIT
tries=0
until grep -q '^ready ' "$WORK/devsim.log"; do
    tries=\$((tries + 1)); [ \$tries -gt 100 ] && exit 1; sleep 0.1
done
timeout 60 node "$SRC/node_onvif_interop.js" demo1234 $SERIALS >"$WORK/node-onvif.log" 2>&1
echo "client exit \$?" >>"$WORK/node-onvif.log"
timeout 60 node "$SRC/onvif_interop.js" demo1234 $SERIALS 127.20.4.77 VXC212020250110DM000034 \
    >"$WORK/onvif.log" 2>&1
echo "client exit \$?" >>"$WORK/onvif.log"
if command -v onvif-util >/dev/null; then
    timeout 20 onvif-util -a >"$WORK/onvif-util.log" 2>&1
    echo "client exit \$?" >>"$WORK/onvif-util.log"
    # It looks the camera up by a probe whose answers it waits for only
    # briefly, and prints nothing when none came in time: up to three tries.
    for try in 1 2 3; do
        echo quit | timeout 20 onvif-util -u admin -p demo1234 127.20.4.11 >"$WORK/onvif-util-login.log" 2>&1
        grep -q "serial:" "$WORK/onvif-util-login.log" && break
    done
    cat "$WORK/onvif-util-login.log" >>"$WORK/onvif-util.log"
fi
"$BIN/vexa-scan" list --wait 3 --json >"$WORK/scan.json" 2>&1
SH
unshare -n sh "$WORK/clients.sh" || { cat "$WORK/devsim.log"; fail "the namespace run failed"; }
for log in node-onvif onvif onvif-util; do
    [ -f "$WORK/$log.log" ] && { echo "--- $log"; cat "$WORK/$log.log"; }
done
grep -qx "client exit 0" "$WORK/node-onvif.log" || fail "node-onvif disagreed"
grep -qx "client exit 0" "$WORK/onvif.log" || fail "the npm onvif client disagreed"
for s in $(echo $SERIALS | tr , ' '); do
    grep -q "^device $s " "$WORK/node-onvif.log" || fail "node-onvif did not initialise $s"
    grep -q "^device $s .* profiles 1$" "$WORK/onvif.log" || fail "the npm onvif client did not connect to $s"
done
grep -q "^device NVT3200D2311A0417 02:4f:4e:56:49:01 127.20.4.10 " "$WORK/onvif.log" || fail "device information or interfaces"
grep -q '"ipv4Addr": "127.20.4.77"' "$WORK/scan.json" || fail "vexa-scan did not see the new address"
grep -q '"127.20.4.77"' "$WORK/state.json" || fail "the new address was not persisted"
if [ -f "$WORK/onvif-util.log" ]; then
    # Its discovery and device information; its later calls reuse one nonce, which devices refuse.
    grep -q "^Found 4 cameras" "$WORK/onvif-util.log" || fail "onvif-util did not find the four ONVIF devices"
    grep -q "serial: ENC4CH2402B1188" "$WORK/onvif-util.log" || fail "onvif-util did not read the device information"
fi

# 2. The third-party device on its own link.
pair_namespaces
in_ns "$TOOL" ip addr add 10.0.3.5/24 dev vx0 || fail "address of the tool"
in_ns "$DEV" ip addr add 10.0.3.64/24 dev vx0 || fail "address of the device"
link_up
# A plain command, so that $! is node itself (ip and env exec it), not a subshell.
ip netns exec "$DEV" env NODE_PATH="$NPM/node_modules" HOSTNAME=10.0.3.64 PORT=10101 \
    node -e "require('coffeescript/register'); require('onvif-mockup/test/serverMockup.coffee')" \
    >"$WORK/mockup.log" 2>&1 &
SIM_PID=$!
sleep 1
kill -0 "$SIM_PID" 2>/dev/null || fail "the device mock-up did not start: $(cat "$WORK/mockup.log")"
scan list --wait 3 --json >"$WORK/mockup.json" 2>&1
echo "--- vexa-scan list"
cat "$WORK/mockup.json"
for field in '"serialNo": "00000000"' '"macAddr": "28:57:be:65:7d:d5"' '"ipv4Addr": "10.0.3.64"' \
    '"typeName": "Mockup Model"' '"softwareVersion": "Mockup_15_14_13"' '"ipv4Gateway": "192.168.0.1"'; do
    grep -q "$field" "$WORK/mockup.json" || fail "the mock-up's $field not listed"
done
# It acknowledges SetNetworkInterfaces without changing anything.
scan modify --mac 28:57:be:65:7d:d5 --password any --ip 10.0.3.65 --mask 255.255.255.0 --port 10101 \
    >"$WORK/modify.log" 2>&1 || fail "readdressing the mock-up: $(cat "$WORK/modify.log")"
kill -0 "$SIM_PID" 2>/dev/null || fail "the device mock-up died: $(cat "$WORK/mockup.log")"
echo "PASS: npm onvif, node-onvif and onvif-util against the demo network; the npm onvif device mock-up listed and readdressed"

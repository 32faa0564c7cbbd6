#!/bin/sh
# A client no one here wrote against the simulated ONVIF devices: the npm
# "onvif" package discovers them, reads their device information and network
# interfaces and readdresses one; vexa-scan then sees the new address. Inside a
# private network namespace with only loopback up. Skipped (77) without root,
# node/npm, or a reachable npm registry.
set -u
BIN=$1
NPM=$2
SRC=$(dirname "$0")
skip() { echo "SKIP: $1"; exit 77; }
[ "$(id -u)" -eq 0 ] || skip "needs root for a private network namespace"
command -v node >/dev/null && command -v npm >/dev/null || skip "node and npm are not installed"
if [ ! -f "$NPM/node_modules/onvif/package.json" ]; then
    mkdir -p "$NPM"
    timeout 180 npm install --no-audit --no-fund --prefix "$NPM" onvif@0.8.3 >"$NPM/install.log" 2>&1 ||
        skip "the npm registry is unreachable (see $NPM/install.log)"
fi

WORK=$(mktemp -d /tmp/tst_onvif_interop.XXXXXX)
trap 'rm -rf "$WORK"' EXIT
cat >"$WORK/devices.json" <<JSON
{"password": "interop-pw1", "onvifOpenReads": true, "devices": [
 {"serialNo": "IOP-CAM-1", "macAddr": "02:10:0f:00:00:01", "ipv4Addr": "127.60.0.1", "ipv4Mask": "255.255.0.0",
  "typeCode": "0x2F00", "typeName": "Interop Cam", "port": 8080, "httpPort": 8080, "protocols": "onvif"},
 {"serialNo": "IOP-CAM-2", "macAddr": "02:10:0f:00:00:02", "ipv4Addr": "127.60.0.2", "ipv4Mask": "255.255.0.0",
  "typeCode": "0x2F00", "typeName": "Interop Cam", "port": 8080, "httpPort": 8080, "protocols": "onvif"}]}
JSON

cat >"$WORK/run.sh" <<SH
set -u
ip link set lo up || exit 1
# The client's probe leaves by the routing table: send multicast out of loopback.
ip route add 224.0.0.0/4 dev lo || exit 1
export VEXA_INTERFACES=lo
"$BIN/vexa-devsim" --devices "$WORK/devices.json" --state "$WORK/state.json" </dev/null >"$WORK/devsim.log" 2>&1 &
# This simulator and no other, on every way out.
SIM=\$!
trap 'kill \$SIM 2>/dev/null; wait \$SIM' EXIT
tries=0
until grep -q '^ready ' "$WORK/devsim.log"; do
    tries=\$((tries + 1)); [ \$tries -gt 100 ] && exit 1; sleep 0.1
done
NODE_PATH="$NPM/node_modules" timeout 60 node "$SRC/onvif_interop.js" interop-pw1 IOP-CAM-1,IOP-CAM-2 127.61.0.7 \
    >"$WORK/client.log" 2>&1
echo "client exit \$?" >>"$WORK/client.log"
"$BIN/vexa-scan" list --wait 2 --json >"$WORK/scan.json" 2>&1
SH
unshare -n sh "$WORK/run.sh" || { cat "$WORK/devsim.log"; echo "FAIL: the namespace run failed"; exit 1; }
cat "$WORK/client.log"
fail() { echo "FAIL: $1"; exit 1; }
grep -qx "client exit 0" "$WORK/client.log" || fail "the third-party client disagreed"
grep -q "^device IOP-CAM-1 02:10:0f:00:00:01 127.60.0.1$" "$WORK/client.log" || fail "device information or interfaces"
grep -q '"ipv4Addr": "127.61.0.7"' "$WORK/scan.json" || fail "vexa-scan did not see the new address"
grep -q '"ipv4Addr": "127.60.0.2"' "$WORK/scan.json" || fail "vexa-scan did not see the other device"
grep -q '"127.61.0.7"' "$WORK/state.json" || fail "the new address was not persisted"
echo "PASS: discovered, read and readdressed by the npm onvif client; vexa-scan sees the new address"

#!/bin/sh
# vexa-agent on a real (namespaced) interface: the tool (10.0.0.5/24) and the
# agent's machine (192.168.1.64/24) on one bridge, each in a network namespace
# of its own. Provisioning refuses the demo keys unless told it is a demo; a
# manufacturer made with vexa-keygen provisions the agent on a fresh machine
# (its state folder made), and the tool trusts it through its trust file
# alone (not the demo manufacturer). The agent is listed with the MAC
# and address of its veth; a wrong password changes nothing; a readdress
# changes the kernel's address and default route and holds once the tool
# confirmed it at the new address; a change whose gateway lies outside the
# new subnet, or to an address in use on the link, is refused with nothing
# touched; a change the tool cannot reach is rolled back within the
# confirmation window; an address added by hand is reported as an update; with
# its IPv4 address removed the agent is found over IPv6 and given one; the
# hook back end readdresses through its script, and a script that fails part
# way is run back; a security code restores the label password with the code
# key provisioned on the device. Commissioning jobs: the clock is read without a
# password; the netlink back end offers no clock set, and no restart without a
# reboot-hook; through the hook the script sets the clock (UTC) and the NTP
# servers, with nothing of the agent's environment; a new password takes over
# from the old one, which then runs nothing, outlives a restart of the agent and
# is not in the state file in clear; a reboot-hook is run. Nothing leaves the
# namespaces.
#
# usage: tst_agent_netns.sh BINDIR     (exit 77: skipped, not root or no `ip netns`)

set -u
BIN=${1:?usage: tst_agent_netns.sh BINDIR}
WINDOW=4 # the agent's confirm-window, seconds

. "$(dirname "$0")/netns.sh"
require_netns

ID=$$
BR=vxabr$ID
TOOL=vxatool$ID
DEV=vxadev$ID
WORK=$(mktemp -d /tmp/tst_agent_netns.XXXXXX)
AGENT_PID=""

cleanup() {
    stop_pid "$AGENT_PID"
    for ns in $TOOL $DEV $BR; do
        ip netns del "$ns" 2>/dev/null
    done
    rm -rf "$WORK"
}
trap cleanup EXIT
trap 'exit 1' INT TERM HUP

fail() {
    echo "FAIL: $*"
    [ -f "$WORK/agent.err" ] && sed 's/^/agent: /' "$WORK/agent.err"
    exit 1
}

make_bridge
member "$TOOL" 0 10.0.0.5/24
member "$DEV" 1 192.168.1.64/24

SERIAL=AGENT${ID}
MAC=$(in_ns "$DEV" cat /sys/class/net/vx0/address)
cat >"$WORK/agent.conf" <<CONF
# written by tst_agent_netns.sh
interface = vx0
serial = $SERIAL
type-name = AGENT-NS
state = $WORK/fresh/var/lib/vexa-agent/state.json
confirm-window = $WINDOW
CONF

agent() {
    in_ns "$DEV" "$BIN/vexa-agent" --config "$WORK/agent.conf" "$@"
}
# The published demo keys are refused unless the device is declared a demo.
demo_provision() {
    agent --provision --manufacturer-key "$BIN/demo-manufacturer.key" --factory-key "$BIN/demo-factory.key" "$@"
}
demo_provision >/dev/null 2>"$WORK/demo.err" && fail "provisioned with the demo keys without --demo"
grep -q "refusing the demo keys" "$WORK/demo.err" || fail "no reason for refusing: $(cat "$WORK/demo.err")"
[ -e "$WORK/fresh" ] && fail "a refused provisioning touched the machine"
sed 's|^state = .*|state = '"$WORK"'/demo/state.json|' "$WORK/agent.conf" >"$WORK/demo.conf"
in_ns "$DEV" "$BIN/vexa-agent" --config "$WORK/demo.conf" --provision --demo \
    --manufacturer-key "$BIN/demo-manufacturer.key" --factory-key "$BIN/demo-factory.key" >/dev/null ||
    fail "--provision --demo"

# The manufacturer's own keys, and the tool trusting that manufacturer alone.
(cd "$WORK" && "$BIN/vexa-keygen" manufacturer acme >/dev/null && "$BIN/vexa-keygen" factory acme-codes >/dev/null) ||
    fail "vexa-keygen"
mkdir -m 755 "$WORK/trust" && cp "$WORK/acme.pub" "$WORK/trust/" || fail "trust directory"
export VEXA_TRUST_DIR="$WORK/trust"
# A fresh machine: --provision first makes the state folder and its parents.
agent --provision --manufacturer-key "$WORK/acme.key" --factory-key "$WORK/acme-codes.key" >"$WORK/provision.out" ||
    fail "--provision with the manufacturer's keys"
LABEL=$(sed -n 's/.*label password \([a-z0-9]*\)$/\1/p' "$WORK/provision.out")
[ -n "$LABEL" ] || fail "no label password: $(cat "$WORK/provision.out")"
[ "$(stat -c %a "$WORK/fresh/var/lib/vexa-agent")" = 700 ] || fail "state folder not private"
[ "$(stat -c %a "$WORK/fresh/var/lib")" = 755 ] || fail "state folder's parent: $(stat -c %a "$WORK/fresh/var/lib")"
[ "$(stat -c %a "$WORK/fresh/var/lib/vexa-agent/state.json")" = 600 ] || fail "state file not private"
# No password yet: the agent refuses to start.
agent >/dev/null 2>"$WORK/nopw.err" && fail "started without a password"
grep -q -- "--set-password" "$WORK/nopw.err" || fail "no hint at --set-password: $(cat "$WORK/nopw.err")"
echo agentpw1 | agent --set-password >/dev/null || fail "--set-password"

# The agent in the background, serving vx0 once it said so; its log starts afresh.
start_agent() { # start_agent WHAT
    ip netns exec "$DEV" env VEXA_INTERFACES=vx0 "$BIN/vexa-agent" --config "$WORK/agent.conf" >"$WORK/agent.out" 2>"$WORK/agent.err" &
    AGENT_PID=$!
    await_line "$WORK/agent.out" "^ready $SERIAL $MAC vx0\$" 100 "$1" "$WORK/agent.out"
}
stop_agent() {
    stop_pid "$AGENT_PID"
    AGENT_PID=""
}
start_agent agent

# The record of our agent in a listing: its serial number's line and the lines after it.
record() {
    grep -A20 "\"serialNo\": \"$SERIAL\"" "$1" | sed '/}/q'
}
dev_addr() {
    in_ns "$DEV" ip -4 -o addr show dev vx0
}

# Listed with the real MAC and address of its interface.
scan list --json --wait 2 >"$WORK/list1.json" || fail "vexa-scan list"
record "$WORK/list1.json" >"$WORK/rec1"
grep -q "\"macAddr\": \"$MAC\"" "$WORK/rec1" || fail "MAC: $(cat "$WORK/list1.json")"
grep -q '"ipv4Addr": "192.168.1.64"' "$WORK/rec1" || fail "address: $(cat "$WORK/rec1")"
grep -q '"ipv4Mask": "255.255.255.0"' "$WORK/rec1" || fail "mask: $(cat "$WORK/rec1")"

# A commissioning job for our agent, the password on standard input; the tool's answer in job.out.
job() { # job PASSWORD COMMAND ARGS...
    pw=$1 cmd=$2
    shift 2
    echo "$pw" | scan "$cmd" --mac "$MAC" --password-file - "$@" >"$WORK/job.out" 2>&1
}
job_done() { # job_done PASSWORD COMMAND ARGS...
    job "$@" && grep -q "^$MAC: done" "$WORK/job.out" || fail "$2 $3 not done: $(cat "$WORK/job.out")"
}
job_refused() { # job_refused CAUSE PASSWORD COMMAND ARGS...
    cause=$1
    shift
    job "$@"
    rc=$?
    [ $rc = 1 ] && grep -Eq "^$MAC: refused: $cause(,|\$)" "$WORK/job.out" ||
        fail "$2 $3 not refused with '$cause' (status $rc): $(cat "$WORK/job.out")"
}
# The clock is read without a password; it is this machine's clock, so well within a second.
scan time --mac "$MAC" --read >"$WORK/read.out" 2>&1 || fail "time --read: $(cat "$WORK/read.out")"
grep -Eqx "$MAC: done, clock offset [+-]0\.[0-9]{3} s" "$WORK/read.out" || fail "clock offset: $(cat "$WORK/read.out")"
# The netlink back end has no way to set the clock and no reboot-hook is configured: neither is offered.
job_refused "the device does not offer this job" agentpw1 time --set "2031-05-06 07:08:09"
job_refused "the device does not offer this job" agentpw1 reboot --no-wait

modify() { # modify PASSWORD IP MASK GATEWAY
    scan modify --mac "$MAC" --password "$1" --ip "$2" --mask "$3" --port 8000 --gateway "$4"
}
# A wrong password changes nothing.
modify wrongpw1 10.0.0.100 255.255.255.0 10.0.0.1 >/dev/null 2>&1 && fail "wrong password accepted"
dev_addr | grep -q "inet 192.168.1.64/24" || fail "changed by a wrong password: $(dev_addr)"

# A readdress done for real, confirmed at the new address and kept past the window.
modify agentpw1 10.0.0.100 255.255.255.0 10.0.0.1 || fail "vexa-scan modify"
dev_addr | grep -q "inet 10.0.0.100/24" || fail "new address not on vx0: $(dev_addr)"
dev_addr | grep -q "192.168.1.64" && fail "old address left: $(dev_addr)"
in_ns "$DEV" ip -4 route show default | grep -q "default via 10.0.0.1 dev vx0" ||
    fail "default route: $(in_ns "$DEV" ip -4 route)"
sleep $((WINDOW + 1))
dev_addr | grep -q "inet 10.0.0.100/24" || fail "a confirmed change was rolled back: $(dev_addr)"

# A new subnet without a gateway of its own keeps the old one, which no route
# reaches from there: refused before anything is touched.
default_route() {
    in_ns "$DEV" ip -4 route show default
}
scan modify --mac "$MAC" --password agentpw1 --ip 172.16.9.100 --mask 255.255.255.0 --port 8000 >/dev/null 2>&1 &&
    fail "a change whose gateway lies outside the new subnet reported as done"
dev_addr | grep -q "inet 10.0.0.100/24" || fail "address touched by a refused change: $(dev_addr)"
dev_addr | grep -q "172.16.9.100" && fail "refused address left on vx0: $(dev_addr)"
default_route | grep -q "default via 10.0.0.1 dev vx0" || fail "route touched by a refused change: $(in_ns "$DEV" ip -4 route)"
grep -q "refusing the change: gateway 10.0.0.1 for 172.16.9.100/255.255.255.0: outside the subnet" "$WORK/agent.err" ||
    fail "no reason logged for the refused gateway"
# The tool's own address is in use on the link: refused too.
modify agentpw1 10.0.0.5 255.255.255.0 10.0.0.1 >/dev/null 2>&1 && fail "an address in use reported as taken"
dev_addr | grep -q "inet 10.0.0.100/24" || fail "address touched for an address in use: $(dev_addr)"
grep -q "refusing the change: 10.0.0.5 is in use on the link" "$WORK/agent.err" || fail "no reason logged for the address in use"

# An address added by hand is news at once (netlink event), not at the next heartbeat.
scan list --json --wait 3 >"$WORK/list2.json" &
LIST_PID=$!
sleep 1.5
in_ns "$DEV" ip addr add 2001:db8::64/64 dev vx0 nodad || fail "ip addr add"
wait $LIST_PID || fail "vexa-scan list during the change"
record "$WORK/list2.json" >"$WORK/rec2"
grep -q '"ipv6Addr": "2001:db8::64"' "$WORK/rec2" || fail "added address not reported: $(cat "$WORK/rec2")"
grep -q '"eventCode": 2' "$WORK/rec2" || fail "not reported as an update: $(cat "$WORK/rec2")"

# Its IPv4 address gone, the agent is still found over IPv6 (link-local) and given one back from the tool.
in_ns "$DEV" ip -4 addr flush dev vx0 || fail "ip addr flush"
scan list --json --wait 2 >"$WORK/list3.json" || fail "vexa-scan list without IPv4"
[ "$(grep -c "\"serialNo\": \"$SERIAL\"" "$WORK/list3.json")" = 1 ] || fail "not listed once over IPv6: $(cat "$WORK/list3.json")"
in_ns "$DEV" ip maddr show dev vx0 | grep -q 239.255.77.1 && fail "the agent still holds the IPv4 group without IPv4"
modify agentpw1 10.0.0.100 255.255.255.0 10.0.0.1 || fail "vexa-scan modify over IPv6"
dev_addr | grep -q "inet 10.0.0.100/24" || fail "no IPv4 address given over IPv6: $(dev_addr)"
sleep $((WINDOW + 1))
dev_addr | grep -q "inet 10.0.0.100/24" || fail "the address given over IPv6 was rolled back: $(dev_addr)"

# A change the tool cannot reach (no route to the new subnet) is not confirmed and is rolled back.
in_ns "$TOOL" ip route del default || fail "tool route"
modify agentpw1 172.16.9.100 255.255.255.0 172.16.9.1 >/dev/null 2>&1 && fail "unreachable change reported as done"
n=0
until dev_addr | grep -q "inet 10.0.0.100/24"; do
    n=$((n + 1))
    [ $n -le $((WINDOW * 10 + 20)) ] || fail "not rolled back within ${WINDOW} s: $(dev_addr)"
    sleep 0.1
done
dev_addr | grep -q "172.16.9.100" && fail "unconfirmed address left: $(dev_addr)"
in_ns "$DEV" ip -4 route show default | grep -q "default via 10.0.0.1 dev vx0" ||
    fail "default route not restored: $(in_ns "$DEV" ip -4 route)"
grep -q "not confirmed" "$WORK/agent.err" || fail "no rollback logged"

# A security code of the day restores the label password, with the code key provisioned on the device.
CODE=$(in_ns "$TOOL" "$BIN/vexa-scan" code --serial "$SERIAL" --date "$(date -u +%F)" --key "$WORK/acme-codes.key")
scan reset --serial "$SERIAL" --code "$CODE" >/dev/null || fail "security code refused"
in_ns "$TOOL" ip route add default dev vx0 || fail "tool route back"
modify "$LABEL" 10.0.0.100 255.255.255.0 10.0.0.1 >/dev/null || fail "label password refused after the reset"

# The hook back end: the script, not the agent, changes the address.
stop_agent
cat >"$WORK/hook" <<'HOOK'
#!/bin/sh
# The jobs record how they were run, their whole environment included: the agent's own stays out.
case $1 in time | ntp | reboot) echo "$1" $(env | grep ^VEXA_ | sort) >>"${0%/*}/jobs.log" && exit 0 ;; esac
echo "$1 $VEXA_INTERFACE $VEXA_OLD_IPV4_ADDR/$VEXA_OLD_IPV4_PREFIX $VEXA_IPV4_ADDR/$VEXA_IPV4_PREFIX $VEXA_IPV4_GATEWAY" >>"${0%/*}/hook.log"
ip addr del "$VEXA_OLD_IPV4_ADDR/$VEXA_OLD_IPV4_PREFIX" dev "$VEXA_INTERFACE" &&
    ip addr add "$VEXA_IPV4_ADDR/$VEXA_IPV4_PREFIX" dev "$VEXA_INTERFACE" &&
    [ "$1 $VEXA_IPV4_ADDR" != "apply 10.0.0.102" ] # its later step fails for this one
HOOK
chmod +x "$WORK/hook"
printf 'backend = hook\nhook = %s\n' "$WORK/hook" >>"$WORK/agent.conf"
start_agent "agent with a hook"
modify "$LABEL" 10.0.0.101 255.255.255.0 10.0.0.1 || fail "vexa-scan modify through the hook"
grep -qx "apply vx0 10.0.0.100/24 10.0.0.101/24 10.0.0.1" "$WORK/hook.log" || fail "hook: $(cat "$WORK/hook.log")"
dev_addr | grep -q "inet 10.0.0.101/24" || fail "hook did not readdress: $(dev_addr)"
# The script changed the address, then failed: run the other way, it puts the old one back.
modify "$LABEL" 10.0.0.102 255.255.255.0 10.0.0.1 >/dev/null 2>&1 && fail "a failed hook reported as done"
grep -q "^rollback vx0 10.0.0.102/24 10.0.0.101/24" "$WORK/hook.log" || fail "hook not run back: $(cat "$WORK/hook.log")"
dev_addr | grep -q "inet 10.0.0.101/24" || fail "a failed hook left: $(dev_addr)"
dev_addr | grep -q "10.0.0.102" && fail "a failed hook's address left: $(dev_addr)"

# The clock through the script, in UTC, and the NTP servers in the order given.
ran() { # ran LINE: the script was run as LINE
    grep -qx "$1" "$WORK/jobs.log" || fail "script not run as '$1': $(cat "$WORK/jobs.log" 2>&1)"
}
job_done "$LABEL" time --set "2031-05-06 07:08:09"
ran "time VEXA_UTC=2031-05-06T07:08:09Z"
job_done "$LABEL" time --ntp a.example,10.0.0.9
ran "ntp VEXA_NTP_SERVERS=a.example 10.0.0.9"
# A new password: the old one is then a wrong one, which runs nothing.
echo "n3w-Agent-pw" >"$WORK/new.pw"
job_done "$LABEL" passwd --new-password-file "$WORK/new.pw"
job_refused "wrong password" "$LABEL" time --set "2032-01-01 00:00:00"
grep -q 2032 "$WORK/jobs.log" && fail "a wrong password ran the script: $(cat "$WORK/jobs.log")"
job_done n3w-Agent-pw time --set "2033-01-01 00:00:00"
ran "time VEXA_UTC=2033-01-01T00:00:00Z"
# The password outlives the agent, kept as a hash only; a reboot-hook, run after the answer, restarts the machine.
grep -q n3w-Agent-pw "$WORK/fresh/var/lib/vexa-agent/state.json" && fail "the new password in clear in the state file"
stop_agent
printf 'reboot-hook = %s\n' "$WORK/hook" >>"$WORK/agent.conf"
start_agent "agent with a reboot-hook"
job_done n3w-Agent-pw reboot --no-wait
await_line "$WORK/jobs.log" "^reboot\$" 50 "reboot-hook" "$WORK/jobs.log"

echo "PASS: agent listed with $MAC, readdressed to 10.0.0.100/24 via 10.0.0.1, gateway outside the subnet and address in use refused, unreachable change rolled back, hook applied and run back, clock read and set, NTP set, password changed, reboot-hook run"
exit 0

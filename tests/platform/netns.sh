# Sourced by the network-namespace tests: the skip rules, a few helpers and a
# bridge that members join by veth pairs. Nothing leaves the namespaces.
# Exit 77 tells CTest the test was skipped.

SKIP=77

fail() {
    echo "FAIL: $*"
    exit 1
}

in_ns() {
    ns=$1
    shift
    ip netns exec "$ns" "$@"
}

# Waits up to TENTHS tenths of a second for a line matching PATTERN in FILE;
# fails naming WHAT, with the text of LOG when given.
await_line() { # await_line FILE PATTERN TENTHS WHAT [LOG]
    n=0
    until grep -q "$2" "$1" 2>/dev/null; do
        n=$((n + 1))
        [ "$n" -le "$3" ] || fail "$4 not ready${5:+: $(cat "$5")}"
        sleep 0.1
    done
}

# vexa-scan in the tool's namespace $TOOL, on its end of the link, vx0.
scan() {
    in_ns "$TOOL" env VEXA_INTERFACES=vx0 "$BIN/vexa-scan" "$@"
}

# Ends a program this shell started in the background (its own pid, never a
# subshell around it) and reaps it; nothing for an empty pid.
stop_pid() { # stop_pid PID
    [ -n "$1" ] || return 0
    kill "$1" 2>/dev/null
    wait "$1" 2>/dev/null
}

# The end of a test of one simulator ($SIM_PID, its input held open as
# descriptor 3) and the scanner, in the namespaces $DEV and $TOOL: everything
# the test made goes, $WORK included. Closing its input already ends the
# simulator; the signal is for one that is stuck.
end_pair_test() {
    exec 3>&-
    stop_pid "$SIM_PID"
    ip netns del "$TOOL" 2>/dev/null
    ip netns del "$DEV" 2>/dev/null
    rm -rf "$WORK"
}

# Waits up to two seconds for the link-local IPv6 address of IF in namespace NS,
# which comes a moment after the link is up.
await_link_local() { # await_link_local NS IF
    n=0
    until ip netns exec "$1" ip -6 addr show dev "$2" scope link | grep -q fe80; do
        n=$((n + 1))
        [ "$n" -le 20 ] || fail "no link-local address on $2 in $1"
        sleep 0.1
    done
}

# Skips unless this process may make network namespaces.
require_netns() {
    if [ "$(id -u)" != 0 ]; then
        echo "SKIP: network namespaces need root"
        exit $SKIP
    fi
    if ! command -v ip >/dev/null 2>&1 || ! ip netns list >/dev/null 2>&1; then
        echo "SKIP: 'ip netns' is not available"
        exit $SKIP
    fi
}

# Makes the test's first namespace. In a chroot or a container without the
# capability a namespace is made but cannot be entered ("mount --make-rslave /"
# fails): nothing to test there.
first_netns() { # first_netns NS
    ip netns add "$1" || { echo "SKIP: cannot create a network namespace"; exit $SKIP; }
    ip netns exec "$1" true 2>/dev/null || { echo "SKIP: cannot enter a network namespace here"; exit $SKIP; }
}

# The tool's namespace $TOOL (made first) and the device's $DEV, joined by a
# veth pair vx0-vx0, up with a route out of it; addresses and MACs are the
# caller's to set before `link_up`.
pair_namespaces() {
    first_netns "$TOOL"
    ip netns add "$DEV" || fail "netns $DEV"
    for ns in $TOOL $DEV; do
        in_ns "$ns" ip link set lo up || fail "lo in $ns"
    done
    in_ns "$TOOL" ip link add vx0 type veth peer name vx0 netns "$DEV" || fail "veth"
}
link_up() {
    for ns in $TOOL $DEV; do
        in_ns "$ns" ip link set vx0 up || fail "vx0 up in $ns"
        in_ns "$ns" ip route add default dev vx0 || fail "route in $ns"
    done
}

# A bridge br0 in namespace $BR, made as the test's first namespace.
make_bridge() {
    first_netns "$BR"
    in_ns "$BR" ip link set lo up || fail "lo in $BR"
    in_ns "$BR" ip link add br0 type bridge mcast_snooping 0 || fail "bridge"
    in_ns "$BR" ip link set br0 up || fail "bridge up"
}

# One namespace per member, joined to the bridge by a veth pair whose outer end
# lives in the bridge's namespace (interface names stay short: 15 characters).
member() { # member NS INDEX ADDRESS
    ip netns add "$1" || fail "netns $1"
    in_ns "$1" ip link set lo up || fail "lo in $1"
    in_ns "$BR" ip link add "port$2" type veth peer name vx0 netns "$1" || fail "veth for $1"
    in_ns "$BR" ip link set "port$2" master br0 up || fail "bridge port for $1"
    in_ns "$1" ip addr add "$3" dev vx0 || fail "address of $1"
    in_ns "$1" ip link set vx0 up || fail "vx0 up in $1"
    # Multicast from another subnet passes the reverse-path check only with a route back.
    in_ns "$1" ip route add default dev vx0 || fail "route in $1"
}

#!/bin/sh
# Records the netlink dumps tst_agent_netlink reads, from a namespace of its
# own (root): veth-t0 with a primary and a secondary IPv4 address, a global
# IPv6 address and the default route; veth-t1 with a leased address; lo.
set -eu
here=$(cd "$(dirname "$0")" && pwd)
exec unshare -n sh -c "
    ip link set lo up
    ip link add veth-t0 address 02:00:00:00:0a:07 type veth peer name veth-t1 address 02:00:00:00:0a:08
    ip addr add 10.9.8.7/24 dev veth-t0
    ip addr add 10.9.8.8/24 dev veth-t0
    ip addr add 2001:db8::7/64 dev veth-t0 nodad
    ip addr add 10.7.0.5/16 dev veth-t1 valid_lft 3000 preferred_lft 3000
    ip link set veth-t0 up
    ip link set veth-t1 up
    ip route add default via 10.9.8.1 dev veth-t0
    ip -6 route add default via 2001:db8::1 dev veth-t0
    python3 '$here/record.py' '$here'
"

#!/usr/bin/env python3
"""Records the kernel's rtnetlink dumps (links, addresses, routes) of the
current network namespace, one message a line in hex, for the agent's netlink
tests. record.sh sets the namespace up; run it as root after changing what
the recording should hold."""
import socket
import struct
import sys

NLM_F_REQUEST, NLM_F_DUMP = 0x1, 0x300
NLMSG_DONE, NLMSG_ERROR = 3, 2
RTM_GETLINK, RTM_GETADDR, RTM_GETROUTE = 18, 22, 26


def dump(kind, body):
    s = socket.socket(socket.AF_NETLINK, socket.SOCK_RAW, socket.NETLINK_ROUTE)
    s.bind((0, 0))
    header = struct.pack("=IHHII", 16 + len(body), kind, NLM_F_REQUEST | NLM_F_DUMP, 1, 0)
    s.send(header + body)
    messages = []
    while True:
        data = s.recv(65536)
        offset = 0
        while offset < len(data):
            length, msg_type = struct.unpack_from("=IH", data, offset)
            if msg_type in (NLMSG_DONE, NLMSG_ERROR):
                return messages
            messages.append(data[offset:offset + length])
            offset += (length + 3) & ~3


requests = {
    "links": (RTM_GETLINK, struct.pack("=BxHiII", socket.AF_UNSPEC, 0, 0, 0, 0)),
    "addrs": (RTM_GETADDR, struct.pack("=BBBBI", socket.AF_UNSPEC, 0, 0, 0, 0)),
    "routes": (RTM_GETROUTE, struct.pack("=BBBBBBBBI", socket.AF_UNSPEC, 0, 0, 0, 0, 0, 0, 0, 0)),
}
for name, (kind, body) in requests.items():
    with open(f"{sys.argv[1]}/{name}.hex", "w") as out:
        for message in dump(kind, body):
            out.write(message.hex() + "\n")

#pragma once

// Tells when the system's interfaces or their addresses changed (a cable
// plugged, a VPN up, an address added), through rtnetlink events: the
// watcher only wakes its owner, who then reads the interfaces afresh.

#include <memory>

struct nl_sock;

namespace packet {

class LinkWatch final
{
public:
    /** Subscribed to link and address events; null where netlink is not available. */
    static std::unique_ptr<LinkWatch> open();
    ~LinkWatch();
    LinkWatch(const LinkWatch &) = delete;
    LinkWatch &operator=(const LinkWatch &) = delete;

    /** Readable when events are waiting (for poll and socket notifiers). */
    int fd() const;
    /** Reads every waiting event without blocking; true when any arrived or some were lost. */
    bool drain();

private:
    LinkWatch() = default;
    nl_sock *m_socket = nullptr;
};

} // namespace packet

#pragma once

#include <QObject>

#include <memory>

class QTimer;

namespace packet {
class LinkWatch;
}

/**
 * Tells the page, on its own thread, that the system's interfaces or their
 * addresses changed (a cable plugged, a VPN up, an address taken away). The
 * netlink socket is read through the event loop, so nothing waits on it; the
 * burst of events one change brings makes a single Changed() once it settles.
 */
class LinkFollower final : public QObject
{
    Q_OBJECT

public:
    explicit LinkFollower(QObject *parent);
    ~LinkFollower() override;

    /** Whether changes are followed at all (no netlink: only Refresh reads the interfaces). */
    bool IsFollowing() const { return m_watch != nullptr; }

    /** How long the events of one change are gathered before Changed(). */
    static constexpr int kSettleMs = 150;

signals:
    void Changed();

private:
    void OnReadable();

    std::unique_ptr<packet::LinkWatch> m_watch;
    QTimer *m_settle = nullptr;
};

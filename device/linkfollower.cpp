#include "linkfollower.h"

#include <packet/linkwatch.h>

#include <QSocketNotifier>
#include <QTimer>

LinkFollower::LinkFollower(QObject *parent) : QObject(parent), m_watch(packet::LinkWatch::open())
{
    if (!m_watch)
        return;
    m_settle = new QTimer(this);
    m_settle->setSingleShot(true);
    m_settle->setInterval(kSettleMs);
    connect(m_settle, &QTimer::timeout, this, &LinkFollower::Changed);
    auto *notifier = new QSocketNotifier(m_watch->fd(), QSocketNotifier::Read, this);
    connect(notifier, &QSocketNotifier::activated, this, &LinkFollower::OnReadable);
}

// The notifiers are children and go first: none is left on a closed socket.
LinkFollower::~LinkFollower() = default;

void LinkFollower::OnReadable()
{
    if (m_watch->drain())
        m_settle->start(); // restarted by each event of the burst
}

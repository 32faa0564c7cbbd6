#include "devicehandover.h"

#include <cstring>
#include <iterator>

namespace {

bool SameRecord(const VEXA_DEVICE_INFO_MY &a, const VEXA_DEVICE_INFO_MY &b)
{
    // A signal carries a byte-for-byte copy of the record handed over.
    return std::memcmp(&a, &b, sizeof a) == 0;
}

} // namespace

DeviceHandOver::DeviceHandOver()
    : m_pageThread(std::this_thread::get_id())
{
}

DeviceHandOver::~DeviceHandOver() = default;

void DeviceHandOver::Online(const VEXA_DEVICE_INFO_MY &record)
{
    // The node is made outside the lock and moved, never copied, from here
    // on: a storm of reports holds each record once.
    DeviceRecordList::Records node{record};
    const std::lock_guard lock(m_mutex);
    m_online.splice(m_online.end(), node);
    m_reports.push_back({Kind::Online, DeviceId()});
}

void DeviceHandOver::Update(const VEXA_DEVICE_INFO_MY &record)
{
    Report report{Kind::Update, DeviceId::Of(record)};
    const std::lock_guard lock(m_mutex);
    m_reports.push_back(std::move(report));
}

void DeviceHandOver::Offline(const DeviceId &device)
{
    const std::lock_guard lock(m_mutex);
    m_reports.push_back({Kind::Offline, device});
}

DeviceRecordList::Records DeviceHandOver::TakeOnline(const VEXA_DEVICE_INFO_MY &record)
{
    if (!m_listedAhead.isEmpty() && m_listedAhead.head() == DeviceId::Of(record)) {
        m_listedAhead.dequeue();
        return {};
    }
    DeviceRecordList::Records run;
    {
        const std::lock_guard lock(m_mutex);
        if (!m_reports.empty() && m_reports.front().kind == Kind::Online && SameRecord(m_online.front(), record)) {
            qsizetype count = 0;
            while (!m_reports.empty() && m_reports.front().kind == Kind::Online) {
                m_reports.pop_front();
                ++count;
            }
            run.splice(run.end(), m_online, m_online.begin(), std::next(m_online.begin(), count));
        }
    }
    if (run.empty())
        return DeviceRecordList::Records{record};
    for (auto ahead = std::next(run.cbegin()); ahead != run.cend(); ++ahead)
        m_listedAhead.enqueue(DeviceId::Of(*ahead));
    return run;
}

void DeviceHandOver::TakeUpdate(const VEXA_DEVICE_INFO_MY &record)
{
    const DeviceId device = DeviceId::Of(record);
    const std::lock_guard lock(m_mutex);
    if (!m_reports.empty() && m_reports.front().kind == Kind::Update && m_reports.front().device == device)
        m_reports.pop_front();
}

std::optional<DeviceId> DeviceHandOver::TakeOffline(const QString &serial, const QString &mac)
{
    const std::lock_guard lock(m_mutex);
    if (m_reports.empty() || m_reports.front().kind != Kind::Offline || !m_reports.front().device.IsShownAs(serial, mac))
        return std::nullopt;
    const DeviceId device = std::move(m_reports.front().device);
    m_reports.pop_front();
    return device;
}

#pragma once

#include "deviceid.h"
#include "devicerecordlist.h"
#include "vexadevice_export.h"

#include <QQueue>

#include <deque>
#include <mutex>
#include <optional>
#include <thread>

/**
 * The device reports on their way from the report callback to the page, in
 * report order. The callback hands over every report made on another
 * thread before it emits the page's signal for it; the page's slots take
 * them back in the same order, as the queued signals arrive.
 *
 * An online signal takes its report together with the online reports right
 * after it (up to the first update or offline, which must wait for those
 * rows), so that a burst of devices becomes one run of rows: the signals
 * of the records listed ahead of their turn then take nothing. A signal
 * whose report was not handed over (one emitted on the page's own thread,
 * or by anyone but the callback) takes nothing from here and stands for
 * itself.
 *
 * The callback's side holds the lock only to link a node made outside it;
 * the page's side runs on the thread that made the hand-over.
 */
class VEXADEVICE_EXPORT DeviceHandOver final
{
public:
    DeviceHandOver();
    ~DeviceHandOver();
    Q_DISABLE_COPY_MOVE(DeviceHandOver)

    /** Whether the caller runs on the page's thread, where signals are delivered at once and nothing waits here. */
    bool OnPageThread() const { return std::this_thread::get_id() == m_pageThread; }

    // The callback's side, on another thread than the page's.
    void Online(const VEXA_DEVICE_INFO_MY &record);
    void Update(const VEXA_DEVICE_INFO_MY &record);
    void Offline(const DeviceId &device);

    // The page's side.
    /**
     * The records an online signal for `record` lists now, in report order:
     * its own report and the online reports right after it; `record` alone
     * when it was not handed over; none when an earlier signal listed it.
     */
    DeviceRecordList::Records TakeOnline(const VEXA_DEVICE_INFO_MY &record);
    /** Drops the update report of `record` if it is next. */
    void TakeUpdate(const VEXA_DEVICE_INFO_MY &record);
    /**
     * The identity an offline report named, as its bytes, if the signal
     * showing it as `serial` and `mac` is the next report; nothing otherwise.
     */
    std::optional<DeviceId> TakeOffline(const QString &serial, const QString &mac);

private:
    enum class Kind { Online, Update, Offline };
    struct Report {
        Kind kind;
        /** Update and offline reports; an online report's record waits in m_online. */
        DeviceId device;
    };

    const std::thread::id m_pageThread;
    std::mutex m_mutex;
    /** Every report handed over and not yet taken, in report order. */
    std::deque<Report> m_reports;
    /** The records of the online reports among them, in the same order. */
    DeviceRecordList::Records m_online;
    /** Listed ahead of their signals, in report order; the page's thread only. */
    QQueue<DeviceId> m_listedAhead;
};

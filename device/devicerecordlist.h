#pragma once

#include "vexadevice_export.h"
#include "vexadeviceinfo.h"

#include <QByteArray>
#include <QHash>
#include <QList>

#include <list>

/**
 * The device page's records of online devices, in arrival order, with an
 * index on device identity (serial number and MAC address, compared as
 * bytes) so that every lookup costs the same at any number of devices.
 *
 * A record is appended when its report arrives, before its row exists, and
 * stays "pending" until the page has added the row; only records with a row
 * take part in lookups and removals, so the rows and the records that
 * describe them stay paired one to one.
 *
 * Not thread-safe: the page guards it with its device mutex.
 */
class VEXADEVICE_EXPORT DeviceRecordList final
{
public:
    DeviceRecordList() = default;
    Q_DISABLE_COPY_MOVE(DeviceRecordList)

    struct Entry {
        VEXA_DEVICE_INFO_MY record;
        bool shown = false;
    };
    using Entries = std::list<Entry>;

    /**
     * Keeps the records of devices whose rows are still to come: the
     * entries of `pending` (not shown), moving their nodes
     * over rather than copying: records built on another thread are handed
     * over this way. `pending` is left empty.
     */
    void AdoptPending(Entries &pending);
    /**
     * A row now shows `record`: its device's oldest pending record becomes
     * shown, or, when none is pending (a report that did not pass through the
     * list), a copy of `record` is appended as shown.
     */
    void MarkShown(const VEXA_DEVICE_INFO_MY &record);
    /** The first shown record of the device, or null. */
    VEXA_DEVICE_INFO_MY *FindShown(const QByteArray &serial, const QByteArray &mac);
    /** Removes every shown record of the device and returns how many; pending ones stay. */
    int RemoveShown(const QByteArray &serial, const QByteArray &mac);

    qsizetype size() const { return qsizetype(m_records.size()); }

    /** Whether two records describe one device, by the edition's identity rule. */
    static bool SameDevice(const VEXA_DEVICE_INFO_MY &a, const VEXA_DEVICE_INFO_MY &b) { return KeyOf(a) == KeyOf(b); }

    /** The NUL-terminated serial number and MAC of a record, read within their field widths. */
    static QByteArray SerialOf(const VEXA_DEVICE_INFO_MY &record);
    static QByteArray MacOf(const VEXA_DEVICE_INFO_MY &record);

private:

    static QByteArray Key(QByteArrayView serial, QByteArrayView mac);
    static QByteArray KeyOf(const VEXA_DEVICE_INFO_MY &record);

    Entries m_records;
    /** Identity key -> that device's records, in arrival order. */
    QHash<QByteArray, QList<Entries::iterator>> m_byDevice;
};

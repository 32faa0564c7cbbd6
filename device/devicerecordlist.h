#pragma once

#include "vexadevice_export.h"
// Included, not declared: in the older edition the record's name is an alias.
#include "vexadeviceinfo.h"

#include <QtGlobal>

#include <list>

/**
 * The records of the devices the table lists: one per row built from a
 * record, in the order the rows were made. The page owns it
 * (`m_listDevice`); its table model keeps it. Each row holds where its
 * record lies, which stays put until the row goes, so the table answers a
 * row's record without reading any cell. Only the model's write functions
 * add, change and drop records.
 *
 * Not thread-safe: the page guards it with its device mutex.
 */
class VEXADEVICE_EXPORT DeviceRecordList final
{
public:
    using Records = std::list<VEXA_DEVICE_INFO_MY>;
    /** Where a record lies; valid until it is removed. */
    using Handle = Records::iterator;

    DeviceRecordList() = default;
    Q_DISABLE_COPY_MOVE(DeviceRecordList)

    /**
     * Keeps `records` after the others, moving their nodes rather than
     * copying them (records made on another thread arrive this way), and
     * returns where the first of them lies. `records` is left empty.
     */
    Handle Adopt(Records &records);
    /** Where a record after the last would lie. */
    Handle End() { return m_records.end(); }
    void Remove(Handle record) { m_records.erase(record); }

    qsizetype size() const { return qsizetype(m_records.size()); }

private:
    Records m_records;
};

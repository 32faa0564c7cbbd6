#pragma once

#include "deviceid.h"
#include "vexadevice_export.h"

#include <QHash>
#include <QList>
#include <QSet>
#include <QVarLengthArray>

#include <optional>
#include <utility>

class QStandardItem;

/**
 * Which rows of the device table show which device and which IPv4 address,
 * and which rows share their address with a row of another device (the
 * table marks those). The table model files each row as its write functions
 * make, change and remove it; nothing here looks at a model or a view.
 *
 * A row is known by its anchor, an item that stays with the row wherever the
 * row moves. Its address is a number, or nothing when the row's text is no
 * IPv4 address. Every call costs the same at any number of rows, and keeping
 * the marks costs the same however many devices share one address.
 *
 * What holds between any two calls: a row is in m_filed exactly when it is in
 * m_rowsByDevice[its device]; it is in m_rowsByAddress[address].rows exactly
 * when m_filed gives it that address; m_rowsOfDeviceAtAddress counts those
 * rows per (address, device), and each bucket's `devices` counts the pairs at
 * its address. A row is marked exactly when its bucket has more than one device.
 */
class VEXADEVICE_EXPORT DeviceRowIndex final
{
public:
    using Row = const QStandardItem *;

    DeviceRowIndex();
    ~DeviceRowIndex();
    Q_DISABLE_COPY_MOVE(DeviceRowIndex)

    /** Files `row` under `device` and `address`, or moves it there; a row that changes device goes last among its new device's rows. */
    void File(Row row, const DeviceId &device, std::optional<quint32> address);
    /** Moves a filed row to another address; a row never filed stays unfiled. */
    void Readdress(Row row, std::optional<quint32> address);
    /** Forgets the row, before its anchor goes. */
    void Remove(Row row);

    bool IsFiled(Row row) const { return m_filed.contains(row); }
    /** The rows filed under the device, in the order they were filed. */
    QList<Row> RowsOf(const DeviceId &device) const;
    /** The rows at the address, in no particular order. */
    QList<Row> RowsAt(quint32 address) const;
    std::optional<quint32> AddressOf(Row row) const;
    /** Whether a row of another device is at the row's address. */
    bool IsMarked(Row row) const;
    /** The rows of other devices at the row's address, in no particular order. */
    QList<Row> OthersAt(Row row) const;
    /**
     * The rows whose mark may have changed since the last call (a row may be
     * named although its mark changed back): the views must repaint them.
     */
    QSet<Row> TakeMarksChanged();

private:
    struct Filed {
        DeviceId device;
        std::optional<quint32> address;
    };
    // Kept small: most addresses hold one row.
    struct AddressBucket {
        QVarLengthArray<Row, 1> rows;
        int devices = 0;
    };

    void PlaceAtAddress(Row row, const Filed &filed);
    void TakeFromAddress(Row row, const Filed &filed);

    QHash<Row, Filed> m_filed;
    QHash<DeviceId, QList<Row>> m_rowsByDevice;
    QHash<quint32, AddressBucket> m_rowsByAddress;
    QHash<std::pair<quint32, DeviceId>, int> m_rowsOfDeviceAtAddress;
    QSet<Row> m_marksChanged;
};

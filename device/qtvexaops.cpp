// The device page's two commands on devices: Modify, which readdresses one
// device or gives a batch consecutive addresses, and the default password
// restore.

#include "qtvexa.h"

#include "deviceid.h"
#include "devicelock.h"
#include "deviceparampanel.h"
#include "qtvexaitemmodel.h"
#include "recordtext.h"
#include "ui_qtvexa.h"

#include <addressvalidators.h>
#include <ctooltip.h>
#include <cwarndlg.h>

#include <QGuiApplication>
#include <QItemSelectionModel>
#include <QSet>

#include <algorithm>

namespace {

// Library calls block the window, up to seconds per device: the cursor says
// so until the last one has returned.
class BusyCursor final
{
public:
    BusyCursor() { QGuiApplication::setOverrideCursor(Qt::WaitCursor); }
    ~BusyCursor() { QGuiApplication::restoreOverrideCursor(); }
    Q_DISABLE_COPY_MOVE(BusyCursor)
};

} // namespace

std::optional<QString> QtVexa::AddressOwnerOutside(const QString &start, const QModelIndexList &rows) const
{
    // The devices of the batch, by row and by identity: a device listed
    // twice holds its address in both of its rows.
    QSet<int> selected;
    QSet<DeviceId> batch;
    for (const QModelIndex &index : rows) {
        selected.insert(index.row());
        if (const VEXA_DEVICE_INFO_MY *record = m_pModel->RecordAt(index.row()))
            batch.insert(DeviceId::Of(*record));
    }
    const CTableView *view = m_ui->tableWidgetDevice;
    for (qsizetype i = 0; i < rows.size(); ++i) {
        const QString address = *DeviceParamPanel::NextBatchAddress(start, int(i));
        // A device that keeps its address takes it from no one, not even from
        // a device it already shares it with: its mask, port or gateway may change.
        if (IPv4Octets(view->GetItemText(rows[i].row(), QtVexaItemModel::ColumnIpv4Addr)) == IPv4Octets(address))
            continue;
        for (const int row : m_pModel->RowsAtAddress(address)) {
            // A device on DHCP holds its address only until its lease
            // changes: it does not own it here.
            const VEXA_DEVICE_INFO_MY *record = m_pModel->RecordAt(row);
            if (selected.contains(row)
                || (record && (batch.contains(DeviceId::Of(*record)) || (record->extInfo == 1 && record->dhcpOn == 1))))
                continue;
            return tr("IP address %1 is in use by device %2 (ID %3).")
                .arg(address, view->GetItemText(row, QtVexaItemModel::ColumnSerial),
                     view->GetItemText(row, QtVexaItemModel::ColumnId).trimmed());
        }
    }
    return std::nullopt;
}

std::optional<NetParams> QtVexa::ValidatedNetParams(const QModelIndexList &rows)
{
    NetTargets targets;
    targets.devices = rows.size();
    targets.onvifOnly = std::all_of(rows.begin(), rows.end(), [this](const QModelIndex &index) {
        const VEXA_DEVICE_INFO_MY *record = m_pModel->RecordAt(index.row());
        return record && IsOnvif(*record);
    });
    targets.addressOwner = [this, &rows](const QString &start) { return AddressOwnerOutside(start, rows); };
    return m_panel->Validated(targets);
}

bool QtVexa::ModifyDevice(int row, const QString &address, const NetParams &params, QString *cause)
{
    // A row without its record has no MAC to send to.
    const VEXA_DEVICE_INFO_MY *record = m_pModel->RecordAt(row);
    if (!record)
        return false;
    const QByteArray mac = FieldBytes(record->macAddr).toByteArray();
    const QByteArray ipv4 = address.toLatin1();
    const char *ipv6Addr = params.withIpv6 ? params.ipv6Addr.constData() : nullptr;
    const char *ipv6Gateway = params.withIpv6 ? params.ipv6Gateway.constData() : nullptr;
    const quint8 prefix = params.withIpv6 ? params.ipv6PrefixLen : 0;
    const bool onvif = IsOnvif(*record);
    if (!m_vexaClient.ModifyNetParam(mac.constData(), ipv4.constData(), params.mask.constData(),
                                     params.password.constData(), params.port.constData(),
                                     params.gateway.constData(), ipv6Addr, ipv6Gateway, prefix, 0)) {
        // Our own devices keep their fixed texts; an ONVIF device's answer says why.
        if (cause && onvif)
            *cause = ModifyCauseText(m_vexaClient.LastModifyCause());
        return false;
    }
    // An empty gateway was not sent and the device kept its own: so do the
    // row and the record.
    m_pModel->UpdateRowNetParam(row, ipv4.constData(), params.mask.constData(), params.port.toInt(),
                                params.gateway.isEmpty() ? nullptr : params.gateway.constData());
    return true;
}

#ifdef VEXA_OLDER_EDITION
// The older edition changes the current device alone, whatever else is selected.
void QtVexa::OnModifyNetPara()
{
    DeviceLock lock(&m_hDeviceMutex);
    // A selection cleared from the keyboard leaves the current row behind:
    // the current device counts only while it is selected.
    const QModelIndex current = m_ui->tableWidgetDevice->currentIndex();
    if (!current.isValid() || !SelectedRows().contains(current.siblingAtColumn(0))) {
        CWarnDlg::MsgBox(tr("Information"), tr("Please select a device."), this);
        return;
    }
    const std::optional<NetParams> params = ValidatedNetParams({current.siblingAtColumn(0)});
    if (!params)
        return;
    bool accepted = false;
    {
        const BusyCursor busy;
        accepted = ModifyDevice(current.row(), PlainIPv4(m_ui->lineEditIPAddr->text().trimmed()), *params);
    }
    if (accepted)
        CWarnDlg::MsgBox(tr("Information"), tr("Modify network parameter succeed."), this);
    else
        CWarnDlg::MsgBox(tr("Error"), tr("Modify network parameter failed!"), this);
}
#else
void QtVexa::OnModifyNetPara()
{
    // Held across the library calls and the result dialog: device events
    // handled meanwhile take it again on this thread.
    DeviceLock lock(&m_hDeviceMutex);
    const CTableView *view = m_ui->tableWidgetDevice;
    const QModelIndexList rows = SelectedRows();
    if (!view->currentIndex().isValid()) {
        CWarnDlg::MsgBox(tr("Information"), tr("Please select a device."), this);
        return;
    }
    const std::optional<NetParams> params = ValidatedNetParams(rows);
    if (!params)
        return;

    const QString start = m_ui->lineEditIPAddr->text();
    QString succeeded;
    QString failed;
    {
        const BusyCursor busy;
        for (qsizetype i = 0; i < rows.size(); ++i) {
            const int row = rows.at(i).row();
            QString cause;
            // The start passed the checks for the whole batch, so every position has its address.
            const bool accepted = ModifyDevice(row, *DeviceParamPanel::NextBatchAddress(start, int(i)), *params, &cause);
            const QString id = view->GetItemText(row, QtVexaItemModel::ColumnId)
                + (cause.isEmpty() ? QString() : QStringLiteral(" (%1)").arg(cause)) + u' ';
            QString &result = accepted ? succeeded : failed;
            if (result.isEmpty())
                result = (accepted ? tr("Modify network parameter succeed.") : tr("Modify network parameter failed!"))
                         + tr("ID:%1").arg(id);
            else
                result += id;
        }
    }
    CWarnDlg::MsgBox(tr("Information"), succeeded + failed, this);
}
#endif

QString QtVexa::ModifyCauseText(int cause)
{
    switch (cause) {
    case VEXA_CAUSE_NOT_AUTHORIZED:
        return tr("wrong user name or password");
    case VEXA_CAUSE_NOT_SUPPORTED:
        return tr("the device does not support this change");
    case VEXA_CAUSE_NO_ANSWER:
        return tr("the device did not answer");
    case VEXA_CAUSE_REFUSED:
        return tr("the device refused the new values");
    default:
        return QString();
    }
}

void QtVexa::OnDefaultPassword()
{
    const QModelIndex current = m_ui->tableWidgetDevice->currentIndex();
    if (!current.isValid()) {
        CWarnDlg::MsgBox(tr("Information"), tr("Please select a device."), this);
        return;
    }
    QLineEdit *codeEdit = m_ui->m_pDefaultPwdLEdit;
    // A code of blanks is still a code: only a field left empty is refused.
    if (codeEdit->text().isEmpty()) {
        codeEdit->setFocus();
        CToolTip::showText(codeEdit->mapToGlobal(codeEdit->pos()), tr("Password cannot be empty."));
        return;
    }
    const QByteArray code = codeEdit->text().toLatin1();
    // The serial number as the device reported it: the current row's record.
    std::optional<QByteArray> serial;
    {
        DeviceLock lock(&m_hDeviceMutex);
        if (const VEXA_DEVICE_INFO_MY *record = m_pModel->RecordAt(current.row()))
            serial = FieldBytes(record->serialNo).toByteArray();
    }
    bool restored = false;
    if (serial) {
        const BusyCursor busy;
        restored = m_vexaClient.ResetDefaultPassword(serial->constData(), code.constData());
    }
    if (restored)
        CWarnDlg::MsgBox(tr("Information"), tr("Restore default password succeed."), this);
    else
        CWarnDlg::MsgBox(tr("Error"), tr("Restore default password failed!"), this);
}

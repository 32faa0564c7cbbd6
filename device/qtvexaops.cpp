// The device page's two commands on devices: Modify, which readdresses one
// device or gives a batch consecutive addresses, and the default password
// restore.

#include "qtvexa.h"

#include "devicelock.h"
#include "qtvexaitemmodel.h"
#include "ui_qtvexa.h"

#include <addressvalidators.h>
#include <ctooltip.h>
#include <cwarndlg.h>

#include <QGuiApplication>
#include <QItemSelectionModel>
#include <QSet>

#include <algorithm>
#include <cstring>

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

// Zero-fills a record's text field and copies `text` into it, always leaving
// the terminator.
template<std::size_t N>
void PutField(char (&field)[N], const QByteArray &text)
{
    std::memset(field, 0, N);
    std::memcpy(field, text.constData(), std::min<std::size_t>(std::size_t(text.size()), N - 1));
}

// The decimal value of a field's text, 0 when it is not a number.
int NumberOf(const QString &text)
{
    bool ok = false;
    const int value = text.toInt(&ok);
    return ok ? value : 0;
}

} // namespace

struct QtVexa::NetParams {
    QByteArray mask;
    /** Plain decimal, so the value the device gets is the value checked. */
    QByteArray port;
    /** Empty: the device keeps its gateway. */
    QByteArray gateway;
    QByteArray password;
    bool withIpv6 = false;
    QByteArray ipv6Addr;
    QByteArray ipv6Gateway;
    quint8 ipv6PrefixLen = 0;
};

std::optional<QString> QtVexa::NextBatchAddress(const QString &start, int position)
{
    const auto octets = IPv4Octets(start.trimmed());
    if (!octets || position < 0)
        return std::nullopt;
    const int last = (*octets)[3] + position;
    if (last > 255)
        return std::nullopt;
    return QStringLiteral("%1.%2.%3.%4").arg((*octets)[0]).arg((*octets)[1]).arg((*octets)[2]).arg(last);
}

void QtVexa::ShowFieldTip(const QWidget *field, const QString &message)
{
    // For the panel's form, asked for at its left edge level with the
    // field's top: the library puts the tip just below that point and wraps
    // it to the form's width, so it lies under the field, inside the panel,
    // never over the table beside it.
    QWidget *form = field->parentWidget();
    CToolTip::showText(form->mapToGlobal(QPoint(0, field->y())), message, form);
}

std::optional<QString> QtVexa::AddressOwnerOutside(const QString &start, const QModelIndexList &rows)
{
    // The devices of the batch, by row and by identity: a device listed
    // twice holds its address in both of its rows.
    QSet<int> selected;
    QList<const VEXA_DEVICE_INFO_MY *> batch;
    for (const QModelIndex &index : rows) {
        selected.insert(index.row());
        batch.append(RecordOfRow(index.row()));
    }
    const auto inBatch = [&batch](const VEXA_DEVICE_INFO_MY &record) {
        return std::any_of(batch.cbegin(), batch.cend(), [&record](const VEXA_DEVICE_INFO_MY *member) {
            return member && DeviceRecordList::SameDevice(*member, record);
        });
    };
    const CTableView *view = m_ui->tableWidgetDevice;
    for (qsizetype i = 0; i < rows.size(); ++i) {
        const QString address = *NextBatchAddress(start, int(i));
        // A device that keeps its address takes it from no one, not even from
        // a device it already shares it with: its mask, port or gateway may change.
        if (IPv4Octets(view->GetItemText(rows[i].row(), QtVexaItemModel::ColumnIpv4Addr)) == IPv4Octets(address))
            continue;
        for (const int row : m_pModel->RowsAtAddress(address)) {
            // A device on DHCP holds its address only until its lease
            // changes: it does not own it here.
            const VEXA_DEVICE_INFO_MY *record = RecordOfRow(row);
            if (selected.contains(row) || (record && (inBatch(*record) || (record->extInfo == 1 && record->dhcpOn == 1))))
                continue;
            return tr("IP address %1 is in use by device %2 (ID %3).")
                .arg(address, view->GetItemText(row, QtVexaItemModel::ColumnSerial),
                     view->GetItemText(row, QtVexaItemModel::ColumnId).trimmed());
        }
    }
    return std::nullopt;
}

std::optional<QtVexa::NetParams> QtVexa::ValidatedNetParams(const QModelIndexList &rows)
{
    const qsizetype deviceCount = rows.size();
    Ui::QtVexaClass &ui = *m_ui;
    const auto refuse = [this](const QWidget *field, const QString &message) {
        ShowFieldTip(field, message);
        return std::nullopt;
    };

    const QString address = ui.lineEditIPAddr->text().trimmed();
    if (address.isEmpty())
        return refuse(ui.lineEditIPAddr, tr("IP address cannot be empty."));
    if (!IsValidIPv4Addr(address))
        return refuse(ui.lineEditIPAddr, tr("IP Address not correct."));
    // Past 255 the last octet has no valid address left: refuse the whole
    // batch rather than readdress some devices and not others.
    if (deviceCount > 1 && !NextBatchAddress(address, int(deviceCount - 1)))
        return refuse(ui.lineEditIPAddr,
                      tr("Not enough addresses after the start IP address for %1 devices.").arg(deviceCount));
    // Two devices on one address make both unreachable: nothing is sent.
    if (const std::optional<QString> owner = AddressOwnerOutside(address, rows))
        return refuse(ui.lineEditIPAddr, *owner);

    const QString mask = ui.lineEditIPMask->text().trimmed();
    if (mask.isEmpty())
        return refuse(ui.lineEditIPMask, tr("Subnet mask cannot be empty."));
    if (!IsValidSubnetMask(mask))
        return refuse(ui.lineEditIPMask, tr("Subnet Mask not correct."));

    // An ONVIF device's one port is its HTTP port, 80 on nearly every camera;
    // a batch with any VXDP device keeps the device port's range.
    const int port = NumberOf(ui.lineEditPort->text().trimmed());
    const bool onvifOnly = std::all_of(rows.begin(), rows.end(), [this](const QModelIndex &index) {
        const VEXA_DEVICE_INFO_MY *record = RecordOfRow(index.row());
        return record && m_vexaClient.DeviceProtocol(DeviceRecordList::MacOf(*record).constData()) == VEXA_PROTOCOL_ONVIF;
    });
    if (onvifOnly && (port < kHttpPortMin || port > kDevicePortMax))
        return refuse(ui.lineEditPort, tr("HTTP port ranges from 1 to 65535."));
    if (!onvifOnly && (port < kDevicePortMin || port > kDevicePortMax))
        return refuse(ui.lineEditPort, tr("Device port ranges from 2000 to 65535."));

    QString gateway = ui.lineEditIPGateway->text().trimmed();
#ifdef VEXA_OLDER_EDITION
    // The earlier interface always sends a gateway: none is "0.0.0.0".
    if (gateway.isEmpty())
        ui.lineEditIPGateway->setText(gateway = QStringLiteral("0.0.0.0"));
#else
    if (gateway.isEmpty())
        ui.lineEditIPGateway->clear();
#endif
    else if (!IsValidIPv4Gateway(gateway))
        return refuse(ui.lineEditIPGateway, tr("Gateway not correct."));

    NetParams params;
    const bool ipv6Shown = ui.lineEditIPv6Addr->isEnabled();
    if (ipv6Shown) {
        const QString ipv6Addr = ui.lineEditIPv6Addr->text().trimmed();
        if (ipv6Addr.isEmpty())
            return refuse(ui.lineEditIPv6Addr, tr("IPv6 address cannot be empty."));
        if (!IsValidIPv6Addr(ipv6Addr))
            return refuse(ui.lineEditIPv6Addr, tr("IPv6 Address not correct."));
        const QString ipv6Gateway = ui.lineEditIPv6Gateway->text().trimmed();
        if (!ipv6Gateway.isEmpty() && !IsValidIPv6Addr(ipv6Gateway))
            return refuse(ui.lineEditIPv6Gateway, tr("IPv6 gateway not correct."));
        const int prefix = NumberOf(ui.lineEditIPv6Mask->text().trimmed());
        if (prefix < kIpv6PrefixMin || prefix > kIpv6PrefixMax)
            return refuse(ui.lineEditIPv6Mask, tr("IPv6 prefix length ranges from 0 to 64."));
        params.ipv6Addr = ipv6Addr.toLatin1();
        params.ipv6Gateway = ipv6Gateway.toLatin1();
        params.ipv6PrefixLen = quint8(prefix);
    }
    // Rows selected from the keyboard leave the single-device panel up: one
    // device's IPv6 address must never go to several.
    params.withIpv6 = ipv6Shown && deviceCount == 1;

    params.mask = mask.toLatin1();
    params.port = QByteArray::number(port);
    // Leading zeros would not fit the 15-character fields of the records.
    params.gateway = gateway.isEmpty() ? QByteArray() : PlainIPv4(gateway).toLatin1();
    params.password = ui.lineEditPort_Password->text().toLatin1();
    return params;
}

bool QtVexa::ModifyDevice(int row, const QString &address, const NetParams &params, QString *cause)
{
    // A row without its record has no MAC to send to.
    VEXA_DEVICE_INFO_MY *record = RecordOfRow(row);
    if (!record)
        return false;
    const QByteArray mac = DeviceRecordList::MacOf(*record);
    const QByteArray ipv4 = address.toLatin1();
    const char *ipv6Addr = params.withIpv6 ? params.ipv6Addr.constData() : nullptr;
    const char *ipv6Gateway = params.withIpv6 ? params.ipv6Gateway.constData() : nullptr;
    const quint8 prefix = params.withIpv6 ? params.ipv6PrefixLen : 0;
    const bool onvif = m_vexaClient.DeviceProtocol(mac.constData()) == VEXA_PROTOCOL_ONVIF;
    if (!m_vexaClient.ModifyNetParam(mac.constData(), ipv4.constData(), params.mask.constData(),
                                     params.password.constData(), params.port.constData(),
                                     params.gateway.constData(), ipv6Addr, ipv6Gateway, prefix, 0)) {
        // Our own devices keep their fixed texts; an ONVIF device's answer says why.
        if (cause && onvif)
            *cause = ModifyCauseText(m_vexaClient.LastModifyCause());
        return false;
    }

    const int port = params.port.toInt();
    // An empty gateway was not sent and the device kept its own: so do the
    // row and the record.
    const char *gateway = params.gateway.isEmpty() ? nullptr : params.gateway.constData();
    m_pModel->UpdateRowNetParam(row, ipv4.constData(), params.mask.constData(), port, gateway);
    PutField(record->ipv4Addr, ipv4);
    PutField(record->ipv4Mask, params.mask);
    if (gateway)
        PutField(record->ipv4Gateway, params.gateway);
    record->port = port;
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
            const bool accepted = ModifyDevice(row, *NextBatchAddress(start, int(i)), *params, &cause);
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
    if (!m_ui->tableWidgetDevice->currentIndex().isValid()) {
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
    const QByteArray serial = m_ui->lineEditSerial->text().trimmed().toLatin1();
    bool restored = false;
    {
        const BusyCursor busy;
        restored = m_vexaClient.ResetDefaultPassword(serial.constData(), code.constData());
    }
    if (restored)
        CWarnDlg::MsgBox(tr("Information"), tr("Restore default password succeed."), this);
    else
        CWarnDlg::MsgBox(tr("Error"), tr("Restore default password failed!"), this);
}

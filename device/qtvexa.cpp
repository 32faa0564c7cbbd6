#include "qtvexa.h"

#include "devicelock.h"
#include "devicerowfilter.h"
#include "qtvexaitemmodel.h"
#include "ui_qtvexa.h"
#include "vexareportcallback.h"

#include <cregexpvalidator.h>
#include <packetdriver.h>
#include <transport.h>

#include <QDesktopServices>
#include <QtEndian>
#include <QHeaderView>
#include <QIntValidator>
#include <QItemSelectionModel>
#include <QLoggingCategory>
#include <QUrl>

#include <cstring>
#include <optional>
#include <utility>
#include <vector>

// The URL trace; quiet unless enabled with
// QT_LOGGING_RULES="vexa.device.page.debug=true".
Q_LOGGING_CATEGORY(lcPage, "vexa.device.page", QtInfoMsg)

namespace {

constexpr int kColumnId = QtVexaItemModel::ColumnId;
constexpr int kColumnIpv4Addr = QtVexaItemModel::ColumnIpv4Addr;
constexpr int kColumnSerial = QtVexaItemModel::ColumnSerial;
constexpr int kColumnMac = QtVexaItemModel::ColumnMac;

constexpr int kAddressMaxBytes = 39;
constexpr int kPasswordMaxLength = 16;
constexpr int kSecurityCodeMaxLength = 32;

template<std::size_t N>
QString FieldText(const char (&field)[N])
{
    return QString::fromLatin1(field, qsizetype(strnlen(field, N)));
}

// Cells hold record texts decoded as Latin-1; a text with any character
// beyond it cannot name a record.
std::optional<QByteArray> Latin1Exact(const QString &text)
{
    for (const QChar c : text) {
        if (c.unicode() > 0xFF)
            return std::nullopt;
    }
    return text.toLatin1();
}

} // namespace

QtVexa::QtVexa(QWidget *parent, int filterMode, int i1, int i2, int i3)
    : QWidget(parent), m_ui(std::make_unique<Ui::QtVexaClass>()), m_nDeviceFilter(filterMode), m_hostValues{i1, i2, i3}
{
    m_ui->setupUi(this);
    AttachFieldLimits();

    CTableView *view = m_ui->tableWidgetDevice;
    view->header()->setSortIndicatorShown(true);
    view->header()->setSortIndicator(kColumnId, Qt::AscendingOrder);
    // The page owns the model and deletes it itself; the view is only its parent.
    m_pModel = new QtVexaItemModel(view);
    view->setModel(m_pModel);
    view->header()->setSortIndicator(kColumnId, Qt::AscendingOrder);
    view->setSelectionMode(QAbstractItemView::ExtendedSelection);
    // Every row is one line of text. Saying so lets the view place a row
    // without measuring all rows above it, which a storm of cell writes
    // far down a large table would otherwise pay for on every write.
    view->setUniformRowHeights(true);
    m_pRowFilter = new DeviceRowFilter(view, this);
    AttachListActions();

    ConnectSignals();
    InitEditionPanel();

    // Without the mutex the library's thread would meet the slots unguarded:
    // such a page works like one whose discovery cannot start.
    const bool guarded = TUM_MutexCreate(&m_hDeviceMutex, -1) == 0;
    g_pQtVexa = this;

    InitTable();
    if (guarded)
        StartDiscovery();
}

QtVexa::~QtVexa()
{
    // Stop joins the library's thread, so no callback can reach this page
    // once g_pQtVexa is cleared.
    m_vexaClient.Stop();
    if (g_pQtVexa == this)
        g_pQtVexa = nullptr;
    TUM_MutexDestroy(&m_hDeviceMutex);
    delete m_pModel;
}

void QtVexa::AttachFieldLimits()
{
    m_ui->lineEditIPAddr->setValidator(new CRegExpValidator(kAddressMaxBytes, m_ui->lineEditIPAddr));
    m_ui->lineEditIPMask->setValidator(new CRegExpValidator(kAddressMaxBytes, m_ui->lineEditIPMask));
    m_ui->lineEditPort->setMaxLength(5);
    m_ui->lineEditPort->setValidator(new QIntValidator(kDevicePortMin, kDevicePortMax, m_ui->lineEditPort));
    m_ui->lineEditPort->setToolTip(tr("Device port ranges from 2000 to 65535."));
    m_ui->lineEditIPv6Mask->setValidator(new QIntValidator(kIpv6PrefixMin, kIpv6PrefixMax, m_ui->lineEditIPv6Mask));
    m_ui->lineEditPort_Password->setMaxLength(kPasswordMaxLength);
    m_ui->m_pDefaultPwdLEdit->setMaxLength(kSecurityCodeMaxLength);
    m_ui->m_pDefaultPwdLEdit->setEchoMode(QLineEdit::Password);
}

void QtVexa::ConnectSignals()
{
    CTableView *view = m_ui->tableWidgetDevice;
    QHeaderView *header = view->header();
    connect(header, &QHeaderView::sectionMoved, this, &QtVexa::OnHeaderCountChanged);
    connect(header, &QHeaderView::sectionPressed, this, &QtVexa::OnHeaderPress);
    connect(view, &QAbstractItemView::doubleClicked, this, &QtVexa::OnClickAction);
    connect(view, &CTableView::SignalClickRelease, this, &QtVexa::OnDeviceTableClicked);
    connect(view->selectionModel(), &QItemSelectionModel::currentChanged, this, &QtVexa::OnItemChanged);
    connect(header, &QHeaderView::sectionClicked, this, &QtVexa::SortTable);
    connect(m_ui->pushButtonModifyNetwork, &QPushButton::clicked, this, &QtVexa::OnModifyNetPara);
    connect(m_ui->pushButtonModifyPassword, &QPushButton::clicked, this, &QtVexa::OnDefaultPassword);
    connect(m_ui->pushButtonManualUpdate, &QPushButton::clicked, this, &QtVexa::OnManualUpdate);

    // Registered before the connections so that queued delivery can copy the record.
    RegisterVexaDeviceInfoType();
    connect(this, &QtVexa::DeviceOnlineSignal, this, &QtVexa::OnDeviceOnline);
    connect(this, &QtVexa::DeviceOfflineSignal, this, &QtVexa::OnDeviceOffline);
    connect(this, &QtVexa::DeviceUpdateSignal, this, &QtVexa::OnDeviceUpdate);
}

void QtVexa::InitTable()
{
    CTableView *view = m_ui->tableWidgetDevice;
    for (int column = 0; column < QtVexaItemModel::ColumnCount; ++column)
        view->setColumnWidth(column, QtVexaItemModel::ColumnWidth(column));
    // The layout a forbidden column move snaps back to when no drag saved one.
    m_headerState = view->header()->saveState();

    m_ui->lineEditIPv6Addr->setEnabled(false);
    m_ui->lineEditIPv6Gateway->setEnabled(false);
    m_ui->lineEditIPv6Mask->setEnabled(false);
}

void QtVexa::StartDiscovery()
{
    if (!packet::driver())
        return;
    ShowLocalSubnets();
    m_vexaClient.SetCallback(VexaReportCallback, nullptr);
    if (!m_vexaClient.Start())
        return;
    m_vexaClient.SendInquiry();
    EnableParamPanel(false);
}

bool QtVexa::IsDeviceFiltered(unsigned int code) const
{
    return ::IsDeviceFiltered(m_nDeviceFilter, code);
}

void QtVexa::AppendDeviceRecord(const VEXA_DEVICE_INFO_MY &record)
{
    // The node is made outside the lock and moved, never copied, from here
    // on: a storm of reports holds each record once.
    DeviceRecordList::Entries node{{record, false}};
    const std::lock_guard lock(m_handOverMutex);
    m_handedRecords.splice(m_handedRecords.end(), node);
}

void QtVexa::AdoptHandedRecords()
{
    DeviceRecordList::Entries handed;
    {
        const std::lock_guard lock(m_handOverMutex);
        handed.swap(m_handedRecords);
    }
    m_listDevice.AdoptPending(handed);
}

VEXA_DEVICE_INFO_MY *QtVexa::RecordOfRow(int row)
{
    const CTableView *view = m_ui->tableWidgetDevice;
    const std::optional<QByteArray> serial = Latin1Exact(view->GetItemText(row, kColumnSerial));
    const std::optional<QByteArray> mac = Latin1Exact(view->GetItemText(row, kColumnMac));
    if (!serial || !mac)
        return nullptr;
    return m_listDevice.FindShown(*serial, *mac);
}

QModelIndexList QtVexa::SelectedRows() const
{
    QModelIndexList rows = m_ui->tableWidgetDevice->selectionModel()->selectedRows();
    rows.removeIf([this](const QModelIndex &index) { return !m_pRowFilter->IsShown(index.row()); });
    return rows;
}

void QtVexa::ShowDeviceCount()
{
    // A fixed diagnostic, written as it is to the toolkit's debug stream.
    qDebug("===ws===%d", m_nDeviceCount);
    m_ui->m_pLabelCount->setText(QString::number(m_nDeviceCount));
}

void QtVexa::OnDeviceOnline(VEXA_DEVICE_INFO_MY dev_info)
{
    DeviceLock lock(&m_hDeviceMutex);
    // The record was handed over before its signal was emitted: it is among
    // these, so the list holds it before its row is made.
    AdoptHandedRecords();
    m_listDevice.MarkShown(dev_info);
    m_pModel->AppendDeviceRow(dev_info);
    ++m_nDeviceCount;
    ShowDeviceCount();
}

#ifndef VEXA_OLDER_EDITION
void QtVexa::OnDeviceOffline(QString strDeviceSer, QString strDeviceMac)
{
    RemoveDevice(strDeviceSer, strDeviceMac);
}
#endif

void QtVexa::RemoveDevice(const QString &serial, const QString &mac)
{
    DeviceLock lock(&m_hDeviceMutex);
    if (m_pModel->rowCount() == 0)
        return;
    // Every row of the device goes, and with it every record that a row
    // showed; records whose rows are still queued stay for them. Records
    // are matched on the bytes the rows' Latin-1 texts stand for.
    const std::optional<QByteArray> serialBytes = Latin1Exact(serial);
    const std::optional<QByteArray> macBytes = Latin1Exact(mac);
    if (serialBytes && macBytes)
        m_listDevice.RemoveShown(*serialBytes, *macBytes);
    m_nDeviceCount -= m_pModel->RemoveDeviceRows(serial, mac);
    ShowDeviceCount();
}

void QtVexa::OnDeviceUpdate(VEXA_DEVICE_INFO_MY dev_info)
{
    DeviceLock lock(&m_hDeviceMutex);
    const QByteArray serial = DeviceRecordList::SerialOf(dev_info);
    const QByteArray mac = DeviceRecordList::MacOf(dev_info);
    if (VEXA_DEVICE_INFO_MY *record = m_listDevice.FindShown(serial, mac))
        *record = dev_info;

    const int row = m_pModel->FirstRowOf(QString::fromLatin1(serial), QString::fromLatin1(mac));
    if (row < 0)
        return;
    m_pModel->SetRowData(row, dev_info);

    const CTableView *view = m_ui->tableWidgetDevice;
    const QModelIndex current = view->currentIndex();
    if (current.isValid() && current.row() == row && SelectedRows().size() == 1)
        ShowDeviceParam(row);
}

void QtVexa::OnItemChanged(QModelIndex current, QModelIndex)
{
    if (!current.isValid())
        return;
    DeviceLock lock(&m_hDeviceMutex);
    EnableParamPanel(true);
    ShowDeviceParam(current.row());
}

#ifndef VEXA_OLDER_EDITION
void QtVexa::OnDeviceTableClicked(QModelIndex)
{
    DeviceLock lock(&m_hDeviceMutex);
    const QModelIndexList rows = SelectedRows();
    if (rows.isEmpty()) {
        EnableParamPanel(false);
    } else if (rows.size() > 1) {
        m_ui->label_7->setText(tr("Start IP Address:"));
        m_ui->label_162->setText(tr("Batch Modify Network parameters"));
        PrepareBatchPanel(rows);
    } else {
        m_ui->label_7->setText(tr("IP Address:"));
        m_ui->label_162->setText(tr("Modify Network parameters"));
        EnableParamPanel(true);
        ShowDeviceParam(rows.first().row());
    }
}

void QtVexa::PrepareBatchPanel(const QModelIndexList &rows)
{
    SetBatchMode(true);

    // A batch is offered as soon as one selected device allows it.
    bool ipv4Editable = false;
    bool gatewayEditable = false;
    for (const QModelIndex &index : rows) {
        if (const VEXA_DEVICE_INFO_MY *record = RecordOfRow(index.row())) {
            ipv4Editable = ipv4Editable || !IsReadOnlyType(record->typeCode);
            gatewayEditable = gatewayEditable || record->extInfo == 1;
        }
        if (ipv4Editable && gatewayEditable)
            break;
    }

    Ui::QtVexaClass &ui = *m_ui;
    for (QLineEdit *edit : {ui.lineEditIPAddr, ui.lineEditIPGateway, ui.lineEditIPMask, ui.lineEditIPv6Addr,
                            ui.lineEditIPv6Mask, ui.lineEditIPv6Gateway, ui.lineEditPort,
                            static_cast<QLineEdit *>(ui.lineEditPort_Password)})
        edit->clear();
    for (QWidget *widget : {static_cast<QWidget *>(ui.lineEditIPAddr), static_cast<QWidget *>(ui.lineEditPort),
                            static_cast<QWidget *>(ui.lineEditIPMask), static_cast<QWidget *>(ui.lineEditPort_Password),
                            static_cast<QWidget *>(ui.pushButtonModifyNetwork)})
        widget->setEnabled(ipv4Editable);
    ui.lineEditIPGateway->setEnabled(gatewayEditable);
    for (QLineEdit *edit : {ui.lineEditIPv6Addr, ui.lineEditIPv6Gateway, ui.lineEditIPv6Mask})
        edit->setEnabled(false);
}
#endif

void QtVexa::ShowDeviceParam(int row)
{
    SetBatchMode(false);
    if (row < 0 || row >= m_pModel->rowCount())
        return;
    // A row whose record cannot be found shows nothing rather than another
    // device's parameters, which a later Modify would then send.
    const VEXA_DEVICE_INFO_MY *record = RecordOfRow(row);
    if (!record) {
        EnableParamPanel(false);
        return;
    }

    const bool readOnly = IsReadOnlyType(record->typeCode);
    EnableParamEdits();
    if (readOnly)
        DisableParamEdits();

    Ui::QtVexaClass &ui = *m_ui;
    ui.lineEditSerial->setText(FieldText(record->serialNo));
    ui.lineEditSerial->setCursorPosition(0);
    ui.lineEditIPAddr->setText(FieldText(record->ipv4Addr));
    ui.lineEditIPMask->setText(FieldText(record->ipv4Mask));
    ui.lineEditPort->setText(QString::number(record->port));
    ui.lineEditIPGateway->setText(FieldText(record->ipv4Gateway));
    ui.lineEditIPv6Addr->setText(FieldText(record->ipv6Addr));
    ui.lineEditIPv6Gateway->setText(FieldText(record->ipv6Gateway));
    ui.lineEditIPv6Mask->setText(QString::number(record->ipv6PrefixLen));

    const std::initializer_list<QLineEdit *> ipv6Edits = {ui.lineEditIPv6Addr, ui.lineEditIPv6Gateway,
                                                          ui.lineEditIPv6Mask};
    if (record->extInfo == 0) {
        ui.lineEditIPGateway->clear();
        ui.lineEditIPGateway->setEnabled(false);
        for (QLineEdit *edit : ipv6Edits) {
            edit->clear();
            edit->setEnabled(false);
        }
    } else if (record->extInfo == 1) {
        if (!HasIpv6(*record)) {
            for (QLineEdit *edit : ipv6Edits) {
                edit->clear();
                edit->setEnabled(false);
            }
        }
#ifdef VEXA_OLDER_EDITION
        // The older edition changes IPv4 parameters only.
        const bool ipv6Modifiable = false;
#else
        const bool ipv6Modifiable = CanModifyIpv6(*record) && !readOnly;
#endif
        for (QLineEdit *edit : ipv6Edits)
            edit->setEnabled(ipv6Modifiable);
    }
}

void QtVexa::EnableParamPanel(bool enable)
{
    Ui::QtVexaClass &ui = *m_ui;
    const std::initializer_list<QLineEdit *> edits = {ui.lineEditSerial, ui.lineEditIPAddr, ui.lineEditIPMask,
                                                      ui.lineEditPort, ui.lineEditPort_Password,
                                                      ui.m_pDefaultPwdLEdit, ui.lineEditIPGateway};
    for (QLineEdit *edit : edits) {
        if (!enable)
            edit->clear();
        edit->setEnabled(enable);
    }
    ui.pushButtonModifyNetwork->setEnabled(enable);
    ui.pushButtonModifyPassword->setEnabled(enable);
    if (!enable) {
        for (QLineEdit *edit : {ui.lineEditIPv6Addr, ui.lineEditIPv6Gateway, ui.lineEditIPv6Mask}) {
            edit->clear();
            edit->setEnabled(false);
        }
    }
}

void QtVexa::EnableParamEdits()
{
    Ui::QtVexaClass &ui = *m_ui;
    for (QWidget *widget : {static_cast<QWidget *>(ui.lineEditIPAddr), static_cast<QWidget *>(ui.lineEditIPMask),
                            static_cast<QWidget *>(ui.lineEditPort), static_cast<QWidget *>(ui.m_pDefaultPwdLEdit),
                            static_cast<QWidget *>(ui.lineEditPort_Password),
                            static_cast<QWidget *>(ui.pushButtonModifyNetwork),
                            static_cast<QWidget *>(ui.pushButtonModifyPassword)})
        widget->setEnabled(true);
}

void QtVexa::DisableParamEdits()
{
    Ui::QtVexaClass &ui = *m_ui;
    for (QWidget *widget : {static_cast<QWidget *>(ui.lineEditIPAddr), static_cast<QWidget *>(ui.lineEditIPMask),
                            static_cast<QWidget *>(ui.lineEditPort), static_cast<QWidget *>(ui.m_pDefaultPwdLEdit),
                            static_cast<QWidget *>(ui.lineEditPort_Password),
                            static_cast<QWidget *>(ui.pushButtonModifyNetwork),
                            static_cast<QWidget *>(ui.pushButtonModifyPassword),
                            static_cast<QWidget *>(ui.lineEditIPGateway), static_cast<QWidget *>(ui.lineEditIPv6Addr),
                            static_cast<QWidget *>(ui.lineEditIPv6Gateway),
                            static_cast<QWidget *>(ui.lineEditIPv6Mask)})
        widget->setEnabled(false);
}

void QtVexa::SetBatchMode(bool batch)
{
    Ui::QtVexaClass &ui = *m_ui;
    for (QWidget *widget : {static_cast<QWidget *>(ui.label_5), static_cast<QWidget *>(ui.lineEditSerial),
                            static_cast<QWidget *>(ui.label_163), static_cast<QWidget *>(ui.m_pDefaultPwdLEdit),
                            static_cast<QWidget *>(ui.pushButtonModifyPassword), static_cast<QWidget *>(ui.label_3),
                            static_cast<QWidget *>(ui.label_6), static_cast<QWidget *>(ui.line_3)})
        widget->setVisible(!batch);
}

void QtVexa::SortTable(int iIndex)
{
    QHeaderView *header = m_ui->tableWidgetDevice->header();
    header->setSortIndicatorShown(true);
    m_ui->tableWidgetDevice->sortByColumn(iIndex, header->sortIndicatorOrder());
}

void QtVexa::OnHeaderPress(int logicalIndex)
{
    QHeaderView *header = m_ui->tableWidgetDevice->header();
    if (logicalIndex == kColumnId) {
        header->setSectionsMovable(false);
        return;
    }
    m_headerState = header->saveState();
    header->setSectionsMovable(true);
}

void QtVexa::OnHeaderCountChanged(int logicalIndex, int oldVisualIndex, int newVisualIndex)
{
    // "ID" stays the first column: a move to or from the front snaps back.
    if (logicalIndex >= 0 && (oldVisualIndex == 0 || newVisualIndex == 0))
        m_ui->tableWidgetDevice->header()->restoreState(m_headerState);
}

void QtVexa::OnClickAction(QModelIndex index)
{
    const CTableView *view = m_ui->tableWidgetDevice;
    if (index.column() == kColumnIpv4Addr) {
        QString url = QStringLiteral("http://") + view->GetItemText(index.row(), kColumnIpv4Addr);
        // An ONVIF device's web page is at its HTTP port, which URLs leave out only when it is 80.
        DeviceLock lock(&m_hDeviceMutex);
        const VEXA_DEVICE_INFO_MY *record = RecordOfRow(index.row());
        if (record && m_vexaClient.DeviceProtocol(DeviceRecordList::MacOf(*record).constData()) == VEXA_PROTOCOL_ONVIF) {
            const int port = record->extraValue > 0 ? record->extraValue : record->port;
            if (port != 80)
                url += u':' + QString::number(port);
        }
        qCDebug(lcPage).noquote() << url;
        QDesktopServices::openUrl(QUrl(url));
    } else if (index.column() == kColumnSerial) {
        m_strEditBackup = view->GetItemText(index.row(), kColumnSerial);
        m_editBackupIndex = index;
    }
}

#ifndef VEXA_OLDER_EDITION
void QtVexa::InitEditionPanel()
{
    // The serial-number cell opens its editor only by double click, which is
    // what saves the text the edit is undone to (see ResetData).
    m_ui->tableWidgetDevice->setEditTriggers(QAbstractItemView::DoubleClicked);
    connect(m_pModel, &QAbstractItemModel::dataChanged, this, &QtVexa::ResetData);
    connect(m_ui->m_pBtnExpand, &QToolButton::clicked, this, &QtVexa::OnClickExpandBtn);
    connect(m_ui->m_pBtnShrink, &QToolButton::clicked, this, &QtVexa::OnClickShrinkBtn);
    m_ui->m_pBtnExpand->show();
    m_ui->m_pBtnShrink->hide();
}

void QtVexa::ResetData(QModelIndex mindexPre, QModelIndex)
{
    // Only the cell whose text was saved gets it back, so a stale backup can
    // never land on another device's row.
    if (m_strEditBackup.isEmpty() || mindexPre.column() != kColumnSerial || mindexPre != m_editBackupIndex)
        return;
    // Cleared before writing: the write raises dataChanged again.
    const QString text = std::exchange(m_strEditBackup, QString());
    m_editBackupIndex = QPersistentModelIndex();
    m_ui->tableWidgetDevice->SetItemText(mindexPre.row(), kColumnSerial, text);
}

void QtVexa::OnClickExpandBtn()
{
    m_ui->m_pBtnExpand->hide();
    m_ui->m_pSetFrame->hide();
    m_ui->m_pBtnShrink->show();
}

void QtVexa::OnClickShrinkBtn()
{
    m_ui->m_pBtnShrink->hide();
    m_ui->m_pSetFrame->show();
    m_ui->m_pBtnExpand->show();
}
#endif

void QtVexa::OnManualUpdate()
{
    // Devices answer through the ordinary events; the table is kept.
    ShowLocalSubnets();
    m_vexaClient.SendInquiry();
}

void QtVexa::ShowLocalSubnets()
{
    // The interfaces discovery runs on, as the packet driver chooses them.
    QList<QtVexaItemModel::Subnet> subnets;
    for (const PKT_Interface &chosen : packet::interfaces(packet::driver()))
        subnets.append({qFromBigEndian(chosen.addr), qFromBigEndian(chosen.netmask)});
    m_pModel->SetLocalSubnets(subnets);
}

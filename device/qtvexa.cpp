#include "qtvexa.h"

#include "deviceid.h"
#include "devicelistactions.h"
#include "devicelock.h"
#include "deviceparampanel.h"
#include "devicerowfilter.h"
#include "interfacechoice.h"
#include "linkfollower.h"
#include "qtvexaitemmodel.h"
#include "rangescandialog.h"
#include "recordtext.h"
#include "ui_qtvexa.h"
#include "vexareportcallback.h"

#include <packet/packetdriver.h>
#include <packet/transport.h>

#include <QDesktopServices>
#include <QtEndian>
#include <QGridLayout>
#include <QHeaderView>
#include <QItemSelectionModel>
#include <QLoggingCategory>
#include <QUrl>

#include <utility>

// The URL trace; quiet unless enabled with
// QT_LOGGING_RULES="vexa.device.page.debug=true".
Q_LOGGING_CATEGORY(lcPage, "vexa.device.page", QtInfoMsg)

namespace {

constexpr int kColumnId = QtVexaItemModel::ColumnId;
constexpr int kColumnIpv4Addr = QtVexaItemModel::ColumnIpv4Addr;
constexpr int kColumnSerial = QtVexaItemModel::ColumnSerial;

} // namespace

QtVexa::QtVexa(QWidget *parent, int filterMode, int i1, int i2, int i3)
    : QWidget(parent), m_ui(std::make_unique<Ui::QtVexaClass>()), m_nDeviceFilter(filterMode), m_hostValues{i1, i2, i3}
{
    m_ui->setupUi(this);
    m_panel = std::make_unique<DeviceParamPanel>(*m_ui);
    m_panel->AttachFieldLimits();

    CTableView *view = m_ui->tableWidgetDevice;
    view->header()->setSortIndicatorShown(true);
    view->header()->setSortIndicator(kColumnId, Qt::AscendingOrder);
    // The page owns the model and deletes it itself; the view is only its parent.
    m_pModel = new QtVexaItemModel(m_listDevice, view);
    view->setModel(m_pModel);
    view->header()->setSortIndicator(kColumnId, Qt::AscendingOrder);
    view->setSelectionMode(QAbstractItemView::ExtendedSelection);
    // Every row is one line of text. Saying so lets the view place a row
    // without measuring all rows above it, which a storm of cell writes
    // far down a large table would otherwise pay for on every write.
    view->setUniformRowHeights(true);
    m_pRowFilter = new DeviceRowFilter(view, this);
    m_listActions = std::make_unique<DeviceListActions>(this, view, m_pModel, &m_hDeviceMutex,
                                                        [this] { return SelectedRows(); });

    InitInterfaceChoice();
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
    // The library follows interfaces that come and go on its own thread; the hints follow them here.
    connect(new LinkFollower(this), &LinkFollower::Changed, this, &QtVexa::ShowLocalSubnets);
}

void QtVexa::InitTable()
{
    CTableView *view = m_ui->tableWidgetDevice;
    for (int column = 0; column < QtVexaItemModel::ColumnCount; ++column)
        view->setColumnWidth(column, QtVexaItemModel::ColumnWidth(column));
    // The layout a forbidden column move snaps back to when no drag saved one.
    m_headerState = view->header()->saveState();
}

void QtVexa::StartDiscovery()
{
    if (!packet::driver())
        return;
    ApplyInterfaceChoice();
    ShowLocalSubnets();
    m_vexaClient.SetCallback(VexaReportCallback, nullptr);
    if (!m_vexaClient.Start())
        return;
    m_vexaClient.SendInquiry();
    m_panel->Enable(false);
}

bool QtVexa::IsDeviceFiltered(unsigned int code) const
{
    return ::IsDeviceFiltered(m_nDeviceFilter, code);
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

bool QtVexa::IsOnvif(const VEXA_DEVICE_INFO_MY &record) const
{
    return m_vexaClient.DeviceProtocol(FieldBytes(record.macAddr).toByteArray().constData()) == VEXA_PROTOCOL_ONVIF;
}

void QtVexa::OnDeviceOnline(VEXA_DEVICE_INFO_MY dev_info)
{
    DeviceLock lock(&m_hDeviceMutex);
    // A burst from the library's thread becomes one run of rows, made at
    // its first signal; the signals of the rest then list nothing.
    DeviceRecordList::Records listed = m_handOver.TakeOnline(dev_info);
    if (listed.empty())
        return;
    m_nDeviceCount += int(listed.size());
    m_pModel->AppendDeviceRows(std::move(listed));
    ShowDeviceCount();
}

#ifndef VEXA_OLDER_EDITION
void QtVexa::OnDeviceOffline(QString strDeviceSer, QString strDeviceMac)
{
    DeviceLock lock(&m_hDeviceMutex);
    // The bytes the library reported; the texts only for a report that
    // did not come through the hand-over.
    const std::optional<DeviceId> reported = m_handOver.TakeOffline(strDeviceSer, strDeviceMac);
    RemoveDevice(reported ? *reported : DeviceId::FromTexts(strDeviceSer, strDeviceMac));
}
#endif

void QtVexa::RemoveDevice(const DeviceId &device)
{
    DeviceLock lock(&m_hDeviceMutex);
    if (m_pModel->rowCount() == 0)
        return;
    // Every row of the device goes, and with it its record.
    m_nDeviceCount -= m_pModel->RemoveDeviceRows(device);
    ShowDeviceCount();
}

void QtVexa::OnDeviceUpdate(VEXA_DEVICE_INFO_MY dev_info)
{
    DeviceLock lock(&m_hDeviceMutex);
    m_handOver.TakeUpdate(dev_info);
    const int row = m_pModel->FirstRowOf(DeviceId::Of(dev_info));
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
    m_panel->Enable(true);
    ShowDeviceParam(current.row());
}

#ifndef VEXA_OLDER_EDITION
void QtVexa::OnDeviceTableClicked(QModelIndex)
{
    DeviceLock lock(&m_hDeviceMutex);
    const QModelIndexList rows = SelectedRows();
    if (rows.isEmpty()) {
        m_panel->Enable(false);
    } else if (rows.size() > 1) {
        QList<const VEXA_DEVICE_INFO_MY *> records;
        for (const QModelIndex &index : rows)
            records.append(m_pModel->RecordAt(index.row()));
        m_panel->ShowBatch(records);
    } else {
        m_panel->ShowSingle();
        m_panel->Enable(true);
        ShowDeviceParam(rows.first().row());
    }
}
#endif

void QtVexa::ShowDeviceParam(int row)
{
    m_panel->SetBatchMode(false);
    if (row >= 0 && row < m_pModel->rowCount())
        m_panel->ShowDevice(m_pModel->RecordAt(row));
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
        const VEXA_DEVICE_INFO_MY *record = m_pModel->RecordAt(index.row());
        if (record && IsOnvif(*record)) {
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
    ApplyInterfaceChoice();
    ShowLocalSubnets();
    m_vexaClient.SendInquiry();
}

void QtVexa::InitInterfaceChoice()
{
#ifndef VEXA_OLDER_EDITION // the earlier library interface has no choice of interfaces
    m_interfaceChoice = std::make_unique<InterfaceChoice>();
    QPushButton *refresh = m_ui->pushButtonManualUpdate;
    auto *button = new CPushButton(tr("Interfaces"), refresh->parentWidget());
    button->setObjectName(QStringLiteral("pushButtonInterfaces"));
    button->setAccessibleName(tr("Network interfaces for discovery"));
    button->setToolTip(tr("The interfaces Refresh searches on"));
    button->setMinimumSize(refresh->minimumSize());
    if (auto *grid = qobject_cast<QGridLayout *>(refresh->parentWidget()->layout()))
        grid->addWidget(button, 0, grid->columnCount());
    setTabOrder(refresh, button); // right after Refresh, which it belongs to
    new InterfaceMenu(button, *m_interfaceChoice, [] { return packet::links(packet::driver(), nullptr); });
    // Beyond the link: ONVIF devices behind routers, probed by address.
    auto *scan = new CPushButton(tr("Scan Addresses..."), refresh->parentWidget());
    scan->setObjectName(QStringLiteral("pushButtonScanAddresses"));
    scan->setAccessibleName(tr("Scan address ranges for devices behind routers"));
    scan->setMinimumSize(refresh->minimumSize());
    if (auto *grid = qobject_cast<QGridLayout *>(refresh->parentWidget()->layout()))
        grid->addWidget(scan, 0, grid->columnCount());
    setTabOrder(button, scan);
    connect(scan, &QPushButton::clicked, this, [this] {
        RangeScanDialog dialog(m_vexaClient, this);
        dialog.exec();
    });
#endif
}

void QtVexa::ApplyInterfaceChoice()
{
#ifndef VEXA_OLDER_EDITION
    m_vexaClient.SetInterfaces(m_interfaceChoice->Chosen());
#endif
}

void QtVexa::ShowLocalSubnets()
{
    // The interfaces discovery runs on, as the packet driver chooses them under the user's choice.
    const QStringList chosen = m_interfaceChoice ? m_interfaceChoice->Chosen() : QStringList();
    const QByteArray choice = chosen.join(u',').toUtf8();
    QList<QtVexaItemModel::Subnet> subnets;
    for (const PKT_Link &link : packet::links(packet::driver(), chosen.isEmpty() ? nullptr : choice.constData())) {
        if (!(link.flags & PKT_IF_CHOSEN_V4))
            continue;
        for (uint8_t i = 0; i < link.addressCount && i < PKT_LINK_ADDRESSES; ++i) {
            const PKT_LinkAddress &entry = link.addresses[i];
            if (entry.addr.family != PKT_FAMILY_V4)
                continue;
            const quint32 address = qFromBigEndian<quint32>(entry.addr.bytes);
            const quint32 mask = entry.prefixLength == 0 ? 0 : ~quint32(0) << (32 - entry.prefixLength);
            subnets.append({address, mask});
            break; // the first, as the driver lists interfaces
        }
    }
    m_pModel->SetLocalSubnets(subnets);
}

#include "devicelistactions.h"

#include "deviceexport.h"
#include "devicejobdialog.h"
#include "devicelock.h"
#include "qtvexaitemmodel.h"

#include <ctableview.h>
#include <cwarndlg.h>

#include <QAction>
#include <QClipboard>
#include <QDir>
#include <QFileDialog>
#include <QFileInfo>
#include <QGuiApplication>
#include <QMenu>

#include <algorithm>
#include <utility>

DeviceListActions::DeviceListActions(QWidget *page, CTableView *view, QtVexaItemModel *model, TUM_MUTEX *deviceMutex,
                                     std::function<QModelIndexList()> selectedRows)
    : m_pPage(page)
    , m_pModel(model)
    , m_pDeviceMutex(deviceMutex)
    , m_selectedRows(std::move(selectedRows))
{
    m_pCopyAction = new QAction(tr("Copy"), view);
    m_pCopyAction->setObjectName(QStringLiteral("actionCopyRows"));
    m_pCopyAction->setShortcut(QKeySequence::Copy);
    m_pCopyAction->setShortcutContext(Qt::WidgetShortcut);
    view->addAction(m_pCopyAction);
    QObject::connect(m_pCopyAction, &QAction::triggered, page, [this] { CopySelectedRows(); });
    m_pExportAllAction = new QAction(tr("Export All…"), view);
    m_pExportAllAction->setObjectName(QStringLiteral("actionExportAll"));
    QObject::connect(m_pExportAllAction, &QAction::triggered, page, [this] { ExportRows(false); });
    m_pExportSelectedAction = new QAction(tr("Export Selected…"), view);
    m_pExportSelectedAction->setObjectName(QStringLiteral("actionExportSelected"));
    QObject::connect(m_pExportSelectedAction, &QAction::triggered, page, [this] { ExportRows(true); });

    // One menu for the page's life, as long-lived as its actions: assistive
    // technology keeps an action's item with the menu it first saw it in, so
    // a fresh menu around the same actions would be read as empty.
    m_pListMenu = new QMenu(page);
    m_pListMenu->setObjectName(QStringLiteral("menuDeviceList"));
    m_pListMenu->addAction(m_pCopyAction);
    m_pListMenu->addSeparator();
    m_pListMenu->addAction(m_pExportAllAction);
    m_pListMenu->addAction(m_pExportSelectedAction);
#ifndef VEXA_OLDER_EDITION
    // The older edition's records name a device by serial number alone; a job needs its MAC.
    m_pListMenu->addSeparator();
    const std::pair<const char *, QString> jobs[] = {{"actionSetTime", tr("Set Time…")},
                                                     {"actionChangePassword", tr("Change Password…")},
                                                     {"actionReboot", tr("Reboot…")}};
    for (int kind = 0; kind < 3; ++kind) {
        auto *action = new QAction(jobs[kind].second, view);
        action->setObjectName(QLatin1String(jobs[kind].first));
        QObject::connect(action, &QAction::triggered, page, [this, kind] { RunJob(kind); });
        m_pListMenu->addAction(action);
        m_jobActions.append(action);
    }
#endif
    view->setContextMenuPolicy(Qt::CustomContextMenu);
    QObject::connect(view, &QWidget::customContextMenuRequested, page, [this, view](const QPoint &pos) {
        const bool selected = !m_selectedRows().isEmpty();
        m_pCopyAction->setEnabled(selected);
        m_pExportSelectedAction->setEnabled(selected);
        m_pExportAllAction->setEnabled(m_pModel->rowCount() > 0);
        for (QAction *action : std::as_const(m_jobActions))
            action->setEnabled(selected);
        m_pListMenu->exec(view->viewport()->mapToGlobal(pos));
    });
}

QStringList DeviceListActions::HeaderTexts() const
{
    QStringList header;
    for (int column = 0; column < QtVexaItemModel::ColumnCount; ++column)
        header.append(m_pModel->headerData(column, Qt::Horizontal).toString());
    return header;
}

QList<int> DeviceListActions::ListedRows(bool selectedOnly) const
{
    QList<int> rows;
    if (selectedOnly) {
        for (const QModelIndex &index : m_selectedRows())
            rows.append(index.row());
        std::sort(rows.begin(), rows.end());
    } else {
        for (int row = 0; row < m_pModel->rowCount(); ++row)
            rows.append(row);
    }
    return rows;
}

QList<QStringList> DeviceListActions::RowTexts(const QList<int> &rows) const
{
    QList<QStringList> texts;
    texts.reserve(rows.size());
    for (const int row : rows) {
        QStringList cells;
        for (int column = 0; column < QtVexaItemModel::ColumnCount; ++column)
            cells.append(m_pModel->index(row, column).data().toString());
        texts.append(cells);
    }
    return texts;
}

void DeviceListActions::CopySelectedRows()
{
    DeviceLock lock(m_pDeviceMutex);
    const QList<int> rows = ListedRows(true);
    if (!rows.isEmpty())
        QGuiApplication::clipboard()->setText(DeviceExport::TabSeparated(HeaderTexts(), RowTexts(rows)));
}

void DeviceListActions::ExportRows(bool selectedOnly)
{
    QString filter = tr("CSV files (*.csv)");
    const QString json = tr("JSON files (*.json)");
    QString path = QFileDialog::getSaveFileName(m_pPage, tr("Export"), QString(), filter + QStringLiteral(";;") + json,
                                                &filter);
    if (path.isEmpty())
        return;
    const bool asJson = path.endsWith(QLatin1String(".json"), Qt::CaseInsensitive)
                        || (filter == json && !path.endsWith(QLatin1String(".csv"), Qt::CaseInsensitive));
    if (QFileInfo(path).suffix().isEmpty())
        path += asJson ? QStringLiteral(".json") : QStringLiteral(".csv");

    QByteArray data;
    {
        // Taken while the rows are read: device events change them.
        DeviceLock lock(m_pDeviceMutex);
        const QList<int> rows = ListedRows(selectedOnly);
        if (asJson) {
            QList<VEXA_DEVICE_INFO_MY> records;
            for (const int row : rows) {
                if (const VEXA_DEVICE_INFO_MY *record = m_pModel->RecordAt(row))
                    records.append(*record);
            }
            data = DeviceExport::Json(records);
        } else {
            data = DeviceExport::Csv(HeaderTexts(), RowTexts(rows));
        }
    }
    if (const std::optional<QString> error = DeviceExport::WriteAtomically(path, data))
        CWarnDlg::MsgBox(tr("Error"), tr("The file %1 could not be written: %2").arg(QDir::toNativeSeparators(path), *error),
                         m_pPage);
}

#ifndef VEXA_OLDER_EDITION
void DeviceListActions::RunJob(int kind)
{
    QList<DeviceJobDialog::Device> devices;
    {
        DeviceLock lock(m_pDeviceMutex);
        for (const int row : ListedRows(true)) {
            if (const VEXA_DEVICE_INFO_MY *record = m_pModel->RecordAt(row))
                devices.append({QString::fromLatin1(record->serialNo), QString::fromLatin1(record->macAddr)});
        }
    }
    if (devices.isEmpty())
        return;
    DeviceJobDialog dialog(DeviceJobDialog::Kind(kind), devices, m_pPage);
    dialog.exec();
}
#endif

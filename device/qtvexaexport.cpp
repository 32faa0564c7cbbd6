// The device page's way out for its list: the table's context menu copies
// the selected rows for a spreadsheet and exports all or the selected rows
// to a CSV or JSON file.

#include "qtvexa.h"

#include "deviceexport.h"
#include "devicelock.h"
#include "qtvexaitemmodel.h"
#include "ui_qtvexa.h"

#include <cwarndlg.h>

#include <QAction>
#include <QClipboard>
#include <QDir>
#include <QFileDialog>
#include <QFileInfo>
#include <QGuiApplication>
#include <QItemSelectionModel>
#include <QMenu>

void QtVexa::AttachListActions()
{
    CTableView *view = m_ui->tableWidgetDevice;
    m_pCopyAction = new QAction(tr("Copy"), view);
    m_pCopyAction->setObjectName(QStringLiteral("actionCopyRows"));
    m_pCopyAction->setShortcut(QKeySequence::Copy);
    m_pCopyAction->setShortcutContext(Qt::WidgetShortcut);
    view->addAction(m_pCopyAction);
    connect(m_pCopyAction, &QAction::triggered, this, &QtVexa::CopySelectedRows);
    m_pExportAllAction = new QAction(tr("Export All…"), view);
    m_pExportAllAction->setObjectName(QStringLiteral("actionExportAll"));
    connect(m_pExportAllAction, &QAction::triggered, this, [this] { ExportRows(false); });
    m_pExportSelectedAction = new QAction(tr("Export Selected…"), view);
    m_pExportSelectedAction->setObjectName(QStringLiteral("actionExportSelected"));
    connect(m_pExportSelectedAction, &QAction::triggered, this, [this] { ExportRows(true); });

    // One menu for the page's life, as long-lived as its actions: assistive
    // technology keeps an action's item with the menu it first saw it in, so
    // a fresh menu around the same actions would be read as empty.
    m_pListMenu = new QMenu(this);
    m_pListMenu->setObjectName(QStringLiteral("menuDeviceList"));
    m_pListMenu->addAction(m_pCopyAction);
    m_pListMenu->addSeparator();
    m_pListMenu->addAction(m_pExportAllAction);
    m_pListMenu->addAction(m_pExportSelectedAction);
    view->setContextMenuPolicy(Qt::CustomContextMenu);
    connect(view, &QWidget::customContextMenuRequested, this, [this, view](const QPoint &pos) {
        const bool selected = !SelectedRows().isEmpty();
        m_pCopyAction->setEnabled(selected);
        m_pExportSelectedAction->setEnabled(selected);
        m_pExportAllAction->setEnabled(m_pModel->rowCount() > 0);
        m_pListMenu->exec(view->viewport()->mapToGlobal(pos));
    });
}

QStringList QtVexa::HeaderTexts() const
{
    QStringList header;
    for (int column = 0; column < QtVexaItemModel::ColumnCount; ++column)
        header.append(m_pModel->headerData(column, Qt::Horizontal).toString());
    return header;
}

QList<int> QtVexa::ListedRows(bool selectedOnly) const
{
    QList<int> rows;
    if (selectedOnly) {
        for (const QModelIndex &index : SelectedRows())
            rows.append(index.row());
        std::sort(rows.begin(), rows.end());
    } else {
        for (int row = 0; row < m_pModel->rowCount(); ++row)
            rows.append(row);
    }
    return rows;
}

QList<QStringList> QtVexa::RowTexts(const QList<int> &rows) const
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

void QtVexa::CopySelectedRows()
{
    DeviceLock lock(&m_hDeviceMutex);
    const QList<int> rows = ListedRows(true);
    if (!rows.isEmpty())
        QGuiApplication::clipboard()->setText(DeviceExport::TabSeparated(HeaderTexts(), RowTexts(rows)));
}

void QtVexa::ExportRows(bool selectedOnly)
{
    QString filter = tr("CSV files (*.csv)");
    const QString json = tr("JSON files (*.json)");
    QString path = QFileDialog::getSaveFileName(this, tr("Export"), QString(), filter + QStringLiteral(";;") + json,
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
        DeviceLock lock(&m_hDeviceMutex);
        const QList<int> rows = ListedRows(selectedOnly);
        if (asJson) {
            QList<VEXA_DEVICE_INFO_MY> records;
            for (const int row : rows) {
                if (const VEXA_DEVICE_INFO_MY *record = RecordOfRow(row))
                    records.append(*record);
            }
            data = DeviceExport::Json(records);
        } else {
            data = DeviceExport::Csv(HeaderTexts(), RowTexts(rows));
        }
    }
    if (const std::optional<QString> error = DeviceExport::WriteAtomically(path, data))
        CWarnDlg::MsgBox(tr("Error"), tr("The file %1 could not be written: %2").arg(QDir::toNativeSeparators(path), *error),
                         this);
}

#pragma once

#include <tum/tum.h>

#include <QCoreApplication>
#include <QList>
#include <QModelIndexList>
#include <QStringList>

#include <functional>

class CTableView;
class QAction;
class QMenu;
class QWidget;
class QtVexaItemModel;

/**
 * The device list's way out: the table's context menu copies the selected
 * rows for a spreadsheet and exports all or the selected rows to a CSV or
 * JSON file; in the main edition it also opens the commissioning jobs (time,
 * password, restart) for the selected devices. Its actions are children of the table, its menu a child of the
 * page; its texts are the page's.
 */
class DeviceListActions final
{
    Q_DECLARE_TR_FUNCTIONS(QtVexa)

public:
    /**
     * Works on `view` and its model for `page`, which also parents the file
     * dialog and the error message. `selectedRows` gives the rows a command
     * on the selection acts on; `deviceMutex` is held while rows are read.
     */
    DeviceListActions(QWidget *page, CTableView *view, QtVexaItemModel *model, TUM_MUTEX *deviceMutex,
                      std::function<QModelIndexList()> selectedRows);
    Q_DISABLE_COPY_MOVE(DeviceListActions)

private:
    QStringList HeaderTexts() const;
    /** Every row, or the shown selected ones, ascending. */
    QList<int> ListedRows(bool selectedOnly) const;
    QList<QStringList> RowTexts(const QList<int> &rows) const;
    /** Selected rows to the clipboard, tab-separated with the header line. */
    void CopySelectedRows();
    /** Asks for a file and writes the rows there as CSV or JSON, by the name's suffix or the chosen type. */
    void ExportRows(bool selectedOnly);
#ifndef VEXA_OLDER_EDITION
    /** The job's dialog for the shown selected rows' devices, copied under the lock and run without it. */
    void RunJob(int kind);
#endif

    QWidget *m_pPage;
    QtVexaItemModel *m_pModel;
    TUM_MUTEX *m_pDeviceMutex;
    std::function<QModelIndexList()> m_selectedRows;
    /** Owned by the table view. */
    QAction *m_pCopyAction = nullptr;
    QAction *m_pExportAllAction = nullptr;
    QAction *m_pExportSelectedAction = nullptr;
    /** Set Time…, Change Password…, Reboot… (main edition). */
    QList<QAction *> m_jobActions;
    /** One menu for the page's life; owned by the page. */
    QMenu *m_pListMenu = nullptr;
};

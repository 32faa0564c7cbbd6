#pragma once

#include <QObject>
#include <QString>
#include <QStringMatcher>

class QAbstractItemModel;
class QFrame;
class QLabel;
class QLineEdit;
class QModelIndex;
class QTreeView;

/**
 * The device table's quick filter: Ctrl+F opens a small field over the
 * table, and rows none of whose cells contains its text (case-insensitive)
 * are hidden, also as devices come, change and go. Escape closes it and
 * shows every row again. Rows are hidden in the view rather than filtered
 * through a proxy, so every model index the page uses keeps its meaning.
 */
class DeviceRowFilter final : public QObject
{
    Q_OBJECT

public:
    /** Works on `view` and its model as set now; Ctrl+F is taken within `scope`. */
    DeviceRowFilter(QTreeView *view, QWidget *scope);
    ~DeviceRowFilter() override;
    Q_DISABLE_COPY_MOVE(DeviceRowFilter)

    void Open();
    void Close();
    /** Whether a row passes the filter and is shown. */
    bool IsShown(int row) const;

private:
    void SetText(const QString &text);
    /** Rechecks rows first..last against the current text. */
    void Refilter(int first, int last);
    void ShowCount();
    bool Matches(int row) const;
    void Place();
    bool eventFilter(QObject *watched, QEvent *event) override;

    QTreeView *m_pView;
    QAbstractItemModel *m_pModel;
    QFrame *m_pFrame;
    QLineEdit *m_pEdit;
    QLabel *m_pCount;
    QString m_text;
    /** m_text prepared once per keystroke: every cell of every row is searched with it. */
    QStringMatcher m_matcher;
    int m_hiddenRows = 0;
};

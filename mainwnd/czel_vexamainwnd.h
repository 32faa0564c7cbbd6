#pragma once

#include "vexamainwnd_export.h"

#include <QLocale>
#include <QMainWindow>

#include <memory>

struct VEXA_DEVICE_REPORT;
class CWindowTitle;
class QStackedWidget;
class QtVexa;
namespace Ui {
class CZEL_VEXAMainWndClass;
}

/**
 * The tool's one top-level window: frameless, with its own title bar, a tab
 * strip ("Online Devices", "Help") and the device page. It runs stand-alone
 * or inside a host program's layout, in full or compact styling.
 */
class VEXAMAINWND_EXPORT CZEL_VEXAMainWnd final : public QMainWindow
{
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(CZEL_VEXAMainWnd)

public:
    /** The three integers come from a host program and go unchanged to the device page. */
    explicit CZEL_VEXAMainWnd(QWidget *parent = nullptr, Qt::WindowFlags flags = {}, int i1 = 0, int i2 = 0,
                              int i3 = 0);
    ~CZEL_VEXAMainWnd() override;

    void ShowTitle(bool show);
    /** Full styling for a stand-alone window, compact for a host's smaller frame. */
    void ChangeSize(bool full);
    /** Hands a host's device report to the device page as if discovery had delivered it. */
    void OnCallBack(const VEXA_DEVICE_REPORT *report);
    /** The language whose manual Help opens: the program's or the host's current one; English until set. */
    void SetManualLanguage(const QLocale &language);
    /** Opens the user manual of that language; false when it is missing or cannot be opened. */
    bool OpenManual();

private slots:
    void on_m_pBtnVexa_clicked();
    void on_m_pBtnAbout_clicked();
    void OnGetHelp();
    void GetVersion();

protected:
    void closeEvent(QCloseEvent *event) override;
    void keyPressEvent(QKeyEvent *event) override;

private:
    void ApplyStyling();

    bool m_bFullSize = true;
    std::unique_ptr<Ui::CZEL_VEXAMainWndClass> m_ui;
    QtVexa *m_pVexa = nullptr;
    QStackedWidget *m_pStack = nullptr;
    CWindowTitle *m_pTitle = nullptr;
    QLocale m_manualLanguage{QLocale::English, QLocale::UnitedStates};
    int m_i1 = 0;
    int m_i2 = 0;
    int m_i3 = 0;
};

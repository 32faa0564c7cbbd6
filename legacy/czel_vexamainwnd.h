#pragma once

#include <QMainWindow>

#include <memory>

class CWindowTitle;
class QStackedWidget;
class QtVexa;
namespace Ui {
class CZEL_VEXAMainWndClass;
}

/**
 * The older edition's one top-level window: frameless, fixed at 1024 x 768,
 * with its own title bar, the tabs "Online Devices" and "About", and the
 * device page. No help, no manual, and nothing for a host program.
 */
class CZEL_VEXAMainWnd final : public QMainWindow
{
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(CZEL_VEXAMainWnd)

public:
    explicit CZEL_VEXAMainWnd(QWidget *parent = nullptr, Qt::WindowFlags flags = {});
    ~CZEL_VEXAMainWnd() override;

private slots:
    void on_m_pBtnVexa_clicked();
    void on_m_pBtnAbout_clicked();

protected:
    void closeEvent(QCloseEvent *event) override;

private:
    std::unique_ptr<Ui::CZEL_VEXAMainWndClass> m_ui;
    // Deleted by the confirmed close, so that discovery stops at once.
    QtVexa *m_pVexa = nullptr;
    QStackedWidget *m_pStack = nullptr;
    CWindowTitle *m_pTitle = nullptr;
};

#include "cbasedialog.h"
#include "cmutiroledialog.h"
#include "modalhelper.h"

#include <QLabel>
#include <QLayout>
#include <QMouseEvent>
#include <QPushButton>
#include <QSignalSpy>
#include <QTest>

namespace {

void SendMouse(QWidget *w, QEvent::Type type, const QPoint &local, const QPoint &global)
{
    const Qt::MouseButtons held = type == QEvent::MouseButtonRelease ? Qt::NoButton : Qt::LeftButton;
    QMouseEvent event(type, local, global, Qt::LeftButton, held, Qt::NoModifier);
    QApplication::sendEvent(w, &event);
}

QPushButton *Button(QWidget *dialog, const char *name)
{
    return dialog->findChild<QPushButton *>(QLatin1String(name));
}

} // namespace

class TestCBaseDialog : public QObject
{
    Q_OBJECT

private slots:
    void formIsBuilt();
    void dragStartsInTitleStrip_data();
    void dragStartsInTitleStrip();
    void moveWithoutPressDoesNotDrag();
    void releaseEndsDrag();
    void escapeIsSwallowed();
    void returnAcceptsWithoutOkButton();
    void okAcceptsOrSignals();
    void closeButtonClosesOrSignals();
    void buttonAreaComesBack();
    void contentWidget();
    void cornersAreCut();
    void mutiroleNeedsParent();
    void mutiroleExecClosesThroughCloseButton();
    void mutiroleShowIsModeless();
    void mutiroleDeletesItsDialog();
    void mutiroleGoesWithTheDialogsParent();
};

void TestCBaseDialog::formIsBuilt()
{
    CBaseDialog dlg;
    QCOMPARE(dlg.objectName(), QStringLiteral("CBaseDialogClass"));
    QVERIFY(dlg.windowFlags().testFlag(Qt::FramelessWindowHint));
    QVERIFY(dlg.GetContentFrame());
    QCOMPARE(dlg.GetContentFrame()->objectName(), QStringLiteral("m_pContentFrame"));
    dlg.SetTitle("Information");
    QCOMPARE(dlg.GetTitle(), QStringLiteral("Information"));
    QCOMPARE(dlg.findChild<QLabel *>("pLabelTitle")->text(), QStringLiteral("Information"));
    dlg.show();
    QVERIFY(!Button(&dlg, "m_pCloseBtn")->isVisible());
    QVERIFY(Button(&dlg, "pOkBtn")->isVisible());
    QVERIFY(Button(&dlg, "pCancelBtn")->isVisible());
    // The close button shows only an image: a screen reader names it like the title bar's.
    QCOMPARE(Button(&dlg, "m_pCloseBtn")->accessibleName(), QStringLiteral("Close"));

    dlg.SetOkBtnText(QStringLiteral("Apply"));
    dlg.SetCancelBtnText(QStringLiteral("Back"));
    dlg.ShowOkBtn(false);
    QCOMPARE(Button(&dlg, "pOkBtn")->text(), QStringLiteral("Apply"));
    QCOMPARE(Button(&dlg, "pCancelBtn")->text(), QStringLiteral("Back"));
    QVERIFY(!Button(&dlg, "pOkBtn")->isVisible());
    dlg.ShowOkBtn(true);
    QVERIFY(Button(&dlg, "pOkBtn")->isVisible());
}

void TestCBaseDialog::dragStartsInTitleStrip_data()
{
    QTest::addColumn<int>("pressY");
    QTest::addColumn<bool>("drags");
    QTest::newRow("top row") << 0 << true;
    QTest::newRow("last strip row") << 32 << true;
    QTest::newRow("first content row") << 33 << false;
}

void TestCBaseDialog::dragStartsInTitleStrip()
{
    QFETCH(int, pressY);
    QFETCH(bool, drags);
    CBaseDialog dlg;
    dlg.move(100, 100);
    dlg.show();
    QVERIFY(QTest::qWaitForWindowExposed(&dlg));
    const QPoint start = dlg.pos();
    const QPoint press(50, pressY);
    SendMouse(&dlg, QEvent::MouseButtonPress, press, start + press);
    SendMouse(&dlg, QEvent::MouseMove, press + QPoint(40, 30), start + press + QPoint(40, 30));
    QCOMPARE(dlg.pos(), drags ? start + QPoint(40, 30) : start);
}

void TestCBaseDialog::moveWithoutPressDoesNotDrag()
{
    CBaseDialog dlg;
    dlg.move(100, 100);
    dlg.show();
    QVERIFY(QTest::qWaitForWindowExposed(&dlg));
    SendMouse(&dlg, QEvent::MouseMove, QPoint(60, 10), QPoint(300, 200));
    QCOMPARE(dlg.pos(), QPoint(100, 100));
}

void TestCBaseDialog::releaseEndsDrag()
{
    CBaseDialog dlg;
    dlg.move(100, 100);
    dlg.show();
    QVERIFY(QTest::qWaitForWindowExposed(&dlg));
    SendMouse(&dlg, QEvent::MouseButtonPress, QPoint(50, 10), QPoint(150, 110));
    SendMouse(&dlg, QEvent::MouseButtonRelease, QPoint(50, 10), QPoint(150, 110));
    SendMouse(&dlg, QEvent::MouseMove, QPoint(90, 40), QPoint(190, 140));
    QCOMPARE(dlg.pos(), QPoint(100, 100));
}

void TestCBaseDialog::escapeIsSwallowed()
{
    CBaseDialog dlg;
    dlg.show();
    QVERIFY(QTest::qWaitForWindowExposed(&dlg));
    QSignalSpy rejected(&dlg, &QDialog::rejected);
    QTest::keyClick(&dlg, Qt::Key_Escape);
    QVERIFY(dlg.isVisible());
    QCOMPARE(rejected.count(), 0);
}

void TestCBaseDialog::returnAcceptsWithoutOkButton()
{
    CBaseDialog dlg(nullptr, true, false, true);
    dlg.show();
    QVERIFY(QTest::qWaitForWindowExposed(&dlg));
    QVERIFY(!Button(&dlg, "pOkBtn")->isVisible());
    QTest::keyClick(&dlg, Qt::Key_Return);
    QVERIFY(!dlg.isVisible());
    QCOMPARE(dlg.result(), int(QDialog::Accepted));
}

void TestCBaseDialog::okAcceptsOrSignals()
{
    CBaseDialog dlg;
    QSignalSpy okSpy(&dlg, &CBaseDialog::ClickedOKBtnSig);
    dlg.SetOkAccept(false);
    dlg.show();
    QVERIFY(QTest::qWaitForWindowExposed(&dlg));
    QTest::mouseClick(Button(&dlg, "pOkBtn"), Qt::LeftButton);
    QCOMPARE(okSpy.count(), 1);
    QVERIFY(dlg.isVisible());

    dlg.SetOkAccept(true);
    QTest::mouseClick(Button(&dlg, "pOkBtn"), Qt::LeftButton);
    QCOMPARE(okSpy.count(), 1);
    QVERIFY(!dlg.isVisible());
    QCOMPARE(dlg.result(), int(QDialog::Accepted));

    dlg.SetOkBtnEnable(false);
    QVERIFY(!Button(&dlg, "pOkBtn")->isEnabled());
}

void TestCBaseDialog::closeButtonClosesOrSignals()
{
    CBaseDialog dlg;
    QSignalSpy closeSpy(&dlg, &CBaseDialog::ClickedCloseBtnSig);
    dlg.ShowCloseBtn(true);
    dlg.SetCloseBtnClose(false);
    dlg.show();
    QVERIFY(QTest::qWaitForWindowExposed(&dlg));
    QTest::mouseClick(Button(&dlg, "m_pCloseBtn"), Qt::LeftButton);
    QCOMPARE(closeSpy.count(), 1);
    QVERIFY(dlg.isVisible());

    dlg.SetCloseBtnClose(true);
    QTest::mouseClick(Button(&dlg, "m_pCloseBtn"), Qt::LeftButton);
    QCOMPARE(closeSpy.count(), 1);
    QVERIFY(!dlg.isVisible());
}

void TestCBaseDialog::buttonAreaComesBack()
{
    CBaseDialog dlg(nullptr, false, false, false);
    QVERIFY(dlg.styleSheet().contains("dialog_bg2.png"));
    dlg.show();
    QVERIFY(QTest::qWaitForWindowExposed(&dlg));
    QWidget *area = dlg.findChild<QWidget *>("m_pBottomFrame");
    QVERIFY(!area->isVisible());

    dlg.SetBtnAreaVisible(true);
    QVERIFY(area->isVisible());
    QVERIFY(Button(&dlg, "pOkBtn")->isVisible());
    QVERIFY(Button(&dlg, "pCancelBtn")->isVisible());
    QVERIFY(dlg.styleSheet().contains("dialog_bg.png"));

    dlg.SetBtnAreaVisible(false);
    QVERIFY(!area->isVisible());
    QVERIFY(dlg.styleSheet().contains("dialog_bg2.png"));
}

void TestCBaseDialog::contentWidget()
{
    CBaseDialog dlg;
    QVERIFY(!dlg.SetContentWidget(nullptr));
    QVERIFY(!dlg.GetContentFrame()->layout());
    auto *first = new QLabel("first");
    QVERIFY(dlg.SetContentWidget(first));
    QCOMPARE(first->parentWidget(), dlg.GetContentFrame());
    auto *second = new QLabel("second");
    QVERIFY(dlg.SetContentWidget(second));
    QCOMPARE(dlg.GetContentFrame()->layout()->count(), 2);
}

void TestCBaseDialog::cornersAreCut()
{
    CBaseDialog dlg;
    dlg.resize(300, 200);
    dlg.show();
    QVERIFY(QTest::qWaitForWindowExposed(&dlg));
    const QRegion mask = dlg.mask();
    QVERIFY(!mask.contains(QPoint(0, 0)));
    QVERIFY(!mask.contains(QPoint(299, 199)));
    QVERIFY(mask.contains(QPoint(150, 0)));
    QVERIFY(mask.contains(QPoint(150, 100)));
}

void TestCBaseDialog::mutiroleNeedsParent()
{
    const auto wrappingDialogs = [] {
        int count = 0;
        for (QWidget *w : QApplication::topLevelWidgets())
            count += qobject_cast<CBaseDialog *>(w) != nullptr;
        return count;
    };
    CMutiroleDialog frame;
    frame.ExecInDialog(nullptr, "Title");
    frame.ShowInDialog(nullptr, "Title", 300, 200);
    QCOMPARE(wrappingDialogs(), 0);
    QVERIFY(!frame.parentWidget());
}

void TestCBaseDialog::mutiroleExecClosesThroughCloseButton()
{
    QWidget page;
    auto *frame = new CMutiroleDialog(&page);
    frame->resize(320, 240);
    CBaseDialog *seen = nullptr;
    WhenModal<CBaseDialog>([&seen](CBaseDialog *dlg) {
        seen = dlg;
        QTest::mouseClick(Button(dlg, "m_pCloseBtn"), Qt::LeftButton);
    });
    QCOMPARE(frame->ExecDialog(&page, "Wrapped"), int(QDialog::Rejected));
    QVERIFY(seen);
    QCOMPARE(seen->GetTitle(), QStringLiteral("Wrapped"));
    QCOMPARE(frame->parentWidget(), seen->GetContentFrame());
    QCOMPARE(frame->DlgWidth(), 320);

    // The wrapping dialog is made once and reused.
    CBaseDialog *again = nullptr;
    WhenModal<CBaseDialog>([&again](CBaseDialog *dlg) {
        again = dlg;
        QTest::keyClick(dlg, Qt::Key_Return);
    });
    QCOMPARE(frame->ExecDialog(&page, "Again"), int(QDialog::Accepted));
    QCOMPARE(again, seen);
}

void TestCBaseDialog::mutiroleShowIsModeless()
{
    QWidget page;
    auto *frame = new CMutiroleDialog(&page);
    // Unwrapped, the frame's own size; wrapped, the dialog's.
    frame->resize(100, 80);
    QCOMPARE(frame->DlgHeight(), 80);
    frame->ShowInDialog(&page, "Modeless", 360, 260);
    auto *dlg = qobject_cast<CBaseDialog *>(frame->window());
    QVERIFY(dlg);
    QVERIFY(dlg->isVisible());
    QVERIFY(!dlg->isModal());
    QCOMPARE(dlg->size(), QSize(360, 260));
    QCOMPARE(frame->DlgHeight(), 260);
    QVERIFY(Button(dlg, "m_pCloseBtn")->isVisible());
    QVERIFY(!dlg->findChild<QWidget *>("m_pBottomFrame")->isVisible());
    frame->MoveDlg(40, 50);
    QCOMPARE(dlg->pos(), QPoint(40, 50));
    QTest::keyClick(frame, Qt::Key_Escape);
    QVERIFY(dlg->isVisible());
    QTest::mouseClick(Button(dlg, "m_pCloseBtn"), Qt::LeftButton);
    QVERIFY(!dlg->isVisible());
}

void TestCBaseDialog::mutiroleDeletesItsDialog()
{
    QWidget page;
    auto *frame = new CMutiroleDialog(&page);
    frame->ShowInDialog(&page, "Modeless", 300, 200);
    QPointer<QWidget> dlg = frame->window();
    QVERIFY(dlg != &page);
    delete frame;
    QVERIFY(dlg.isNull());
}

void TestCBaseDialog::mutiroleGoesWithTheDialogsParent()
{
    auto *page = new QWidget;
    QPointer<CMutiroleDialog> frame = new CMutiroleDialog(page);
    frame->ShowInDialog(page, "Modeless", 300, 200);
    delete page;
    QVERIFY(frame.isNull());
}

QTEST_MAIN(TestCBaseDialog)
#include "tst_cbasedialog.moc"

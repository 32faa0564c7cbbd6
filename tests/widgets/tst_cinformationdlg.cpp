#include "cinformationdlg.h"

#include <QApplication>
#include <QLabel>
#include <QScreen>
#include <QTest>
#include <QTextEdit>
#include <QTimer>

namespace {

CInformationDlg *SharedNotice()
{
    for (QWidget *w : QApplication::topLevelWidgets()) {
        if (auto *notice = qobject_cast<CInformationDlg *>(w))
            return notice;
    }
    return nullptr;
}

} // namespace

class TestCInformationDlg : public QObject
{
    Q_OBJECT

private slots:
    void textPlacement_data();
    void textPlacement();
    void withoutContentIgnoresText();
    void anchorPlacesBottomRightCorner();
    void showInfoNeedsParent();
    void staysWhilePointerRests();
};

void TestCInformationDlg::textPlacement_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<bool>("inLabel");
    QTest::newRow("short") << QStringLiteral("Saved.") << true;
    QTest::newRow("long") << QStringLiteral("The device at 192.168.1.64 did not answer the request") << false;
}

void TestCInformationDlg::textPlacement()
{
    QFETCH(QString, text);
    QFETCH(bool, inLabel);
    CInformationDlg notice;
    auto *label = notice.findChild<QLabel *>();
    auto *edit = notice.findChild<QTextEdit *>();
    QVERIFY(label && edit);
    QCOMPARE(label->fontMetrics().horizontalAdvance(text) + 15 < 200, inLabel);

    notice.SetInfoText(text);
    notice.show();
    QCOMPARE(label->isVisible(), inLabel);
    QCOMPARE(edit->isVisible(), !inLabel);
    QCOMPARE(label->text(), inLabel ? text : QString());
    QCOMPARE(edit->toPlainText(), inLabel ? QString() : text);
}

void TestCInformationDlg::withoutContentIgnoresText()
{
    CInformationDlg notice(nullptr, false);
    QVERIFY(!notice.findChild<QLabel *>());
    notice.SetInfoText("ignored");
    QVERIFY(notice.windowFlags().testFlag(Qt::WindowStaysOnTopHint));
}

void TestCInformationDlg::anchorPlacesBottomRightCorner()
{
    CInformationDlg notice;
    notice.SetAnchor(500, 400);
    QCOMPARE(notice.pos(), QPoint(300, 250));
    notice.show();
    QVERIFY(QTest::qWaitForWindowExposed(&notice));
    QCOMPARE(notice.geometry().bottomRight(), QPoint(499, 399));
}

void TestCInformationDlg::showInfoNeedsParent()
{
    CInformationDlg orphan;
    orphan.ShowInfo("nobody sees this");
    QVERIFY(!orphan.isVisible());
}

void TestCInformationDlg::staysWhilePointerRests()
{
    QWidget page;
    CInformationDlg::ShowInfoFor("Saved.", &page);
    CInformationDlg *notice = SharedNotice();
    QVERIFY(notice);
    QVERIFY(notice->isVisible());
    const QRect area = page.screen()->availableGeometry();
    QCOMPARE(notice->geometry().bottomRight(), area.bottomRight());
    auto *timer = notice->findChild<QTimer *>();
    QVERIFY(timer->isActive());
    QCOMPARE(timer->interval(), 3000);
    QVERIFY(!timer->isSingleShot());

    // Each tick of the timer runs HideWnd(); call it directly instead of waiting.
    QCursor::setPos(notice->geometry().center());
    notice->HideWnd();
    QVERIFY(notice->isVisible());
    QVERIFY(timer->isActive());

    QCursor::setPos(notice->geometry().topLeft() - QPoint(20, 20));
    notice->HideWnd();
    QVERIFY(!notice->isVisible());
    QVERIFY(!timer->isActive());

    // The next request shows the same notice again.
    CInformationDlg::ShowInfoTextAt("Again.", 600, 500);
    QCOMPARE(SharedNotice(), notice);
    QVERIFY(notice->isVisible());
    QCOMPARE(notice->geometry().bottomRight(), QPoint(599, 499));

    // Without a place of its own it shows where it was last placed.
    notice->hide();
    CInformationDlg::ShowInfoText("Once more.");
    QCOMPARE(SharedNotice(), notice);
    QVERIFY(notice->isVisible());
    QCOMPARE(notice->geometry().bottomRight(), QPoint(599, 499));
    QCOMPARE(notice->findChild<QLabel *>()->text(), QStringLiteral("Once more."));
}

QTEST_MAIN(TestCInformationDlg)
#include "tst_cinformationdlg.moc"

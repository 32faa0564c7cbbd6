#include "buildnumber.h"
#include "cdlgabout.h"

#include <QLabel>
#include <QPushButton>
#include <QTest>
#include <QTimer>

class TestCDlgAbout final : public QObject
{
    Q_OBJECT

private slots:
    void texts();
    void frame();
    void okAccepts();
};

void TestCDlgAbout::texts()
{
    CDlgAbout about;
    QCOMPARE(about.GetTitle(), QStringLiteral("About"));
    QCOMPARE(about.findChild<QLabel *>("labelName")->text(), QStringLiteral("Name:"));
    QCOMPARE(about.findChild<QLabel *>("labelNameValue")->text(), QStringLiteral("Quillon Software"));
    QCOMPARE(about.findChild<QLabel *>("labelVersion")->text(), QStringLiteral("Version:"));
    QCOMPARE(about.findChild<QLabel *>("pLabelAbout")->text(),
             QStringLiteral(" v2.00.00.01 Build%1").arg(GetBuildNumber()));
    QCOMPARE(about.findChild<QPushButton *>("m_pOkBtn")->text(), QStringLiteral("OK"));
}

// A message-style frame: no OK/Cancel area, the close button shown.
void TestCDlgAbout::frame()
{
    CDlgAbout about;
    about.show();
    QVERIFY(QTest::qWaitForWindowExposed(&about));
    QCOMPARE(about.size(), QSize(520, 200));
    QCOMPARE(about.minimumSize(), about.maximumSize());
    QVERIFY(about.findChild<QWidget *>("m_pCloseBtn")->isVisible());
    QVERIFY(!about.findChild<QWidget *>("m_pBottomFrame")->isVisible());
    QVERIFY(about.findChild<QLabel *>("pLabelAbout")->width() >= 250);
}

void TestCDlgAbout::okAccepts()
{
    CDlgAbout about;
    QTimer::singleShot(0, &about, [&about] {
        QTest::mouseClick(about.findChild<QPushButton *>("m_pOkBtn"), Qt::LeftButton);
    });
    QCOMPARE(about.exec(), int(QDialog::Accepted));
}

QTEST_MAIN(TestCDlgAbout)
#include "tst_cdlgabout.moc"

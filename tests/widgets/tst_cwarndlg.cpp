#include "cwarndlg.h"
#include "cwarninfodlg.h"
#include "modalhelper.h"

#include <QPushButton>
#include <QTest>
#include <QTextBrowser>
#include <QThread>
#include <QWindow>

#include <functional>
#include <map>
#include <thread>

namespace {

using Action = std::function<void(CWarnDlg *)>;

QPushButton *Button(QWidget *dialog, const char *name)
{
    return dialog->findChild<QPushButton *>(QLatin1String(name));
}

void Click(CWarnDlg *dlg, const char *name)
{
    QTest::mouseClick(Button(dlg, name), Qt::LeftButton);
}

void PressReturn(CWarnDlg *dlg)
{
    QWidget *focus = dlg->focusWidget();
    QTest::keyClick(focus ? focus : dlg, Qt::Key_Return);
}

// Escape must leave the dialog up (a reject would also give 0, so the
// close button only ends a dialog that survived).
void EscapeThenClose(CWarnDlg *dlg)
{
    QTest::keyClick(dlg, Qt::Key_Escape);
    QApplication::processEvents();
    if (dlg->isVisible())
        Click(dlg, "m_pCloseBtn");
    else
        dlg->done(2);
}

QTextBrowser *Browser(CWarnDlg &dlg)
{
    return dlg.findChild<QTextBrowser *>("m_pBrowserTxt");
}

// A text whose measured width in the browser's font is exactly @p width,
// built from characters of a few different advances.
QString TextOfWidth(const QFontMetrics &fm, int width)
{
    static std::map<int, QString> byWidth;
    if (byWidth.empty()) {
        for (int wide = 0; wide < 60; ++wide)
            for (int narrow = 0; narrow < 12; ++narrow)
                for (int dots = 0; dots < 6; ++dots) {
                    const QString text = QString(wide, 'W') + QString(narrow, 'x') + QString(dots, '.');
                    byWidth.try_emplace(fm.horizontalAdvance(text), text);
                }
    }
    const auto it = byWidth.find(width);
    return it == byWidth.end() ? QString() : it->second;
}

} // namespace

Q_DECLARE_METATYPE(Action)

class TestCWarnDlg : public QObject
{
    Q_OBJECT

private slots:
    void askBoxResult_data();
    void askBoxResult();
    void msgBoxResult_data();
    void msgBoxResult();
    void nullParentShowsNothing();
    void windowSystemCloseOnlyHides();
    void fitWidthToText_data();
    void fitWidthToText();
    void textNeededSizeGrowsDialog();
    void textNeededSizeCentresShortText();
    void longMessageFitsItsFrame();
    void infoFromWorkerBeforeInit();
    void infoFromWorkerShowsOnGuiThread();
    void infoFromGuiThreadShowsAtOnce();
};

void TestCWarnDlg::askBoxResult_data()
{
    QTest::addColumn<Action>("action");
    QTest::addColumn<int>("expected");
    QTest::newRow("OK") << Action([](CWarnDlg *d) { Click(d, "pOkBtn"); }) << 1;
    QTest::newRow("Return") << Action(PressReturn) << 1;
    QTest::newRow("Cancel") << Action([](CWarnDlg *d) { Click(d, "pCancelBtn"); }) << 0;
    QTest::newRow("close button") << Action([](CWarnDlg *d) { Click(d, "m_pCloseBtn"); }) << 0;
    QTest::newRow("Escape does nothing") << Action(EscapeThenClose) << 0;
}

void TestCWarnDlg::askBoxResult()
{
    QFETCH(Action, action);
    QFETCH(int, expected);
    QWidget parent;
    QString title;
    bool allButtons = false;
    WhenModal<CWarnDlg>([&](CWarnDlg *dlg) {
        title = dlg->GetTitle();
        allButtons = Button(dlg, "pOkBtn")->isVisible() && Button(dlg, "pCancelBtn")->isVisible()
                     && Button(dlg, "m_pCloseBtn")->isVisible();
        action(dlg);
    });
    QCOMPARE(CWarnDlg::AskBox("Confirm", "Sure to close software", &parent), expected);
    QCOMPARE(title, QStringLiteral("Confirm"));
    QVERIFY(allButtons);
}

void TestCWarnDlg::msgBoxResult_data()
{
    QTest::addColumn<Action>("action");
    QTest::addColumn<int>("expected");
    QTest::newRow("close button") << Action([](CWarnDlg *d) { Click(d, "m_pCloseBtn"); }) << 0;
    QTest::newRow("Return") << Action([](CWarnDlg *d) { QTest::keyClick(d, Qt::Key_Return); }) << 1;
    QTest::newRow("Escape does nothing") << Action(EscapeThenClose) << 0;
}

void TestCWarnDlg::msgBoxResult()
{
    QFETCH(Action, action);
    QFETCH(int, expected);
    QWidget parent;
    QWidget *shownWith = nullptr;
    bool messageOnly = false;
    QString text;
    WhenModal<CWarnDlg>([&](CWarnDlg *dlg) {
        shownWith = dlg->parentWidget();
        messageOnly = !Button(dlg, "pOkBtn")->isVisible()
                      && !dlg->findChild<QWidget *>("m_pBottomFrame")->isVisible()
                      && Button(dlg, "m_pCloseBtn")->isVisible();
        text = Browser(*dlg)->toPlainText();
        action(dlg);
    });
    QCOMPARE(CWarnDlg::MsgBox("Information", "Please select a device.", &parent), expected);
    QCOMPARE(shownWith, &parent);
    QVERIFY(messageOnly);
    QCOMPARE(text, QStringLiteral("Please select a device."));
}

void TestCWarnDlg::nullParentShowsNothing()
{
    // A modal dialog would block here until the test timed out.
    QCOMPARE(CWarnDlg::MsgBox("Information", "text", nullptr), -1);
    QCOMPARE(CWarnDlg::AskBox("Confirm", "text", nullptr), -1);
}

void TestCWarnDlg::windowSystemCloseOnlyHides()
{
    QWidget parent;
    CWarnDlg dlg(&parent);
    bool closeAccepted = true;
    WhenModal<CWarnDlg>([&closeAccepted](CWarnDlg *d) { closeAccepted = d->windowHandle()->close(); });
    QCOMPARE(dlg.ShowAsk("Confirm", "text"), 0);
    QVERIFY(!closeAccepted);
    QVERIFY(!dlg.isVisible());
    // Still usable after the close request.
    WhenModal<CWarnDlg>([](CWarnDlg *d) { Click(d, "pOkBtn"); });
    QCOMPARE(dlg.ShowAsk("Confirm", "again"), 1);
}

void TestCWarnDlg::fitWidthToText_data()
{
    QTest::addColumn<int>("needed"); // measured text width + 25
    QTest::addColumn<int>("dialogWidth");
    QTest::addColumn<int>("browserWidth");
    QTest::newRow("short") << 120 << 300 << 110;
    QTest::newRow("at minimum") << 288 << 300 << 278;
    QTest::newRow("past minimum") << 289 << 301 << 279;
    QTest::newRow("below maximum") << 387 << 399 << 377;
    QTest::newRow("at maximum") << 388 << 400 << 378;
    QTest::newRow("long") << 600 << 400 << 378;
}

void TestCWarnDlg::fitWidthToText()
{
    QFETCH(int, needed);
    QFETCH(int, dialogWidth);
    QFETCH(int, browserWidth);
    CWarnDlg dlg;
    QTextBrowser *browser = Browser(dlg);
    const QString text = TextOfWidth(browser->fontMetrics(), needed - 25);
    if (text.isEmpty())
        QSKIP("no text of that exact width in this font");
    dlg.FitWidthToText(text);
    QCOMPARE(dlg.size(), QSize(dialogWidth, 225));
    QCOMPARE(browser->minimumWidth(), browserWidth);
    QCOMPARE(browser->maximumWidth(), browserWidth);

    // A dialog resized afterwards: the text follows its new width.
    dlg.resize(dialogWidth + 50, 225);
    dlg.AdjustBrowserWidth();
    QCOMPARE(browser->width(), dlg.width() - 10);
}

void TestCWarnDlg::textNeededSizeGrowsDialog()
{
    CWarnDlg dlg;
    dlg.FitWidthToText("x");
    dlg.SetBtnAreaVisible(false);
    dlg.show();
    QVERIFY(QTest::qWaitForWindowExposed(&dlg));
    QWidget *frame = dlg.GetContentFrame();
    const int height = dlg.height();
    const int frameHeight = frame->height();

    dlg.TextNeededSize(QSizeF(100, frameHeight + 40));
    QTextBrowser *browser = Browser(dlg);
    QCOMPARE(browser->height(), frameHeight + 50);
    QCOMPARE(dlg.height(), height + 50 + 30);
    QCOMPARE(browser->y(), 15);
    QCOMPARE(browser->x(), frame->width() / 2 - browser->width() / 2);
}

void TestCWarnDlg::textNeededSizeCentresShortText()
{
    CWarnDlg dlg;
    dlg.FitWidthToText("x");
    dlg.show();
    QVERIFY(QTest::qWaitForWindowExposed(&dlg));
    QWidget *frame = dlg.GetContentFrame();
    const int height = dlg.height();

    dlg.TextNeededSize(QSizeF(100, 20.6));
    QTextBrowser *browser = Browser(dlg);
    QCOMPARE(browser->height(), 30);
    QCOMPARE(dlg.height(), height);
    QCOMPARE(browser->y(), frame->height() / 2 - 15);
    QCOMPARE(browser->x(), frame->width() / 2 - browser->width() / 2);
}

void TestCWarnDlg::longMessageFitsItsFrame()
{
    QWidget parent;
    QString text;
    for (int i = 0; i < 40; ++i)
        text += QStringLiteral("Device %1 could not be modified. ").arg(i);
    int height = 0;
    QRect browserRect;
    QRect frameRect;
    WhenModal<CWarnDlg>([&](CWarnDlg *dlg) {
        height = dlg->height();
        browserRect = Browser(*dlg)->geometry();
        frameRect = dlg->GetContentFrame()->rect();
        dlg->close();
    });
    CWarnDlg::MsgBox("Error", text, &parent);
    QVERIFY(height > 225);
    QCOMPARE(browserRect.top(), 15);
    QVERIFY2(frameRect.contains(browserRect), "the whole message is inside the content frame");
}

void TestCWarnDlg::infoFromWorkerBeforeInit()
{
    QThread *shownOn = nullptr;
    QString text;
    WhenModal<CWarnDlg>([&](CWarnDlg *dlg) {
        shownOn = QThread::currentThread();
        text = Browser(*dlg)->toPlainText();
        dlg->close();
    });
    std::thread worker([] { CWarnInfoDlg::Instance()->PostMsgInfo("Information", "first"); });
    worker.join();
    QCOMPARE(CWarnInfoDlg::Instance()->thread(), qApp->thread());
    QTRY_COMPARE(text, QStringLiteral("first"));
    QCOMPARE(shownOn, qApp->thread());
}

void TestCWarnDlg::infoFromWorkerShowsOnGuiThread()
{
    QWidget parent;
    CWarnInfoDlg::Init(&parent);
    QThread *shownOn = nullptr;
    QWidget *shownWith = nullptr;
    QString title;
    WhenModal<CWarnDlg>([&](CWarnDlg *dlg) {
        shownOn = QThread::currentThread();
        shownWith = dlg->parentWidget();
        title = dlg->GetTitle();
        Click(dlg, "m_pCloseBtn");
    });
    std::thread worker([] { CWarnInfoDlg::Instance()->PostMsgInfo("Error", "from a worker"); });
    worker.join();
    QTRY_COMPARE(title, QStringLiteral("Error"));
    QCOMPARE(shownOn, qApp->thread());
    QCOMPARE(shownWith, &parent);
}

void TestCWarnDlg::infoFromGuiThreadShowsAtOnce()
{
    QWidget parent;
    CWarnInfoDlg::Init(&parent);
    QString title;
    WhenModal<CWarnDlg>([&title](CWarnDlg *dlg) {
        title = dlg->GetTitle();
        dlg->close();
    });
    CWarnInfoDlg::Instance()->PostMsgInfo("Information", "direct");
    QCOMPARE(title, QStringLiteral("Information"));
}

QTEST_MAIN(TestCWarnDlg)
#include "tst_cwarndlg.moc"

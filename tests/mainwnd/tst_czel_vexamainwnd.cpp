#include "czel_vexamainwnd.h"
#include "cwindowtitle.h"
#include "devicerecords.h"
#include "modalhelper.h"
#include "urlcatcher.h"
#include "usermanual.h"

#include <apppath.h>
#include <cdlgabout.h>
#include <cwarndlg.h>
#include <qtvexa.h>

#include <QDesktopServices>
#include <QFile>
#include <QFrame>
#include <QLabel>
#include <QMenu>
#include <QPushButton>
#include <QRegularExpression>
#include <QStackedWidget>
#include <QTest>
#include <QTextBrowser>

namespace {

// Counts the application's quit requests and lets them through.
class QuitCounter final : public QObject
{
public:
    int count = 0;
    bool eventFilter(QObject *watched, QEvent *event) override
    {
        if (watched == QCoreApplication::instance() && event->type() == QEvent::Quit)
            ++count;
        return false;
    }
};

// The look of the window in one of its two stylings.
struct Look {
    QString window, selected, unselected, frame;
    int frameMinHeight, vexaHeight, aboutHeight;
    QSize vexaIconSize, aboutIconSize;
    bool vexaIcon, aboutIcon;
    bool operator==(const Look &) const = default;
};

const QString kFullWindow = QStringLiteral(
    "QMainWindow#CZEL_VEXAMainWndClass{border-image:url(\":/images/Dialog/dialog_bg2.png\") 58;\nborder-width:58;}");
const QString kFullSelected = QStringLiteral(
    "QPushButton{border-image:url(:/images/Tab/TabSelect.png); color: rgb(255, 255, 255); border-width:0px;}");
const QString kFullUnselected = QStringLiteral(
    "QPushButton{border-image:url(:/images/Tab/TabUnselect.png); color: rgb(255, 255, 255); border-width:0px;}");
const QString kFullFrame = QStringLiteral("QFrame{background-image:url(:/images/Tab/tab_bg.png); border:none;}");

// Answers the next message dialog with `button`, keeping what it said.
void Answer(const char *button, QString *title, QString *text)
{
    WhenModal<CWarnDlg>([=](CWarnDlg *dlg) {
        *title = dlg->GetTitle();
        *text = dlg->findChild<QTextBrowser *>("m_pBrowserTxt")->toPlainText();
        QTest::mouseClick(dlg->findChild<QPushButton *>(QLatin1String(button)), Qt::LeftButton);
    });
}

} // namespace

class TestCZEL_VEXAMainWnd final : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void init();
    void cleanup();

    void windowAndForm();
    void startsInFullStyling();
    void changeSizeRestyles();
    void compactTabClickKeepsCompactStyle();
    void showTitle();
    void onCallBackFeedsThePage();
    void closeQuestion_data();
    void closeQuestion();
    void f1OpensTheManual_data();
    void f1OpensTheManual();
    void missingManualIsReported();
    void helpMenu();
    void f1InTheOpenHelpMenu();
    void versionEntryShowsAbout();
    void manualPathFollowsLanguage_data();
    void manualPathFollowsLanguage();

private:
    template <typename T>
    T *Child(const char *name) const { return m_window->findChild<T *>(QLatin1String(name)); }
    Look CurrentLook() const;
    /** Runs act(menu) once the Help menu is up, then clicks the Help tab. */
    void WithHelpMenu(const std::function<void(QMenu *)> &act);

    std::unique_ptr<CZEL_VEXAMainWnd> m_window;
    UrlCatcher m_urls;
};

void TestCZEL_VEXAMainWnd::initTestCase()
{
    // The images come from a skin plug-in that tests do not load.
    static const QtMessageHandler previous = qInstallMessageHandler(nullptr);
    qInstallMessageHandler([](QtMsgType type, const QMessageLogContext &context, const QString &message) {
        if (!message.startsWith(QLatin1String("Could not create pixmap from :/images/")))
            previous(type, context, message);
    });
    // No discovery: the page hears only the reports the tests hand over.
    qputenv("VEXA_INTERFACES", "vexa-none0");
    // As in the program: only the confirmed close ends the application.
    QGuiApplication::setQuitOnLastWindowClosed(false);
}

void TestCZEL_VEXAMainWnd::init()
{
    m_window = std::make_unique<CZEL_VEXAMainWnd>();
    m_urls.urls.clear();
    QDesktopServices::setUrlHandler(QStringLiteral("file"), &m_urls, "open");
}

void TestCZEL_VEXAMainWnd::cleanup()
{
    QDesktopServices::unsetUrlHandler(QStringLiteral("file"));
    m_window.reset();
}

Look TestCZEL_VEXAMainWnd::CurrentLook() const
{
    auto *vexa = Child<QPushButton>("m_pBtnVexa");
    auto *about = Child<QPushButton>("m_pBtnAbout");
    auto *frame = Child<QFrame>("pTabFrame");
    return {m_window->styleSheet(), vexa->styleSheet(),  about->styleSheet(),  frame->styleSheet(),
            frame->minimumHeight(), vexa->maximumHeight(), about->maximumHeight(), vexa->iconSize(),
            about->iconSize(),      !vexa->icon().isNull(), !about->icon().isNull()};
}

void TestCZEL_VEXAMainWnd::WithHelpMenu(const std::function<void(QMenu *)> &act)
{
    WhenPopup<QMenu>(act);
    QTest::mouseClick(Child<QPushButton>("m_pBtnAbout"), Qt::LeftButton);
}

void TestCZEL_VEXAMainWnd::windowAndForm()
{
    QCOMPARE(m_window->objectName(), QStringLiteral("CZEL_VEXAMainWndClass"));
    QCOMPARE(m_window->windowTitle(), QStringLiteral("VEXA"));
    QCOMPARE(m_window->minimumSize(), QSize(1024, 768));
    QCOMPARE(m_window->maximumSize(), QSize(1024, 768));
    QCOMPARE(m_window->windowFlags(), Qt::Window | Qt::FramelessWindowHint | Qt::WindowSystemMenuHint);
    QCOMPARE(Child<QPushButton>("m_pBtnVexa")->text(), QStringLiteral("Online Devices"));
    QCOMPARE(Child<QPushButton>("m_pBtnAbout")->text(), QStringLiteral("Help"));

    auto *page = m_window->findChild<QtVexa *>();
    QVERIFY(page);
    auto *stack = qobject_cast<QStackedWidget *>(page->parentWidget());
    QVERIFY(stack);
    QCOMPARE(stack->currentWidget(), page);
    QCOMPARE(stack->count(), 1);

    m_window->show();
    QVERIFY(QTest::qWaitForWindowExposed(m_window.get()));
    // Title bar on top, then the tab strip, then the page.
    auto *title = m_window->findChild<CWindowTitle *>();
    QVERIFY(title && title->isVisible());
    auto *frame = Child<QFrame>("pTabFrame");
    QVERIFY(title->geometry().bottom() < frame->geometry().top());
    QVERIFY(frame->geometry().bottom() < stack->geometry().top());
}

void TestCZEL_VEXAMainWnd::startsInFullStyling()
{
    const Look look = CurrentLook();
    QCOMPARE(look.window, kFullWindow);
    QCOMPARE(look.selected, kFullSelected);
    QCOMPARE(look.unselected, kFullUnselected);
    QCOMPARE(look.frame, kFullFrame);
    QCOMPARE(look.frameMinHeight, 40);
    QCOMPARE(look.vexaIconSize, QSize(32, 32));
    QVERIFY(look.vexaIcon && look.aboutIcon);
}

void TestCZEL_VEXAMainWnd::changeSizeRestyles()
{
    const Look full = CurrentLook();
    m_window->ChangeSize(true);
    QCOMPARE(CurrentLook(), full);

    m_window->ChangeSize(false);
    const Look compact = CurrentLook();
    QCOMPARE(compact.window,
             QStringLiteral("QMainWindow#CZEL_VEXAMainWndClass{border-image:url(\":/images/Dialog/dialog_bg2.png\") "
                            "58;\nborder-width:23 58 58 58;}"));
    QCOMPARE(compact.selected,
             QStringLiteral("QPushButton{border-image:url(:/images/Tab/SubTabSelect.png); color: rgb(255, 0, 0); "
                            "border-width:0px;}"));
    QCOMPARE(compact.unselected,
             QStringLiteral("QPushButton{border-image:url(:/images/Tab/SubTabUnselect.png); color: rgb(0, 0, 0); "
                            "border-width:0px;}"));
    QCOMPARE(compact.frame, QStringLiteral("QFrame{background-image:url(:/images/Tab/Subtab_bg.png); border:none;}"));
    QCOMPARE(compact.frameMinHeight, 23);
    QCOMPARE(compact.vexaHeight, 23);
    QCOMPARE(compact.aboutHeight, 23);
    QCOMPARE(compact.vexaIconSize, QSize(16, 16));
    QCOMPARE(compact.aboutIconSize, QSize(16, 16));
    QVERIFY(!compact.vexaIcon && !compact.aboutIcon);

    m_window->ChangeSize(false);
    QCOMPARE(CurrentLook(), compact);
    m_window->ChangeSize(true);
    QCOMPARE(CurrentLook(), full);
    QCOMPARE(full.vexaHeight, 40);
    QCOMPARE(full.aboutHeight, 40);
}

void TestCZEL_VEXAMainWnd::compactTabClickKeepsCompactStyle()
{
    m_window->show();
    QVERIFY(QTest::qWaitForWindowExposed(m_window.get()));
    m_window->ChangeSize(false);
    const Look compact = CurrentLook();
    QTest::mouseClick(Child<QPushButton>("m_pBtnVexa"), Qt::LeftButton);
    QCOMPARE(CurrentLook(), compact);
    m_window->ChangeSize(true);
    QTest::mouseClick(Child<QPushButton>("m_pBtnVexa"), Qt::LeftButton);
    QCOMPARE(CurrentLook().selected, kFullSelected);
}

void TestCZEL_VEXAMainWnd::showTitle()
{
    m_window->show();
    QVERIFY(QTest::qWaitForWindowExposed(m_window.get()));
    auto *title = m_window->findChild<CWindowTitle *>();
    QVERIFY(title->isVisible());
    m_window->ShowTitle(false);
    QVERIFY(!title->isVisible());
    m_window->ShowTitle(true);
    QVERIFY(title->isVisible());
}

void TestCZEL_VEXAMainWnd::onCallBackFeedsThePage()
{
    auto *count = m_window->findChild<QLabel *>("m_pLabelCount");
    const VEXA_DEVICE_REPORT first = MakeReport(VEXA_EVENT_ONLINE, "DS-1", "00:11:22:33:44:01");
    const VEXA_DEVICE_REPORT second = MakeReport(VEXA_EVENT_ONLINE, "DS-2", "00:11:22:33:44:02");
    m_window->OnCallBack(&first);
    m_window->OnCallBack(&second);
    QTRY_COMPARE(count->text(), QStringLiteral("2"));
    const VEXA_DEVICE_REPORT gone = MakeReport(VEXA_EVENT_OFFLINE, "DS-1", "00:11:22:33:44:01");
    m_window->OnCallBack(&gone);
    QTRY_COMPARE(count->text(), QStringLiteral("1"));
}

void TestCZEL_VEXAMainWnd::closeQuestion_data()
{
    QTest::addColumn<bool>("fromTitleBar");
    QTest::addColumn<bool>("confirm");
    QTest::newRow("title bar, OK") << true << true;
    QTest::newRow("title bar, Cancel") << true << false;
    QTest::newRow("window system, OK") << false << true;
    QTest::newRow("window system, Cancel") << false << false;
}

// The application's own event loop runs the close: a confirmed close queues
// the quit, which then ends the loop; a cancelled one leaves it running
// until the test's own exit(7), queued after the answer.
void TestCZEL_VEXAMainWnd::closeQuestion()
{
    QFETCH(bool, fromTitleBar);
    QFETCH(bool, confirm);
    m_window->show();
    QVERIFY(QTest::qWaitForWindowExposed(m_window.get()));

    QuitCounter quits;
    QCoreApplication::instance()->installEventFilter(&quits);
    QString title;
    QString text;
    QTimer::singleShot(0, m_window.get(), [&] {
        Answer(confirm ? "pOkBtn" : "pCancelBtn", &title, &text);
        if (fromTitleBar)
            QTest::mouseClick(m_window->findChild<QPushButton *>("m_pBtnClose"), Qt::LeftButton);
        else
            m_window->close();
        QMetaObject::invokeMethod(
            QCoreApplication::instance(),
            [&quits] {
                if (!quits.count)
                    QCoreApplication::exit(7);
            },
            Qt::QueuedConnection);
    });
    const int result = QCoreApplication::exec();
    QCoreApplication::instance()->removeEventFilter(&quits);

    QCOMPARE(title, QStringLiteral("Confirm"));
    QCOMPARE(text, QStringLiteral("Sure to close software"));
    QCOMPARE(quits.count, confirm ? 1 : 0);
    QCOMPARE(result, confirm ? 0 : 7);
    QCOMPARE(m_window->isVisible(), !confirm);
}

// The window opens the manual of the language its program or host hands it.
void TestCZEL_VEXAMainWnd::f1OpensTheManual_data()
{
    QTest::addColumn<bool>("set");
    QTest::addColumn<QLocale>("language");
    QTest::addColumn<QString>("name");
    QTest::newRow("none handed") << false << QLocale() << "VEXA User Manual.pdf";
    QTest::newRow("Chinese") << true << QLocale(QLocale::Chinese, QLocale::China) << "设备网络搜索用户使用手册.pdf";
    QTest::newRow("English") << true << QLocale(QLocale::English, QLocale::UnitedStates) << "VEXA User Manual.pdf";
}

void TestCZEL_VEXAMainWnd::f1OpensTheManual()
{
    QFETCH(bool, set);
    QFETCH(QLocale, language);
    QFETCH(QString, name);
    const QString manual = AppDirPath() + name;
    QVERIFY2(QFile::exists(manual), "the build renders the manuals beside the program");
    if (set)
        m_window->SetManualLanguage(language);
    m_window->show();
    QVERIFY(QTest::qWaitForWindowExposed(m_window.get()));
    QTest::keyClick(m_window.get(), Qt::Key_F1);
    QCOMPARE(m_urls.urls, QList<QUrl>{QUrl::fromLocalFile(manual)});
}

// Without a desktop to open it (the offscreen platform opens nothing), Help says so.
void TestCZEL_VEXAMainWnd::missingManualIsReported()
{
    QDesktopServices::unsetUrlHandler(QStringLiteral("file"));
    m_window->show();
    QVERIFY(QTest::qWaitForWindowExposed(m_window.get()));
    QString title;
    QString text;
    Answer("m_pCloseBtn", &title, &text);
    QTest::ignoreMessage(QtWarningMsg, QRegularExpression(QStringLiteral("openDocument")));
    QTest::keyClick(m_window.get(), Qt::Key_F1);
    QCOMPARE(title, QStringLiteral("Info"));
    QCOMPARE(text, QStringLiteral("Can not find Manual."));
}

void TestCZEL_VEXAMainWnd::helpMenu()
{
    m_window->show();
    QVERIFY(QTest::qWaitForWindowExposed(m_window.get()));
    QStringList texts;
    QList<QKeySequence> shortcuts;
    WithHelpMenu([&](QMenu *menu) {
        for (const QAction *action : menu->actions()) {
            texts << action->text();
            shortcuts << action->shortcut();
        }
        menu->actions().at(0)->trigger();
        menu->close();
    });
    QCOMPARE(texts, QStringList({"Help", "Version"}));
    QCOMPARE(shortcuts, QList<QKeySequence>({QKeySequence(Qt::Key_F1), QKeySequence()}));
    QCOMPARE(m_urls.urls.size(), 1);
}

void TestCZEL_VEXAMainWnd::f1InTheOpenHelpMenu()
{
    m_window->show();
    QVERIFY(QTest::qWaitForWindowExposed(m_window.get()));
    bool menuClosed = false;
    WithHelpMenu([&menuClosed](QMenu *menu) {
        QTest::keyClick(menu, Qt::Key_F1);
        menuClosed = !menu->isVisible();
        menu->close();
    });
    QCOMPARE(m_urls.urls.size(), 1);
    QVERIFY(menuClosed);
}

void TestCZEL_VEXAMainWnd::versionEntryShowsAbout()
{
    m_window->show();
    QVERIFY(QTest::qWaitForWindowExposed(m_window.get()));
    QString title;
    bool parentless = false;
    WhenModal<CDlgAbout>([&](CDlgAbout *about) {
        title = about->GetTitle();
        parentless = about->parentWidget() == nullptr;
        about->accept();
    });
    WithHelpMenu([](QMenu *menu) { menu->actions().at(1)->trigger(); menu->close(); });
    QTRY_COMPARE(title, QStringLiteral("About"));
    QVERIFY(parentless);
    QVERIFY(m_urls.urls.isEmpty());
}

void TestCZEL_VEXAMainWnd::manualPathFollowsLanguage_data()
{
    QTest::addColumn<QLocale>("language");
    QTest::addColumn<QString>("name");
    QTest::newRow("English") << QLocale(QLocale::English, QLocale::UnitedStates) << "VEXA User Manual.pdf";
    QTest::newRow("Chinese") << QLocale(QLocale::Chinese, QLocale::China) << "设备网络搜索用户使用手册.pdf";
    QTest::newRow("Chinese, Taiwan") << QLocale(QLocale::Chinese, QLocale::Taiwan) << "设备网络搜索用户使用手册.pdf";
    QTest::newRow("German") << QLocale(QLocale::German) << "VEXA User Manual.pdf";
    QTest::newRow("C") << QLocale::c() << "VEXA User Manual.pdf";
}

void TestCZEL_VEXAMainWnd::manualPathFollowsLanguage()
{
    QFETCH(QLocale, language);
    QFETCH(QString, name);
    QCOMPARE(UserManualPath(language), AppDirPath() + name);
    QVERIFY2(QFile::exists(UserManualPath(language)), "the build renders both manuals");
}

QTEST_MAIN(TestCZEL_VEXAMainWnd)
#include "tst_czel_vexamainwnd.moc"

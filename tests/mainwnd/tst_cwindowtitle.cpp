#include "cwindowtitle.h"
#include "skinless.h"

#include <QAccessible>
#include <QLabel>
#include <QMouseEvent>
#include <QPushButton>
#include <QScreen>
#include <QTest>

namespace {

// Stands in for the main window: records close requests.
class Window final : public QWidget
{
public:
    int closeRequests = 0;

protected:
    void closeEvent(QCloseEvent *event) override
    {
        ++closeRequests;
        QWidget::closeEvent(event);
    }
};

void SendMouse(QWidget *target, QEvent::Type type, QPoint local, QPoint global)
{
    const Qt::MouseButtons buttons = type == QEvent::MouseButtonRelease ? Qt::NoButton : Qt::LeftButton;
    QMouseEvent event(type, local, global, Qt::LeftButton, buttons, Qt::NoModifier);
    QCoreApplication::sendEvent(target, &event);
}

} // namespace

class TestCWindowTitle final : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void init();
    void cleanup();

    void titleAndObjects();
    void iconButtonsAreNamed_data();
    void iconButtonsAreNamed();
    void closeButtonAsksTheWindowToClose();
    void minimizeButton();
    void fullScreenButtonToggles();
    void doubleClickToggles();
    void smallScreenRefusesFullScreen();
    void dragMovesTheWindow();
    void noDragInFullScreen();

private:
    QPushButton *Button(const char *name) const { return m_title->findChild<QPushButton *>(name); }
    void Show(QScreen *screen);

    std::unique_ptr<Window> m_window;
    CWindowTitle *m_title = nullptr;
};

void TestCWindowTitle::initTestCase()
{
    // screens.json: a 1280 × 1024 screen and, beside it, one a pixel too narrow.
    QCOMPARE(QGuiApplication::screens().size(), 2);
    IgnoreMissingSkinImages();
}

void TestCWindowTitle::init()
{
    m_window = std::make_unique<Window>();
    m_window->resize(800, 600);
    m_title = new CWindowTitle(m_window.get(), m_window.get());
    m_title->setGeometry(5, 7, 790, 34);
}

void TestCWindowTitle::cleanup()
{
    m_window.reset();
}

void TestCWindowTitle::Show(QScreen *screen)
{
    m_window->setScreen(screen);
    m_window->move(screen->geometry().topLeft() + QPoint(10, 10));
    m_window->show();
    QVERIFY(QTest::qWaitForWindowExposed(m_window.get()));
    QCOMPARE(m_window->screen(), screen);
}

void TestCWindowTitle::titleAndObjects()
{
    QCOMPARE(m_title->findChild<QLabel *>("m_pLabelTitle")->text(), QStringLiteral("VEXA"));
    QCOMPARE(Button("m_pBtnLogo")->focusPolicy(), Qt::NoFocus);
    for (const char *name : {"m_pBtnMin", "m_pBtnFull", "m_pBtnClose"}) {
        QCOMPARE(Button(name)->size(), QSize(20, 20));
        QCOMPARE(Button(name)->focusPolicy(), Qt::ClickFocus);
    }
}

void TestCWindowTitle::iconButtonsAreNamed_data()
{
    QTest::addColumn<QString>("button");
    QTest::addColumn<QString>("name");
    QTest::newRow("minimise") << "m_pBtnMin" << "Minimize";
    QTest::newRow("full screen") << "m_pBtnFull" << "Full screen";
    QTest::newRow("close") << "m_pBtnClose" << "Close";
}

// The buttons show only images: the words come from the accessible name and the tip.
void TestCWindowTitle::iconButtonsAreNamed()
{
    QFETCH(QString, button);
    QFETCH(QString, name);
    QPushButton *target = Button(button.toLatin1().constData());
    QVERIFY(target->text().isEmpty());
    QCOMPARE(target->toolTip(), name);
    QAccessibleInterface *accessible = QAccessible::queryAccessibleInterface(target);
    QVERIFY(accessible);
    QCOMPARE(accessible->text(QAccessible::Name), name);
    QCOMPARE(accessible->role(), QAccessible::Button);
}

void TestCWindowTitle::closeButtonAsksTheWindowToClose()
{
    Show(QGuiApplication::screens().at(0));
    QTest::mouseClick(Button("m_pBtnClose"), Qt::LeftButton);
    QCOMPARE(m_window->closeRequests, 1);
}

void TestCWindowTitle::minimizeButton()
{
    Show(QGuiApplication::screens().at(0));
    QTest::mouseClick(Button("m_pBtnMin"), Qt::LeftButton);
    QTRY_VERIFY(m_window->windowState() & Qt::WindowMinimized);
}

void TestCWindowTitle::fullScreenButtonToggles()
{
    Show(QGuiApplication::screens().at(0));
    QPushButton *full = Button("m_pBtnFull");
    QVERIFY(full->styleSheet().contains(QLatin1String(":/images/title/full-screen.png")));
    QTest::mouseClick(full, Qt::LeftButton);
    QTRY_VERIFY(m_window->isFullScreen());
    QVERIFY(full->styleSheet().contains(QLatin1String(":/images/title/back.png")));
    QVERIFY(full->styleSheet().contains(QLatin1String(":/images/title/back_hover.png")));
    QTest::mouseClick(full, Qt::LeftButton);
    QTRY_VERIFY(!m_window->isFullScreen());
    QVERIFY(full->styleSheet().contains(QLatin1String(":/images/title/full-screen_hover.png")));
}

void TestCWindowTitle::doubleClickToggles()
{
    Show(QGuiApplication::screens().at(0));
    QTest::mouseDClick(m_title, Qt::LeftButton, {}, QPoint(300, 10));
    QTRY_VERIFY(m_window->isFullScreen());
    QTest::mouseDClick(m_title, Qt::LeftButton, {}, QPoint(300, 10));
    QTRY_VERIFY(!m_window->isFullScreen());
}

void TestCWindowTitle::smallScreenRefusesFullScreen()
{
    Show(QGuiApplication::screens().at(1));
    QTest::mouseClick(Button("m_pBtnFull"), Qt::LeftButton);
    QTest::mouseDClick(m_title, Qt::LeftButton, {}, QPoint(300, 10));
    QApplication::processEvents();
    QVERIFY(!m_window->isFullScreen());
    QVERIFY(Button("m_pBtnFull")->styleSheet().contains(QLatin1String(":/images/title/full-screen.png")));
}

// The grab point stays under the cursor: press at (10, 10) of a bar placed
// at (5, 7) in the window grabs the window at (15, 17).
void TestCWindowTitle::dragMovesTheWindow()
{
    Show(QGuiApplication::screens().at(0));
    const QPoint press(10, 10);
    SendMouse(m_title, QEvent::MouseButtonPress, press, m_title->mapToGlobal(press));
    SendMouse(m_title, QEvent::MouseMove, press, QPoint(400, 300));
    QCOMPARE(m_window->pos(), QPoint(385, 283));
    SendMouse(m_title, QEvent::MouseButtonRelease, press, QPoint(400, 300));
    SendMouse(m_title, QEvent::MouseMove, press, QPoint(600, 500));
    QCOMPARE(m_window->pos(), QPoint(385, 283));
}

void TestCWindowTitle::noDragInFullScreen()
{
    Show(QGuiApplication::screens().at(0));
    QTest::mouseClick(Button("m_pBtnFull"), Qt::LeftButton);
    QTRY_VERIFY(m_window->isFullScreen());
    const QPoint before = m_window->pos();
    SendMouse(m_title, QEvent::MouseButtonPress, QPoint(10, 10), QPoint(10, 10));
    SendMouse(m_title, QEvent::MouseMove, QPoint(10, 10), QPoint(400, 300));
    QCOMPARE(m_window->pos(), before);
}

QTEST_MAIN(TestCWindowTitle)
#include "tst_cwindowtitle.moc"

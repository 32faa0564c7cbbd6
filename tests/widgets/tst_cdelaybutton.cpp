#include "cpushbutton.h"

#include <QSignalSpy>
#include <QTest>
#include <QTimerEvent>

namespace {

// Fires the delay timer at once instead of waiting two seconds per case.
class DelayButton : public CDelayButton
{
public:
    using CDelayButton::CDelayButton;

    bool waiting() const { return m_delayTimer.isActive(); }
    void fireDelay()
    {
        QTimerEvent event(m_delayTimer.timerId());
        QCoreApplication::sendEvent(this, &event);
    }
};

} // namespace

class TestCDelayButton : public QObject
{
    Q_OBJECT

private slots:
    void idleUntilReleased();
    void releasesCollapseIntoOneSignal();
    void checkedButtonHoldsSignalBack();
    void foreignTimerIsNotTheDelay();
};

void TestCDelayButton::idleUntilReleased()
{
    DelayButton button(QStringLiteral("Refresh"));
    QSignalSpy spy(&button, &CDelayButton::SignalDelayRelease);
    QTest::mousePress(&button, Qt::LeftButton);
    QVERIFY(!button.waiting());
    QTest::mouseRelease(&button, Qt::LeftButton);
    QVERIFY(button.waiting());
    QCOMPARE(spy.count(), 0);
}

void TestCDelayButton::releasesCollapseIntoOneSignal()
{
    DelayButton button(QStringLiteral("Refresh"));
    QSignalSpy spy(&button, &CDelayButton::SignalDelayRelease);
    for (int i = 0; i < 5; ++i)
        QTest::mouseClick(&button, Qt::LeftButton);
    QCOMPARE(spy.count(), 0);
    button.fireDelay();
    QCOMPARE(spy.count(), 1);
    QVERIFY(!button.waiting());
}

void TestCDelayButton::checkedButtonHoldsSignalBack()
{
    DelayButton button(QStringLiteral("Hold"));
    button.setCheckable(true);
    QSignalSpy spy(&button, &CDelayButton::SignalDelayRelease);

    QTest::mouseClick(&button, Qt::LeftButton);
    QVERIFY(button.isChecked());
    button.fireDelay();
    button.fireDelay();
    QCOMPARE(spy.count(), 0);
    QVERIFY(button.waiting());

    button.setChecked(false);
    button.fireDelay();
    QCOMPARE(spy.count(), 1);
    QVERIFY(!button.waiting());
}

void TestCDelayButton::foreignTimerIsNotTheDelay()
{
    DelayButton button;
    QSignalSpy spy(&button, &CDelayButton::SignalDelayRelease);
    QTest::mouseClick(&button, Qt::LeftButton);
    const int foreignId = button.startTimer(60000);
    QTimerEvent event(foreignId);
    QCoreApplication::sendEvent(&button, &event);
    button.killTimer(foreignId);
    QCOMPARE(spy.count(), 0);
    QVERIFY(button.waiting());
}

QTEST_MAIN(TestCDelayButton)
#include "tst_cdelaybutton.moc"

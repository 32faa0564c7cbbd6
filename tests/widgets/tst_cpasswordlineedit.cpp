#include "cpasswordlineedit.h"

#include <QApplication>
#include <QClipboard>
#include <QContextMenuEvent>
#include <QMenu>
#include <QPointer>
#include <QTest>

class TestCPasswordLineEdit : public QObject
{
    Q_OBJECT

private slots:
    void init();
    void clipboardBindingsDoNothing_data();
    void clipboardBindingsDoNothing();
    void typingAndDeletingWork();
    void contextMenuLacksClipboardEntries();
    void dropsAreRefused();

private:
    static void pressBinding(QWidget *widget, const QKeySequence &binding);
};

void TestCPasswordLineEdit::init()
{
    QApplication::clipboard()->setText(QStringLiteral("from clipboard"));
}

void TestCPasswordLineEdit::pressBinding(QWidget *widget, const QKeySequence &binding)
{
    const QKeyCombination combination = binding[0];
    QTest::keyClick(widget, combination.key(), combination.keyboardModifiers());
}

void TestCPasswordLineEdit::clipboardBindingsDoNothing_data()
{
    QTest::addColumn<QKeySequence>("binding");
    QTest::addColumn<bool>("isPaste");

    // Every binding the platform has for the three actions, not just Ctrl+C/X/V.
    const struct {
        QKeySequence::StandardKey key;
        const char *name;
    } actions[] = {{QKeySequence::Paste, "paste"}, {QKeySequence::Copy, "copy"},
                   {QKeySequence::Cut, "cut"}};
    for (const auto &action : actions) {
        for (const QKeySequence &binding : QKeySequence::keyBindings(action.key)) {
            const QByteArray row = QByteArray(action.name) + ' ' + binding.toString().toLatin1();
            QTest::newRow(row.constData()) << binding << (action.key == QKeySequence::Paste);
        }
    }
}

void TestCPasswordLineEdit::clipboardBindingsDoNothing()
{
    QFETCH(QKeySequence, binding);
    QFETCH(bool, isPaste);

    // The binding must really reach a line edit here, or the check below proves nothing.
    if (isPaste) {
        QLineEdit plain;
        pressBinding(&plain, binding);
        QCOMPARE(plain.text(), QStringLiteral("from clipboard"));
    }

    CPasswordLineEdit edit;
    QCOMPARE(edit.echoMode(), QLineEdit::Password);
    edit.setText(QStringLiteral("secret"));
    edit.selectAll();
    pressBinding(&edit, binding);
    QCOMPARE(edit.text(), QStringLiteral("secret"));
    QCOMPARE(QApplication::clipboard()->text(), QStringLiteral("from clipboard"));
}

void TestCPasswordLineEdit::typingAndDeletingWork()
{
    CPasswordLineEdit edit;
    QTest::keyClicks(&edit, QStringLiteral("admin12"));
    QTest::keyClick(&edit, Qt::Key_Backspace);
    QTest::keyClick(&edit, Qt::Key_Home);
    QTest::keyClick(&edit, Qt::Key_Delete);
    QCOMPARE(edit.text(), QStringLiteral("dmin1"));
}

void TestCPasswordLineEdit::contextMenuLacksClipboardEntries()
{
    CPasswordLineEdit edit;
    edit.setText(QStringLiteral("secret"));
    edit.show();
    QVERIFY(QTest::qWaitForWindowExposed(&edit));

    QContextMenuEvent event(QContextMenuEvent::Mouse, QPoint(5, 5), edit.mapToGlobal(QPoint(5, 5)));
    QApplication::sendEvent(&edit, &event);
    QPointer<QMenu> menu = edit.findChild<QMenu *>();
    QVERIFY(menu);

    QStringList entries;
    for (const QAction *action : menu->actions()) {
        // "&Undo\tCtrl+Z" -> "Undo"
        const QString text = action->text().section(QLatin1Char('\t'), 0, 0).remove(QLatin1Char('&'));
        entries << (action->isSeparator() ? QStringLiteral("-") : text);
    }
    QCOMPARE(entries, QStringList({"Undo", "Redo", "Delete", "-", "Select All"}));

    menu->close();
    QTRY_VERIFY(menu.isNull());
}

void TestCPasswordLineEdit::dropsAreRefused()
{
    CPasswordLineEdit edit;
    QVERIFY(!edit.acceptDrops());
}

QTEST_MAIN(TestCPasswordLineEdit)
#include "tst_cpasswordlineedit.moc"

// The main edition as a host sees it: loaded at run time, reached only
// through the three decorated names.
#include "modalhelper.h"
#include "skinless.h"

#include <cwarndlg.h>
#include <qtvexa.h>
#include <tum/tum.h>
#include <zel_vexa_embed.h>

#include <QAbstractItemView>
#include <QApplication>
#include <QFrame>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QMainWindow>
#include <QPushButton>
#include <QStyleFactory>
#include <QTest>
#include <QTimer>

#include <cstring>

namespace {

// A report laid out byte by byte as the discovery library hands it over.
QByteArray Report(int eventCode, const char *serial, const char *mac, const char *ipv4)
{
    QByteArray report(436, '\0');
    const auto put = [&report](int offset, const char *text) { std::memcpy(report.data() + offset, text, std::strlen(text)); };
    const auto putInt = [&report](int offset, qint32 value) {
        for (int i = 0; i < 4; ++i)
            report[offset + i] = char(value >> (8 * i));
    };
    put(0, "VXDP/1");
    put(12, serial);
    put(60, mac);
    put(80, ipv4);
    put(96, "255.255.255.0");
    putInt(112, 0x1001);
    putInt(116, 8000);
    putInt(120, 4);
    put(128, "V5.4.0");
    put(176, "V7.3");
    put(224, "2024-05-01 08:00:00");
    putInt(272, eventCode);
    put(276, "VXC-B120");
    return report;
}

const VEXA_DEVICE_REPORT *AsReport(const QByteArray &bytes)
{
    return reinterpret_cast<const VEXA_DEVICE_REPORT *>(bytes.constData());
}

// What the two stylings change, as a host can read it off the widgets.
struct Look {
    QString window, vexa, about, frame;
    int frameHeight, vexaHeight, aboutHeight;
    QSize iconSize;
    bool operator==(const Look &) const = default;
};

} // namespace

class TestZelVexaEmbed final : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void entryPointsUnderTheNamesOfTheBuild_data();
    void entryPointsUnderTheNamesOfTheBuild();
    void findEntryFallsBackToThePlainName_data();
    void findEntryFallsBackToThePlainName();
    void callsBeforeOpeningAreHarmless();
    void opensIntoOneLayoutThenAnother();
    void changeSizeRestoresTheFullStyling();
    void reportsReachTheTable_data();
    void reportsReachTheTable();
    void aConfirmedCloseQuitsTheHost();
    void aWindowTheHostDeletedIsNotUsed();

private:
    QMainWindow *Embedded() const;
    Look LookOf(const QMainWindow *window) const;
    int RowOf(const QString &serial) const;

    ZEL_VEXA_OpenDialogFn m_open = nullptr;
    ZEL_VEXA_ChangeSizeFn m_changeSize = nullptr;
    ZEL_VEXA_CallBackFn m_callBack = nullptr;
    QWidget m_host;
    QFrame *m_pFirst = nullptr;
    QFrame *m_pSecond = nullptr;
};

void TestZelVexaEmbed::initTestCase()
{
    IgnoreMissingSkinImages();
    // The name a Windows host uses finds the library beside the program.
    void *tool = TUM_LoadDSo("KRO-VEXA.dll");
    QVERIFY(tool);
    m_open = reinterpret_cast<ZEL_VEXA_OpenDialogFn>(ZEL_VEXA_FindEntry(TUM_GetSymbol, tool, ZEL_VEXA_OPENDIALOG_NAME));
    m_changeSize = reinterpret_cast<ZEL_VEXA_ChangeSizeFn>(ZEL_VEXA_FindEntry(TUM_GetSymbol, tool, ZEL_VEXA_CHANGESIZE_NAME));
    m_callBack = reinterpret_cast<ZEL_VEXA_CallBackFn>(ZEL_VEXA_FindEntry(TUM_GetSymbol, tool, ZEL_VEXA_CALLBACK_NAME));
    QVERIFY(m_open && m_changeSize && m_callBack);

    auto *row = new QHBoxLayout(&m_host);
    m_pFirst = new QFrame(&m_host);
    m_pSecond = new QFrame(&m_host);
    new QGridLayout(m_pFirst);
    new QGridLayout(m_pSecond);
    row->addWidget(m_pFirst);
    row->addWidget(m_pSecond);
    m_host.show();
}

void TestZelVexaEmbed::entryPointsUnderTheNamesOfTheBuild_data()
{
    // Linked by gold the library has the decorated names alone, without it
    // the plain ones alone; the header's lookup finds the entries in both.
    QTest::addColumn<QString>("library");
    QTest::addColumn<bool>("decorated");
    QTest::newRow("the tool's library") << QStringLiteral("KRO-VEXA.dll") << TEST_EMBED_DECORATED;
#ifdef TEST_EMBED_PLAIN_LIBRARY
    QTest::newRow("linked without gold") << QStringLiteral(TEST_EMBED_PLAIN_LIBRARY) << false;
#endif
}

void TestZelVexaEmbed::entryPointsUnderTheNamesOfTheBuild()
{
    QFETCH(QString, library);
    QFETCH(bool, decorated);
    void *tool = TUM_LoadDSo(library.toLocal8Bit().constData());
    QVERIFY(tool);
    for (const auto &[decoratedName, plainName] :
         {std::pair{ZEL_VEXA_OPENDIALOG_NAME, "ZEL_VEXA_OpenDialog"}, {ZEL_VEXA_CHANGESIZE_NAME, "ZEL_VEXA_ChangeSize"},
          {ZEL_VEXA_CALLBACK_NAME, "ZEL_VEXA_CallBack"}}) {
        void *entry = ZEL_VEXA_FindEntry(TUM_GetSymbol, tool, decoratedName);
        QVERIFY2(entry, decoratedName);
        QCOMPARE(TUM_GetSymbol(tool, decoratedName), decorated ? entry : nullptr);
        QCOMPARE(TUM_GetSymbol(tool, plainName), decorated ? nullptr : entry);
    }
    TUM_UnloadDSo(tool);
}

namespace {

// A library that exports the names of a list, each at its own address.
void *LookUpInList(void *library, const char *name)
{
    const QStringList &names = *static_cast<const QStringList *>(library);
    const qsizetype at = names.indexOf(QString::fromLatin1(name));
    return at < 0 ? nullptr : const_cast<QString *>(&names[at]);
}

} // namespace

void TestZelVexaEmbed::findEntryFallsBackToThePlainName_data()
{
    QTest::addColumn<QStringList>("exported");
    QTest::addColumn<QString>("asked");
    QTest::addColumn<QString>("found"); // the exported name found; empty: none
    const QStringList decorated{"_ZEL_VEXA_OpenDialog@24", "_ZEL_VEXA_ChangeSize@4", "_ZEL_VEXA_CallBack@4"};
    const QStringList plain{"ZEL_VEXA_OpenDialog", "ZEL_VEXA_ChangeSize", "ZEL_VEXA_CallBack"};
    QTest::newRow("decorated library") << decorated << ZEL_VEXA_CHANGESIZE_NAME << "_ZEL_VEXA_ChangeSize@4";
    QTest::newRow("plain library") << plain << ZEL_VEXA_OPENDIALOG_NAME << "ZEL_VEXA_OpenDialog";
    QTest::newRow("both: the decorated first") << plain + decorated << ZEL_VEXA_CALLBACK_NAME << "_ZEL_VEXA_CallBack@4";
    QTest::newRow("neither") << QStringList{"ZEL_VEXA_Other"} << ZEL_VEXA_CALLBACK_NAME << "";
    QTest::newRow("no leading underscore") << plain << "ZEL_VEXA_CallBack@4" << "";
    QTest::newRow("no @") << plain << "_ZEL_VEXA_CallBack" << "";
    QTest::newRow("nothing before @") << QStringList{""} << "_@4" << "";
    QTest::newRow("longer than any entry") << QStringList{QString(80, u'X')} << "_" + QString(80, u'X') + "@4" << "";
}

void TestZelVexaEmbed::findEntryFallsBackToThePlainName()
{
    QFETCH(QStringList, exported);
    QFETCH(QString, asked);
    QFETCH(QString, found);
    const QByteArray name = asked.toLatin1();
    const auto *entry = static_cast<const QString *>(ZEL_VEXA_FindEntry(LookUpInList, &exported, name.constData()));
    QCOMPARE(entry ? *entry : QString(), found);
}

void TestZelVexaEmbed::callsBeforeOpeningAreHarmless()
{
    const QByteArray online = Report(1, "VX-EARLY", "00:11:22:33:44:00", "10.0.0.1");
    m_changeSize(false);
    m_changeSize(true);
    QCOMPARE(m_callBack(AsReport(online)), 0);
    QCOMPARE(m_callBack(nullptr), 0);
    QVERIFY(!Embedded());
}

void TestZelVexaEmbed::opensIntoOneLayoutThenAnother()
{
    QApplication::setStyle(QStyleFactory::create(QStringLiteral("Fusion")));
    const QString hostSheet = QStringLiteral("QPushButton{color: blue;}");
    qApp->setStyleSheet(hostSheet);
    const QStyle *hostStyle = QApplication::style();

    auto *first = static_cast<QGridLayout *>(m_pFirst->layout());
    auto *second = static_cast<QGridLayout *>(m_pSecond->layout());
    QVERIFY(m_open(m_pFirst, first, true, 7, -8, 9));
    QMainWindow *window = Embedded();
    QVERIFY(window);
    QCOMPARE(first->itemAtPosition(0, 0)->widget(), window);
    QVERIFY(!window->isWindow());
    QVERIFY(window->isVisible());
    const auto *page = window->findChild<QtVexa *>();
    QVERIFY(page);
    QCOMPARE(page->HostValues(), (std::array<int, 3>{7, -8, 9}));
    const auto titleBar = [window] {
        for (QWidget *child : window->findChildren<QWidget *>())
            if (QByteArray(child->metaObject()->className()) == "CWindowTitle")
                return child;
        return static_cast<QWidget *>(nullptr);
    };
    QVERIFY(titleBar() && titleBar()->isVisible());

    QVERIFY(m_open(m_pFirst, second, false, 1, 2, 3));
    QCOMPARE(Embedded(), window);
    QCOMPARE(second->itemAtPosition(0, 0)->widget(), window);
    QCOMPARE(first->count(), 0);
    QCOMPARE(window->parentWidget(), m_pSecond);
    QVERIFY(window->isVisible());
    QVERIFY(!titleBar()->isVisible());
    QCOMPARE(page->HostValues(), (std::array<int, 3>{7, -8, 9}));

    QCOMPARE(QApplication::style(), hostStyle);
    QCOMPARE(qApp->styleSheet(), hostSheet);
}

void TestZelVexaEmbed::changeSizeRestoresTheFullStyling()
{
    const QMainWindow *window = Embedded();
    QVERIFY(window);
    const Look full = LookOf(window);
    QCOMPARE(full.frameHeight, 40);
    m_changeSize(true);
    QCOMPARE(LookOf(window), full);

    m_changeSize(false);
    const Look compact = LookOf(window);
    QCOMPARE(compact.frameHeight, 23);
    QCOMPARE(compact.vexaHeight, 23);
    QCOMPARE(compact.aboutHeight, 23);
    QCOMPARE(compact.iconSize, QSize(16, 16));
    QVERIFY(compact.window.contains(QLatin1String("border-width:23 58 58 58;")));
    QVERIFY(compact.vexa.contains(QLatin1String("SubTabSelect.png")));

    m_changeSize(true);
    QCOMPARE(LookOf(window), full);
}

void TestZelVexaEmbed::reportsReachTheTable_data()
{
    QTest::addColumn<int>("onlineCode");
    QTest::newRow("online") << 1;
    QTest::newRow("online, code 4") << 4;
}

void TestZelVexaEmbed::reportsReachTheTable()
{
    QFETCH(int, onlineCode);
    const auto *view = Embedded()->findChild<QAbstractItemView *>(QStringLiteral("tableWidgetDevice"));
    QVERIFY(view);
    const int before = view->model()->rowCount();
    const char *serial = "VX-HOST-1";
    const char *mac = "00:11:22:33:44:55";

    QCOMPARE(m_callBack(AsReport(Report(onlineCode, serial, mac, "10.0.0.1"))), 1);
    QTRY_VERIFY(RowOf(QLatin1String(serial)) >= 0);
    QCOMPARE(view->model()->rowCount(), before + 1);
    const int row = RowOf(QLatin1String(serial));
    QCOMPARE(view->model()->index(row, 2).data().toString(), QStringLiteral("10.0.0.1"));
    QCOMPARE(view->model()->index(row, 8).data().toString(), QLatin1String(mac));

    QCOMPARE(m_callBack(AsReport(Report(2, serial, mac, "10.0.0.2"))), 1);
    QTRY_COMPARE(view->model()->index(RowOf(QLatin1String(serial)), 2).data().toString(), QStringLiteral("10.0.0.2"));
    QCOMPARE(view->model()->rowCount(), before + 1);

    QCOMPARE(m_callBack(nullptr), 0);
    QCOMPARE(m_callBack(AsReport(Report(3, serial, mac, "10.0.0.2"))), 1);
    QTRY_COMPARE(RowOf(QLatin1String(serial)), -1);
    QCOMPARE(view->model()->rowCount(), before);
}

// Runs in the host's own event loop: the close question's OK ends it with 0;
// a close that was not accepted leaves the window up, and exit(7) ends it.
void TestZelVexaEmbed::aConfirmedCloseQuitsTheHost()
{
    QMainWindow *window = Embedded();
    QVERIFY(window);
    QString question;
    QTimer::singleShot(0, window, [window, &question] {
        WhenModal<CWarnDlg>([&question](CWarnDlg *dlg) {
            question = dlg->GetTitle();
            QTest::mouseClick(dlg->findChild<QPushButton *>(QStringLiteral("pOkBtn")), Qt::LeftButton);
        });
        window->close();
        if (window->isVisible())
            QCoreApplication::exit(7);
    });
    QCOMPARE(QCoreApplication::exec(), 0);
    QCOMPARE(question, QStringLiteral("Confirm"));
}

void TestZelVexaEmbed::aWindowTheHostDeletedIsNotUsed()
{
    delete Embedded();
    m_changeSize(false);
    QCOMPARE(m_callBack(AsReport(Report(1, "VX-LATE", "00:11:22:33:44:01", "10.0.0.3"))), 0);

    // Into the layout the deleted window had left.
    auto *second = static_cast<QGridLayout *>(m_pSecond->layout());
    QVERIFY(m_open(m_pFirst, second, true, 4, 5, 6));
    QVERIFY(Embedded());
    QCOMPARE(second->itemAtPosition(0, 0)->widget(), Embedded());
    QCOMPARE(Embedded()->findChild<QtVexa *>()->HostValues(), (std::array<int, 3>{4, 5, 6}));
}

QMainWindow *TestZelVexaEmbed::Embedded() const
{
    // Exactly one, and inside the host's widget tree.
    QList<QMainWindow *> windows;
    for (QWidget *widget : QApplication::allWidgets())
        if (widget->objectName() == QLatin1String("CZEL_VEXAMainWndClass"))
            windows.append(static_cast<QMainWindow *>(widget));
    return windows.size() == 1 && m_host.isAncestorOf(windows.first()) ? windows.first() : nullptr;
}

Look TestZelVexaEmbed::LookOf(const QMainWindow *window) const
{
    const auto *vexa = window->findChild<QPushButton *>(QStringLiteral("m_pBtnVexa"));
    const auto *about = window->findChild<QPushButton *>(QStringLiteral("m_pBtnAbout"));
    const auto *frame = window->findChild<QFrame *>(QStringLiteral("pTabFrame"));
    return {window->styleSheet(), vexa->styleSheet(), about->styleSheet(), frame->styleSheet(),
            frame->minimumHeight(), vexa->maximumHeight(), about->maximumHeight(), vexa->iconSize()};
}

int TestZelVexaEmbed::RowOf(const QString &serial) const
{
    const QAbstractItemModel *model = Embedded()->findChild<QAbstractItemView *>(QStringLiteral("tableWidgetDevice"))->model();
    for (int row = 0; row < model->rowCount(); ++row)
        if (model->index(row, 6).data().toString() == serial)
            return row;
    return -1;
}

int main(int argc, char *argv[])
{
    // A host calling before it constructed its QApplication gets false, not an abort.
    const auto open = reinterpret_cast<ZEL_VEXA_OpenDialogFn>(
        ZEL_VEXA_FindEntry(TUM_GetSymbol, TUM_LoadDSo("KRO-VEXA.dll"), ZEL_VEXA_OPENDIALOG_NAME));
    if (!open || open(nullptr, nullptr, true, 0, 0, 0)) {
        qCritical("ZEL_VEXA_OpenDialog without a QApplication did not return false");
        return 1;
    }
    QApplication app(argc, argv);
    TestZelVexaEmbed test;
    return QTest::qExec(&test, argc, argv);
}
#include "tst_zel_vexa_embed.moc"

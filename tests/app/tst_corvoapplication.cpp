#include "clientconfig.h"
#include "corvoapplication.h"
#include "cwarndlg.h"
#include "modalhelper.h"
#include "singleinstancelock.h"

#include <QFile>
#include <QLabel>
#include <QProcess>
#include <QPushButton>
#include <QStyle>
#include <QTemporaryDir>
#include <QTest>
#include <QTextBrowser>

#include <cstdio>

// The test program is also the program under test: started with "--child"
// it sets up a COrvoApplication the way the real entry point does, runs one
// start-up check, closes the warning it shows and reports on stdout.

namespace {

void Report(const QString &line)
{
    std::fprintf(stdout, "%s\n", qPrintable(line));
    std::fflush(stdout);
}

// Reports and closes the warning the start-up check shows.
void CloseWarningWhenShown()
{
    WhenModal<CWarnDlg>([](CWarnDlg *dlg) {
        const auto *browser = dlg->findChild<QTextBrowser *>(QStringLiteral("m_pBrowserTxt"));
        Report(QStringLiteral("warning: %1 | %2").arg(dlg->GetTitle(), browser->toPlainText()));
        QTest::mouseClick(dlg->findChild<QPushButton *>(QStringLiteral("m_pCloseBtn")), Qt::LeftButton);
    });
}

// argv: program --child instance|resolution KEY
int RunChild(int argc, char **argv)
{
    const QByteArray mode = argv[2];
    const QString key = QString::fromLocal8Bit(argv[3]);
    COrvoApplication app(argc, argv, key);
    CloseWarningWhenShown();
    if (mode == "resolution") {
        Report(app.CheckResolution() ? QStringLiteral("too small") : QStringLiteral("fits"));
        return 0;
    }
    if (app.CheckSingleInstance()) {
        Report(QStringLiteral("refused"));
        return 0;
    }
    Report(QStringLiteral("running"));
    return app.exec();
}

QString UniqueKey()
{
    return QStringLiteral("VEXA-test-%1").arg(QCoreApplication::applicationPid());
}

class Child
{
public:
    explicit Child(const QStringList &args, const QProcessEnvironment &env = QProcessEnvironment::systemEnvironment())
    {
        m_process.setProcessEnvironment(env);
        m_process.setProcessChannelMode(QProcess::ForwardedErrorChannel);
        m_process.start(QCoreApplication::applicationFilePath(), QStringList{"--child"} + args);
    }
    ~Child()
    {
        if (m_process.state() != QProcess::NotRunning) {
            m_process.kill();
            m_process.waitForFinished();
        }
    }

    // Waits for the line @p line and returns everything written up to it.
    bool WaitForLine(const QString &line)
    {
        while (!m_output.split(QLatin1Char('\n')).contains(line)) {
            if (!m_process.waitForReadyRead(30000))
                return false;
            m_output += QString::fromLocal8Bit(m_process.readAllStandardOutput());
        }
        return true;
    }
    bool WaitForExit()
    {
        const bool finished = m_process.waitForFinished(30000);
        m_output += QString::fromLocal8Bit(m_process.readAllStandardOutput());
        return finished;
    }
    QStringList Lines() const { return m_output.split(QLatin1Char('\n'), Qt::SkipEmptyParts); }
    QProcess &Process() { return m_process; }

private:
    QProcess m_process;
    QString m_output;
};

} // namespace

class TestCOrvoApplication : public QObject
{
    Q_OBJECT

private slots:
    void cleanupTestCase();
    void startUpState();
    void resolutionTooSmall_data();
    void resolutionTooSmall();
    void checkResolution_data();
    void checkResolution();
    void secondInstanceRefused();
    void instanceFreedWhenHolderKilled();
};

void TestCOrvoApplication::cleanupTestCase()
{
    // Lock files stay after use by design; these keys were the test's own.
    for (const char *suffix : {"", "-resolution", "-second", "-second-other", "-killed"})
        QFile::remove(SingleInstanceLock::LockFilePath(UniqueKey() + QLatin1String(suffix)));
}

void TestCOrvoApplication::startUpState()
{
    QVERIFY(!qApp->quitOnLastWindowClosed());
    QCOMPARE(QApplication::font().family(), QStringLiteral("Arial"));
    QCOMPARE(QApplication::font().pointSize(), 10);
    QVERIFY(QCoreApplication::libraryPaths().contains(QCoreApplication::applicationDirPath()
                                                      + QStringLiteral("/plugins")));
    // The application style's own metric, whatever the style sheet.
    QCOMPARE(QApplication::style()->pixelMetric(QStyle::PM_SliderLength), 13);
    // The default configuration beside the program was read.
    QVERIFY(ClientConfigManager::Instance()->FindConfig(ClientConfigKey::Translator));
#ifdef VEXA_OLDER_EDITION
    // No skin: the style sheet compiled into the program, read as Latin-1.
    QFile sheet(QStringLiteral(":/qss/VEXA.qss"));
    QVERIFY(sheet.open(QIODevice::ReadOnly));
    QCOMPARE(qApp->styleSheet(), QString::fromLatin1(sheet.readAll()));
#else
    const ClientConfig *skin = ClientConfigManager::Instance()->FindConfig(ClientConfigKey::Skin);
    QVERIFY(skin);
    QVERIFY(!skin->m_strValue.isEmpty());
#endif
}

void TestCOrvoApplication::resolutionTooSmall_data()
{
    QTest::addColumn<QSize>("size");
    QTest::addColumn<bool>("tooSmall");

    QTest::newRow("1024 x 768") << QSize(1024, 768) << false;
    QTest::newRow("1023 x 768") << QSize(1023, 768) << true;
    QTest::newRow("1024 x 767") << QSize(1024, 767) << true;
    QTest::newRow("1920 x 1080") << QSize(1920, 1080) << false;
    QTest::newRow("portrait 768 x 1024") << QSize(768, 1024) << true;
    QTest::newRow("no screen") << QSize() << true;
}

void TestCOrvoApplication::resolutionTooSmall()
{
    QFETCH(QSize, size);
    QFETCH(bool, tooSmall);
    QCOMPARE(COrvoApplication::IsResolutionTooSmall(size), tooSmall);
}

void TestCOrvoApplication::checkResolution_data()
{
    QTest::addColumn<QSize>("screen");
    QTest::addColumn<QStringList>("lines");

    const QString warning = QStringLiteral("warning: VEXA | The least resolution is 1024*768.");
    QTest::newRow("1024 x 768") << QSize(1024, 768) << QStringList{"fits"};
    QTest::newRow("1023 x 768") << QSize(1023, 768) << QStringList{warning, "too small"};
    QTest::newRow("1024 x 767") << QSize(1024, 767) << QStringList{warning, "too small"};
}

void TestCOrvoApplication::checkResolution()
{
    QFETCH(QSize, screen);
    QFETCH(QStringList, lines);

    // The offscreen platform takes its screens from a configuration file.
    QTemporaryDir dir;
    QVERIFY(dir.isValid());
    const QString config = dir.filePath(QStringLiteral("screen.json"));
    QFile file(config);
    QVERIFY(file.open(QIODevice::WriteOnly));
    file.write(QStringLiteral(R"({"screens":[{"name":"test","x":0,"y":0,"width":%1,"height":%2}]})")
                   .arg(screen.width())
                   .arg(screen.height())
                   .toUtf8());
    file.close();
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("offscreen:configfile=") + config);

    Child child({QStringLiteral("resolution"), UniqueKey() + QStringLiteral("-resolution")}, env);
    QVERIFY(child.WaitForExit());
    QCOMPARE(child.Process().exitCode(), 0);
    QCOMPARE(child.Lines(), lines);
}

void TestCOrvoApplication::secondInstanceRefused()
{
    const QString key = UniqueKey() + QStringLiteral("-second");
    Child first({QStringLiteral("instance"), key});
    QVERIFY(first.WaitForLine(QStringLiteral("running")));

    Child second({QStringLiteral("instance"), key});
    QVERIFY(second.WaitForExit());
    QCOMPARE(second.Process().exitStatus(), QProcess::NormalExit);
    QCOMPARE(second.Process().exitCode(), 0);
    QCOMPARE(second.Lines(),
             (QStringList{"warning: VEXA | Software is already running.", "refused"}));
    QCOMPARE(first.Process().state(), QProcess::Running);

    // Another key is another program.
    Child other({QStringLiteral("instance"), key + QStringLiteral("-other")});
    QVERIFY(other.WaitForLine(QStringLiteral("running")));
}

void TestCOrvoApplication::instanceFreedWhenHolderKilled()
{
    const QString key = UniqueKey() + QStringLiteral("-killed");
    {
        Child first({QStringLiteral("instance"), key});
        QVERIFY(first.WaitForLine(QStringLiteral("running")));
        first.Process().kill(); // SIGKILL: no destructor runs
        QVERIFY(first.WaitForExit());
        QCOMPARE(first.Process().exitStatus(), QProcess::CrashExit);
    }
    Child next({QStringLiteral("instance"), key});
    QVERIFY(next.WaitForLine(QStringLiteral("running")));
}

int main(int argc, char **argv)
{
    if (argc >= 4 && qstrcmp(argv[1], "--child") == 0)
        return RunChild(argc, argv);
    COrvoApplication app(argc, argv, UniqueKey());
    TestCOrvoApplication test;
    return QTest::qExec(&test, argc, argv);
}

#include "tst_corvoapplication.moc"

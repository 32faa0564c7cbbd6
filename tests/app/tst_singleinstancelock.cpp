#include "singleinstancelock.h"

#include <QDir>
#include <QFile>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QTest>

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

// Where the lock file lives, and that no other user can hold it for us.
class TestSingleInstanceLock : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void lockFileDirectory_data();
    void lockFileDirectory();
    void strangersFileIsNotTaken();

private:
    QTemporaryDir m_root;
};

void TestSingleInstanceLock::initTestCase()
{
    QVERIFY(m_root.isValid());
    // The cache fallback goes to a home of the test's own.
    qputenv("XDG_CACHE_HOME", QFile::encodeName(m_root.filePath("cache")));
}

void TestSingleInstanceLock::lockFileDirectory_data()
{
    QTest::addColumn<QString>("runtimeMode"); // "" unset, else the octal mode of a fresh directory
    QTest::addColumn<bool>("inRuntimeDir");
    QTest::newRow("private runtime directory") << "700" << true;
    QTest::newRow("group-writable runtime directory") << "770" << false;
    QTest::newRow("world-writable runtime directory") << "1777" << false;
    QTest::newRow("no runtime directory") << "" << false;
}

void TestSingleInstanceLock::lockFileDirectory()
{
    QFETCH(QString, runtimeMode);
    QFETCH(bool, inRuntimeDir);
    const QString runtimeDir = m_root.filePath("run-" + runtimeMode);
    if (runtimeMode.isEmpty()) {
        qunsetenv("XDG_RUNTIME_DIR");
    } else {
        QVERIFY(QDir().mkpath(runtimeDir));
        QCOMPARE(chmod(QFile::encodeName(runtimeDir).constData(), mode_t(runtimeMode.toUInt(nullptr, 8))), 0);
        qputenv("XDG_RUNTIME_DIR", QFile::encodeName(runtimeDir));
    }
    const QString path = SingleInstanceLock::LockFilePath("tst-key");
    const QString expected = inRuntimeDir ? runtimeDir : m_root.filePath("cache");
    QCOMPARE(QFileInfo(path).absolutePath(), expected);
    QVERIFY(!path.startsWith(QDir::tempPath() + "/tst-key"));
    SingleInstanceLock lock("tst-key");
    QCOMPARE(lock.TryAcquire(), SingleInstanceLock::State::Acquired);
    SingleInstanceLock second("tst-key");
    QCOMPARE(second.TryAcquire(), SingleInstanceLock::State::HeldElsewhere);
}

void TestSingleInstanceLock::strangersFileIsNotTaken()
{
    if (geteuid() != 0)
        QSKIP("needs root to create a file of another user");
    // A world-writable file of another user, locked by that user: whatever
    // it says, it is not our instance.
    qunsetenv("XDG_RUNTIME_DIR");
    const QString path = SingleInstanceLock::LockFilePath("tst-stranger");
    const QByteArray name = QFile::encodeName(path);
    const int fd = open(name.constData(), O_RDWR | O_CREAT, 0666);
    QVERIFY(fd >= 0);
    QCOMPARE(fchmod(fd, 0666), 0);
    QCOMPARE(fchown(fd, 65534, 65534), 0);
    QCOMPARE(flock(fd, LOCK_EX | LOCK_NB), 0);
    SingleInstanceLock lock("tst-stranger");
    QCOMPARE(lock.TryAcquire(), SingleInstanceLock::State::Unavailable);
    close(fd);
}

QTEST_GUILESS_MAIN(TestSingleInstanceLock)
#include "tst_singleinstancelock.moc"

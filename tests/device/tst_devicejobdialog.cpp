#include "devicejobdialog.h"
#include "devsimsession.h"
#include "qtvexa.h"

#include <ctableview.h>

#include <QAction>
#include <QApplication>
#include <QClipboard>
#include <QGuiApplication>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QPainter>
#include <QProgressBar>
#include <QPushButton>
#include <QRadioButton>
#include <QRegularExpression>
#include <QScopeGuard>
#include <QTableWidget>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>

// The commissioning jobs' dialog against the simulator's demo network on
// loopback, driven through clicks and typing; a page listens meanwhile, as in
// the program, so the library has checked every device's certificate.
class TestDeviceJobDialog final : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void cleanupTestCase();
    void theListMenuOffersTheJobsForASelection();
    void jobs_data();
    void jobs();
    void failuresAreShownWithTheirCauseAndRetried();
    void aDeviceWithItsOwnPasswordIsDoneInTheSameJob();
    void aHundredDevicesGetTheClockAndANewPasswordFromTheWindow();

private:
    QList<DeviceJobDialog::Device> Devices(std::initializer_list<int> indexes) const;
    static QStringList Statuses(const QTableWidget *table);
    static void Start(DeviceJobDialog &dialog, const QString &password);
    static QLineEdit *Edit(const DeviceJobDialog &dialog, const QString &accessibleName);

    DevsimSession m_devsim;
    QJsonArray m_devices;
    std::unique_ptr<QtVexa> m_page;
};

void TestDeviceJobDialog::initTestCase()
{
    QCOMPARE(qgetenv("VEXA_INTERFACES"), QByteArray("lo"));
    const QString network = QFINDTESTDATA("../../tools/devsim/demo-network.json");
    m_devices = DevsimSession::DevicesOf(network);
    const QString error = m_devsim.Start(network);
    QVERIFY2(error.isEmpty(), qPrintable(error));
    m_page = std::make_unique<QtVexa>();
    const auto *view = m_page->findChild<CTableView *>("tableWidgetDevice");
    QTRY_COMPARE_WITH_TIMEOUT(view->RowCount(), int(m_devices.size()), 15000);
}

void TestDeviceJobDialog::cleanupTestCase()
{
    m_page.reset();
    m_devsim.Stop();
}

QList<DeviceJobDialog::Device> TestDeviceJobDialog::Devices(std::initializer_list<int> indexes) const
{
    QList<DeviceJobDialog::Device> devices;
    for (const int i : indexes) {
        const QJsonObject d = m_devices.at(i).toObject();
        devices.append({d.value(QLatin1String("serialNo")).toString(), d.value(QLatin1String("macAddr")).toString()});
    }
    return devices;
}

QStringList TestDeviceJobDialog::Statuses(const QTableWidget *table)
{
    QStringList statuses;
    for (int row = 0; row < table->rowCount(); ++row)
        statuses << table->item(row, 3)->text();
    return statuses;
}

QLineEdit *TestDeviceJobDialog::Edit(const DeviceJobDialog &dialog, const QString &accessibleName)
{
    for (QLineEdit *candidate : dialog.findChildren<QLineEdit *>()) {
        if (candidate->accessibleName() == accessibleName)
            return candidate;
    }
    return nullptr;
}

void TestDeviceJobDialog::Start(DeviceJobDialog &dialog, const QString &password)
{
    QLineEdit *edit = Edit(dialog, QStringLiteral("Current password"));
    edit->clear();
    QTest::keyClicks(edit, password);
    QTest::mouseClick(dialog.findChild<QPushButton *>("pOkBtn"), Qt::LeftButton);
}

void TestDeviceJobDialog::theListMenuOffersTheJobsForASelection()
{
    auto *menu = m_page->findChild<QMenu *>("menuDeviceList");
    QVERIFY(menu);
    QStringList names;
    for (const QAction *action : menu->actions())
        names << action->objectName();
    for (const char *name : {"actionSetTime", "actionChangePassword", "actionReboot"})
        QVERIFY2(names.contains(QLatin1String(name)), name);
}

void TestDeviceJobDialog::jobs_data()
{
    QTest::addColumn<int>("kind");
    QTest::addColumn<QString>("mode");       // Time: the radio button's text start
    QTest::addColumn<QString>("ntp");
    QTest::addColumn<QString>("password");
    QTest::addColumn<QString>("newPassword");
    QTest::addColumn<QString>("confirm");
    QTest::addColumn<QString>("expected"); // every device's status starts with it
    QTest::newRow("clock of this computer") << 0 << "This computer" << "" << "demo1234" << "" << "" << "done, clock offset";
    QTest::newRow("NTP") << 0 << "NTP" << "ntp.example, 192.0.2.1" << "demo1234" << "" << "" << "done";
    QTest::newRow("NTP none") << 0 << "NTP" << " , " << "demo1234" << "" << "" << "Enter one or two NTP servers.";
    QTest::newRow("wrong password") << 0 << "This computer" << "" << "not-it" << "" << "" << "failed: wrong password";
    QTest::newRow("passwords differ") << 1 << "" << "" << "demo1234" << "Site-7-admin" << "Site-7-admim"
                                      << "The new passwords differ.";
    QTest::newRow("password too short") << 1 << "" << "" << "demo1234" << "Site-7" << "Site-7"
                                        << "The new password must have 8 to 64 characters";
    QTest::newRow("reboot") << 2 << "" << "" << "demo1234" << "" << "" << "done, back after";
}

void TestDeviceJobDialog::jobs()
{
    QFETCH(int, kind);
    QFETCH(QString, mode);
    QFETCH(QString, ntp);
    QFETCH(QString, password);
    QFETCH(QString, newPassword);
    QFETCH(QString, confirm);
    QFETCH(QString, expected);
    DeviceJobDialog dialog(DeviceJobDialog::Kind(kind), Devices({0, 1}));
    dialog.show();
    for (QRadioButton *radio : dialog.findChildren<QRadioButton *>()) {
        if (!mode.isEmpty() && radio->text().startsWith(mode))
            QTest::mouseClick(radio, Qt::LeftButton);
    }
    for (QLineEdit *edit : dialog.findChildren<QLineEdit *>()) {
        const QString name = edit->accessibleName();
        QTest::keyClicks(edit, name == QLatin1String("NTP servers") ? ntp
                              : name == QLatin1String("New password") ? newPassword
                              : name == QLatin1String("Confirm new password") ? confirm : QString());
    }
    Start(dialog, password);
    auto *table = dialog.findChild<QTableWidget *>("tableJobDevices");
    const auto allAre = [&] {
        const QStringList statuses = Statuses(table);
        return std::all_of(statuses.cbegin(), statuses.cend(), [&](const QString &s) { return s.startsWith(expected); });
    };
    QTRY_VERIFY_WITH_TIMEOUT(allAre(), 30000);
    const bool ran = expected.startsWith(QLatin1String("done")) || expected.startsWith(QLatin1String("failed"));
    if (ran)
        QTRY_COMPARE(dialog.findChild<QProgressBar *>()->value(), 2);
    // Copy results: one line per device, its status last.
    QTRY_VERIFY(dialog.findChild<QPushButton *>("btnCopyResults")->isEnabled());
    QTest::mouseClick(dialog.findChild<QPushButton *>("btnCopyResults"), Qt::LeftButton);
    const QStringList lines = QGuiApplication::clipboard()->text().split(QLatin1Char('\n'), Qt::SkipEmptyParts);
    QCOMPARE(lines.size(), 2);
    QVERIFY2(lines[0].section(QLatin1Char('\t'), 2).startsWith(expected), qPrintable(lines[0]));
}

void TestDeviceJobDialog::failuresAreShownWithTheirCauseAndRetried()
{
    // One device answers to another password: the batch shows each cause, a retry does only the failed ones.
    const QList<DeviceJobDialog::Device> devices = Devices({2, 3});
    DeviceJobDialog dialog(DeviceJobDialog::Kind::Password, devices);
    dialog.show();
    for (QLineEdit *edit : dialog.findChildren<QLineEdit *>()) {
        if (edit->accessibleName().contains(QLatin1String("new"), Qt::CaseInsensitive))
            QTest::keyClicks(edit, QStringLiteral("Site-8-admin"));
    }
    m_devsim.Command("offline " + devices[1].serial.toLatin1());
    Start(dialog, QStringLiteral("demo1234"));
    auto *table = dialog.findChild<QTableWidget *>("tableJobDevices");
    QTRY_COMPARE_WITH_TIMEOUT(Statuses(table), QStringList({"done", "failed: no answer"}), 20000);
    auto *retry = dialog.findChild<QPushButton *>("btnRetryFailed");
    QTRY_VERIFY(retry->isEnabled());
    m_devsim.Command("online " + devices[1].serial.toLatin1());
    QTest::qWait(1500); // its boot announcement, heard by the page's discovery
    QTest::mouseClick(retry, Qt::LeftButton);
    QTRY_COMPARE_WITH_TIMEOUT(Statuses(table), QStringList({"done", "done"}), 20000);
    QVERIFY(!retry->isEnabled());
    // The new password is the devices' now: a second change with the old one fails on both.
    Start(dialog, QStringLiteral("demo1234"));
    QTRY_COMPARE_WITH_TIMEOUT(Statuses(table), QStringList({"failed: wrong password", "failed: wrong password"}),
                              20000);
}

void TestDeviceJobDialog::aDeviceWithItsOwnPasswordIsDoneInTheSameJob()
{
    {
        DeviceJobDialog change(DeviceJobDialog::Kind::Password, Devices({5}));
        change.show();
        QTest::keyClicks(Edit(change, QStringLiteral("New password")), QStringLiteral("Site-9-admin"));
        QTest::keyClicks(Edit(change, QStringLiteral("Confirm new password")), QStringLiteral("Site-9-admin"));
        Start(change, QStringLiteral("demo1234"));
        QTRY_COMPARE_WITH_TIMEOUT(Statuses(change.findChild<QTableWidget *>("tableJobDevices")),
                                  QStringList({"done"}), 20000);
        QTRY_VERIFY(change.findChild<QPushButton *>("btnCopyResults")->isEnabled());
    }
    // Devices 4 and 5 differ: 5 is given its own, the batch's serves 4.
    DeviceJobDialog dialog(DeviceJobDialog::Kind::Reboot, Devices({4, 5, 6}));
    dialog.show();
    auto *table = dialog.findChild<QTableWidget *>("tableJobDevices");
    const auto select = [&](int row) {
        QTest::mouseClick(table->viewport(), Qt::LeftButton, {}, table->visualItemRect(table->item(row, 0)).center());
    };
    auto *use = dialog.findChild<QPushButton *>("btnUseOwnPassword");
    for (int row : {1, 2}) {
        select(row);
        QTest::keyClicks(Edit(dialog, QStringLiteral("Own password of the selected devices")),
                         QStringLiteral("Site-9-admin"));
        QTest::mouseClick(use, Qt::LeftButton);
    }
    QCOMPARE(table->item(2, 2)->text(), QStringLiteral("own"));
    select(2); // and back to the batch's
    QTest::mouseClick(use, Qt::LeftButton);
    QCOMPARE(table->item(0, 2)->text() + table->item(1, 2)->text() + table->item(2, 2)->text(),
             QStringLiteral("batchownbatch"));
    const auto allBack = [&] {
        QTRY_COMPARE_WITH_TIMEOUT(dialog.findChild<QProgressBar *>()->value(), 3, 30000);
        const QStringList statuses = Statuses(table);
        for (const QString &status : statuses)
            QVERIFY2(status.startsWith(QLatin1String("done, back after")), qPrintable(statuses.join(QLatin1Char('|'))));
    };
    Start(dialog, QStringLiteral("demo1234"));
    allBack();
    // Every device's own password, none for the batch: nothing is missing.
    for (int row : {0, 2}) {
        select(row);
        QTest::keyClicks(Edit(dialog, QStringLiteral("Own password of the selected devices")),
                         QStringLiteral("demo1234"));
        QTRY_VERIFY(use->isEnabled());
        QTest::mouseClick(use, Qt::LeftButton);
    }
    Start(dialog, QString());
    QVERIFY(!Statuses(table).contains(QStringLiteral("Enter the current password.")));
    allBack();
}

// The installer's way, from the window: a site of a hundred devices beside the
// demo network, chosen through the filter and Ctrl+A, given this computer's
// clock and then a new password, one job each. With VEXA_SCREENSHOT_DIR set,
// the page and both finished dialogs are saved there.
void TestDeviceJobDialog::aHundredDevicesGetTheClockAndANewPasswordFromTheWindow()
{
    constexpr int kSite = 100;
    QJsonArray devices;
    for (int i = 0; i < kSite; ++i) {
        devices.append(QJsonObject{{"serialNo", QStringLiteral("VXC212020261209ST%1").arg(i, 6, 10, QLatin1Char('0'))},
                                   {"macAddr", QStringLiteral("02:53:54:00:00:%1").arg(i, 2, 16, QLatin1Char('0'))},
                                   {"ipv4Addr", QStringLiteral("10.40.0.%1").arg(i + 10)},
                                   {"ipv4Mask", "255.255.255.0"}, {"ipv4Gateway", "10.40.0.1"},
                                   {"typeCode", "0x2011"}, {"typeName", "VXC-2120"}, {"port", 8000},
                                   {"httpPort", 80}, {"channelCount", 1}, {"softwareVersion", "V5.0.5 build 210313"},
                                   {"capabilities", 7}});
    }
    QTemporaryDir dir;
    QFile file(dir.filePath(QStringLiteral("site.json")));
    QVERIFY(file.open(QIODevice::WriteOnly));
    file.write(QJsonDocument(QJsonObject{{"password", "demo1234"}, {"devices", devices}}).toJson());
    file.close();
    DevsimSession site;
    const QString error = site.Start(file.fileName());
    QVERIFY2(error.isEmpty(), qPrintable(error));

    m_page->resize(1400, 820);
    m_page->show();
    auto *view = m_page->findChild<CTableView *>("tableWidgetDevice");
    auto *filter = m_page->findChild<QLineEdit *>("lineEditFilter");
    const auto clearFilter = qScopeGuard([filter] { filter->clear(); });
    QVERIFY(QTest::qWaitForWindowExposed(m_page.get()));
    view->setFocus();
    QTest::keyClick(view, Qt::Key_F, Qt::ControlModifier);
    QTest::keyClicks(filter, QStringLiteral("209ST0"));
    auto *count = m_page->findChild<QLabel *>("labelFilterCount");
    QTRY_COMPARE_WITH_TIMEOUT(count->text(), QStringLiteral("%1/%2").arg(kSite).arg(kSite + m_devices.size()), 20000);
    QTest::mouseClick(view->viewport(), Qt::LeftButton, {}, QPoint(40, 10));
    QTest::keyClick(view, Qt::Key_A, Qt::ControlModifier);
    auto *menu = m_page->findChild<QMenu *>("menuDeviceList");

    // Runs a job from the list's menu; the finished dialog's statuses and picture.
    const auto job = [&](const char *action, const std::function<void(DeviceJobDialog &)> &fill) {
        QStringList statuses;
        QImage picture;
        QTimer::singleShot(0, this, [&] {
            auto *dialog = qobject_cast<DeviceJobDialog *>(QApplication::activeModalWidget());
            const auto close = qScopeGuard([dialog] {
                if (dialog)
                    dialog->done(QDialog::Rejected);
            });
            QVERIFY(dialog);
            fill(*dialog);
            Start(*dialog, QStringLiteral("demo1234"));
            QTRY_COMPARE_WITH_TIMEOUT(dialog->findChild<QProgressBar *>()->value(), kSite, 90000);
            QTRY_VERIFY(dialog->findChild<QPushButton *>("btnCopyResults")->isEnabled());
            statuses = Statuses(dialog->findChild<QTableWidget *>("tableJobDevices"));
            picture = dialog->grab().toImage();
        });
        for (QAction *a : menu->actions()) {
            if (a->objectName() == QLatin1String(action))
                a->trigger();
        }
        return std::pair(statuses, picture);
    };
    const auto [timeStatuses, timePicture] = job("actionSetTime", [](DeviceJobDialog &) {});
    QCOMPARE(timeStatuses.size(), kSite);
    QCOMPARE(timeStatuses.filter(QStringLiteral("done, clock offset")).size(), kSite);
    const auto [passwordStatuses, passwordPicture] = job("actionChangePassword", [](DeviceJobDialog &dialog) {
        for (const char *name : {"New password", "Confirm new password"})
            QTest::keyClicks(Edit(dialog, QLatin1String(name)), QStringLiteral("Site-100-admin"));
    });
    QCOMPARE(passwordStatuses.filter(QRegularExpression(QStringLiteral("^done$"))).size(), kSite);

    if (const QByteArray shots = qgetenv("VEXA_SCREENSHOT_DIR"); !shots.isEmpty()) {
        const QImage page = m_page->grab().toImage();
        QImage all(page.width(), page.height() + timePicture.height() + 8, QImage::Format_RGB32);
        all.fill(Qt::white);
        QPainter painter(&all);
        painter.drawImage(0, 0, page);
        painter.drawImage(0, page.height() + 8, timePicture);
        painter.drawImage(timePicture.width() + 8, page.height() + 8, passwordPicture);
        painter.end();
        QVERIFY(all.save(QString::fromLocal8Bit(shots) + QStringLiteral("/jobs-hundred-devices.png")));
    }
    m_page->hide();
}

QTEST_MAIN(TestDeviceJobDialog)
#include "tst_devicejobdialog.moc"

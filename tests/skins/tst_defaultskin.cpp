#include "cpluginfactoryinterface.h"

#include <cbasedialog.h>
#include <cdlgabout.h>
#include <corvostyle.h>
#include <cwarndlg.h>
#include <czel_vexamainwnd.h>

#include <QApplication>
#include <QDirIterator>
#include <QFile>
#include <QPluginLoader>
#include <QRegularExpression>
#include <QSet>
#include <QTest>

namespace {

const QString kStyleSheet = QStringLiteral(":/Tarnwell/Qss/Qss/VEXA.qss");

struct NamedImage
{
    const char *path; // exactly as the code that shows it writes it
    QSize size;       // the size that code lays it out at
};

// Every image the program names, with the size its user expects. Border and
// background images only need to be larger than their slices.
const NamedImage kImages[] = {
    {":/images/Dialog/dialog_bg.png", {128, 128}},
    {":/images/Dialog/dialog_bg2.png", {128, 128}},
    {":/images/title/title_bg.png", {32, 34}},
    {":/images/title/VEXAEye.png", {48, 48}},
    {":/images/title/mini.png", {20, 20}},
    {":/images/title/mini_hover.png", {20, 20}},
    {":/images/title/full-screen.png", {20, 20}},
    {":/images/title/full-screen_hover.png", {20, 20}},
    {":/images/title/back.png", {20, 20}},
    {":/images/title/back_hover.png", {20, 20}},
    {":/images/title/close.png", {20, 20}},
    {":/images/title/close_hover.png", {20, 20}},
    {":/images/Tab/tab_bg.png", {16, 40}},
    {":/images/Tab/TabSelect.png", {140, 40}},
    {":/images/Tab/TabUnselect.png", {140, 40}},
    {":/images/Tab/Subtab_bg.png", {16, 23}},
    {":/images/Tab/SubTabSelect.png", {140, 23}},
    {":/images/Tab/SubTabUnselect.png", {140, 23}},
    {":images/Tab/TabClose.png", {20, 20}},
    {":images/Tab/TabCloseHover.png", {20, 20}},
    {":/images/ButtonIcon/menu_search.png", {32, 32}},
    {":/images/ButtonIcon/menu_info.png", {32, 32}},
    {":/images/ButtonIcon/refresh.png", {16, 16}},
    {":/images/ButtonIcon/infor_24.png", {24, 24}},
    {":/images/Help.png", {16, 16}},
    {":/images/About.png", {16, 16}},
    {":/images/MainView/frame_gap.png", {10, 16}},
    {":/images/AjustFocus/SepShow.png", {10, 100}},
    {":/images/AjustFocus/SepHide.png", {10, 100}},
    {":images/ControlPanel/ListView-hover.png", {16, 16}},
    {":/images/public/CheckBox/checkbox.png", {16, 16}},
    {":/images/public/CheckBox/uncheckbox.png", {16, 16}},
    {":/images/public/CheckBox/PartiallyCheckBox.png", {16, 16}},
    {":images/public/TreeView/TreeNormal.png", {24, 24}},
    {":images/public/TreeView/TreeSelect.png", {24, 24}},
    {":images/public/TreeView/TreeArrowUp.png", {16, 16}},
    {":images/public/TreeView/TreeArrowDown.png", {16, 16}},
    {":images/public/TreeView/TreeArrowHover.png", {16, 16}},
    {":images/public/ProgressBar/ProgressBarLeft.png", {6, 12}},
    {":images/public/ProgressBar/ProgressBar.png", {1, 12}},
    {":images/public/ProgressBar/ProgressBarRight.png", {6, 12}},
    {":images/public/ProgressBar/ProgressBarLeftChunk.png", {6, 12}},
    {":images/public/ProgressBar/ProgressBarChunk.png", {1, 12}},
    {":images/public/ProgressBar/ProgressBarRightChunk.png", {6, 12}},
    {":/images/public/Slider/RightSlider.png", {8, 4}},
    {":/images/public/Slider/LeftSlider.png", {8, 4}},
    {":/images/public/Slider/RadiobtnOff.png", {13, 10}},
    {":/images/public/Calendar/CalendarNormal.png", {25, 22}},
    {":/images/public/Calendar/CalendarHover.png", {25, 22}},
    {":/images/public/Calendar/CalendarFocus.png", {25, 22}},
    {":/images/public/Calendar/WeekLeft.png", {25, 22}},
    {":/images/public/Calendar/WeekMiddle.png", {25, 22}},
    {":/images/public/Calendar/WeekRight.png", {25, 22}},
    {":/images/public/Calendar/CalendarPre.png", {16, 16}},
    {":/images/public/Calendar/CalendarNext.png", {16, 16}},
    {":/images/public/calendar-background.png", {100, 50}},
    {":images/Loading_bg_English.png", {400, 250}},
    {":images/Loading_bg_Chinese.png", {400, 250}},
    {":images/Loading_bg_English_Lum.png", {400, 250}},
    {":images/Loading_bg_Chinese_Lum.png", {400, 250}},
};

// The one resource path both spellings (":images/x" and ":/images/x") reach.
QString Canonical(const QString &path)
{
    return path.startsWith(QLatin1String(":/")) ? path : QStringLiteral(":/") + path.mid(1);
}

QStringList g_warnings;

void Collect(QtMsgType type, const QMessageLogContext &, const QString &message)
{
    if (type != QtDebugMsg && type != QtInfoMsg)
        g_warnings.append(message);
}

} // namespace

class TestDefaultSkin final : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void cleanupTestCase();
    void keys();
    void unknownKeysRegisterNothing_data();
    void unknownKeysRegisterNothing();
    void applyDefault();
    void images_data();
    void images();
    void noUnnamedImages();
    void styleSheetIsAsciiAndItsImagesExist();
    void styleSheetParses();
    void formsShowWithoutWarnings();

private:
    QPluginLoader m_loader{QStringLiteral(VEXA_SKIN_PLUGIN)};
    CPluginFactoryInterface *m_pSkin = nullptr;
};

void TestDefaultSkin::initTestCase()
{
    QVERIFY2(m_loader.load(), qPrintable(m_loader.errorString()));
    m_pSkin = qobject_cast<CPluginFactoryInterface *>(m_loader.instance());
    QVERIFY(m_pSkin);
}

void TestDefaultSkin::cleanupTestCase()
{
    qApp->setStyleSheet(QString());
}

void TestDefaultSkin::keys()
{
    QCOMPARE(m_pSkin->keys(), QStringList{QStringLiteral("Default")});
}

void TestDefaultSkin::unknownKeysRegisterNothing_data()
{
    QTest::addColumn<QString>("key");
    QTest::newRow("other") << QStringLiteral("Nope");
    QTest::newRow("case differs") << QStringLiteral("default");
    QTest::newRow("empty") << QString();
}

// Loading the plug-in, or asking it for a skin it lacks, leaves the resource
// tree alone: start-up tries every plug-in in the folder this way.
void TestDefaultSkin::unknownKeysRegisterNothing()
{
    QFETCH(QString, key);
    QVERIFY(!m_pSkin->applySkin(key));
    QVERIFY(!QFile::exists(kStyleSheet));
    QVERIFY(QPixmap(QStringLiteral(":/images/title/close.png")).isNull());
}

void TestDefaultSkin::applyDefault()
{
    QVERIFY(m_pSkin->applySkin(QStringLiteral("Default")));
    QVERIFY(QFile::exists(kStyleSheet));
    // Start-up may apply the skin of an already loaded plug-in again.
    QVERIFY(m_pSkin->applySkin(QStringLiteral("Default")));
}

void TestDefaultSkin::images_data()
{
    QTest::addColumn<QString>("path");
    QTest::addColumn<QSize>("size");
    for (const NamedImage &image : kImages)
        QTest::newRow(image.path) << QString::fromLatin1(image.path) << image.size;
}

void TestDefaultSkin::images()
{
    QFETCH(QString, path);
    QFETCH(QSize, size);
    const QPixmap pixmap(path);
    QVERIFY(!pixmap.isNull());
    QCOMPARE(pixmap.size(), size);
}

// The skin carries what the program names and nothing else, so the list
// above and the plug-in cannot drift apart unnoticed.
void TestDefaultSkin::noUnnamedImages()
{
    QSet<QString> named;
    for (const NamedImage &image : kImages)
        named.insert(Canonical(QString::fromLatin1(image.path)));
    QDirIterator it(QStringLiteral(":/images"), QDir::Files, QDirIterator::Subdirectories);
    QStringList unnamed;
    while (it.hasNext()) {
        const QString path = it.next();
        if (!named.contains(path))
            unnamed.append(path);
    }
    QVERIFY2(unnamed.isEmpty(), qPrintable(unnamed.join(QLatin1Char(' '))));
}

void TestDefaultSkin::styleSheetIsAsciiAndItsImagesExist()
{
    QFile file(kStyleSheet);
    QVERIFY(file.open(QIODevice::ReadOnly));
    const QByteArray bytes = file.readAll();
    QVERIFY(!bytes.trimmed().isEmpty());
    // Start-up reads the sheet as Latin-1; anything beyond ASCII would be a
    // different text in every other encoding the file might be saved in.
    QVERIFY(std::all_of(bytes.cbegin(), bytes.cend(), [](char c) { return uchar(c) < 0x80; }));

    static const QRegularExpression url(QStringLiteral("url\\(\\s*\"?([^\")]+)\"?\\s*\\)"));
    const QString text = QString::fromLatin1(bytes);
    int urls = 0;
    for (const QRegularExpressionMatch &match : url.globalMatch(text)) {
        ++urls;
        QVERIFY2(!QPixmap(match.captured(1)).isNull(), qPrintable(match.captured(1)));
    }
    QVERIFY(urls > 0);
}

// Style sheets are parsed when the first widget is polished; a syntax error
// only shows as a warning then.
void TestDefaultSkin::styleSheetParses()
{
    QFile file(kStyleSheet);
    QVERIFY(file.open(QIODevice::ReadOnly));
    g_warnings.clear();
    const QtMessageHandler previous = qInstallMessageHandler(Collect);
    qApp->setStyleSheet(QString::fromLatin1(file.readAll()));
    QWidget probe;
    probe.ensurePolished();
    qInstallMessageHandler(previous);
    QVERIFY2(g_warnings.isEmpty(), qPrintable(g_warnings.join(QLatin1Char('\n'))));
}

// The forms as start-up builds them, painted: any image the skin lacks or the
// style sheet cannot use is reported while painting. With VEXA_SCREENSHOT_DIR
// set, the pictures are kept for looking at.
void TestDefaultSkin::formsShowWithoutWarnings()
{
    QApplication::setStyle(new COrvoStyle);
    // The font start-up gives the application, which the forms are laid out for.
    QFont font(QStringLiteral("Arial"), 10);
    font.setStyleHint(QFont::SansSerif);
    QApplication::setFont(font);
    QFile file(kStyleSheet);
    QVERIFY(file.open(QIODevice::ReadOnly));
    qApp->setStyleSheet(QString::fromLatin1(file.readAll()));

    CZEL_VEXAMainWnd window(nullptr, {}, 0, 0, 0);
    window.show();
    QVERIFY(QTest::qWaitForWindowExposed(&window));
    CDlgAbout about(nullptr);
    CBaseDialog framed(nullptr, true, true, true);
    framed.SetTitle(QStringLiteral("Framed"));
    framed.ShowCloseBtn(true);
    CWarnDlg message(nullptr);
    const QString text = QStringLiteral("Sure to close software");
    message.FitWidthToText(text);
    message.ShowCloseBtn(true);
    message.SetBtnAreaVisible(true);
    message.SetMsg(QStringLiteral("Confirm"), text);

    const struct
    {
        QWidget *widget;
        const char *name;
    } forms[] = {{&window, "main-window"}, {&about, "about"}, {&framed, "framed-dialog"}, {&message, "ask"}};
    const QString dir = QString::fromLocal8Bit(qgetenv("VEXA_SCREENSHOT_DIR"));
    g_warnings.clear();
    const QtMessageHandler previous = qInstallMessageHandler(Collect);
    for (const auto &form : forms) {
        const QPixmap picture = form.widget->grab();
        if (!dir.isEmpty())
            picture.save(dir + QStringLiteral("/skin-%1.png").arg(QLatin1String(form.name)));
    }
    qInstallMessageHandler(previous);
    QVERIFY2(g_warnings.isEmpty(), qPrintable(g_warnings.join(QLatin1Char('\n'))));
}

QTEST_MAIN(TestDefaultSkin)
#include "tst_defaultskin.moc"

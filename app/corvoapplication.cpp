#include "corvoapplication.h"

#include "apppath.h"
#include "clientconfig.h"
#include "clientlanguage.h"
#include "corvostyle.h"
#include "cwarndlg.h"
#include "singleinstancelock.h"
#ifndef VEXA_OLDER_EDITION
#include "pluginloader.h"
#endif

#include <QDebug>
#include <QFile>
#include <QScreen>

namespace {

const QString kConfigFile = QStringLiteral("Setup.xml");
#ifdef VEXA_OLDER_EDITION
// Compiled into the program, like every image.
const QString kStyleSheetPrefix = QStringLiteral(":/qss/");
#else
const QString kSkinDir = QStringLiteral("plugins/skins/");
const QString kStyleSheetPrefix = QStringLiteral(":/Tarnwell/Qss/Qss/");
#endif
const QStringList kStyleSheets = {QStringLiteral("VEXA.qss")};

constexpr int kMinScreenWidth = 1024;
constexpr int kMinScreenHeight = 768;

} // namespace

COrvoApplication::COrvoApplication(int &argc, char **argv, const QString &key)
    : QApplication(argc, argv)
    , m_pInstanceLock(std::make_unique<SingleInstanceLock>(key))
{
    // Only the main window's confirmed close ends the program.
    setQuitOnLastWindowClosed(false);
    InitFont();
#ifdef VEXA_OLDER_EDITION
    // The style sheet is compiled in, so it needs no configuration: it comes first.
    InitStyleSheet();
    InitConfig();
#else
    InitConfig();
    InitSkin();
    InitStyleSheet();
#endif
    InitSingleInstance();
}

COrvoApplication::~COrvoApplication()
{
    ClientConfigManager::Instance()->ClearConfig();
    m_pInstanceLock.reset();
}

void COrvoApplication::InitFont()
{
    QFont font(QStringLiteral("Arial"), 9);
    font.setStyleHint(QFont::SansSerif, QFont::PreferAntialias);
    setFont(font);
}

void COrvoApplication::InitConfig()
{
    addLibraryPath(QStringLiteral("%1%2plugins").arg(applicationDirPath(), QStringLiteral("/")));
    ClientConfigManager::Instance()->ReadConfigFile(kConfigFile);
    InstallTranslators();
    QFont font = QApplication::font();
    font.setPointSize(10);
    setFont(font);
}

void COrvoApplication::InstallTranslators()
{
    ClientLanguageManager::Instance()->GetCurrentLanguage().InstallTranslators();
}

#ifndef VEXA_OLDER_EDITION
void COrvoApplication::InitSkin()
{
    // Without a skin the tool still runs, with no images and no style sheet.
    if (const ClientConfig *skin = ClientConfigManager::Instance()->FindConfig(ClientConfigKey::Skin))
        LoadPluginByKey(skin->m_strValue, AppDirPath() + kSkinDir);
}
#endif

void COrvoApplication::InitStyleSheet()
{
    setStyle(new COrvoStyle);
    QString styleSheet;
    for (const QString &name : kStyleSheets) {
        QFile file(kStyleSheetPrefix + name);
        if (file.open(QIODevice::ReadOnly))
            styleSheet += QString::fromLatin1(file.readAll());
    }
    setStyleSheet(styleSheet);
}

void COrvoApplication::InitSingleInstance()
{
    switch (m_pInstanceLock->TryAcquire()) {
    case SingleInstanceLock::State::Acquired:
        m_bAlreadyRunning = false;
        break;
    case SingleInstanceLock::State::HeldElsewhere:
        m_bAlreadyRunning = true;
        break;
    case SingleInstanceLock::State::Unavailable:
        m_bAlreadyRunning = false;
        qDebug() << "Unable to create single instance.";
        break;
    }
}

void COrvoApplication::Warn(const QString &text)
{
    CWarnDlg dlg(nullptr);
    dlg.ShowMsg(tr("VEXA"), text);
}

bool COrvoApplication::CheckSingleInstance()
{
    if (!m_bAlreadyRunning)
        return false;
    Warn(tr("Software is already running."));
    return true;
}

bool COrvoApplication::IsResolutionTooSmall(const QSize &size)
{
    return size.width() < kMinScreenWidth || size.height() < kMinScreenHeight;
}

bool COrvoApplication::CheckResolution()
{
    const QScreen *screen = primaryScreen();
    if (!IsResolutionTooSmall(screen ? screen->geometry().size() : QSize()))
        return false;
    Warn(tr("The least resolution is 1024*768."));
    return true;
}

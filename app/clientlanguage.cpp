#include "clientlanguage.h"

#include "clientconfig.h"
#include "processsingleton.h"

#include <QCoreApplication>
#include <QTranslator>

namespace {

ProcessSingleton<ClientLanguageManager> s_languageManager;

#ifdef VEXA_OLDER_EDITION
const QString kEnglishFile = QStringLiteral("translations/ZEL-VEXA_en.qm");
const QString kChineseFile = QStringLiteral("translations/ZEL-VEXA_zh.qm");
#else
const QString kEnglishFile = QStringLiteral("translations/KRO-VEXA_en.qm");
const QString kChineseFile = QStringLiteral("translations/KRO-VEXA_zh.qm");
#endif
// Shipped beside the tool's own, so the program does not depend on where the toolkit keeps it.
const QString kQtChineseFile = QStringLiteral("translations/qtbase_zh_CN.qm");

constexpr int kLanguageCount = 4;

const char *const kLoadingImages[kLanguageCount] = {
    ":images/Loading_bg_English.png",
    ":images/Loading_bg_Chinese.png",
    ":images/Loading_bg_English_Lum.png",
    ":images/Loading_bg_Chinese_Lum.png",
};

bool IsChinese(int index)
{
    return index == 1 || index == 3;
}

// Version type 0 asks for the maker-branded variants (2 and 3); any other
// "Translator" number is a variant index itself.
int WantedLanguageIndex(int translator, int versionType)
{
    switch (translator) {
    case 0:
        return versionType != 0 ? 0 : 2;
    case 1:
        return versionType != 0 ? 1 : 3;
    default:
        return translator;
    }
}

} // namespace

ClientLanguageProperty::ClientLanguageProperty() = default;
ClientLanguageProperty::~ClientLanguageProperty() = default;

void ClientLanguageProperty::InstallTranslators() const
{
    // Moved to the front rather than stacked up when installed again.
    for (QTranslator *translator : {m_pQtTranslator.get(), m_pTranslator.get()}) {
        QCoreApplication::removeTranslator(translator);
        if (!translator->isEmpty() || translator == m_pTranslator.get())
            QCoreApplication::installTranslator(translator);
    }
}

ClientLanguageManager::ClientLanguageManager(const QString &appDir)
{
    for (int index = 0; index < kLanguageCount; ++index) {
        auto language = std::make_unique<ClientLanguageProperty>();
        language->m_iLanguageIndex = index;
        language->m_pTranslator = std::make_unique<QTranslator>();
        language->m_pQtTranslator = std::make_unique<QTranslator>();
        if (IsChinese(index)) {
            // Chinese variants exist only with their translation; the toolkit's is welcome, not required.
            if (!language->m_pTranslator->load(appDir + QLatin1Char('/') + kChineseFile))
                continue;
            static_cast<void>(language->m_pQtTranslator->load(appDir + QLatin1Char('/') + kQtChineseFile));
            language->m_locale = QLocale(QLocale::Chinese, QLocale::China);
        } else {
            // English ones always do: without the file the source texts show.
            static_cast<void>(language->m_pTranslator->load(appDir + QLatin1Char('/') + kEnglishFile));
            language->m_locale = QLocale(QLocale::English, QLocale::UnitedStates);
        }
        language->m_pixLoading = QPixmap(QLatin1String(kLoadingImages[index]));
        m_languages.push_back(std::move(language));
    }
}

ClientLanguageManager::~ClientLanguageManager() = default;

ClientLanguageManager *ClientLanguageManager::Instance()
{
    return s_languageManager.Get([] {
        return std::make_unique<ClientLanguageManager>(QCoreApplication::applicationDirPath());
    });
}

const ClientLanguageProperty &ClientLanguageManager::GetCurrentLanguage() const
{
    const ClientConfigManager *config = ClientConfigManager::Instance();
    const int wanted = WantedLanguageIndex(config->FindConfigInt(ClientConfigKey::Translator),
                                           config->FindConfigInt(ClientConfigKey::VersionType));
    for (const auto &language : m_languages) {
        if (language->m_iLanguageIndex == wanted)
            return *language;
    }
    // Variant 0 is always built first.
    return *m_languages.front();
}

#pragma once

#include "vexaapp_export.h"

#include <QLocale>
#include <QPixmap>
#include <QString>

#include <memory>
#include <vector>

class QTranslator;

/** One language variant: its translation, locale and loading picture. */
class VEXAAPP_EXPORT ClientLanguageProperty
{
public:
    ClientLanguageProperty();
    virtual ~ClientLanguageProperty();
    ClientLanguageProperty(const ClientLanguageProperty &) = delete;
    ClientLanguageProperty &operator=(const ClientLanguageProperty &) = delete;

    /** 0 English, 1 Chinese, 2 English maker-branded, 3 Chinese maker-branded. */
    int m_iLanguageIndex = -1;
    QLocale m_locale;
    /** Owned here rather than by the application, so it outlives any QApplication it is installed in. */
    std::unique_ptr<QTranslator> m_pTranslator;
    /** The toolkit's own texts (a line edit's Undo, Redo, Select All): Chinese variants only. */
    std::unique_ptr<QTranslator> m_pQtTranslator;
    QPixmap m_pixLoading;

    /** Installs both translations in the application, in front of any installed before. */
    void InstallTranslators() const;
};

/** The language variants that could be built, in index order. */
class VEXAAPP_EXPORT ClientLanguageManager
{
public:
    /** Builds the variants from the translations under @p appDir ("translations/..."). */
    explicit ClientLanguageManager(const QString &appDir);
    ~ClientLanguageManager();
    ClientLanguageManager(const ClientLanguageManager &) = delete;
    ClientLanguageManager &operator=(const ClientLanguageManager &) = delete;

    /** The process-wide manager over the program's own directory, created on first use. */
    static ClientLanguageManager *Instance();

    /** The variant that "Translator" and "VersionType" select; variant 0 when that one was not built. */
    const ClientLanguageProperty &GetCurrentLanguage() const;
    /** The built variants, in index order. */
    const std::vector<std::unique_ptr<ClientLanguageProperty>> &Languages() const { return m_languages; }

private:
    std::vector<std::unique_ptr<ClientLanguageProperty>> m_languages;
};

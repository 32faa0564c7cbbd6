#pragma once

#include "vexaapp_export.h"

#include <QString>

#include <memory>
#include <vector>

/** One entry of "Setup.xml": an element name and the text of its first "Value". */
class VEXAAPP_EXPORT ClientConfig
{
public:
    ClientConfig(QString name, QString value);
    virtual ~ClientConfig();

    QString m_strName;
    QString m_strValue;
};

/** The keys the tool looks up in the configuration. */
enum class ClientConfigKey {
    Translator = 0, ///< 0 English, 1 Chinese
    LogLevel = 1,
    VersionType = 2, ///< 0 maker-branded language variants, other numbers neutral ones
#ifndef VEXA_OLDER_EDITION // whose images and style sheet are compiled in
    Skin = 3,        ///< key of the skin plug-in applied at start-up
#endif
};

/** The process-wide list of configuration entries, in file order. */
class VEXAAPP_EXPORT ClientConfigManager
{
public:
    ClientConfigManager();
    ~ClientConfigManager();
    ClientConfigManager(const ClientConfigManager &) = delete;
    ClientConfigManager &operator=(const ClientConfigManager &) = delete;

    /** The process-wide manager, created on first use. */
    static ClientConfigManager *Instance();

    /**
     * Appends the entries of the configuration file @p path (relative names
     * are resolved against the program's directory). Entries already held
     * stay and keep winning look-ups. False when the file cannot be opened.
     */
    bool ReadConfigFile(const QString &path);
    /** The first entry named after @p key, or null. */
    const ClientConfig *FindConfig(ClientConfigKey key) const;
    /** The value of @p key as a base-10 number; 0 when absent or not a number. */
    int FindConfigInt(ClientConfigKey key) const;
    void ClearConfig();

private:
    std::vector<std::unique_ptr<ClientConfig>> m_configs;
};

#include "clientconfig.h"

#include "apppath.h"
#include "processsingleton.h"

#include <QDebug>
#include <QFile>
#include <QXmlStreamReader>

namespace {

ProcessSingleton<ClientConfigManager> s_configManager;

const QString kRootName = QStringLiteral("Configs");
const QString kValueName = QStringLiteral("Value");

QString KeyName(ClientConfigKey key)
{
    switch (key) {
    case ClientConfigKey::Translator:
        return QStringLiteral("Translator");
    case ClientConfigKey::LogLevel:
        return QStringLiteral("LogLevel");
    case ClientConfigKey::VersionType:
        return QStringLiteral("VersionType");
#ifndef VEXA_OLDER_EDITION
    case ClientConfigKey::Skin:
        return QStringLiteral("Skin");
#endif
    }
    return {};
}

bool IsKnownKey(QStringView name)
{
    for (ClientConfigKey key : {ClientConfigKey::Translator, ClientConfigKey::LogLevel, ClientConfigKey::VersionType,
#ifndef VEXA_OLDER_EDITION
                                ClientConfigKey::Skin,
#endif
                               }) {
        if (name == KeyName(key))
            return true;
    }
    return false;
}

// Reads on to the end of the next "Value" element, wherever it is: a key
// written without one takes the value of the next key that has one.
QString ReadValue(QXmlStreamReader &xml)
{
    QString value;
    while (!xml.atEnd()) {
        xml.readNext();
        if (xml.isStartElement() && xml.name() == kValueName)
            value = xml.readElementText();
        if (xml.isEndElement() && xml.name() == kValueName)
            break;
    }
    return value;
}

} // namespace

ClientConfig::ClientConfig(QString name, QString value)
    : m_strName(std::move(name))
    , m_strValue(std::move(value))
{
}

ClientConfig::~ClientConfig() = default;

ClientConfigManager::ClientConfigManager() = default;
ClientConfigManager::~ClientConfigManager() = default;

ClientConfigManager *ClientConfigManager::Instance()
{
    return s_configManager.Get([] { return std::make_unique<ClientConfigManager>(); });
}

bool ClientConfigManager::ReadConfigFile(const QString &path)
{
    QFile file(ResolveAppPath(path));
    if (!file.open(QIODevice::ReadOnly | QIODevice::Text)) {
        qDebug() << "No file to read...";
        return false;
    }
    // Stops at the end or at the first XML error; what was read until then stays.
    QXmlStreamReader xml(&file);
    while (!xml.atEnd()) {
        if (xml.readNext() != QXmlStreamReader::StartElement || xml.name() == kRootName)
            continue;
        const QString name = xml.name().toString();
        const QString value = IsKnownKey(name) ? ReadValue(xml) : QString();
        m_configs.push_back(std::make_unique<ClientConfig>(name, value));
    }
    return true;
}

const ClientConfig *ClientConfigManager::FindConfig(ClientConfigKey key) const
{
    const QString name = KeyName(key);
    for (const auto &config : m_configs) {
        if (config->m_strName == name)
            return config.get();
    }
    return nullptr;
}

int ClientConfigManager::FindConfigInt(ClientConfigKey key) const
{
    const ClientConfig *config = FindConfig(key);
    return config ? config->m_strValue.toInt(nullptr, 10) : 0;
}

void ClientConfigManager::ClearConfig()
{
    m_configs.clear();
}

#include "defaultskinplugin.h"

#include <QDir>
#include <QFileInfo>
#include <QResource>
#include <QStringList>

#include <dlfcn.h>

namespace {

const QString kKey = QStringLiteral("Default");

// The resource file lies beside this library, wherever the program was
// installed; the library's own path is the only reliable anchor.
QString ResourceFile()
{
    Dl_info info{};
    if (dladdr(reinterpret_cast<const void *>(&ResourceFile), &info) == 0 || !info.dli_fname)
        return {};
    const QDir pluginDir = QFileInfo(QString::fromLocal8Bit(info.dli_fname)).absoluteDir();
    return pluginDir.filePath(QStringLiteral("default/default.rcc"));
}

} // namespace

// The library goes away when the loader unloads it; the tree must not
// outlive it pointing into a file the next skin might replace.
CDefaultSkinPlugin::~CDefaultSkinPlugin()
{
    if (!m_strRegistered.isEmpty())
        QResource::unregisterResource(m_strRegistered);
}

QStringList CDefaultSkinPlugin::keys() const
{
    return {kKey};
}

bool CDefaultSkinPlugin::applySkin(const QString &key)
{
    if (key != kKey)
        return false;
    if (!m_strRegistered.isEmpty())
        return true;
    const QString file = ResourceFile();
    if (file.isEmpty() || !QResource::registerResource(file))
        return false;
    m_strRegistered = file;
    return true;
}

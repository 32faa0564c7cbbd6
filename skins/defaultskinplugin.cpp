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

QStringList CDefaultSkinPlugin::keys() const
{
    return {kKey};
}

bool CDefaultSkinPlugin::applySkin(const QString &key)
{
    if (key != kKey)
        return false;
    // Registering twice would stack a second copy of the same tree.
    if (!m_bApplied) {
        const QString file = ResourceFile();
        m_bApplied = !file.isEmpty() && QResource::registerResource(file);
    }
    return m_bApplied;
}

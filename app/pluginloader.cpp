#include "pluginloader.h"

#include "cpluginfactoryinterface.h"

#include <QDir>
#include <QPluginLoader>

bool LoadPluginByKey(const QString &key, const QString &directory)
{
    const QStringList files = QDir(directory).entryList(QDir::Files, QDir::Unsorted);
    for (const QString &name : files) {
        QPluginLoader loader(QDir::cleanPath(directory + QLatin1Char('/') + name));
        // A skin is applied once per process: a loaded plug-in means it has been.
        if (loader.isLoaded())
            return true;
        if (!loader.load())
            continue;
        auto *factory = qobject_cast<CPluginFactoryInterface *>(loader.instance());
        if (factory && factory->keys().contains(key))
            return factory->applySkin(key);
        loader.unload();
    }
    return false;
}

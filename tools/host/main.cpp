// vexa-host: how a host program embeds the main edition. It owns the
// application, the style and the skin, runs its own discovery and opens the
// tool inside its window (see hostwindow.cpp).
#include "hostwindow.h"

#include <cpluginfactoryinterface.h>

#include <QApplication>
#include <QDir>
#include <QFile>
#include <QPluginLoader>

namespace {

// The tool's images and style sheet come from the skin plug-in beside the program.
void LoadSkin(const QString &key)
{
    const QDir dir(QCoreApplication::applicationDirPath() + QStringLiteral("/plugins/skins"));
    for (const QString &file : dir.entryList(QDir::Files)) {
        QPluginLoader loader(dir.absoluteFilePath(file));
        auto *skin = qobject_cast<CPluginFactoryInterface *>(loader.instance());
        if (skin && skin->keys().contains(key) && skin->applySkin(key))
            return;
        loader.unload();
    }
}

} // namespace

int main(int argc, char *argv[])
{
    QApplication app(argc, argv);
    LoadSkin(QStringLiteral("Default"));
    QFile styleSheet(QStringLiteral(":/Tarnwell/Qss/Qss/VEXA.qss"));
    if (styleSheet.open(QIODevice::ReadOnly))
        app.setStyleSheet(QString::fromLatin1(styleSheet.readAll()));

    HostWindow window;
    window.StartDiscovery();
    window.OpenTool();
    window.show();
    return app.exec();
}

#pragma once

#include "cpluginfactoryinterface.h"

#include <QObject>
#include <QString>

/**
 * The default skin "Default": the images under ":/images/" and the style
 * sheet ":/Tarnwell/Qss/Qss/VEXA.qss", kept in a binary resource file in the
 * folder "default" beside the plug-in. Nothing is registered until the skin
 * is applied, so a plug-in that is only asked for its keys leaves the
 * resource tree untouched. The tree maps the file itself, not the library, so
 * a registration stays valid for the life of the process, also should the
 * plug-in be unloaded.
 */
class CDefaultSkinPlugin final : public QObject, public CPluginFactoryInterface
{
    Q_OBJECT
    Q_PLUGIN_METADATA(IID "com.CPluginFactoryInterface")
    Q_INTERFACES(CPluginFactoryInterface)
    Q_DISABLE_COPY_MOVE(CDefaultSkinPlugin)

public:
    CDefaultSkinPlugin() = default;
    ~CDefaultSkinPlugin() override = default;

    QStringList keys() const override;
    bool applySkin(const QString &key) override;

private:
    bool m_bApplied = false;
};

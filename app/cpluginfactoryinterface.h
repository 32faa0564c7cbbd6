#pragma once

#include <QStringList>
#include <QtPlugin>

/**
 * Interface of a skin plug-in: a shared library in "plugins/skins" beside the
 * program that registers the images under ":/images/" and the style sheet
 * under ":/Tarnwell/Qss/Qss/" when it applies a skin.
 */
class CPluginFactoryInterface
{
public:
    virtual ~CPluginFactoryInterface() = default;
    /** The skin keys this plug-in offers. */
    virtual QStringList keys() const = 0;
    /** Makes the resources of the skin `key` available; false when it cannot. */
    virtual bool applySkin(const QString &key) = 0;
};

#define CPluginFactoryInterface_iid "com.CPluginFactoryInterface"
Q_DECLARE_INTERFACE(CPluginFactoryInterface, CPluginFactoryInterface_iid)

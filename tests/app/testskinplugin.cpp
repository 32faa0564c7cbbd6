#include "cpluginfactoryinterface.h"

#include <QCoreApplication>
#include <QObject>

// A skin plug-in for the loader tests, built several times with different
// names and keys. applySkin() leaves "plugin:key" in an application property,
// so a test sees which plug-in applied what; the key "Refused" fails.
class TestSkinPlugin final : public QObject, public CPluginFactoryInterface
{
    Q_OBJECT
    Q_PLUGIN_METADATA(IID "com.CPluginFactoryInterface")
    Q_INTERFACES(CPluginFactoryInterface)

public:
    QStringList keys() const override { return QStringLiteral(TEST_SKIN_KEYS).split(QLatin1Char(',')); }

    bool applySkin(const QString &key) override
    {
        QCoreApplication::instance()->setProperty("appliedSkin", QStringLiteral(TEST_SKIN_NAME ":") + key);
        return key != QLatin1String("Refused");
    }
};

#include "testskinplugin.moc"

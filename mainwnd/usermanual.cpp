#include "usermanual.h"

#include <apppath.h>

#include <QLocale>
#include <QString>

QString UserManualPath(const QLocale &language)
{
    // The build renders both manuals under exactly these names (tools/mkmanual).
    const QString name = language.language() == QLocale::Chinese
        ? QStringLiteral("设备网络搜索用户使用手册.pdf")
        : QStringLiteral("VEXA User Manual.pdf");
    return ResolveAppPath(name);
}

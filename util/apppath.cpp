#include "apppath.h"

#include <QCoreApplication>
#include <QDir>
#include <QString>

QString AppDirPath()
{
    return QCoreApplication::applicationDirPath() + QLatin1Char('/');
}

QString ResolveAppPath(const QString &fileName)
{
    return QDir::isRelativePath(fileName) ? AppDirPath() + fileName : fileName;
}

#include "localcodec.h"

#include <QByteArray>
#include <QString>

#include <cstring>

QString FromLocal8Bit(const char *text, qsizetype capacity)
{
    if (!text)
        return {};
    const std::size_t length = capacity < 0 ? std::strlen(text)
                                            : ::strnlen(text, static_cast<std::size_t>(capacity));
    return QString::fromLocal8Bit(text, static_cast<qsizetype>(length));
}

std::string ToLocalStdString(const QString &text)
{
    const QByteArray bytes = text.toLocal8Bit();
    // Library records are NUL-terminated; a NUL inside the text ends it there too.
    return std::string(bytes.constData());
}

QByteArray ToLocal8Bit(const QString &text)
{
    return text.toLocal8Bit();
}

#pragma once

#include <QLatin1StringView>
#include <QString>
#include <QtGlobal>

// The page's style sheets name images of the skin plug-in, which tests do not
// load: drop Qt's warning for each of them and pass every other message on.
inline void IgnoreMissingSkinImages()
{
    static const QtMessageHandler previous = qInstallMessageHandler(nullptr);
    qInstallMessageHandler([](QtMsgType type, const QMessageLogContext &context, const QString &message) {
        if (!message.startsWith(QLatin1StringView("Could not create pixmap from :/images/")))
            previous(type, context, message);
    });
}

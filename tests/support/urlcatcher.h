#pragma once

#include <QList>
#include <QObject>
#include <QUrl>

/** Takes the URLs handed to the desktop services, for a test to check, instead
 *  of opening a browser or viewer: install with QDesktopServices::setUrlHandler(scheme, &catcher, "open"). */
class UrlCatcher final : public QObject
{
    Q_OBJECT

public:
    QList<QUrl> urls;

public slots:
    void open(const QUrl &url);
};

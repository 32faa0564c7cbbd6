#include "urlcatcher.h"

void UrlCatcher::open(const QUrl &url)
{
    urls.append(url);
}

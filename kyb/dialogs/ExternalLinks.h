#pragma once
#include <QUrl>

// Opens url in the system's browser when its scheme is http or https; any other link is refused. True when it
// was handed on.
bool openExternalLink(const QUrl& url);

#include "platform/ServiceEndpoint.h"

#include <QUrl>

#ifndef KESTRUNE_DEFAULT_SERVICE_HOST
#error "KESTRUNE_DEFAULT_SERVICE_HOST must be defined by the build"
#endif

namespace platform {

namespace {
QUrl endpoint()
{
    QUrl url;
    url.setScheme(QStringLiteral("https"));
    const QString configured = qEnvironmentVariable("KESTRUNE_SERVICE_HOST").trimmed();
    if (!configured.isEmpty()) {
        url.setAuthority(configured, QUrl::StrictMode);
        if (url.isValid() && !url.host().isEmpty() && url.userInfo().isEmpty())
            return url;
        url.setAuthority(QString());
    }
    url.setHost(QStringLiteral(KESTRUNE_DEFAULT_SERVICE_HOST));
    return url;
}
}  // namespace

QString serviceHost()
{
    return endpoint().host();
}

QString serviceAuthority()
{
    return endpoint().authority();
}

}  // namespace platform

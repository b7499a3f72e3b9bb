#include "platform/ExtraCertificates.h"

#include <QFile>
#include <QSslCertificate>
#include <QSslConfiguration>

namespace platform {

bool installExtraCaCertificates(QString* problem)
{
    const QString path = qEnvironmentVariable("KESTRUNE_CA_FILE");
    if (path.isEmpty())
        return true;
    const auto fail = [problem](const QString& text) {
        if (problem)
            *problem = text;
        return false;
    };
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return fail(QStringLiteral("cannot be read: ") + file.errorString());
    const QList<QSslCertificate> extra = QSslCertificate::fromDevice(&file, QSsl::Pem);
    if (extra.isEmpty())
        return fail(file.error() != QFileDevice::NoError ? QStringLiteral("cannot be read: ") + file.errorString()
                                                         : QStringLiteral("holds no certificate"));
    QSslConfiguration config = QSslConfiguration::defaultConfiguration();
    QList<QSslCertificate> cas = config.caCertificates();
    // An empty list means the system's CAs are loaded on demand, which setting a list turns off: keep them listed.
    if (cas.isEmpty())
        cas = QSslConfiguration::systemCaCertificates();
    for (const QSslCertificate& certificate : extra) {
        if (!certificate.isNull() && !cas.contains(certificate))
            cas.append(certificate);
    }
    config.setCaCertificates(cas);
    QSslConfiguration::setDefaultConfiguration(config);
    return true;
}

}  // namespace platform

#include "platform/MachineIdentifier.h"

#include <QCryptographicHash>
#include <QDir>
#include <QFile>
#include <QSysInfo>

namespace platform {

namespace {
QByteArray hexDigest(const QByteArray& data)
{
    return QCryptographicHash::hash(data, QCryptographicHash::Sha256).toHex().left(32);
}

QByteArray rawMachineId()
{
    QFile file(QStringLiteral("/etc/machine-id"));
    if (file.open(QIODevice::ReadOnly)) {
        const QByteArray id = file.readLine(256).trimmed();
        if (!id.isEmpty())
            return id;
    }
    return QSysInfo::machineUniqueId();
}

QByteArray baseIdentifier()
{
    const QByteArray configured = qgetenv("KESTRUNE_MACHINE_ID");
    if (!configured.isEmpty())
        return configured;
    // The raw id is not sent anywhere: only a digest specific to this program.
    return hexDigest("Kestrune machine\n" + rawMachineId());
}
}  // namespace

std::string machineIdentifier(const QString& installFolder)
{
    const QByteArray base = baseIdentifier();
    if (installFolder.isEmpty())
        return base.toStdString();
    return hexDigest(base + '\n' + QDir::cleanPath(installFolder).toUtf8()).toStdString();
}

}  // namespace platform

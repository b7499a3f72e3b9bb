#include "platform/Wow64Process.h"

#include <QByteArray>
#include <QString>
#include <QSysInfo>

namespace platform {

bool isWow64Process()
{
    const QByteArray configured = qgetenv("KESTRUNE_WOW64");
    if (configured == "0")
        return false;
    if (configured == "1")
        return true;
    return QSysInfo::currentCpuArchitecture().contains(QLatin1String("64"));
}

}  // namespace platform

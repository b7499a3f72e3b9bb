#include "platform/SystemArchitecture.h"

#include <QByteArray>
#include <QString>
#include <QSysInfo>
#include <QtGlobal>

namespace platform {

bool isWow64()
{
    const QByteArray forced = qgetenv("KESTRUNE_WOW64").trimmed();
    if (forced == "1")
        return true;
    if (forced == "0")
        return false;
    return QSysInfo::currentCpuArchitecture().contains(QLatin1String("64"));
}

}  // namespace platform

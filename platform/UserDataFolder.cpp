#include "platform/UserDataFolder.h"

#include <QDir>
#include <QProcessEnvironment>

namespace platform {

QString userDataBase()
{
    const QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    QString base = env.value(QStringLiteral("APPDATA"));
    if (base.isEmpty())
        base = env.value(QStringLiteral("XDG_DATA_HOME"));
    if (base.isEmpty())
        base = QDir::homePath() + QStringLiteral("/.local/share");
    while (base.size() > 1 && base.endsWith(QLatin1Char('/')))
        base.chop(1);
    return base;
}

}  // namespace platform

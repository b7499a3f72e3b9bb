#include "platform/ShellOpen.h"

#include <QDesktopServices>
#include <QFileInfo>
#include <QProcess>
#include <QUrl>

namespace platform {

bool shellOpen(const QString& path)
{
    const QString launcher = QString::fromLocal8Bit(qgetenv("KESTRUNE_SHELL_OPEN"));
    if (!launcher.isEmpty())
        return QProcess::startDetached(launcher, {path});

    const QFileInfo file(path);
    if (!file.exists())
        return false;
    if (file.isFile() && file.isExecutable())
        return QProcess::startDetached(file.absoluteFilePath(), {}, file.absolutePath());
    return QDesktopServices::openUrl(QUrl::fromLocalFile(file.absoluteFilePath()));
}

}  // namespace platform

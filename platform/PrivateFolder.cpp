#include "platform/PrivateFolder.h"

#include <QDir>
#include <QFile>

#include <cerrno>
#include <cstring>
#include <sys/stat.h>
#include <unistd.h>

namespace platform {

namespace {
bool fail(QString* error, const QString& text)
{
    if (error)
        *error = text;
    return false;
}
}  // namespace

bool ensurePrivateFolder(const QString& path, QString* error, uid_t owner)
{
    if (owner == static_cast<uid_t>(-1))
        owner = geteuid();
    const QByteArray native = QFile::encodeName(path);
    if (native.isEmpty())
        return fail(error, QStringLiteral("no folder given"));
    if (::mkdir(native.constData(), 0700) != 0 && errno != EEXIST)
        return fail(error, QStringLiteral("cannot create %1: %2").arg(path, QString::fromLocal8Bit(std::strerror(errno))));

    struct stat info {};
    if (::lstat(native.constData(), &info) != 0)
        return fail(error, QStringLiteral("cannot examine %1: %2").arg(path, QString::fromLocal8Bit(std::strerror(errno))));
    if (S_ISLNK(info.st_mode))
        return fail(error, QStringLiteral("%1 is a symbolic link").arg(path));
    if (!S_ISDIR(info.st_mode))
        return fail(error, QStringLiteral("%1 is not a folder").arg(path));
    if (info.st_uid != owner)
        return fail(error, QStringLiteral("%1 belongs to another user").arg(path));
    if ((info.st_mode & 077) != 0 && ::chmod(native.constData(), 0700) != 0)
        return fail(error, QStringLiteral("cannot restrict %1: %2").arg(path, QString::fromLocal8Bit(std::strerror(errno))));
    return true;
}

QString installerCacheFolderPath()
{
    return QDir::tempPath() + QStringLiteral("/Kestrune-") + QString::number(geteuid());
}

}  // namespace platform

#include "platform/FileSync.h"

#include <QFile>

#include <cerrno>
#include <cstdio>
#include <fcntl.h>
#include <unistd.h>

namespace platform {

namespace {

// Opens the folder at path, applies call to its descriptor and closes it; true when call returned 0.
bool onFolder(const QString& path, int (*call)(int))
{
    int fd;
    do
        fd = ::open(QFile::encodeName(path).constData(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    while (fd < 0 && errno == EINTR);
    if (fd < 0)
        return false;
    const bool ok = call(fd) == 0;
    ::close(fd);
    return ok;
}

}  // namespace

bool syncFileSystem(const QString& path)
{
    return onFolder(path, ::syncfs);
}

bool syncFolder(const QString& path)
{
    return onFolder(path, ::fsync);
}

bool exchangePaths(const QString& a, const QString& b)
{
    return ::renameat2(AT_FDCWD, QFile::encodeName(a).constData(), AT_FDCWD, QFile::encodeName(b).constData(),
                       RENAME_EXCHANGE) == 0;
}

}  // namespace platform

#include "platform/FileTimes.h"

#include <QFile>

#include <fcntl.h>
#include <sys/stat.h>

namespace platform {

bool setFileModificationTime(const QString& path, const QDateTime& time)
{
    if (path.isEmpty())
        return true;
    if (!time.isValid())
        return false;
    const qint64 ms = time.toMSecsSinceEpoch();
    qint64 seconds = ms / 1000;
    qint64 rest = ms % 1000;
    if (rest < 0) {
        rest += 1000;
        --seconds;
    }
    struct timespec times[2];
    times[0].tv_sec = 0;
    times[0].tv_nsec = UTIME_OMIT;
    times[1].tv_sec = time_t(seconds);
    times[1].tv_nsec = long(rest * 1000000);
    return utimensat(AT_FDCWD, QFile::encodeName(path).constData(), times, 0) == 0;
}

}  // namespace platform

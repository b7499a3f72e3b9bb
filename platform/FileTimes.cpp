#include "platform/FileTimes.h"

#include <QFile>

#include <fcntl.h>
#include <sys/stat.h>

namespace platform {

namespace {

// The access time is left alone; the modification time keeps its milliseconds.
bool toTimes(const QDateTime& time, struct timespec (&times)[2])
{
    if (!time.isValid())
        return false;
    const qint64 ms = time.toMSecsSinceEpoch();
    qint64 seconds = ms / 1000;
    qint64 rest = ms % 1000;
    if (rest < 0) {
        rest += 1000;
        --seconds;
    }
    times[0].tv_sec = 0;
    times[0].tv_nsec = UTIME_OMIT;
    times[1].tv_sec = time_t(seconds);
    times[1].tv_nsec = long(rest * 1000000);
    return true;
}

}  // namespace

bool setFileModificationTime(const QString& path, const QDateTime& time)
{
    if (path.isEmpty())
        return true;
    struct timespec times[2];
    return toTimes(time, times) && utimensat(AT_FDCWD, QFile::encodeName(path).constData(), times, 0) == 0;
}

bool setFileModificationTime(int fd, const QDateTime& time)
{
    struct timespec times[2];
    return toTimes(time, times) && futimens(fd, times) == 0;
}

}  // namespace platform

#include "platform/StagedFile.h"

#include "platform/FileTimes.h"

#include <QFile>
#include <QRandomGenerator>

#include <cerrno>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace platform {

StagedFile::StagedFile(const QString& target) : target_(target), encodedTarget_(QFile::encodeName(target)) {}

StagedFile::~StagedFile()
{
    discard();
}

bool StagedFile::open(OpenMode mode)
{
    if (fd_ >= 0 || (mode & ReadOnly) || !(mode & WriteOnly))
        return false;
    // An existing target keeps its permissions, and one we may not write is refused as a direct write would be.
    struct stat existing;
    const bool exists = ::stat(encodedTarget_.constData(), &existing) == 0;
    if (exists && ::access(encodedTarget_.constData(), W_OK) != 0)
        return false;
    // ".<name>.<random>" in the target's folder, so the rename stays within one file system; the name is cut
    // so that a target name of the longest length still leaves room for the rest.
    const int slash = encodedTarget_.lastIndexOf('/');
    const QByteArray folder = encodedTarget_.left(slash + 1);
    const QByteArray name = encodedTarget_.mid(slash + 1).left(200);
    for (int attempt = 0; attempt < 16; ++attempt) {
        const QByteArray candidate = folder + '.' + name + '.' +
                                     QByteArray::number(QRandomGenerator::global()->generate(), 36);
        int fd;
        do
            fd = ::open(candidate.constData(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
        while (fd < 0 && errno == EINTR);
        if (fd >= 0) {
            if (exists)
                ::fchmod(fd, existing.st_mode & 07777);
            fd_ = fd;
            temporary_ = candidate;
            timeSet_ = false;
            return QIODevice::open(WriteOnly | Unbuffered);
        }
        if (errno != EEXIST)
            return false;
    }
    return false;
}

qint64 StagedFile::writeData(const char* data, qint64 size)
{
    qint64 done = 0;
    while (done < size) {
        const ssize_t n = ::write(fd_, data + done, size_t(size - done));
        if (n < 0) {
            if (errno == EINTR)
                continue;
            return done > 0 ? done : -1;
        }
        done += n;
    }
    return done;
}

bool StagedFile::commit(const QDateTime& modified)
{
    if (fd_ < 0)
        return false;
    timeSet_ = setFileModificationTime(fd_, modified);  // false for an invalid time
    const bool closed = ::close(fd_) == 0;  // reports a write error that only shows at close
    fd_ = -1;
    QIODevice::close();
    if (!closed || ::rename(temporary_.constData(), encodedTarget_.constData()) != 0) {
        discard();
        return false;
    }
    temporary_.clear();
    return true;
}

void StagedFile::discard()
{
    if (fd_ >= 0) {
        ::close(fd_);
        fd_ = -1;
    }
    if (!temporary_.isEmpty()) {
        ::unlink(temporary_.constData());
        temporary_.clear();
    }
    if (isOpen())
        QIODevice::close();
}

}  // namespace platform

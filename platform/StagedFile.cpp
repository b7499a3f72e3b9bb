#include "platform/StagedFile.h"

#include "platform/FileTimes.h"

#include <QFile>
#include <QRandomGenerator>

#include <cerrno>
#include <climits>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace platform {

StagedFile::StagedFile(const QString& target) : target_(target), encodedTarget_(QFile::encodeName(target)) {}

StagedFile::~StagedFile()
{
    discard();
}

namespace {

// Temporary files are ".staged~" and 16 lowercase hexadecimal digits: short, plain ASCII whatever the target's
// name, and told apart from the files they replace.
const char TemporaryPrefix[] = ".staged~";
constexpr int TemporaryPrefixLength = sizeof(TemporaryPrefix) - 1;
constexpr int TemporaryDigits = 16;

// Where earlier versions cut the target's name in the names of their temporary files, in bytes.
constexpr int EarlierNameBytes = 200;

bool isValidUtf8(const QByteArray& bytes)
{
    return QString::fromUtf8(bytes).toUtf8() == bytes;
}

// True when cut is valid UTF-8 but for its last character, which lacks one to three of its bytes: some completion
// of them (the second byte of a character is what limits the choice) makes the whole valid.
bool isCutInsideACharacter(const QByteArray& cut)
{
    for (int missing = 1; missing <= 3; ++missing)
        for (const char filler : {'\x80', '\x90', '\xa0'})
            if (isValidUtf8(cut + QByteArray(missing, filler)))
                return true;
    return false;
}

// The longest file name the file system of folder (empty: the current folder) holds, in bytes.
long nameLimit(const QByteArray& folder)
{
    const long limit = ::pathconf(folder.isEmpty() ? "." : folder.constData(), _PC_NAME_MAX);
    return limit > 0 ? limit : NAME_MAX;
}

}  // namespace

bool StagedFile::isTemporaryName(const QString& fileName)
{
    if (fileName.size() != TemporaryPrefixLength + TemporaryDigits ||
        !fileName.startsWith(QLatin1String(TemporaryPrefix)))
        return false;
    for (int i = TemporaryPrefixLength; i < fileName.size(); ++i) {
        const ushort c = fileName.at(i).unicode();
        if (!((c >= '0' && c <= '9') || (c >= 'a' && c <= 'f')))
            return false;
    }
    return true;
}

bool StagedFile::isLeftoverName(const QByteArray& encodedName)
{
    if (isValidUtf8(encodedName))
        return isTemporaryName(QString::fromUtf8(encodedName));
    // Earlier versions named a temporary "." + the target's name cut at EarlierNameBytes + "." + a random 32-bit
    // number in base 36. The target's name was valid UTF-8, so only a cut inside a character made it invalid.
    constexpr int dot = 1 + EarlierNameBytes;
    const int digits = encodedName.size() - dot - 1;
    if (digits < 1 || digits > 7 || !encodedName.startsWith('.') || encodedName.at(dot) != '.')
        return false;
    const QByteArray number = encodedName.mid(dot + 1);
    for (const char c : number)
        if (!((c >= '0' && c <= '9') || (c >= 'a' && c <= 'z')))
            return false;
    bool ok = false;
    if ((number.size() > 1 && number.startsWith('0')) || number.toULongLong(&ok, 36) > 0xffffffffu || !ok)
        return false;
    return isCutInsideACharacter(encodedName.mid(1, EarlierNameBytes));
}

bool StagedFile::open(OpenMode mode)
{
    if (fd_ >= 0 || (mode & ReadOnly) || !(mode & WriteOnly))
        return false;
    const int slash = encodedTarget_.lastIndexOf('/');
    const QByteArray folder = encodedTarget_.left(slash + 1);
    if (encodedTarget_.size() - (slash + 1) > nameLimit(folder))
        return false;  // the rename could never succeed: refused before anything is written
    // The target is examined as the rename will treat it: a link is replaced, not written through, so it has no
    // mode to keep and only the folder (where the temporary file is made) must be writable. Any other existing
    // target keeps its permission bits, and one we may not write is refused as a direct write would be.
    struct stat existing;
    const bool keepMode = ::lstat(encodedTarget_.constData(), &existing) == 0 && !S_ISLNK(existing.st_mode);
    if (keepMode && ::access(encodedTarget_.constData(), W_OK) != 0)
        return false;
    // In the target's folder, so that the rename stays within one file system.
    for (int attempt = 0; attempt < 16; ++attempt) {
        const QByteArray candidate =
            folder + TemporaryPrefix +
            QByteArray::number(QRandomGenerator::global()->generate64(), 16).rightJustified(TemporaryDigits, '0');
        int fd;
        do
            fd = ::open(candidate.constData(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
        while (fd < 0 && errno == EINTR);
        if (fd >= 0) {
            if (keepMode)
                ::fchmod(fd, existing.st_mode & 0777);  // never the set-user-ID or set-group-ID bit
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

#include "platform/StagedFolder.h"

#include "platform/FileSync.h"
#include "platform/StagedFile.h"

#include <QFile>

#include <cerrno>
#include <cstdio>
#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>

namespace platform {

namespace {

bool lexists(const QByteArray& path)
{
    struct stat st;
    return ::lstat(path.constData(), &st) == 0;
}

// True when path names nothing or a folder (not a link to one).
bool isFolderOrMissing(const QByteArray& path)
{
    struct stat st;
    return ::lstat(path.constData(), &st) == 0 ? S_ISDIR(st.st_mode) : errno == ENOENT;
}

QByteArray parentOf(const QByteArray& path)
{
    const int slash = path.lastIndexOf('/');
    return slash > 0 ? path.left(slash) : QByteArray(slash == 0 ? "/" : ".");
}

// The names in the folder at path, without "." and ".."; false when it cannot be read.
bool listFolder(const QByteArray& path, std::vector<QByteArray>& names)
{
    DIR* dir = ::opendir(path.constData());
    if (!dir)
        return false;
    errno = 0;
    while (const dirent* entry = ::readdir(dir)) {
        const QByteArray name(entry->d_name);
        if (name != "." && name != "..")
            names.push_back(name);
    }
    const bool ok = errno == 0;
    ::closedir(dir);
    return ok;
}

// Removes a file, a symbolic link (not what it points to) or a folder tree; true when nothing is left. A folder
// of the tree that its owner may not change is made writable first, as it goes anyway.
bool removeTree(const QByteArray& path)
{
    struct stat st;
    if (::lstat(path.constData(), &st) != 0)
        return errno == ENOENT;
    if (!S_ISDIR(st.st_mode))
        return ::unlink(path.constData()) == 0;
    if ((st.st_mode & S_IRWXU) != S_IRWXU)
        ::chmod(path.constData(), (st.st_mode & 07777) | S_IRWXU);
    std::vector<QByteArray> names;
    bool ok = listFolder(path, names);
    for (const QByteArray& name : names)
        ok = removeTree(path + '/' + name) && ok;
    return ok && ::rmdir(path.constData()) == 0;
}

// The text of the symbolic link at path, read whole however long it is.
bool readLink(const QByteArray& path, QByteArray& text)
{
    for (std::size_t size = 256;; size *= 2) {
        std::vector<char> buffer(size);
        const ssize_t n = ::readlink(path.constData(), buffer.data(), size);
        if (n < 0)
            return false;
        if (std::size_t(n) < size) {
            text = QByteArray(buffer.data(), int(n));
            return true;
        }
    }
}

// Copies a regular file's data, mode and times into the new file to; nothing is flushed.
bool copyFile(const QByteArray& from, const QByteArray& to, const struct stat& st)
{
    int in;
    do
        in = ::open(from.constData(), O_RDONLY | O_NOFOLLOW | O_CLOEXEC);
    while (in < 0 && errno == EINTR);
    if (in < 0)
        return false;
    int out;
    do
        out = ::open(to.constData(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0600);
    while (out < 0 && errno == EINTR);
    bool ok = out >= 0;
    std::vector<char> buffer(ok ? 65536 : 0);
    while (ok) {
        const ssize_t n = ::read(in, buffer.data(), buffer.size());
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0) {
            ok = n == 0;
            break;
        }
        for (ssize_t done = 0; ok && done < n;) {
            const ssize_t w = ::write(out, buffer.data() + done, size_t(n - done));
            if (w < 0 && errno == EINTR)
                continue;
            ok = w > 0;
            done += ok ? w : 0;
        }
    }
    ::close(in);
    if (out < 0)
        return false;
    const struct timespec times[2] = {st.st_atim, st.st_mtim};
    ok = ok && ::fchmod(out, st.st_mode & 07777) == 0 && ::futimens(out, times) == 0;
    ok = ::close(out) == 0 && ok;
    if (!ok)
        ::unlink(to.constData());
    return ok;
}

}  // namespace

bool StagedFolder::Calls::exchange(const QByteArray& a, const QByteArray& b)
{
    return exchangePaths(QFile::decodeName(a), QFile::decodeName(b));
}

bool StagedFolder::Calls::rename(const QByteArray& from, const QByteArray& to)
{
    return ::rename(from.constData(), to.constData()) == 0;
}

bool StagedFolder::Calls::link(const QByteArray& existing, const QByteArray& created)
{
    return ::link(existing.constData(), created.constData()) == 0;
}

bool StagedFolder::Calls::sync(const QByteArray& path)
{
    return syncFileSystem(QFile::decodeName(path));
}

StagedFolder::StagedFolder(const QString& target, const QString& staging, const QString& setAside, Calls* calls)
    : target_(target), staging_(staging), setAside_(setAside), encodedTarget_(QFile::encodeName(target)),
      encodedStaging_(QFile::encodeName(staging)), encodedSetAside_(QFile::encodeName(setAside)),
      calls_(calls ? calls : &defaultCalls_)
{
}

StagedFolder::~StagedFolder()
{
    if (staged_)
        discard();
}

bool StagedFolder::recover()
{
    if (!lexists(encodedSetAside_))
        return true;
    // Only folders are ever set aside: anything else there is not ours to remove or to put in place.
    if (!isFolderOrMissing(encodedSetAside_))
        return false;
    if (lexists(encodedTarget_))
        return removeTree(encodedSetAside_);  // the swap had finished; this is the previous folder
    return calls_->rename(encodedSetAside_, encodedTarget_);
}

bool StagedFolder::stage()
{
    // Whatever is at the target when it is not a folder stays: it would go in the swap.
    if (!recover() || !isFolderOrMissing(encodedTarget_) || !removeTree(encodedStaging_))
        return false;
    for (const QByteArray& parent : {parentOf(encodedStaging_), parentOf(encodedSetAside_)})
        if (::mkdir(parent.constData(), 0777) != 0 && errno != EEXIST)
            return false;
    struct stat st;
    const bool copyTarget = ::lstat(encodedTarget_.constData(), &st) == 0 && S_ISDIR(st.st_mode);
    staged_ = copyTarget ? copyEntry(encodedTarget_, encodedStaging_) : ::mkdir(encodedStaging_.constData(), 0777) == 0;
    if (!staged_) {
        removeTree(encodedStaging_);
        removeEmptyParents();
    }
    return staged_;
}

// The one place each entry of the target passes, the target itself first: what the copy leaves out is decided here.
bool StagedFolder::copyEntry(const QByteArray& from, const QByteArray& to)
{
    struct stat st;
    if (::lstat(from.constData(), &st) != 0)
        return false;
    // A staged file that a killed run left behind is not part of the folder.
    if (S_ISREG(st.st_mode) && StagedFile::isLeftoverName(from.mid(from.lastIndexOf('/') + 1)))
        return true;
    if (S_ISLNK(st.st_mode)) {
        QByteArray text;
        return readLink(from, text) && ::symlink(text.constData(), to.constData()) == 0;
    }
    if (S_ISDIR(st.st_mode)) {
        // Filled while only its owner may enter it; its own mode comes last, so a read-only folder still fills.
        return ::mkdir(to.constData(), 0700) == 0 && copyFolder(from, to) &&
               ::chmod(to.constData(), st.st_mode & 07777) == 0;
    }
    if (S_ISREG(st.st_mode))  // a staged file replaces its target by a rename, so the live file is never written
        return calls_->link(from, to) || copyFile(from, to, st);
    return true;
}

bool StagedFolder::copyFolder(const QByteArray& from, const QByteArray& to)
{
    std::vector<QByteArray> names;
    if (!listFolder(from, names))
        return false;
    for (const QByteArray& name : names)
        if (!copyEntry(from + '/' + name, to + '/' + name))
            return false;
    return true;
}

bool StagedFolder::commit()
{
    if (!staged_)
        return false;
    // One flush for the whole copy, so that after a power cut the target is the old or the new folder, never a
    // part of the new one.
    const bool swapped = calls_->sync(encodedStaging_) && swapIn();
    if (!swapped)
        discard();
    return swapped;
}

bool StagedFolder::swapIn()
{
    const bool hadTarget = lexists(encodedTarget_);
    if (hadTarget && calls_->exchange(encodedStaging_, encodedTarget_)) {
        syncFolder(QFile::decodeName(parentOf(encodedTarget_)));
        syncFolder(QFile::decodeName(parentOf(encodedStaging_)));
        discard();  // now the previous folder
        return true;
    }
    // Where the file system cannot exchange the two: the previous folder is set aside, then replaced. A run
    // killed in between leaves the set-aside folder for recover.
    if (hadTarget && !calls_->rename(encodedTarget_, encodedSetAside_))
        return false;
    if (!calls_->rename(encodedStaging_, encodedTarget_)) {
        if (hadTarget)
            calls_->rename(encodedSetAside_, encodedTarget_);  // when this fails too, recover puts it back
        return false;
    }
    staged_ = false;
    syncFolder(QFile::decodeName(parentOf(encodedTarget_)));
    removeTree(encodedSetAside_);
    removeEmptyParents();
    return true;
}

void StagedFolder::discard()
{
    removeTree(encodedStaging_);
    staged_ = false;
    removeEmptyParents();
}

void StagedFolder::removeEmptyParents()
{
    const QByteArray own = parentOf(encodedTarget_);
    for (const QByteArray& parent : {parentOf(encodedStaging_), parentOf(encodedSetAside_)})
        if (parent != own)
            ::rmdir(parent.constData());  // fails, harmlessly, while anything is in it
}

}  // namespace platform

#pragma once
// A file written under a temporary name beside its target and renamed over the target only on commit, so that
// an existing target stays whole until then. Nothing is flushed to disk: a caller that needs the data to survive
// a power cut flushes once for many files (platform/FileSync.h).

#include <QDateTime>
#include <QIODevice>
#include <QString>

namespace platform {

class StagedFile : public QIODevice {
public:
    explicit StagedFile(const QString& target);
    ~StagedFile() override;  // discards an uncommitted file

    // Creates the temporary file and opens this device write-only. The file gets the existing target's
    // permission bits without its set-user-ID and set-group-ID bits, or those new files get; an existing target
    // this process may not write is refused. A symbolic link at the target is not followed: the link itself is
    // replaced, so only the folder needs to be writable, and the new file gets the mode of a new file. A target
    // name longer than its folder's file system holds is refused.
    bool open(OpenMode mode) override;
    // Sets the modification time when it is valid (a failure there is reported by timeSet), closes the
    // temporary file and renames it over the target; on failure the temporary file is removed.
    bool commit(const QDateTime& modified);
    // Removes the temporary file; the target is left as it was.
    void discard();
    void close() override { discard(); }  // closing without a commit discards

    bool isSequential() const override { return true; }
    bool timeSet() const { return timeSet_; }
    QString target() const { return target_; }

    // True exactly for the names open() gives its temporary files, so that those a killed process left behind
    // can be found and removed.
    static bool isTemporaryName(const QString& fileName);
    // True for those and for the names earlier versions gave their temporary files where they are not valid
    // UTF-8, which no clean-up through Qt could remove: ".<target's name cut at 200 bytes inside a character>.
    // <32-bit base-36 number>". No other name that is not valid UTF-8, such as a user's Latin-1 file, is one.
    static bool isLeftoverName(const QByteArray& encodedName);

protected:
    qint64 readData(char*, qint64) override { return -1; }
    qint64 writeData(const char* data, qint64 size) override;

private:
    QString target_;
    QByteArray encodedTarget_;
    QByteArray temporary_;  // encoded path of the temporary file while it exists
    int fd_ = -1;
    bool timeSet_ = false;
};

}  // namespace platform

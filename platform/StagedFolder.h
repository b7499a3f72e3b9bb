#pragma once
// A folder that is replaced whole: the existing folder is copied into a staging folder, the caller fills the copy,
// and commit swaps it in, so that the target names the complete old or the complete new folder at every moment,
// also after a power cut or a killed run.

#include <QByteArray>
#include <QString>

namespace platform {

class StagedFolder {
public:
    // The calls that may be refused on the way; tests replace them to take the roads the local file system
    // does not take (no exchange, no hard links) or to stop between two renames. Each returns true on success
    // and leaves errno set on failure.
    class Calls {
    public:
        virtual ~Calls() = default;
        virtual bool exchange(const QByteArray& a, const QByteArray& b);  // swaps two existing paths in one step
        virtual bool rename(const QByteArray& from, const QByteArray& to);
        virtual bool link(const QByteArray& existing, const QByteArray& created);  // a hard link
        virtual bool sync(const QByteArray& path);  // flushes the file system holding path
    };

    // target: the folder replaced; staging: where its copy is filled; setAside: where the previous folder waits
    // while a swap by two renames is under way. All three lie on one file system; the folders holding staging
    // and setAside are made when missing and removed again when left empty. calls, when given, must outlive
    // this object.
    StagedFolder(const QString& target, const QString& staging, const QString& setAside, Calls* calls = nullptr);
    ~StagedFolder();  // discards an uncommitted staging folder
    StagedFolder(const StagedFolder&) = delete;
    StagedFolder& operator=(const StagedFolder&) = delete;

    // Finishes or undoes a swap a killed run left half done: a set-aside folder without its target is put back,
    // one beside its target (the swap had finished) is removed. False when that could not be done, and when
    // something that is not a folder is at the set-aside path: it is left where it is.
    bool recover();
    // Recovers, then makes a fresh staging folder holding the target folder as it stands: folders and files
    // with their modes, regular files as hard links (else as unflushed copies with their times), symbolic links
    // as themselves; anything else, and temporary files a killed writer left, is left out. False, with nothing
    // staged, on any failure, and when something that is not a folder (a file, a link) is at the target, which
    // is thus never replaced. Since a file of the copy may be the target's own, the caller replaces files by a
    // rename and never writes into one in place.
    bool stage();
    QString path() const { return staging_; }

    // Flushes the file system once, swaps the staging folder in (the previous folder is then removed). On
    // failure the target is left as it was and the staging folder removed.
    bool commit();
    // Removes the staging folder; the target is left as it was.
    void discard();

private:
    bool copyEntry(const QByteArray& from, const QByteArray& to);
    bool copyFolder(const QByteArray& from, const QByteArray& to);
    bool swapIn();
    void removeEmptyParents();

    QString target_;
    QString staging_;
    QString setAside_;
    QByteArray encodedTarget_;
    QByteArray encodedStaging_;
    QByteArray encodedSetAside_;
    Calls defaultCalls_;
    Calls* calls_;
    bool staged_ = false;
};

}  // namespace platform

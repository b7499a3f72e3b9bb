#pragma once
// Writes zip archives (stored and deflated entries) into a file or a caller's device. Never throws: every
// operation returns its code; messages go to the Qt debug log.

#include <QFlags>
#include <QString>

class QIODevice;
class ZipPrivate;

class Zip {
public:
    enum ErrorCode {
        Ok = 0,
        CompressorInitFailed = 2,
        ArchiveExists = 3,
        CannotOpen = 4,
        NoArchiveOpen = 5,
        SourceNotFound = 6,
        ReadError = 7,
        WriteError = 8,
        SeekError = 9,
    };

    enum CompressionLevel {
        Store = 0,
        Deflate1 = 1,
        Deflate2,
        Deflate3,
        Deflate4,
        Deflate5,
        Deflate6,
        Deflate7,
        Deflate8,
        Deflate9,
        AutoFixed = 10,          // level 5
        AutoByExtension = 11,    // level from the file's suffix
        AutoByExtensionAll = 12, // same as AutoByExtension
    };

    enum AddOption {
        KeepRelativePaths = 0x01,
        KeepAbsolutePaths = 0x02,
        FlattenPaths = 0x04,
        OmitTopDirectory = 0x08,
        ContinueOnError = 0x20,
        SkipDuplicates = 0x40,
    };
    Q_DECLARE_FLAGS(AddOptions, AddOption)

    Zip();
    virtual ~Zip();
    Zip(const Zip&) = delete;
    Zip& operator=(const Zip&) = delete;

    // Creates (or with overwrite truncates) the archive file.
    ErrorCode createArchive(const QString& fileName, bool overwrite);
    // Writes into a caller's device (opened for writing when it is not open; must be seekable).
    ErrorCode createArchive(QIODevice* device);

    // Adds a file or directory tree with an empty root and KeepRelativePaths.
    ErrorCode addFile(const QString& path, CompressionLevel level);
    // A listed file becomes the entry root + its file name; options shape the names of directory trees.
    ErrorCode addFile(const QString& path, const QString& root, AddOptions options, CompressionLevel level);

    // Writes the central directory and the end record.
    ErrorCode closeArchive();

    // Entries added from now on are encrypted with the traditional scheme when the password is not empty.
    void setPassword(const QString& password);

private:
    ZipPrivate* d;
};

Q_DECLARE_OPERATORS_FOR_FLAGS(Zip::AddOptions)

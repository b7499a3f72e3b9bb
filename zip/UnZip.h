#pragma once
// Reads zip archives from a file or a device and extracts their stored and deflated entries, verifying each
// entry's CRC-32 and decrypting traditionally encrypted entries with the reader's password (empty by default).
// Never throws: every operation returns its code; messages go to the Qt debug log.

#include <QDir>
#include <QFlags>
#include <QString>

class QIODevice;
class UnzipPrivate;

class UnZip {
public:
    enum ErrorCode {
        Ok = 0,
        DecompressorError = 2,
        CannotOpen = 3,
        PartlyCorrupted = 4,
        Corrupted = 5,
        NoArchiveOpen = 7,
        ArchiveNotFound = 8,
        ReadError = 9,
        WriteError = 10,
        SeekError = 11,
        CannotCreateDirectory = 12,
        InvalidDevice = 13,
        InvalidArchive = 14,
        HeaderMismatch = 15,
        WrongPassword = 16,
        SkipAllEncrypted = 17,
    };

    enum ExtractionOption {
        KeepEntryPaths = 0x01,     // entry folders are recreated (the default behaviour)
        FlattenEntryPaths = 0x02,  // every file goes straight into the target directory
        CheckOnly = 0x04,          // decompress and verify without writing anything
        TargetMustExist = 0x08,    // the target directory of a file is not created first
    };
    Q_DECLARE_FLAGS(ExtractionOptions, ExtractionOption)

    UnZip();
    virtual ~UnZip();
    UnZip(const UnZip&) = delete;
    UnZip& operator=(const UnZip&) = delete;

    ErrorCode openArchive(const QString& fileName);
    // The device is opened for reading when it is not open; it stays the caller's.
    ErrorCode openArchive(QIODevice* device);

    ErrorCode extractAll(const QString& dirPath, ExtractionOptions options);
    ErrorCode extractAll(const QDir& dir, ExtractionOptions options);

    // Password for encrypted entries (empty unless set).
    void setPassword(const QString& password);

private:
    UnzipPrivate* d;
};

Q_DECLARE_OPERATORS_FOR_FLAGS(UnZip::ExtractionOptions)

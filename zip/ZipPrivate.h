#pragma once
// Internals of Zip: the open archive device, the entries written so far and the block buffers.

#include <QFileInfo>
#include <QObject>
#include <QString>
#include <QStringList>

#include <map>
#include <memory>
#include <random>

#include "zip/Zip.h"
#include "zip/ZipEntryP.h"

class QFile;
class QIODevice;
class ZipKeys;

class ZipPrivate : public QObject {
    Q_OBJECT
public:
    using EntryMap = std::map<QString, std::unique_ptr<ZipEntryP>>;
    static constexpr qint64 BufferSize = 262144;

    ZipPrivate();
    ~ZipPrivate() override;

    Zip::ErrorCode createArchive(QIODevice* device);
    Zip::ErrorCode addFiles(const QStringList& paths, const QString& root, Zip::AddOptions options,
                            Zip::CompressionLevel level, int* addedFiles);
    Zip::ErrorCode closeArchive();  // Zip::closeArchive
    Zip::ErrorCode do_closeArchive();
    void reset();

    static int levelForExtension(const QString& suffix);

    std::unique_ptr<EntryMap> headers;  // null when no archive is open
    QIODevice* device = nullptr;
    QFile* file = nullptr;              // the archive file this writer created and owns
    QString comment;
    QString password;

public slots:
    void deviceDestroyed(QObject*);

private:
    Zip::ErrorCode addDirectory(const QString& path, const QString& root, Zip::AddOptions options,
                                Zip::CompressionLevel level, int depth, int* addedFiles);
    Zip::ErrorCode createEntry(const QFileInfo& file, const QString& root, Zip::CompressionLevel level);
    Zip::ErrorCode deflateFile(const QFileInfo& file, quint32& crc, qint64& read, qint64& written, int level,
                               ZipKeys* keys);
    Zip::ErrorCode storeFile(QIODevice& source, quint32& crc, qint64& read, qint64& written, ZipKeys* keys);
    Zip::ErrorCode compressFile(const QString& path, QIODevice& source, quint32& crc, qint64& read,
                                qint64& written, int level, ZipKeys* keys);
    Zip::ErrorCode writeEncryptionHeader(ZipKeys& keys, quint16 dosTime);
    Zip::ErrorCode writeCentralDirectoryRecord(const QString& name, const ZipEntryP& entry, qint64& cdSize);
    Zip::ErrorCode writeEndOfCentralDirectory(qint64 cdOffset, qint64 cdSize);
    bool containsSourceFile(const QFileInfo& file) const;
    bool writeAll(const char* data, qint64 size);
    void disconnectDevice();
    static QString parentDirectory(const QString& path);

    std::unique_ptr<char[]> buffer1;  // source data and headers
    std::unique_ptr<char[]> buffer2;  // deflate output
    uchar* uBuffer;                   // unsigned view of buffer1
    std::mt19937 random;              // encryption header bytes
};

#pragma once
// Internals of UnZip: the open archive device, its entry list and the block buffers.

#include <QDateTime>
#include <QDir>
#include <QObject>
#include <QString>

#include <map>
#include <memory>

#include "zip/UnZip.h"
#include "zip/ZipEntryP.h"

class QFile;
class QIODevice;
class ZipKeys;

class UnzipPrivate : public QObject {
    Q_OBJECT
public:
    using EntryMap = std::map<QString, std::unique_ptr<ZipEntryP>>;
    static constexpr qint64 BufferSize = 262144;

    UnzipPrivate();
    ~UnzipPrivate() override;

    UnZip::ErrorCode openArchive(QIODevice* device);
    UnZip::ErrorCode extractAll(const QDir& dir, UnZip::ExtractionOptions options);
    void closeArchive();
    void reset();

    QString password;
    bool skipAllEncrypted = false;
    std::unique_ptr<EntryMap> headers;  // created with the first entry
    QIODevice* device = nullptr;
    QFile* file = nullptr;              // the archive file this reader opened and owns
    quint32 cdOffset = 0;
    quint32 eocdOffset = 0;
    qint64 archiveSize = 0;  // the device's size when the archive was opened
    quint16 cdEntryCount = 0;
    quint16 unsupportedEntryCount = 0;  // records skipped for their method, version or missing name
    QString comment;

public slots:
    void deviceDestroyed(QObject*);

private:
    UnZip::ErrorCode seekToCentralDirectory();
    UnZip::ErrorCode parseCentralDirectoryRecord();
    UnZip::ErrorCode parseLocalHeaderRecord(const QString& name, ZipEntryP& entry);
    UnZip::ErrorCode extractFile(const QString& name, ZipEntryP& entry, const QDir& dir,
                                 UnZip::ExtractionOptions options);
    UnZip::ErrorCode extractFile(const QString& name, ZipEntryP& entry, QIODevice* out);
    UnZip::ErrorCode testPassword(ZipKeys& keys, const QString& name, const ZipEntryP& entry);
    UnZip::ErrorCode extractStoredFile(qint64 size, ZipKeys* keys, quint32& crc, qint64& produced,
                                       QIODevice* out);
    UnZip::ErrorCode inflateFile(qint64 size, qint64 limit, ZipKeys* keys, quint32& crc, qint64& produced,
                                 QIODevice* out);
    bool createDirectory(const QString& path);
    bool isInsideExtractionRoot(const QString& path) const;
    static QDateTime convertDateTime(quint16 date, quint16 time);
    qint64 readFully(char* data, qint64 size);
    void disconnectDevice();

    QString knownDirectory;           // the output folder last found or created
    QString extractionRoot;           // the extraction folder as given, and with its links resolved
    QString canonicalRoot;
    std::unique_ptr<char[]> buffer1;  // fixed record parts and archive data
    std::unique_ptr<char[]> buffer2;  // names, comments, data descriptors and inflate output
    uchar* uBuffer;                   // unsigned view of buffer1
};

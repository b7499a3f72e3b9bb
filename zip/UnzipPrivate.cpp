#include "zip/UnzipPrivate.h"

#include <QDebug>
#include <QFile>
#include <QFileInfo>

#include <algorithm>
#include <zlib.h>

#include "platform/StagedFile.h"
#include "zip/DosDateTime.h"
#include "zip/EntryPath.h"
#include "zip/ZipKeys.h"
#include "zip/ZipRecords.h"

using namespace zipformat;

UnzipPrivate::UnzipPrivate()
    : buffer1(new char[BufferSize]), buffer2(new char[BufferSize]), uBuffer(reinterpret_cast<uchar*>(buffer1.get()))
{
}

UnzipPrivate::~UnzipPrivate()
{
    closeArchive();
    reset();
}

qint64 UnzipPrivate::readFully(char* data, qint64 size)
{
    qint64 done = 0;
    while (done < size) {
        const qint64 n = device->read(data + done, size - done);
        if (n <= 0)
            return n < 0 && done == 0 ? -1 : done;
        done += n;
    }
    return done;
}

UnZip::ErrorCode UnzipPrivate::openArchive(QIODevice* dev)
{
    if ((!dev->isOpen() && !dev->open(QIODevice::ReadOnly)) || !dev->isReadable()) {
        qDebug() << "Unable to open device for reading";
        reset();
        return UnZip::CannotOpen;
    }
    device = dev;
    if (device != file)
        connect(device, &QObject::destroyed, this, &UnzipPrivate::deviceDestroyed);

    UnZip::ErrorCode ec = seekToCentralDirectory();
    if (ec != UnZip::Ok) {
        closeArchive();
        return ec;
    }
    if (cdEntryCount == 0)
        return UnZip::Ok;

    int records = 0;
    for (;;) {
        if (readFully(buffer1.get(), 4) != 4) {
            if (headers && !headers->empty()) {
                qDebug() << "Corrupted zip archive. Some files might be extracted.";
                return UnZip::PartlyCorrupted;
            }
            closeArchive();
            qDebug() << "Corrupted or invalid zip archive. Closing.";
            return UnZip::Corrupted;
        }
        if (getUInt32(uBuffer) != CentralRecordSignature)
            break;
        ec = parseCentralDirectoryRecord();
        if (ec != UnZip::Ok) {
            closeArchive();
            return ec;
        }
        ++records;
    }
    // Fewer records than the end record counts: the directory was cut short or its offset is wrong.
    if (records < cdEntryCount) {
        if (records == 0 || !headers || headers->empty()) {
            closeArchive();
            qDebug() << "Corrupted or invalid zip archive. Closing.";
            return UnZip::Corrupted;
        }
        qDebug() << "Corrupted zip archive. Some files might be extracted.";
        return UnZip::PartlyCorrupted;
    }
    return UnZip::Ok;
}

UnZip::ErrorCode UnzipPrivate::seekToCentralDirectory()
{
    const qint64 size = device->size();
    archiveSize = size;
    if (size < EndRecordSize)
        return UnZip::InvalidArchive;

    // The end record is the signature found first searching backwards from the end, at least a whole record
    // before it. The first block read is the archive's last 65,557 bytes, which hold the record and a comment of
    // any length; data appended to the archive makes the search go on in blocks, each overlapping the next by
    // three bytes so that a signature across their border is seen.
    qint64 found = -1;
    qint64 blockEnd = size;
    qint64 blockStart = size - std::min(size, MaxEndRecordSearch);
    for (;;) {
        const qint64 n = blockEnd - blockStart;
        if (!device->seek(blockStart))
            return UnZip::SeekError;
        if (readFully(buffer1.get(), n) != n)
            return UnZip::ReadError;
        for (qint64 i = std::min(n - 4, size - EndRecordSize - blockStart); i >= 0; --i) {
            if (getUInt32(uBuffer + i) == EndRecordSignature) {
                found = blockStart + i;
                break;
            }
        }
        if (found >= 0 || blockStart == 0)
            break;
        blockEnd = blockStart + 3;
        blockStart = std::max<qint64>(0, blockEnd - BufferSize);
    }
    if (found < 0)
        return UnZip::InvalidArchive;

    if (!device->seek(found))
        return UnZip::SeekError;
    if (readFully(buffer1.get(), EndRecordSize) != EndRecordSize)
        return UnZip::ReadError;
    const EndRecord record = EndRecord::read(uBuffer);
    eocdOffset = quint32(found);
    cdOffset = record.directoryOffset;
    cdEntryCount = record.entryCount;
    if (readFully(buffer2.get(), record.commentLength) != record.commentLength)
        return UnZip::ReadError;
    comment = QString::fromUtf8(buffer2.get(), record.commentLength);
    if (!device->seek(cdOffset))
        return UnZip::SeekError;
    return UnZip::Ok;
}

UnZip::ErrorCode UnzipPrivate::parseCentralDirectoryRecord()
{
    if (readFully(buffer1.get(), CentralRecordSize - 4) != CentralRecordSize - 4)
        return UnZip::ReadError;
    const CentralRecord record = CentralRecord::read(uBuffer);

    bool skip = false;
    if (record.method != MethodStored && record.method != MethodDeflated) {
        qDebug() << "Unsupported compression method. Skipping file.";
        skip = true;
    }
    if (record.nameLength == 0) {
        qDebug() << "Skipping file with no name.";
        skip = true;
    }
    if (readFully(buffer2.get(), record.nameLength) != record.nameLength)
        return UnZip::ReadError;
    const QString name = QString::fromLocal8Bit(buffer2.get(), record.nameLength);

    const int version = record.versionNeeded & 0xff;
    if (!skip && version < 21) {
        if (!device->seek(device->pos() + record.extraLength))
            return UnZip::SeekError;
        if (readFully(buffer2.get(), record.commentLength) != record.commentLength)
            return UnZip::ReadError;
        auto entry = std::make_unique<ZipEntryP>();
        entry->generalFlags = record.flags;
        entry->method = record.method;
        entry->modTime = record.modTime;
        entry->modDate = record.modDate;
        entry->crc = record.crc;
        entry->compressedSize = record.compressedSize;
        entry->uncompressedSize = record.uncompressedSize;
        entry->localHeaderOffset = record.localHeaderOffset;
        entry->comment = QString::fromLocal8Bit(buffer2.get(), record.commentLength);
        if (!headers)
            headers = std::make_unique<EntryMap>();
        (*headers)[name] = std::move(entry);
        return UnZip::Ok;
    }
    if (!skip) {
        QString text = QString::number(version);
        if (text.size() == 2)
            text.insert(1, QLatin1Char('.'));
        qDebug().noquote() << QStringLiteral("Unsupported PKZip version (%1). Skipping file: %2")
                                  .arg(text, name.isEmpty() ? QStringLiteral("<undefined>") : name);
    }
    if (!device->seek(device->pos() + record.extraLength + record.commentLength))
        return UnZip::SeekError;
    ++unsupportedEntryCount;
    return UnZip::Ok;
}

UnZip::ErrorCode UnzipPrivate::extractAll(const QDir& dir, UnZip::ExtractionOptions options)
{
    if (!device)
        return UnZip::NoArchiveOpen;
    knownDirectory.clear();
    const QString root = dir.absolutePath();
    extractionRoot = root;
    canonicalRoot = QFileInfo(root).canonicalFilePath();  // empty until the folder exists
    if (headers) {
        for (const auto& e : *headers) {
            if (!EntryPath::isSafe(e.first, root)) {
                qDebug() << "Unsafe entry name, nothing extracted:" << e.first;
                return UnZip::InvalidArchive;
            }
        }
    }

    // Failures that let the next entries be extracted still make the result non-Ok.
    UnZip::ErrorCode pending = UnZip::Ok;
    if (headers) {
        for (auto& e : *headers) {
            ZipEntryP& entry = *e.second;
            if (entry.isEncrypted() && skipAllEncrypted) {
                if (pending == UnZip::Ok)
                    pending = UnZip::SkipAllEncrypted;
                continue;
            }
            const UnZip::ErrorCode ec = extractFile(e.first, entry, dir, options);
            switch (ec) {
            case UnZip::Ok:
                break;
            case UnZip::WrongPassword:
                if (pending == UnZip::Ok)
                    pending = ec;
                break;
            case UnZip::SkipAllEncrypted:
                skipAllEncrypted = true;
                if (pending == UnZip::Ok)
                    pending = ec;
                break;
            case UnZip::Corrupted:
                qDebug().noquote() << "Corrupted entry" << e.first;
                return ec;
            default:
                return ec;
            }
        }
    }
    if (pending == UnZip::Ok && unsupportedEntryCount > 0) {
        qDebug() << "Entries with an unsupported method or version were not extracted:" << unsupportedEntryCount;
        pending = UnZip::DecompressorError;
    }
    return pending;
}

UnZip::ErrorCode UnzipPrivate::extractFile(const QString& name, ZipEntryP& entry, const QDir& dir,
                                           UnZip::ExtractionOptions options)
{
    const QString path = EntryPath::withSlashes(name);
    const QString root = dir.absolutePath();
    if (path.endsWith(QLatin1Char('/'))) {
        if (options & (UnZip::CheckOnly | UnZip::FlattenEntryPaths))
            return UnZip::Ok;
        const QString target = QStringLiteral("%1/%2").arg(root, QDir::cleanPath(path));
        if (!createDirectory(target)) {
            qDebug().noquote() << QStringLiteral("Unable to create directory: %1").arg(target);
            return UnZip::CannotCreateDirectory;
        }
        return UnZip::Ok;
    }
    if (options & UnZip::CheckOnly)
        return extractFile(name, entry, nullptr);

    QString targetDir = root;
    QString fileName = path;
    const int slash = path.lastIndexOf(QLatin1Char('/'));
    if (slash > 0) {
        if (!(options & UnZip::FlattenEntryPaths)) {
            targetDir = QStringLiteral("%1/%2").arg(root, QDir::cleanPath(path.left(slash)));
            if (!createDirectory(targetDir)) {
                qDebug().noquote() << QStringLiteral("Unable to create directory: %1").arg(targetDir);
                return UnZip::CannotCreateDirectory;
            }
        }
        fileName = path.mid(slash + 1);
    }
    if (!(options & UnZip::TargetMustExist) && !createDirectory(targetDir)) {
        qDebug().noquote() << QStringLiteral("Unable to create output directory %1").arg(targetDir);
        return UnZip::CannotCreateDirectory;
    }

    // Written beside the target and renamed over it only once the CRC-32 checked; not flushed per file.
    const QString target = QStringLiteral("%1/%2").arg(targetDir, fileName);
    platform::StagedFile out(target);
    if (!out.open(QIODevice::WriteOnly)) {
        qDebug().noquote() << QStringLiteral("Unable to open %1 for writing").arg(target);
        return UnZip::CannotOpen;
    }
    const UnZip::ErrorCode ec = extractFile(name, entry, &out);
    if (ec != UnZip::Ok) {
        out.discard();
        return ec;
    }
    if (!out.commit(convertDateTime(entry.modDate, entry.modTime))) {
        qDebug().noquote() << QStringLiteral("Unable to open %1 for writing").arg(target);
        return UnZip::WriteError;
    }
    if (!out.timeSet())
        qDebug().noquote() << QStringLiteral("Unable to set last modified time on file: %1").arg(target);
    return UnZip::Ok;
}

UnZip::ErrorCode UnzipPrivate::extractFile(const QString& name, ZipEntryP& entry, QIODevice* out)
{
    if (!entry.localHeaderChecked) {
        const UnZip::ErrorCode ec = parseLocalHeaderRecord(name, entry);
        if (ec != UnZip::Ok)
            return ec;  // checked again at the next attempt: the data offset is known only after a good check
        entry.localHeaderChecked = true;
    }
    if (!device->seek(entry.dataOffset))
        return UnZip::SeekError;

    qint64 dataSize = entry.compressedSize;
    std::unique_ptr<ZipKeys> keys;
    if (entry.isEncrypted()) {
        if (dataSize < EncryptionHeaderSize) {
            qDebug().noquote() << QStringLiteral("Unable to decrypt %1").arg(name);
            return UnZip::Corrupted;
        }
        keys = std::make_unique<ZipKeys>(password.toLocal8Bit());
        const UnZip::ErrorCode ec = testPassword(*keys, name, entry);
        if (ec != UnZip::Ok)
            return ec;
        dataSize -= EncryptionHeaderSize;
    }
    if (dataSize == 0)
        return entry.crc != 0 || entry.uncompressedSize != 0 ? UnZip::Corrupted : UnZip::Ok;

    quint32 crc = quint32(crc32(0, Z_NULL, 0));
    qint64 produced = 0;
    UnZip::ErrorCode ec;
    if (entry.method == MethodStored) {
        if (dataSize != entry.uncompressedSize)
            return UnZip::Corrupted;
        ec = extractStoredFile(dataSize, keys.get(), crc, produced, out);
    } else {
        ec = inflateFile(dataSize, entry.uncompressedSize, keys.get(), crc, produced, out);
    }
    if (ec != UnZip::Ok)
        return ec;
    if (produced != entry.uncompressedSize || crc != entry.crc)
        return UnZip::Corrupted;
    return UnZip::Ok;
}

UnZip::ErrorCode UnzipPrivate::parseLocalHeaderRecord(const QString& name, ZipEntryP& entry)
{
    if (!device->seek(entry.localHeaderOffset))
        return UnZip::SeekError;
    if (readFully(buffer1.get(), 4) != 4)
        return UnZip::ReadError;
    if (getUInt32(uBuffer) != LocalHeaderSignature)
        return UnZip::InvalidArchive;
    if (readFully(buffer1.get(), LocalHeaderSize - 4) != LocalHeaderSize - 4)
        return UnZip::ReadError;
    const LocalHeader header = LocalHeader::read(uBuffer);

    if (header.method != entry.method || header.flags != entry.generalFlags || header.modTime != entry.modTime ||
        header.modDate != entry.modDate)
        return UnZip::HeaderMismatch;
    if (!entry.hasDataDescriptor() &&
        (header.crc != entry.crc || header.compressedSize != entry.compressedSize ||
         header.uncompressedSize != entry.uncompressedSize))
        return UnZip::HeaderMismatch;
    if (header.nameLength == 0)
        return UnZip::HeaderMismatch;
    if (readFully(buffer2.get(), header.nameLength) != header.nameLength)
        return UnZip::ReadError;
    if (QString::fromLocal8Bit(buffer2.get(), header.nameLength) != name) {
        qDebug() << "Filename in local header mismatches.";
        return UnZip::HeaderMismatch;
    }
    // The local extra field may differ in length from the central one: the data follows the local one.
    const qint64 dataOffset = qint64(entry.localHeaderOffset) + LocalHeaderSize + header.nameLength +
                              header.extraLength;
    if (dataOffset + entry.compressedSize > archiveSize)
        return UnZip::Corrupted;
    if (!device->seek(dataOffset))
        return UnZip::SeekError;
    entry.dataOffset = quint32(dataOffset);

    if (entry.hasDataDescriptor()) {
        if (!device->seek(dataOffset + entry.compressedSize))
            return UnZip::SeekError;
        if (readFully(buffer2.get(), 4) != 4)
            return UnZip::ReadError;
        const uchar* d = reinterpret_cast<const uchar*>(buffer2.get());
        int at = 0;
        int rest = 8;
        if (getUInt32(d) == DataDescriptorSignature) {
            at = 4;
            rest = 12;
        }
        if (readFully(buffer2.get() + 4, rest) != rest)
            return UnZip::ReadError;
        if (getUInt32(d + at) != entry.crc || getUInt32(d + at + 4) != entry.compressedSize ||
            getUInt32(d + at + 8) != entry.uncompressedSize)
            return UnZip::HeaderMismatch;
    }
    return UnZip::Ok;
}

UnZip::ErrorCode UnzipPrivate::testPassword(ZipKeys& keys, const QString& name, const ZipEntryP& entry)
{
    uchar header[EncryptionHeaderSize];
    UnZip::ErrorCode ec = UnZip::Ok;
    if (readFully(reinterpret_cast<char*>(header), EncryptionHeaderSize) != EncryptionHeaderSize) {
        ec = UnZip::Corrupted;
    } else {
        keys.decrypt(header, EncryptionHeaderSize);
        // Only the last byte can be checked: the time's high byte with a data descriptor, else the CRC's.
        const uchar expected = entry.hasDataDescriptor() ? uchar(entry.modTime >> 8) : uchar(entry.crc >> 24);
        if (header[EncryptionHeaderSize - 1] != expected)
            ec = UnZip::WrongPassword;
    }
    if (ec != UnZip::Ok)
        qDebug().noquote() << QStringLiteral("Unable to decrypt %1").arg(name);
    return ec;
}

UnZip::ErrorCode UnzipPrivate::extractStoredFile(qint64 size, ZipKeys* keys, quint32& crc, qint64& produced,
                                                 QIODevice* out)
{
    qint64 remaining = size;
    while (remaining > 0) {
        const qint64 n = device->read(buffer1.get(), std::min(BufferSize, remaining));
        if (n < 0)
            return UnZip::ReadError;
        if (n == 0)
            break;
        remaining -= n;
        if (keys)
            keys->decrypt(uBuffer, n);
        crc = quint32(crc32(crc, uBuffer, uInt(n)));
        if (out && out->write(buffer1.get(), n) != n)
            return UnZip::WriteError;
        produced += n;
    }
    return UnZip::Ok;
}

UnZip::ErrorCode UnzipPrivate::inflateFile(qint64 size, qint64 limit, ZipKeys* keys, quint32& crc,
                                           qint64& produced, QIODevice* out)
{
    z_stream zs{};
    if (inflateInit2(&zs, -MAX_WBITS) != Z_OK)
        return UnZip::DecompressorError;
    uchar* output = reinterpret_cast<uchar*>(buffer2.get());
    qint64 remaining = size;
    int ret = Z_OK;
    while (remaining > 0 && ret != Z_STREAM_END) {
        const qint64 n = device->read(buffer1.get(), std::min(BufferSize, remaining));
        if (n < 0) {
            inflateEnd(&zs);
            return UnZip::ReadError;
        }
        if (n == 0)
            break;
        remaining -= n;
        if (keys)
            keys->decrypt(uBuffer, n);
        zs.next_in = uBuffer;
        zs.avail_in = uInt(n);
        do {
            zs.next_out = output;
            zs.avail_out = uInt(BufferSize);
            ret = inflate(&zs, Z_NO_FLUSH);
            if (ret == Z_NEED_DICT || ret == Z_DATA_ERROR || ret == Z_MEM_ERROR || ret == Z_STREAM_ERROR) {
                inflateEnd(&zs);
                return UnZip::DecompressorError;
            }
            const qint64 have = BufferSize - zs.avail_out;
            if (produced + have > limit) {  // more than the recorded size: never written
                inflateEnd(&zs);
                return UnZip::Corrupted;
            }
            crc = quint32(crc32(crc, output, uInt(have)));
            if (out && out->write(buffer2.get(), have) != have) {
                inflateEnd(&zs);
                return UnZip::WriteError;
            }
            produced += have;
        } while (zs.avail_out == 0 && ret != Z_STREAM_END);
    }
    inflateEnd(&zs);
    return ret == Z_STREAM_END ? UnZip::Ok : UnZip::Corrupted;
}

bool UnzipPrivate::createDirectory(const QString& path)
{
    // Entries of one folder mostly follow each other: the folder checked last needs no second look.
    if (path == knownDirectory)
        return true;
    if (canonicalRoot.isEmpty()) {
        if (!QDir().mkpath(extractionRoot)) {
            qDebug().noquote() << QStringLiteral("Unable to create directory: %1").arg(extractionRoot);
            return false;
        }
        canonicalRoot = QFileInfo(extractionRoot).canonicalFilePath();
    }
    // A symbolic link already in the extraction folder may lead out of it: the deepest folder of the path that
    // exists must lie inside before anything is made below it, and the whole path after.
    QString existing = path;
    while (!QFileInfo::exists(existing) && existing.size() > extractionRoot.size())
        existing = QFileInfo(existing).path();
    if (!isInsideExtractionRoot(existing)) {
        qDebug().noquote() << QStringLiteral("Folder lies outside the extraction folder: %1").arg(path);
        return false;
    }
    if (!QDir(path).exists() && !QDir().mkpath(path)) {
        qDebug().noquote() << QStringLiteral("Unable to create directory: %1").arg(path);
        return false;
    }
    if (existing != path && !isInsideExtractionRoot(path)) {
        qDebug().noquote() << QStringLiteral("Folder lies outside the extraction folder: %1").arg(path);
        return false;
    }
    knownDirectory = path;
    return true;
}

bool UnzipPrivate::isInsideExtractionRoot(const QString& path) const
{
    const QString resolved = QFileInfo(path).canonicalFilePath();
    return !resolved.isEmpty() && !canonicalRoot.isEmpty() && EntryPath::isWithin(resolved, canonicalRoot);
}

QDateTime UnzipPrivate::convertDateTime(quint16 date, quint16 time)
{
    return DosDateTime{time, date}.toLocal();
}

void UnzipPrivate::closeArchive()
{
    if (!device)
        return;
    disconnectDevice();
    reset();
}

void UnzipPrivate::reset()
{
    skipAllEncrypted = false;
    headers.reset();
    device = nullptr;
    delete file;
    file = nullptr;
    cdOffset = eocdOffset = 0;
    archiveSize = 0;
    cdEntryCount = unsupportedEntryCount = 0;
    comment.clear();
}

void UnzipPrivate::deviceDestroyed(QObject*)
{
    qDebug() << "Unexpected device destruction detected.";
    device = nullptr;  // gone: nothing may be called on it
    reset();
}

void UnzipPrivate::disconnectDevice()
{
    if (device && device != file)
        disconnect(device, nullptr, this, nullptr);
}

#include "zip/ZipPrivate.h"

#include <QDebug>
#include <QDir>
#include <QFile>

#include <algorithm>
#include <iterator>
#include <zlib.h>

#include "zip/DosDateTime.h"
#include "zip/ZipKeys.h"
#include "zip/ZipRecords.h"

using namespace zipformat;

namespace {

// Sorted in ascending byte order: searched by binary search.
const char* const storedExtensions[] = {"7z", "bin", "deb", "exe", "gz", "gz2", "jar", "rar", "rpm", "tar", "tgz",
                                        "z", "zip"};
const char* const mediaExtensions[] = {"asf", "avi", "divx", "doc", "docx", "flv", "gif", "iso",
                                       "jpeg", "jpg", "mka", "mkv", "mp3", "mp4", "mpeg", "mpg",
                                       "odt", "ogg", "ogm", "ra", "rm", "wma", "wmv"};
const char* const textExtensions[] = {"asp", "bat", "c", "conf", "cpp", "css", "csv", "cxx", "h",
                                      "hpp", "htm", "html", "hxx", "ini", "js", "php", "pl", "py",
                                      "rtf", "sh", "tsv", "txt", "vb", "vbs", "xml", "xst"};

template <std::size_t N>
bool hasExtension(const QString& suffix, const char* const (&table)[N])
{
    const auto it = std::lower_bound(std::begin(table), std::end(table), suffix, [](const char* a, const QString& s) {
        return s.compare(QLatin1String(a), Qt::CaseSensitive) > 0;
    });
    return it != std::end(table) && suffix == QLatin1String(*it);
}

// Files shorter than this are stored: deflate would not make them smaller.
constexpr qint64 MinDeflateSize = 60;

void normalizeRoot(QString& root)
{
    if (root.isEmpty() || root == QLatin1String("/"))
        return;
    while (root.endsWith(QLatin1Char('\\')))
        root.chop(1);
    while (root.endsWith(QLatin1String("//")))
        root.chop(1);
    if (!root.endsWith(QLatin1Char('/')))
        root.append(QLatin1Char('/'));
}

}  // namespace

ZipPrivate::ZipPrivate()
    : buffer1(new char[BufferSize]), buffer2(new char[BufferSize]),
      uBuffer(reinterpret_cast<uchar*>(buffer1.get())), random(std::random_device{}())
{
}

ZipPrivate::~ZipPrivate()
{
    reset();
}

int ZipPrivate::levelForExtension(const QString& suffix)
{
    if (hasExtension(suffix, storedExtensions))
        return 0;
    if (hasExtension(suffix, mediaExtensions))
        return 2;
    if (hasExtension(suffix, textExtensions))
        return 9;
    return 5;
}

Zip::ErrorCode ZipPrivate::createArchive(QIODevice* dev)
{
    if (device) {
        disconnectDevice();
        do_closeArchive();
        reset();
    }
    device = dev;
    if (device != file)
        connect(device, &QObject::destroyed, this, &ZipPrivate::deviceDestroyed);
    if ((!device->isOpen() && !device->open(QIODevice::WriteOnly)) || !device->isWritable()) {
        qDebug() << "Unable to open device for writing.";
        disconnectDevice();
        device = nullptr;
        return Zip::CannotOpen;
    }
    headers = std::make_unique<EntryMap>();
    return Zip::Ok;
}

Zip::ErrorCode ZipPrivate::addFiles(const QStringList& paths, const QString& root, Zip::AddOptions options,
                                    Zip::CompressionLevel level, int* addedFiles)
{
    if (addedFiles)
        *addedFiles = 0;
    if (!device)
        return Zip::NoArchiveOpen;

    QList<QFileInfo> work;
    for (const QString& path : paths) {
        const QFileInfo info(path);
        if (options & Zip::SkipDuplicates) {
            const bool listed = std::any_of(work.cbegin(), work.cend(), [&](const QFileInfo& other) {
                return other.absoluteFilePath() == info.absoluteFilePath();
            });
            if (listed || containsSourceFile(info))
                continue;
        }
        if (!info.exists() || !info.isReadable()) {
            if (options & Zip::ContinueOnError)
                continue;
            return Zip::SourceNotFound;
        }
        work.append(info);
    }
    if (work.isEmpty())
        return Zip::Ok;

    QString actualRoot = root.trimmed();
    normalizeRoot(actualRoot);

    Zip::ErrorCode ec = Zip::Ok;
    for (const QFileInfo& info : work) {
        if (info.isDir()) {
            ec = addDirectory(info.absoluteFilePath(), actualRoot, options, level, 1, addedFiles);
        } else {
            ec = createEntry(info, actualRoot, level);
            if (ec == Zip::Ok && addedFiles)
                ++*addedFiles;
        }
        if (ec != Zip::Ok && !(options & Zip::ContinueOnError))
            return ec;
    }
    return ec;
}

Zip::ErrorCode ZipPrivate::addDirectory(const QString& path, const QString& root, Zip::AddOptions options,
                                        Zip::CompressionLevel level, int depth, int* addedFiles)
{
    if (addedFiles)
        ++*addedFiles;
    if (!device)
        return Zip::NoArchiveOpen;
    const QDir dir(path);
    if (!dir.exists())
        return Zip::SourceNotFound;

    QString actualRoot = root.trimmed();
    normalizeRoot(actualRoot);
    const bool flatten = options & Zip::FlattenPaths;
    const bool omitTop = options & Zip::OmitTopDirectory;
    if ((options & Zip::KeepAbsolutePaths) && !flatten && !omitTop) {
        const QString parent = parentDirectory(path);
        actualRoot += parent;
        if (!parent.isEmpty() && parent != QLatin1String("/"))
            actualRoot += QLatin1Char('/');
    }
    if (!flatten && !(depth == 0 && omitTop))
        actualRoot += dir.dirName() + QLatin1Char('/');

    const QFileInfoList list = dir.entryInfoList(QDir::Dirs | QDir::Files | QDir::NoSymLinks | QDir::NoDotAndDotDot,
                                                 QDir::Name | QDir::DirsFirst);
    const Zip::AddOptions childOptions = flatten ? Zip::FlattenPaths : Zip::KeepRelativePaths;
    bool hasFiles = false;
    Zip::ErrorCode ec = Zip::Ok;
    for (const QFileInfo& info : list) {
        if ((options & Zip::SkipDuplicates) && containsSourceFile(info))
            continue;
        if (info.isDir()) {
            ec = addDirectory(info.absoluteFilePath(), actualRoot, childOptions, level, depth + 1, addedFiles);
        } else {
            ec = createEntry(info, actualRoot, level);
            if (ec == Zip::Ok) {
                if (addedFiles)
                    ++*addedFiles;
                hasFiles = true;
            }
        }
        if (ec != Zip::Ok && !(options & Zip::ContinueOnError))
            return ec;
    }
    if (!hasFiles && !flatten)
        return createEntry(QFileInfo(path), actualRoot, level);
    return ec;
}

Zip::ErrorCode ZipPrivate::createEntry(const QFileInfo& info, const QString& root, Zip::CompressionLevel level)
{
    const bool isDir = info.isDir();
    const QString name = isDir ? root : root + info.fileName();
    if (name.isEmpty())
        return Zip::Ok;  // the omitted top directory of an empty root has no entry of its own
    const QByteArray encodedName = name.toLocal8Bit();
    const qint64 size = isDir ? 0 : info.size();
    const qint64 offset = device->pos();
    if (encodedName.size() > 0xffff || size > MaxSize32 || offset > MaxSize32 ||
        (headers->size() >= 0xffff && !headers->count(name))) {
        qDebug() << "Entry does not fit into the archive:" << name;
        return Zip::WriteError;
    }

    int zlevel = int(level);
    if (isDir || size < MinDeflateSize)
        zlevel = 0;
    else if (level == Zip::AutoFixed)
        zlevel = 5;
    else if (level == Zip::AutoByExtension || level == Zip::AutoByExtensionAll)
        zlevel = levelForExtension(info.completeSuffix().toLower());

    auto entry = std::make_unique<ZipEntryP>();
    entry->sourcePath = info.absoluteFilePath().toLower();
    entry->sourceSize = size;
    const bool encrypt = !password.isEmpty() && !isDir;
    if (encrypt)
        entry->generalFlags = FlagEncrypted | FlagDataDescriptor;
    entry->method = zlevel ? MethodDeflated : MethodStored;
    const DosDateTime dos = DosDateTime::fromLocal(info.lastModified());
    entry->modTime = dos.time;
    entry->modDate = dos.date;
    entry->uncompressedSize = quint32(size);
    entry->compressedSize = encrypt ? EncryptionHeaderSize : 0;
    entry->localHeaderOffset = quint32(offset);

    LocalHeader header;
    header.flags = entry->generalFlags;
    header.method = entry->method;
    header.modTime = entry->modTime;
    header.modDate = entry->modDate;
    header.uncompressedSize = entry->uncompressedSize;
    header.nameLength = quint16(encodedName.size());
    header.write(uBuffer);
    memcpy(buffer1.get() + LocalHeaderSize, encodedName.constData(), size_t(encodedName.size()));
    if (!writeAll(buffer1.get(), LocalHeaderSize + encodedName.size()))
        return Zip::WriteError;

    std::unique_ptr<ZipKeys> keys;
    if (encrypt) {
        keys = std::make_unique<ZipKeys>(password.toLocal8Bit());
        const Zip::ErrorCode ec = writeEncryptionHeader(*keys, entry->modTime);
        if (ec != Zip::Ok)
            return ec;
    }

    if (!isDir) {
        quint32 crc = 0;
        qint64 read = 0;
        qint64 written = 0;
        const Zip::ErrorCode ec = deflateFile(info, crc, read, written, zlevel, keys.get());
        if (ec != Zip::Ok)
            return ec;
        const qint64 compressed = written + entry->compressedSize;
        if (compressed > MaxSize32) {
            qDebug() << "Entry does not fit into the archive:" << name;
            return Zip::WriteError;
        }
        entry->crc = crc;
        entry->compressedSize = quint32(compressed);
        entry->uncompressedSize = quint32(read);  // the bytes actually read, also when the source ended early
    }

    const qint64 end = device->pos();
    if (!device->seek(offset + LocalHeader::CrcOffset))
        return Zip::SeekError;
    putUInt32(uBuffer, entry->crc);
    putUInt32(uBuffer + 4, entry->compressedSize);
    putUInt32(uBuffer + 8, entry->uncompressedSize);
    if (!writeAll(buffer1.get(), 12))
        return Zip::WriteError;
    if (!device->seek(end))
        return Zip::SeekError;

    if (encrypt) {
        putUInt32(uBuffer, DataDescriptorSignature);
        putUInt32(uBuffer + 4, entry->crc);
        putUInt32(uBuffer + 8, entry->compressedSize);
        putUInt32(uBuffer + 12, entry->uncompressedSize);
        if (!writeAll(buffer1.get(), DataDescriptorSize))
            return Zip::WriteError;
    }
    (*headers)[name] = std::move(entry);
    return Zip::Ok;
}

Zip::ErrorCode ZipPrivate::writeEncryptionHeader(ZipKeys& keys, quint16 dosTime)
{
    uchar header[EncryptionHeaderSize];
    for (int i = 0; i < EncryptionHeaderSize - 2; ++i)
        header[i] = uchar(random() >> 7);
    keys.encrypt(header, EncryptionHeaderSize - 2);  // keys are fresh here
    header[10] = uchar(dosTime);
    header[11] = uchar(dosTime >> 8);  // the check byte readers compare when a data descriptor follows
    keys.reset(password.toLocal8Bit());
    keys.encrypt(header, EncryptionHeaderSize);
    return writeAll(reinterpret_cast<const char*>(header), EncryptionHeaderSize) ? Zip::Ok : Zip::WriteError;
}

Zip::ErrorCode ZipPrivate::deflateFile(const QFileInfo& info, quint32& crc, qint64& read, qint64& written,
                                       int level, ZipKeys* keys)
{
    const QString path = info.absoluteFilePath();
    QFile source(path);
    if (!source.open(QIODevice::ReadOnly)) {
        qDebug().noquote() << QStringLiteral("An error occurred while opening %1").arg(path);
        return Zip::CannotOpen;
    }
    const Zip::ErrorCode ec = level == 0 ? storeFile(source, crc, read, written, keys)
                                         : compressFile(path, source, crc, read, written, level, keys);
    source.close();
    return ec;
}

Zip::ErrorCode ZipPrivate::storeFile(QIODevice& source, quint32& crc, qint64& read, qint64& written, ZipKeys* keys)
{
    const qint64 size = source.size();
    crc = quint32(crc32(0, Z_NULL, 0));
    read = written = 0;
    while (read < size) {
        const qint64 n = source.read(buffer1.get(), std::min(BufferSize, size - read));
        if (n < 0)
            return Zip::ReadError;
        if (n == 0)
            break;  // the source ended early: the bytes read are recorded
        read += n;
        crc = quint32(crc32(crc, uBuffer, uInt(n)));
        if (keys)
            keys->encrypt(uBuffer, n);
        if (!writeAll(buffer1.get(), n))
            return Zip::WriteError;
        written += n;
    }
    return Zip::Ok;
}

Zip::ErrorCode ZipPrivate::compressFile(const QString& path, QIODevice& source, quint32& crc, qint64& read,
                                        qint64& written, int level, ZipKeys* keys)
{
    // The size taken at the start bounds the entry; a source that ends earlier finishes the stream there.
    const qint64 size = source.size();
    crc = quint32(crc32(0, Z_NULL, 0));
    read = written = 0;

    z_stream zs{};
    if (deflateInit2(&zs, level, Z_DEFLATED, -MAX_WBITS, 8, Z_DEFAULT_STRATEGY) != Z_OK) {
        qDebug() << "Could not initialize zlib for compression";
        return Zip::CompressorInitFailed;
    }
    int flush = Z_NO_FLUSH;
    while (flush != Z_FINISH) {
        const qint64 n = read < size ? source.read(buffer1.get(), std::min(BufferSize, size - read)) : 0;
        if (n < 0) {
            deflateEnd(&zs);
            qDebug().noquote() << QStringLiteral("Error while reading %1").arg(path);
            return Zip::ReadError;
        }
        read += n;
        crc = quint32(crc32(crc, uBuffer, uInt(n)));
        flush = (n == 0 || read == size) ? Z_FINISH : Z_NO_FLUSH;
        zs.next_in = uBuffer;
        zs.avail_in = uInt(n);
        do {
            zs.next_out = reinterpret_cast<Bytef*>(buffer2.get());
            zs.avail_out = uInt(BufferSize);
            deflate(&zs, flush);  // cannot fail with a valid stream and fresh output space
            const qint64 produced = BufferSize - zs.avail_out;
            if (keys)
                keys->encrypt(reinterpret_cast<uchar*>(buffer2.get()), produced);
            if (!writeAll(buffer2.get(), produced)) {
                deflateEnd(&zs);
                qDebug().noquote() << QStringLiteral("Error while writing %1").arg(path);
                return Zip::WriteError;
            }
            written += produced;
        } while (zs.avail_out == 0);
    }
    deflateEnd(&zs);
    return Zip::Ok;
}

bool ZipPrivate::containsSourceFile(const QFileInfo& info) const
{
    if (!headers || headers->empty())
        return false;
    const QString path = info.absoluteFilePath().toLower();
    const qint64 size = info.size();
    return std::any_of(headers->cbegin(), headers->cend(), [&](const EntryMap::value_type& e) {
        return e.second->sourceSize == size && e.second->sourcePath == path;
    });
}

Zip::ErrorCode ZipPrivate::writeCentralDirectoryRecord(const QString& name, const ZipEntryP& entry, qint64& cdSize)
{
    const QByteArray encodedName = name.toLocal8Bit();
    CentralRecord record;
    record.flags = entry.generalFlags;
    record.method = entry.method;
    record.modTime = entry.modTime;
    record.modDate = entry.modDate;
    record.crc = entry.crc;
    record.compressedSize = entry.compressedSize;
    record.uncompressedSize = entry.uncompressedSize;
    record.nameLength = quint16(encodedName.size());
    record.localHeaderOffset = entry.localHeaderOffset;
    record.write(uBuffer);
    memcpy(buffer1.get() + CentralRecordSize, encodedName.constData(), size_t(encodedName.size()));
    if (!writeAll(buffer1.get(), CentralRecordSize + encodedName.size()))
        return Zip::WriteError;
    cdSize += CentralRecordSize + encodedName.size();
    return Zip::Ok;
}

Zip::ErrorCode ZipPrivate::writeEndOfCentralDirectory(qint64 cdOffset, qint64 cdSize)
{
    const QByteArray encodedComment = comment.toLocal8Bit();
    if (cdOffset > MaxSize32 || cdSize > MaxSize32 || encodedComment.size() > MaxCommentLength) {
        qDebug() << "Central directory does not fit into the archive";
        return Zip::WriteError;
    }
    EndRecord record;
    record.entryCount = quint16(headers->size());
    record.directorySize = quint32(cdSize);
    record.directoryOffset = quint32(cdOffset);
    record.commentLength = quint16(encodedComment.size());
    record.write(uBuffer);
    if (!writeAll(buffer1.get(), EndRecordSize) || !writeAll(encodedComment.constData(), encodedComment.size()))
        return Zip::WriteError;
    return Zip::Ok;
}

Zip::ErrorCode ZipPrivate::do_closeArchive()
{
    if (!device && !headers)
        return Zip::Ok;
    Zip::ErrorCode ec = Zip::Ok;
    if (!device || !headers) {
        ec = Zip::NoArchiveOpen;
    } else {
        const qint64 cdOffset = device->pos();
        qint64 cdSize = 0;
        for (const auto& e : *headers) {
            ec = writeCentralDirectoryRecord(e.first, *e.second, cdSize);
            if (ec != Zip::Ok)
                break;
        }
        if (ec == Zip::Ok)
            ec = writeEndOfCentralDirectory(cdOffset, cdSize);
        if (ec == Zip::Ok && file && !file->flush())
            ec = Zip::WriteError;
    }
    if (ec != Zip::Ok && file) {
        file->close();
        if (!file->remove())
            qDebug() << "Failed to delete corrupt archive.";
    }
    return ec;
}

Zip::ErrorCode ZipPrivate::closeArchive()
{
    if (!device) {
        reset();
        return Zip::Ok;
    }
    disconnectDevice();
    const Zip::ErrorCode ec = do_closeArchive();
    reset();
    return ec;
}

void ZipPrivate::reset()
{
    comment.clear();
    headers.reset();
    device = nullptr;
    delete file;
    file = nullptr;
}

void ZipPrivate::deviceDestroyed(QObject*)
{
    qDebug() << "Unexpected device destruction detected.";
    device = nullptr;
    headers.reset();
}

bool ZipPrivate::writeAll(const char* data, qint64 size)
{
    return device->write(data, size) == size;
}

void ZipPrivate::disconnectDevice()
{
    if (device && device != file)
        disconnect(device, nullptr, this, nullptr);
}

QString ZipPrivate::parentDirectory(const QString& path)
{
    QDir dir(QDir::cleanPath(path));
    if (!dir.exists() || !dir.cdUp())
        return QString();
    return dir.absolutePath();
}

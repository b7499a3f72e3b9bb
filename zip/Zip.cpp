#include "zip/Zip.h"

#include <QDebug>
#include <QFile>

#include "zip/ZipPrivate.h"

Zip::Zip() : d(new ZipPrivate) {}

Zip::~Zip()
{
    if (d->device)
        closeArchive();
    delete d;
}

Zip::ErrorCode Zip::createArchive(const QString& fileName, bool overwrite)
{
    if (d->device) {
        d->closeArchive();
    }
    d->reset();
    if (fileName.isEmpty())
        return SourceNotFound;

    auto* file = new QFile(fileName);
    if (file->exists() && !overwrite) {
        delete file;
        return ArchiveExists;
    }
    if (!file->open(QIODevice::WriteOnly)) {
        delete file;
        return CannotOpen;
    }
    d->file = file;
    const ErrorCode ec = d->createArchive(file);
    if (ec != Ok)
        closeArchive();
    return ec;
}

Zip::ErrorCode Zip::createArchive(QIODevice* device)
{
    if (!device) {
        qDebug() << "Invalid device.";
        return CannotOpen;
    }
    return d->createArchive(device);
}

Zip::ErrorCode Zip::addFile(const QString& path, CompressionLevel level)
{
    return addFile(path, QString(), KeepRelativePaths, level);
}

Zip::ErrorCode Zip::addFile(const QString& path, const QString& root, AddOptions options, CompressionLevel level)
{
    if (path.isEmpty())
        return Ok;
    return d->addFiles(QStringList{path}, root, options, level, nullptr);
}

Zip::ErrorCode Zip::closeArchive()
{
    return d->closeArchive();
}

void Zip::setPassword(const QString& password)
{
    d->password = password;
}

#include "zip/UnZip.h"

#include <QDebug>
#include <QFile>

#include "zip/UnzipPrivate.h"

UnZip::UnZip() : d(new UnzipPrivate) {}

UnZip::~UnZip()
{
    d->closeArchive();
    delete d;
}

UnZip::ErrorCode UnZip::openArchive(const QString& fileName)
{
    d->closeArchive();
    d->reset();
    auto* file = new QFile(fileName);
    if (!file->exists()) {
        delete file;
        return ArchiveNotFound;
    }
    if (!file->open(QIODevice::ReadOnly)) {
        delete file;
        return CannotOpen;
    }
    d->file = file;
    return d->openArchive(file);
}

UnZip::ErrorCode UnZip::openArchive(QIODevice* device)
{
    d->closeArchive();
    d->reset();
    if (!device) {
        qDebug() << "Invalid device.";
        return InvalidDevice;
    }
    return d->openArchive(device);
}

UnZip::ErrorCode UnZip::extractAll(const QString& dirPath, ExtractionOptions options)
{
    return extractAll(QDir(dirPath), options);
}

UnZip::ErrorCode UnZip::extractAll(const QDir& dir, ExtractionOptions options)
{
    return d->extractAll(dir, options);
}

void UnZip::setPassword(const QString& password)
{
    d->password = password;
}

#include "kyb/app/QtSingleApplication.h"

#include <QCryptographicHash>
#include <QDir>
#include <QLockFile>

#include "platform/UserDataFolder.h"

QtSingleApplication::QtSingleApplication(int& argc, char** argv, bool guiEnabled)
    : QApplication(argc, argv, guiEnabled)
{
    id_ = defaultId();
    takeLock();
}

QtSingleApplication::QtSingleApplication(const QString& id, int& argc, char** argv)
    : QApplication(argc, argv), id_(id)
{
    takeLock();
}

QtSingleApplication::~QtSingleApplication() = default;

QString QtSingleApplication::defaultId()
{
    const QByteArray path = QCoreApplication::applicationFilePath().toUtf8();
    return QStringLiteral("kyb-") +
           QString::fromLatin1(QCryptographicHash::hash(path, QCryptographicHash::Sha1).toHex().left(16));
}

QString QtSingleApplication::lockFilePath() const
{
    // The id is hex digits of our own making or the caller's; keep it to one file name either way.
    QString name = id_;
    name.replace(QLatin1Char('/'), QLatin1Char('_'));
    return platform::userDataBase() + QStringLiteral("/Belmo/Kestrune/instances/") + name + QStringLiteral(".lock");
}

void QtSingleApplication::takeLock()
{
    const QString path = lockFilePath();
    QDir().mkpath(QFileInfo(path).absolutePath());
    lock_ = std::make_unique<QLockFile>(path);
    lock_->setStaleLockTime(0);   // held for the whole run: only a dead owner makes it stale
    // Only a lock held by another process means another instance; a lock that cannot be made at all (no folder,
    // no permission) tells nothing, and the program runs without one.
    running_ = !lock_->tryLock(0) && lock_->error() == QLockFile::LockFailedError;
    if (!lock_->isLocked())
        lock_.reset();
}

#include "logs/PerformanceLogUpload.h"

#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <algorithm>

#include "account/ServerAPI.h"
#include "catalogue/InstalledProduct.h"
#include "platform/FileTimes.h"
#include "platform/MachineIdentifier.h"
#include "platform/PrivateFolder.h"
#include "zip/Zip.h"

namespace {

// The rotated logs: regular files named "<words>.<four digits>.log", newest first.
QFileInfoList rotatedLogs(const QDir& folder)
{
    static const QRegularExpression pattern(QStringLiteral("\\A[\\w\\s]+\\.\\d{4}\\.log\\z"));
    QFileInfoList logs;
    for (const QFileInfo& file : folder.entryInfoList(QDir::Files | QDir::Hidden | QDir::System)) {
        if (file.isFile() && !file.isSymLink() && pattern.match(file.fileName()).hasMatch())
            logs << file;
    }
    std::stable_sort(logs.begin(), logs.end(),
                     [](const QFileInfo& a, const QFileInfo& b) { return a.lastModified() > b.lastModified(); });
    return logs;
}

// Copies log to the staging name, keeping its modification time for the archive entry.
bool stageLog(const QFileInfo& log, const QString& staged)
{
    if (QFile::exists(staged) && !QFile::remove(staged))
        return false;
    if (!QFile::copy(log.filePath(), staged))
        return false;
    platform::setFileModificationTime(staged, log.lastModified());
    return true;
}

bool packLog(const QString& staged, const QString& archive)
{
    Zip zip;
    zip.createArchive(archive, true);
    const Zip::ErrorCode added = zip.addFile(staged, Zip::AutoByExtensionAll);
    const Zip::ErrorCode closed = zip.closeArchive();
    return added == Zip::Ok && closed == Zip::Ok;
}

}  // namespace

void uploadPerformanceLogs(const InstalledProduct& product)
{
    const QDir folder(QDir(QString::fromStdWString(product.dataFolder)).filePath(QStringLiteral("PerfomanceLog")));
    if (product.dataFolder.empty() || !folder.exists())
        return;

    // Staging lives in a folder of its own that only this user can enter, never in the product's folder.
    QTemporaryDir staging(QDir::tempPath() + QStringLiteral("/kyb-logs-XXXXXX"));
    if (!staging.isValid() || !platform::ensurePrivateFolder(staging.path()))
        return;
    const QString staged = staging.filePath(QStringLiteral("data.log"));
    const QString archive = staging.filePath(QStringLiteral("archivedLog.zip"));
    const QString machine =
        QString::fromStdString(platform::machineIdentifier(QString::fromStdWString(product.installDir)));

    const QFileInfoList logs = rotatedLogs(folder);
    for (auto log = logs.crbegin(); log != logs.crend(); ++log) {  // oldest first
        if (!stageLog(*log, staged) || !packLog(staged, archive))
            continue;
        // A failed upload keeps the log for the next run.
        if (ServerAPI::instance()->uploadLog(machine, archive))
            QFile::remove(log->filePath());
    }
}

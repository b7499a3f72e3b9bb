#include "downloads/DownloadManagerDialog.h"

#include "ui_DownloadManagerDialog.h"

#include "dialogs/GuardedSlot.h"
#include "platform/PrivateFolder.h"
#include "platform/ShellOpen.h"
#include "storage/CacheFile.h"

#include <QApplication>
#include <QDir>
#include <QFileInfo>
#include <QMessageBox>
#include <QNetworkRequest>
#include <QUrl>

#include <algorithm>
#include <climits>

namespace {

// The reply buffers at most this much before the socket waits, so memory stays the same for any file size.
const qint64 replyBufferBytes = 4 * 1024 * 1024;
const qint64 chunkBytes = 1024 * 1024;

bool isPlainFileName(const QString& name)
{
    return !name.isEmpty() && name != QLatin1String(".") && name != QLatin1String("..") &&
           !name.contains(QLatin1Char('/')) && !name.contains(QLatin1Char('\\')) && !name.contains(QChar(0));
}

int statusOf(const QNetworkReply* reply)
{
    return reply->attribute(QNetworkRequest::HttpStatusCodeAttribute).toInt();
}

}  // namespace

DownloadManagerDialog::DownloadManagerDialog(const QString& installerName, const QString& url, QWidget* parent)
    : QDialog(parent, Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint | Qt::WindowCloseButtonHint),
      form(std::make_unique<Ui::DownloadManagerDialog>()), installerName(installerName), url(url.trimmed())
{
    form->setupUi(this);
    // Install decides the dialog's result itself, by whether the installer started.
    connect(form->cancelButton, &QPushButton::clicked, this, &DownloadManagerDialog::canceled);
    connect(form->installButton, &QPushButton::clicked, this, &DownloadManagerDialog::install);
}

DownloadManagerDialog::~DownloadManagerDialog()
{
    dropReply();
    if (partFile.isOpen()) {
        partFile.close();
        partFile.remove();
    }
}

QString DownloadManagerDialog::cacheFolder()
{
    return platform::installerCacheFolderPath();
}

QString DownloadManagerDialog::installerFileName(const QString& url)
{
    const QString name = QUrl(url, QUrl::TolerantMode).fileName(QUrl::FullyDecoded);
    return isPlainFileName(name) ? name : QString();
}

QString DownloadManagerDialog::fileSha1(const QString& path)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return QString();
    Sha1Stream sha1;
    if (!sha1.addData(&file))
        return QString();
    return sha1.hexResult();
}

bool DownloadManagerDialog::startDownload()
{
    const QString folder = cacheFolder();
    if (!platform::ensurePrivateFolder(folder)) {
        showFailure();
        return false;
    }
    const InstallerRecord record = CacheFile().installer(installerName);
    const QString wantedName = installerFileName(url);
    // A stored name that is no plain file name is never used as a path.
    const QString storedName = isPlainFileName(record.fileName) ? record.fileName : QString();
    targetPath_ = storedName.isEmpty() ? QString() : folder + QLatin1Char('/') + storedName;

    QApplication::setOverrideCursor(Qt::WaitCursor);
    const bool valid = !record.sha1.isEmpty() && !storedName.isEmpty() && storedName == wantedName &&
                       record.sha1 == fileSha1(targetPath_);
    if (valid) {
        readySha1 = record.sha1;
        form->progressBar->setMaximum(100);
        form->progressBar->setValue(100);
        showReadyToInstall();
    } else {
        if (!targetPath_.isEmpty() && QFileInfo::exists(targetPath_))
            QFile::remove(targetPath_);
        form->label->setText(tr("Downloading %1").arg(installerName));
        targetPath_ = wantedName.isEmpty() ? QString() : folder + QLatin1Char('/') + wantedName;
        if (!targetPath_.isEmpty()) {
            partFile.setFileName(targetPath_ + QStringLiteral(".part"));
            if (!partFile.open(QIODevice::WriteOnly | QIODevice::Truncate))
                targetPath_.clear();
        }
        if (targetPath_.isEmpty()) {
            QApplication::restoreOverrideCursor();
            showFailure();
            return false;
        }
        QNetworkRequest request(QUrl(url, QUrl::TolerantMode));
        request.setAttribute(QNetworkRequest::RedirectPolicyAttribute, QNetworkRequest::NoLessSafeRedirectPolicy);
        reply = manager.get(request);
        reply->setReadBufferSize(replyBufferBytes);
        connect(reply, &QNetworkReply::finished, this, &DownloadManagerDialog::downloadFinished);
        connect(reply, &QNetworkReply::readyRead, this, &DownloadManagerDialog::receiveData);
        connect(this, &QDialog::rejected, reply, &QNetworkReply::abort);
        connect(reply, &QNetworkReply::errorOccurred, this, &DownloadManagerDialog::downloadingError);
        connect(reply, &QNetworkReply::downloadProgress, this, &DownloadManagerDialog::updateDataTransferProgress);
    }
    QApplication::restoreOverrideCursor();
    return exec() == QDialog::Accepted;
}

void DownloadManagerDialog::receiveData()
{
    guardedSlot(nullptr, [this] { storeReceivedData(); });
}

void DownloadManagerDialog::storeReceivedData()
{
    if (!reply)
        return;
    if (!discarding && statusOf(reply) != 200)
        discarding = true;   // only a 200 body is an installer
    // One block for the whole download: a fresh buffer per read costs an allocation for every few KiB received.
    if (block.isEmpty())
        block.resize(static_cast<int>(chunkBytes));
    while (reply->bytesAvailable() > 0) {
        const qint64 got = reply->read(block.data(), block.size());
        if (got <= 0)
            break;
        if (discarding)
            continue;
        hash.addData(block.constData(), got);
        if (partFile.write(block.constData(), got) != got) {
            discarding = true;
            reply->abort();   // finishes the reply: downloadFinished reports the failure
            return;
        }
    }
}

void DownloadManagerDialog::downloadFinished()
{
    guardedSlot(nullptr, [this] { finishDownload(); });
}

void DownloadManagerDialog::finishDownload()
{
    QNetworkReply* finished = reply;
    if (!finished)
        return;
    storeReceivedData();
    const bool saved = finished->error() == QNetworkReply::NoError && statusOf(finished) == 200 && !discarding &&
                       saveDownload(finished);
    dropReply();
    if (saved) {
        showReadyToInstall();
        return;
    }
    if (partFile.isOpen())
        partFile.close();
    partFile.remove();
    if (isVisible()) {
        showFailure();
        setResult(2);
        close();
    }
}

bool DownloadManagerDialog::saveDownload(QNetworkReply*)
{
    const bool written = partFile.flush() && partFile.error() == QFileDevice::NoError;
    partFile.close();
    if (!written)
        return false;
    if (QFileInfo::exists(targetPath_) && !QFile::remove(targetPath_))
        return false;
    if (!QFile::rename(partFile.fileName(), targetPath_))
        return false;
    readySha1 = hash.hexResult();
    CacheFile().setInstaller(installerName, InstallerRecord{QFileInfo(targetPath_).fileName(), readySha1});
    return true;
}

void DownloadManagerDialog::dropReply()
{
    if (!reply)
        return;
    QNetworkReply* old = reply;
    reply = nullptr;
    disconnect(old, nullptr, this, nullptr);
    disconnect(this, nullptr, old, nullptr);
    old->abort();
    old->deleteLater();
}

void DownloadManagerDialog::showReadyToInstall()
{
    form->label->setText(tr("%1 is ready to be installed").arg(installerName));
    form->progressBar->hide();
    form->installButton->setEnabled(true);
    form->installButton->setFocus();
}

void DownloadManagerDialog::showFailure()
{
    QMessageBox::information(nullptr, QStringLiteral("Kestrune"),
                             tr("Failed to download %1 update. Server is not accessible").arg(installerName),
                             QMessageBox::Ok);
}

void DownloadManagerDialog::install()
{
    bool started = false;
    guardedSlot(nullptr, [this, &started] {
        // The file is checked again right before it is started: it must still be the one recorded.
        started = !readySha1.isEmpty() && fileSha1(targetPath_) == readySha1 && platform::shellOpen(targetPath_);
    });
    if (started)
        accept();
    else
        reject();
}

void DownloadManagerDialog::canceled()
{
    reject();
}

void DownloadManagerDialog::downloadingError(QNetworkReply::NetworkError)
{
    // Failures are handled when the reply finishes.
}

void DownloadManagerDialog::updateDataTransferProgress(qlonglong readBytes, qlonglong totalBytes)
{
    if (totalBytes <= 0) {
        form->progressBar->setRange(0, 0);   // no length sent: a busy bar
        return;
    }
    // Totals beyond the bar's int range are scaled down alike, so the bar stays proportional above 2 GiB.
    int shift = 0;
    while ((totalBytes >> shift) > INT_MAX)
        ++shift;
    const qlonglong done = std::clamp<qlonglong>(readBytes, 0, totalBytes);
    form->progressBar->setRange(0, static_cast<int>(totalBytes >> shift));
    form->progressBar->setValue(static_cast<int>(done >> shift));
}

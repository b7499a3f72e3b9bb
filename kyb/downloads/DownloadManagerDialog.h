#pragma once
// The small modal window through which every installer reaches the computer. A cached installer is reused when
// cache.ini records it under the same installer name with the same file name and SHA-1; otherwise it is
// downloaded with progress into the private installer cache folder. Install starts it through the shell.

#include "downloads/Sha1Stream.h"

#include <QDialog>
#include <QFile>
#include <QNetworkAccessManager>
#include <QNetworkReply>
#include <QString>

#include <memory>

namespace Ui {
class DownloadManagerDialog;
}

class DownloadManagerDialog : public QDialog {
    Q_OBJECT
public:
    DownloadManagerDialog(const QString& installerName, const QString& url, QWidget* parent = nullptr);
    ~DownloadManagerDialog() override;

    // Prepares the installer (cached or downloaded), runs the dialog modally and returns true exactly when the
    // installer was started. Call once.
    bool startDownload();

    // SHA-1 of the whole file as 40 lower-case hexadecimal digits; empty when it cannot be read.
    static QString fileSha1(const QString& path);
    // The file name a download address is cached under: the last segment of its path, decoded. Empty (refused)
    // when that is empty, ".", "..", or holds "/", "\" or NUL.
    static QString installerFileName(const QString& url);
    // The private per-user folder of the cached installers.
    static QString cacheFolder();

    QString targetPath() const { return targetPath_; }

public slots:
    void install();
    void canceled();
    void downloadFinished();
    void downloadingError(QNetworkReply::NetworkError code);
    void updateDataTransferProgress(qlonglong readBytes, qlonglong totalBytes);

private slots:
    void receiveData();

private:
    void storeReceivedData();
    void finishDownload();
    bool saveDownload(QNetworkReply* finished);
    void showReadyToInstall();
    void showFailure();
    void dropReply();

    QNetworkAccessManager manager;
    QString targetPath_;
    std::unique_ptr<Ui::DownloadManagerDialog> form;
    QNetworkReply* reply = nullptr;
    QString installerName;
    QString url;

    QFile partFile;   // "<target>.part" while the body streams in
    Sha1Stream hash;
    QByteArray block;   // what each read from the reply goes through
    QString readySha1;   // SHA-1 of the file at targetPath_ once it is ready to install
    bool discarding = false;   // the body is not saved (status other than 200, or a failed write)
};

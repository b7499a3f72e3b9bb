#pragma once
#include <QByteArray>
#include <QMap>
#include <QNetworkAccessManager>
#include <QObject>
#include <QPointer>
#include <QString>
#include <boost/shared_ptr.hpp>
#include <vector>

#include "devices/DetectedScanner.h"
#include "devices/DeviceStore.h"
#include "scanners/AccountScanner.h"
#include "scanners/HardwareItem.h"
#include "scanners/QtLogger.h"

class QEventLoop;
class QNetworkReply;
class ScannerDetector;

// The user's scanners from the account, the descriptions stored in the Devices folder and the cameras connected
// now, and the download of calibrations that differ from the one on the computer.
//
// Rows 0 .. A - 1 are the account scanners, rows A .. A + H - 1 the hardware items (scanners outside the account).
class ScannerData : public QObject {
    Q_OBJECT
public:
    ScannerData();
    ~ScannerData() override;
    ScannerData(const ScannerData&) = delete;
    ScannerData& operator=(const ScannerData&) = delete;

    // Fills the account scanners (from the service, or cache.ini while offline), detects and computes every
    // calibration state. False only when the service refused twice or the user cancelled the sign-in.
    bool retrieveScanners();
    // Loads the stored descriptions, lists the connected cameras and, online, looks up the unmatched ones.
    void detectConnectedScanners();
    // Refills the hardware items from the connected cameras that match no stored description.
    void lookupSerialNumbers();
    // Starts the download of every account scanner in state 1. Blocking: waits (wait cursor) until every
    // download is handled or the calibration time-out ends the wait; only this wait's own loop is ended.
    void downloadCalibrations(bool blocking);
    // Starts the download of a rented hardware item's calibration; false when there is no such item or reply.
    bool requestCalibration(QString serial);
    // Extracts the archive over Devices/<serial>/ through a staging folder: files of the previous calibration
    // that the archive lacks are kept, and the folder changes only when the whole archive extracted (an unpack
    // that an earlier run left half done is finished or undone first). False for a serial that cannot be a
    // folder name, and when something other than a folder is at the scanner's folder: that is kept.
    bool unpackCalibration(QByteArray archive, QString serial);
    // Has the store re-read serial and refreshes the stored descriptions.
    void rescanWithCalibration(QString serial);
    // The first stored description of serial, or null.
    const DetectedScanner* findDetectedScanner(QString serial) const;

    // Account row: that record; hardware row: a scratch record with the item's serial and state.
    AccountScanner* scannerAt(int row);
    // 2 for an account row, else the item's belongsTo.
    int scannerKind(int row) const;
    // Account row with a stored description that has an entry name; false for hardware rows.
    bool hasDeviceData(int row) const;
    int scannerCount() const;

    // The array "scanners" of cache.ini; loading replaces the account scanners.
    void saveScannersToCache();
    void loadScannersFromCache();

    const std::vector<AccountScanner>& accountList() const { return accountScanners; }
    const std::vector<HardwareItem>& hardwareList() const { return hardwareItems; }
    const std::vector<DetectedScanner>& detectedList() const { return detectedScanners; }
    int pendingDownloads() const { return pendingReplies.size(); }

signals:
    void calibrationInstalled(QString serialId, bool rented);

public slots:
    void downloadFinished(QNetworkReply* reply);
    void timeout();

private:
    void connectManager();
    void startDownload(QNetworkReply* reply, const QString& serial);

    QNetworkAccessManager manager;
    QMap<QNetworkReply*, QString> pendingReplies;
    std::vector<DetectedScanner> detectedScanners;
    std::vector<HardwareItem> hardwareItems;
    std::vector<AccountScanner> accountScanners;
    ScannerDetector* detector = nullptr;
    boost::shared_ptr<DeviceStore> deviceStore;
    AccountScanner rowRecord;
    bool blocking = false;
    QtLogger log;
    QPointer<QEventLoop> waitLoop;  // the blocking wait's loop while it runs
    bool managerConnected = false;
};

#include "scanners/ScannerData.h"

#include <QBuffer>
#include <QCursor>
#include <QCoreApplication>
#include <QDir>
#include <QEventLoop>
#include <QFileInfo>
#include <QGuiApplication>
#include <QNetworkReply>
#include <QTimer>
#include <boost/make_shared.hpp>
#include <cerrno>
#include <cstdlib>
#include <ios>
#include <limits>

#include "account/AccountState.h"
#include "account/ServerAPI.h"
#include "devices/ScannerDetector.h"
#include "platform/StagedFolder.h"
#include "platform/RequestTimeouts.h"
#include "scanners/DevicesFolderStore.h"
#include "scanners/ScannerSerial.h"
#include "signin/SignIn.h"
#include "storage/AppDataFolders.h"
#include "storage/CacheFile.h"
#include "zip/UnZip.h"

namespace {

QString authToken()
{
    return QString::fromStdString(accountState.authToken);
}

// The local calibration revision of a stored description: its cid's leading number as atoi reads it, -1 when the
// cid is empty or does not begin with a number of int range (a garbled cid never passes as "current").
int localRevision(const std::string& cid)
{
    if (cid.empty())
        return -1;
    errno = 0;
    char* end = nullptr;
    const long value = std::strtol(cid.c_str(), &end, 10);
    if (end == cid.c_str() || errno == ERANGE || value < std::numeric_limits<int>::min() ||
        value > std::numeric_limits<int>::max())
        return -1;
    return static_cast<int>(value);
}

}  // namespace

ScannerData::ScannerData() : QObject(nullptr)
{
}

ScannerData::~ScannerData()
{
    manager.disconnect(this);
    deleteScannerDetector(detector);
}

bool ScannerData::retrieveScanners()
{
    if (accountState.offlineMode) {
        loadScannersFromCache();
    } else {
        accountScanners.clear();
        try {
            ServerAPI* api = ServerAPI::instance();
            if (!api->scanners(authToken(), &accountScanners)) {
                if (signIn(2) == 0)
                    return false;
                accountScanners.clear();  // a refused reply may have appended some before it failed
                if (!api->scanners(authToken(), &accountScanners))
                    return false;
            }
            saveScannersToCache();   // the service answered this list
        } catch (const std::ios_base::failure&) {
            loadScannersFromCache();
        }
    }

    detectConnectedScanners();

    for (AccountScanner& scanner : accountScanners) {
        const DetectedScanner* stored = findDetectedScanner(QString::fromStdString(scanner.serialNumber));
        const int local = stored ? localRevision(stored->cid) : -1;
        scanner.calibrationState = scanner.calibrationRevision != -1 && scanner.calibrationRevision != local ? 1 : 2;
    }

    // A download finishing inside a revision request's wait replaces detectedScanners: step by index and take
    // what is needed before each request.
    for (std::size_t i = 0; i < detectedScanners.size(); ++i) {
        const std::string serial = detectedScanners[i].serial;
        const std::string cid = detectedScanners[i].cid;
        bool inAccount = false;
        for (const AccountScanner& scanner : accountScanners)
            inAccount = inAccount || scanner.serialNumber == serial;
        if (inAccount)
            continue;

        HardwareItem item;
        item.serial = serial;
        item.belongsTo = 1;
        if (accountState.offlineMode) {
            item.calibrationState = 2;
        } else {
            const int revision =
                ServerAPI::instance()->calibrationRevision(authToken(), QString::fromStdString(serial));
            item.calibrationState = revision == -1 || revision == localRevision(cid) ? 2 : 1;
        }
        bool replaced = false;
        for (HardwareItem& existing : hardwareItems) {
            if (existing.serial == serial) {
                existing = item;
                replaced = true;
                break;
            }
        }
        if (!replaced)
            hardwareItems.push_back(item);
    }
    return true;
}

void ScannerData::detectConnectedScanners()
{
    detectedScanners.clear();
    if (!detector)
        detector = new ScannerDetector({"Lumenera camera", "Pg grabber"}, nullptr);
    if (!deviceStore)
        deviceStore = boost::make_shared<DevicesFolderStore>(&log);

    const std::wstring folder = devicesFolder();
    const QString folderPath = QString::fromStdWString(folder);
    if (!QFileInfo(folderPath).isDir())
        QDir().mkpath(folderPath);

    deviceStore->load(folder);
    detector->update(deviceStore);
    detector->listDevices(detectedScanners);

    if (!accountState.offlineMode)
        lookupSerialNumbers();
}

void ScannerData::lookupSerialNumbers()
{
    hardwareItems.clear();
    if (!detector)
        return;
    // A copy: a download handled inside a lookup's wait updates the detector.
    const std::vector<CameraDescriptor> cameras = detector->unmatchedCameras();
    try {
        for (const CameraDescriptor& camera : cameras) {
            HardwareItem item;
            if (ServerAPI::instance()->serialNumber(authToken(), camera.id, &item) &&
                (item.belongsTo == 0 || item.belongsTo == 1))
                hardwareItems.push_back(item);
        }
    } catch (const std::ios_base::failure&) {
        // a time-out ends the lookup; the items found so far stay
    }
}

void ScannerData::connectManager()
{
    if (managerConnected)
        return;
    connect(&manager, &QNetworkAccessManager::finished, this, &ScannerData::downloadFinished);
    managerConnected = true;
}

void ScannerData::startDownload(QNetworkReply* reply, const QString& serial)
{
    // Certificates are verified: the extra CA is trusted through the default SSL configuration.
    if (reply)
        pendingReplies.insert(reply, serial);
}

void ScannerData::downloadCalibrations(bool blocking)
{
    this->blocking = blocking;
    connectManager();
    int started = 0;
    for (std::size_t i = 0; i < accountScanners.size(); ++i) {
        const AccountScanner& scanner = accountScanners[i];
        const QString serial = QString::fromStdString(scanner.serialNumber);
        if (scanner.calibrationState != 1 || !isSafeSerial(serial))
            continue;
        QNetworkReply* reply =
            ServerAPI::instance()->calibrationReply(&manager, authToken(), QString::fromStdString(scanner.id));
        startDownload(reply, serial);
        started += reply ? 1 : 0;
    }
    if (!blocking || started == 0 || pendingReplies.isEmpty())
        return;

    // Only this loop ends, by the last reply or by its own timer, so later waits of the same run still work.
    QEventLoop loop;
    waitLoop = &loop;
    QTimer timer;
    timer.setSingleShot(true);
    connect(&timer, &QTimer::timeout, this, &ScannerData::timeout);
    timer.start(platform::calibrationTimeoutMs());
    const bool gui = qobject_cast<QGuiApplication*>(QCoreApplication::instance()) != nullptr;
    if (gui)
        QGuiApplication::setOverrideCursor(QCursor(Qt::WaitCursor));
    loop.exec();
    if (gui)
        QGuiApplication::restoreOverrideCursor();
    waitLoop = nullptr;
}

bool ScannerData::requestCalibration(QString serial)
{
    connectManager();
    for (const HardwareItem& item : hardwareItems) {
        if (QString::fromStdString(item.serial) != serial)
            continue;
        if (item.belongsTo == 0 || !isSafeSerial(serial))
            return false;
        QNetworkReply* reply = ServerAPI::instance()->rentCalibrationReply(&manager, authToken(), serial);
        if (!reply)
            return false;
        startDownload(reply, serial);
        return true;
    }
    return false;
}

void ScannerData::downloadFinished(QNetworkReply* reply)
{
    if (!reply)
        return;
    const auto found = pendingReplies.find(reply);
    const QString serial = found != pendingReplies.end() ? found.value() : QString();
    if (found != pendingReplies.end())
        pendingReplies.erase(found);

    if (reply->error() != QNetworkReply::NoError) {
        reply->readAll();
    } else if (!serial.isEmpty()) {
        try {
            const bool unpacked = unpackCalibration(reply->readAll(), serial);
            rescanWithCalibration(serial);
            const DetectedScanner* stored = findDetectedScanner(serial);
            if (unpacked && stored && !stored->entry.empty())
                emit calibrationInstalled(serial, reply->url().toString().contains(QLatin1String("_rent")));
        } catch (const std::exception&) {
            // a failed installation is not reported; the previous calibration stays
        }
    }
    reply->deleteLater();

    if (pendingReplies.isEmpty() && blocking && waitLoop)
        waitLoop->quit();
}

void ScannerData::timeout()
{
    if (waitLoop)
        waitLoop->exit(1);
}

bool ScannerData::unpackCalibration(QByteArray archive, QString serial)
{
    if (!isSafeSerial(serial))
        return false;
    const QString devices = QString::fromStdWString(devicesFolder());
    if (!QFileInfo(devices).isDir() && !QDir().mkpath(devices))
        return false;
    // '~' cannot occur in a serial, so these folders never name a scanner; below them the serial is a name of its
    // own, which fits whenever the serial's folder does.
    const QDir folder(devices);
    platform::StagedFolder staged(folder.filePath(serial), folder.filePath(QStringLiteral("~staging/") + serial),
                                  folder.filePath(QStringLiteral("~previous/") + serial));
    // An earlier version staged beside the scanner's folder: a swap it left half done is finished or undone the
    // same way, and its staging folder goes.
    platform::StagedFolder earlier(folder.filePath(serial), folder.filePath(serial + QStringLiteral("~staging")),
                                   folder.filePath(serial + QStringLiteral("~previous")));
    if (!earlier.recover())
        return false;
    earlier.discard();
    // Extracted over a copy of the previous calibration, so files the archive lacks are kept.
    if (!staged.stage())
        return false;
    QBuffer buffer(&archive);
    buffer.open(QIODevice::ReadOnly);
    UnZip unzip;
    if (unzip.openArchive(&buffer) != UnZip::Ok || unzip.extractAll(staged.path(), UnZip::KeepEntryPaths) != UnZip::Ok)
        return false;
    return staged.commit();
}

void ScannerData::rescanWithCalibration(QString serial)
{
    if (!deviceStore) {
        deviceStore = boost::make_shared<DevicesFolderStore>(&log);
        deviceStore->load(devicesFolder());
    }
    if (!detector)
        detector = new ScannerDetector({"Lumenera camera", "Pg grabber"}, nullptr);
    deviceStore->reload(serial.toStdString());
    detector->update(deviceStore);
    detector->listDevices(detectedScanners);
}

const DetectedScanner* ScannerData::findDetectedScanner(QString serial) const
{
    for (const DetectedScanner& scanner : detectedScanners)
        if (QString::fromStdString(scanner.serial) == serial)
            return &scanner;
    return nullptr;
}

AccountScanner* ScannerData::scannerAt(int row)
{
    const int accounts = static_cast<int>(accountScanners.size());
    if (row < 0 || row >= scannerCount())
        return nullptr;
    if (row < accounts)
        return &accountScanners[static_cast<std::size_t>(row)];
    const HardwareItem& item = hardwareItems[static_cast<std::size_t>(row - accounts)];
    rowRecord = AccountScanner();
    rowRecord.serialNumber = item.serial;
    rowRecord.calibrationState = item.calibrationState;
    return &rowRecord;
}

int ScannerData::scannerKind(int row) const
{
    const int accounts = static_cast<int>(accountScanners.size());
    if (row < 0 || row >= scannerCount())
        return -1;
    return row < accounts ? 2 : hardwareItems[static_cast<std::size_t>(row - accounts)].belongsTo;
}

bool ScannerData::hasDeviceData(int row) const
{
    if (row < 0 || row >= static_cast<int>(accountScanners.size()))
        return false;
    const DetectedScanner* stored =
        findDetectedScanner(QString::fromStdString(accountScanners[static_cast<std::size_t>(row)].serialNumber));
    return stored && !stored->entry.empty();
}

int ScannerData::scannerCount() const
{
    return static_cast<int>(accountScanners.size() + hardwareItems.size());
}

void ScannerData::saveScannersToCache()
{
    CacheFile().writeScanners(accountScanners);
}

void ScannerData::loadScannersFromCache()
{
    accountScanners = CacheFile().readScanners();
}

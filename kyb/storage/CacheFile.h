#pragma once
#include <QSettings>
#include <QString>
#include <vector>

#include "catalogue/ApplicationInfo.h"
#include "scanners/AccountScanner.h"

// An installer file recorded as complete in the installer cache.
struct InstallerRecord {
    QString fileName;
    QString sha1;  // 40 lower-case hexadecimal digits
};

// cache.ini in the per-user folder: the account's applications and scanners for offline use, the installer cache
// records and the language. Open one for the length of one operation; writes reach the file before each write
// operation returns.
class CacheFile {
public:
    CacheFile();                               // appDataPath() + "cache.ini"
    explicit CacheFile(const QString& path);

    static QString defaultPath();

    // "language", QLocale::system().name() when missing; never written by the program.
    QString language() const;

    // The array "products": id, version, product, product_type. Written whole, so no entry of a longer list
    // survives. Read back without download and upgrade links.
    void writeProducts(const std::vector<ApplicationInfo>& applications);
    std::vector<ApplicationInfo> readProducts();

    // The array "scanners": id, serial_number, calibration_revision.
    void writeScanners(const std::vector<AccountScanner>& scanners);
    std::vector<AccountScanner> readScanners();

    // Group "installersCache", keys "<name>/name" and "<name>/sha1"; empty texts when missing.
    InstallerRecord installer(const QString& name);
    void setInstaller(const QString& name, const InstallerRecord& record);

private:
    QSettings settings_;
};

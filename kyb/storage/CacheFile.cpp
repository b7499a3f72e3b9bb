#include "storage/CacheFile.h"

#include <QLocale>

#include "storage/AppDataFolders.h"

namespace {

QString text(const std::string& value)
{
    return QString::fromStdString(value);
}

// A stored integer; anything that is not one reads as fallback.
int integer(const QSettings& settings, const QString& key, int fallback, bool unsignedOnly)
{
    const QString stored = settings.value(key).toString();
    bool ok = false;
    const int value = unsignedOnly ? static_cast<int>(stored.toUInt(&ok)) : stored.toInt(&ok);
    return ok && (!unsignedOnly || value >= 0) ? value : fallback;
}

}  // namespace

CacheFile::CacheFile() : CacheFile(defaultPath())
{
}

CacheFile::CacheFile(const QString& path) : settings_(path, QSettings::IniFormat)
{
}

QString CacheFile::defaultPath()
{
    return appDataPath() + QStringLiteral("cache.ini");
}

QString CacheFile::language() const
{
    return settings_.value(QStringLiteral("language"), QLocale::system().name()).toString();
}

void CacheFile::writeProducts(const std::vector<ApplicationInfo>& applications)
{
    settings_.beginGroup(QStringLiteral("products"));
    settings_.remove(QString());
    settings_.endGroup();
    settings_.beginWriteArray(QStringLiteral("products"), static_cast<int>(applications.size()));
    for (size_t i = 0; i < applications.size(); ++i) {
        const ApplicationInfo& application = applications[i];
        settings_.setArrayIndex(static_cast<int>(i));
        settings_.setValue(QStringLiteral("id"), text(application.id));
        settings_.setValue(QStringLiteral("version"), text(application.versionName));
        settings_.setValue(QStringLiteral("product"), text(application.productName));
        settings_.setValue(QStringLiteral("product_type"), application.productType);
    }
    settings_.endArray();
    settings_.sync();
}

std::vector<ApplicationInfo> CacheFile::readProducts()
{
    std::vector<ApplicationInfo> applications;
    const int count = settings_.beginReadArray(QStringLiteral("products"));
    for (int i = 0; i < count; ++i) {
        settings_.setArrayIndex(i);
        ApplicationInfo application;
        application.id = settings_.value(QStringLiteral("id")).toString().toStdString();
        application.versionName = settings_.value(QStringLiteral("version")).toString().toStdString();
        application.productName = settings_.value(QStringLiteral("product")).toString().toStdString();
        application.productType = integer(settings_, QStringLiteral("product_type"), 0, true);
        applications.push_back(application);
    }
    settings_.endArray();
    return applications;
}

void CacheFile::writeScanners(const std::vector<AccountScanner>& scanners)
{
    settings_.beginGroup(QStringLiteral("scanners"));
    settings_.remove(QString());
    settings_.endGroup();
    settings_.beginWriteArray(QStringLiteral("scanners"), static_cast<int>(scanners.size()));
    for (size_t i = 0; i < scanners.size(); ++i) {
        const AccountScanner& scanner = scanners[i];
        settings_.setArrayIndex(static_cast<int>(i));
        settings_.setValue(QStringLiteral("id"), text(scanner.id));
        settings_.setValue(QStringLiteral("serial_number"), text(scanner.serialNumber));
        settings_.setValue(QStringLiteral("calibration_revision"), scanner.calibrationRevision);
    }
    settings_.endArray();
    settings_.sync();
}

std::vector<AccountScanner> CacheFile::readScanners()
{
    std::vector<AccountScanner> scanners;
    const int count = settings_.beginReadArray(QStringLiteral("scanners"));
    for (int i = 0; i < count; ++i) {
        settings_.setArrayIndex(i);
        AccountScanner scanner;
        scanner.id = settings_.value(QStringLiteral("id")).toString().toStdString();
        scanner.serialNumber = settings_.value(QStringLiteral("serial_number")).toString().toStdString();
        scanner.calibrationRevision = integer(settings_, QStringLiteral("calibration_revision"), -1, false);
        scanners.push_back(scanner);
    }
    settings_.endArray();
    return scanners;
}

InstallerRecord CacheFile::installer(const QString& name)
{
    settings_.beginGroup(QStringLiteral("installersCache"));
    InstallerRecord record;
    record.fileName = settings_.value(name + QStringLiteral("/name")).toString();
    record.sha1 = settings_.value(name + QStringLiteral("/sha1")).toString();
    settings_.endGroup();
    return record;
}

void CacheFile::setInstaller(const QString& name, const InstallerRecord& record)
{
    settings_.beginGroup(QStringLiteral("installersCache"));
    settings_.setValue(name + QStringLiteral("/name"), record.fileName);
    settings_.setValue(name + QStringLiteral("/sha1"), record.sha1);
    settings_.endGroup();
    settings_.sync();
}

// cache.ini and the per-user folders.
#include <gtest/gtest.h>

#include <QDir>
#include <QFile>
#include <QLocale>
#include <QSettings>
#include <QTemporaryDir>

#include "storage/AppDataFolders.h"
#include "storage/CacheFile.h"
#include "tests/support/TestHome.h"
#include "tests/support/TestProcess.h"

namespace {

class CacheFileTest : public ::testing::Test {
protected:
    QTemporaryDir dir{ktest::testHome() + QStringLiteral("/cache-XXXXXX")};
    QString path() const { return dir.filePath(QStringLiteral("cache.ini")); }
};

ApplicationInfo application(const std::string& id, const std::string& product, int type)
{
    ApplicationInfo a;
    a.id = id;
    a.versionName = "1." + id;
    a.productName = product;
    a.productType = type;
    a.downloadLink = "https://example.invalid/" + id + ".exe";
    a.upgradeUrl = "https://example.invalid/" + id;
    return a;
}

AccountScanner scanner(const std::string& id, const std::string& serial, int revision)
{
    AccountScanner s;
    s.id = id;
    s.serialNumber = serial;
    s.calibrationRevision = revision;
    s.hasTextureCamera = true;
    s.upgradeUrl = "https://example.invalid/upgrade";
    return s;
}

TEST_F(CacheFileTest, StoredFileReadsBack)
{
    ASSERT_TRUE(QFile::copy(ktest::sourcePath(QStringLiteral("kyb/tests/fixtures/cache.ini")), path()));
    CacheFile cache(path());
    EXPECT_EQ(cache.language(), QStringLiteral("de_DE"));

    const std::vector<ApplicationInfo> products = cache.readProducts();
    ASSERT_EQ(products.size(), 2u);
    EXPECT_EQ(products[0].id, "5d1f0c");
    EXPECT_EQ(products[0].versionName, "2.4.1");
    EXPECT_EQ(products[0].productName, "Belmo Studio");
    EXPECT_EQ(products[0].productType, 0);
    EXPECT_EQ(products[1].productName, "Belmo Measure");
    EXPECT_EQ(products[1].productType, 2);
    EXPECT_TRUE(products[1].downloadLink.empty());

    const std::vector<AccountScanner> scanners = cache.readScanners();
    ASSERT_EQ(scanners.size(), 1u);
    EXPECT_EQ(scanners[0].id, "914");
    EXPECT_EQ(scanners[0].serialNumber, "BS-2210-0042");
    EXPECT_EQ(scanners[0].calibrationRevision, 7);

    const InstallerRecord studio = cache.installer(QStringLiteral("Belmo Studio"));
    EXPECT_EQ(studio.fileName, QStringLiteral("BelmoStudio-2.4.1-setup.exe"));
    EXPECT_EQ(studio.sha1, QStringLiteral("3f786850e387550fdab836ed7e6dc881de23001b"));
    // A name holding "/" is one group deeper.
    EXPECT_EQ(cache.installer(QStringLiteral("Scan/Pro")).fileName, QStringLiteral("scanpro.exe"));
    EXPECT_TRUE(cache.installer(QStringLiteral("Unknown")).fileName.isEmpty());
}

TEST_F(CacheFileTest, ArraysAreRewrittenWhole)
{
    CacheFile(path()).writeProducts({application("a", "Studio é", 2), application("b", "B", 0), application("c", "C", 0)});
    CacheFile(path()).writeScanners({scanner("1", "S1", 3), scanner("2", "S2", -1)});
    {
        const std::vector<ApplicationInfo> three = CacheFile(path()).readProducts();
        ASSERT_EQ(three.size(), 3u);
        EXPECT_EQ(three[0].productName, "Studio é");
        EXPECT_EQ(three[0].versionName, "1.a");
        EXPECT_EQ(three[0].productType, 2);
        EXPECT_EQ(three[2].id, "c");
        // Links are not cached.
        EXPECT_TRUE(three[0].downloadLink.empty());
        EXPECT_TRUE(three[0].upgradeUrl.empty());
    }
    CacheFile(path()).writeProducts({application("z", "Z", 0)});
    CacheFile(path()).writeScanners({});

    QSettings raw(path(), QSettings::IniFormat);
    EXPECT_EQ(raw.value(QStringLiteral("products/size")).toInt(), 1);
    EXPECT_EQ(raw.value(QStringLiteral("products/1/id")).toString(), QStringLiteral("z"));
    EXPECT_FALSE(raw.contains(QStringLiteral("products/2/id")));
    EXPECT_FALSE(raw.contains(QStringLiteral("products/3/product")));
    EXPECT_FALSE(raw.contains(QStringLiteral("scanners/1/id")));
    EXPECT_EQ(raw.value(QStringLiteral("scanners/size")).toInt(), 0);

    const std::vector<ApplicationInfo> one = CacheFile(path()).readProducts();
    ASSERT_EQ(one.size(), 1u);
    EXPECT_EQ(one[0].id, "z");
    EXPECT_TRUE(CacheFile(path()).readScanners().empty());
    EXPECT_FALSE(raw.contains(QStringLiteral("language")));  // never written
}

TEST_F(CacheFileTest, UnreadableValuesGiveTheDefaults)
{
    {
        QSettings raw(path(), QSettings::IniFormat);
        raw.setValue(QStringLiteral("products/size"), 4);
        raw.setValue(QStringLiteral("products/1/product_type"), QStringLiteral("abc"));
        raw.setValue(QStringLiteral("products/2/product_type"), QStringLiteral("-3"));
        raw.setValue(QStringLiteral("products/3/product_type"), QStringLiteral("4x"));
        // entry 4 has no keys at all
        raw.setValue(QStringLiteral("scanners/size"), 3);
        raw.setValue(QStringLiteral("scanners/1/calibration_revision"), QStringLiteral("xyz"));
        raw.setValue(QStringLiteral("scanners/2/serial_number"), QStringLiteral("S2"));
        raw.setValue(QStringLiteral("scanners/3/calibration_revision"), QStringLiteral("-7"));
    }
    CacheFile cache(path());
    const std::vector<ApplicationInfo> products = cache.readProducts();
    ASSERT_EQ(products.size(), 4u);
    for (const ApplicationInfo& p : products) {
        EXPECT_EQ(p.productType, 0);
        EXPECT_TRUE(p.id.empty());
        EXPECT_TRUE(p.productName.empty());
    }
    const std::vector<AccountScanner> scanners = cache.readScanners();
    ASSERT_EQ(scanners.size(), 3u);
    EXPECT_EQ(scanners[0].calibrationRevision, -1);
    EXPECT_EQ(scanners[1].calibrationRevision, -1);
    EXPECT_EQ(scanners[1].serialNumber, "S2");
    EXPECT_EQ(scanners[2].calibrationRevision, -7);
}

TEST_F(CacheFileTest, MissingFileReadsAsDefaults)
{
    CacheFile cache(dir.filePath(QStringLiteral("absent.ini")));
    EXPECT_TRUE(cache.readProducts().empty());
    EXPECT_TRUE(cache.readScanners().empty());
    EXPECT_TRUE(cache.installer(QStringLiteral("Belmo Studio")).sha1.isEmpty());
    EXPECT_EQ(cache.language(), QLocale::system().name());
    EXPECT_FALSE(QFile::exists(dir.filePath(QStringLiteral("absent.ini"))));
}

TEST_F(CacheFileTest, InstallerRecordsAreOverwrittenByName)
{
    CacheFile(path()).setInstaller(QStringLiteral("Studio"), {QStringLiteral("old.exe"), QStringLiteral("aa")});
    CacheFile(path()).setInstaller(QStringLiteral("Other"), {QStringLiteral("other.exe"), QStringLiteral("bb")});
    CacheFile(path()).setInstaller(QStringLiteral("Studio"), {QStringLiteral("new.exe"), QStringLiteral("cc")});
    CacheFile cache(path());
    EXPECT_EQ(cache.installer(QStringLiteral("Studio")).fileName, QStringLiteral("new.exe"));
    EXPECT_EQ(cache.installer(QStringLiteral("Studio")).sha1, QStringLiteral("cc"));
    EXPECT_EQ(cache.installer(QStringLiteral("Other")).fileName, QStringLiteral("other.exe"));
    QSettings raw(path(), QSettings::IniFormat);
    EXPECT_EQ(raw.value(QStringLiteral("installersCache/Studio/sha1")).toString(), QStringLiteral("cc"));
}

TEST(AppDataFolders, BothSpellingsComeFromOneBase)
{
    const QString xdg = qEnvironmentVariable("XDG_DATA_HOME");
    ASSERT_FALSE(xdg.isEmpty());
    ASSERT_FALSE(qEnvironmentVariableIsSet("APPDATA"));
    EXPECT_EQ(appDataPath(), xdg + QStringLiteral("/Belmo/Kestrune/"));
    EXPECT_TRUE(QDir(xdg + QStringLiteral("/Belmo/Kestrune")).exists());
    EXPECT_EQ(appDataFolder(), (xdg + QStringLiteral("/Belmo/Kestrune")).toStdWString());
    EXPECT_EQ(devicesFolder(), (xdg + QStringLiteral("/Belmo/Kestrune/Devices")).toStdWString());
    EXPECT_EQ(CacheFile::defaultPath(), appDataPath() + QStringLiteral("cache.ini"));

    const QString roaming = ktest::testHome() + QStringLiteral("/roaming");
    qputenv("APPDATA", roaming.toLocal8Bit());
    EXPECT_EQ(appDataPath(), roaming + QStringLiteral("/Belmo/Kestrune/"));
    EXPECT_TRUE(QDir(roaming + QStringLiteral("/Belmo/Kestrune")).exists());
    EXPECT_EQ(appDataFolder(), (roaming + QStringLiteral("/Belmo/Kestrune")).toStdWString());
    EXPECT_FALSE(QDir(roaming + QStringLiteral("/Belmo/Kestrune/Devices")).exists());
    qunsetenv("APPDATA");
}

}  // namespace

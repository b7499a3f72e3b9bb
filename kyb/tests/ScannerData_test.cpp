// ScannerData against the simulator: calibration states from the account, the stored descriptions and the
// connected cameras (stand-in camera libraries beside this executable), downloads and their installation.
#include <gtest/gtest.h>

#include <QBuffer>
#include <QCursor>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QGuiApplication>
#include <QJsonArray>
#include <QJsonDocument>
#include <QLineEdit>
#include <QPushButton>
#include <QTest>
#include <QJsonObject>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTimer>
#include <QUrlQuery>
#include <fcntl.h>
#include <filesystem>
#include <fstream>
#include <map>
#include <memory>
#include <sys/stat.h>
#include <unistd.h>

#include "account/AccountState.h"
#include "account/ServerAPI.h"
#include "dialogs/LoginDialog.h"
#include "platform/ExtraCertificates.h"
#include "scanners/ScannerData.h"
#include "scanners/ScannerSerial.h"
#include "storage/AppDataFolders.h"
#include "storage/CacheFile.h"
#include "tests/support/AccountServiceSim.h"
#include "tests/support/TestFiles.h"
#include "tests/support/TestHome.h"
#include "tests/support/TestProcess.h"
#include "zip/Zip.h"
#include "DialogDriver.h"

namespace {

const char* const demoToken = "demo-token-7f3c9a1e5b2d4c6f8a0e1b3d5f7a9c2e";
const QString api = QStringLiteral("/api/kyb/v2/");

QString devicesPath()
{
    return QString::fromStdWString(devicesFolder());
}

QString descriptionText(const QString& serial, const QString& cid, const QString& cameraId)
{
    return QStringLiteral("<?xml version=\"1.0\"?>\n<Belmo>\n  <Device>\n    <Info>\n"
                          "      <serial>string : %1</serial>\n      <camera>string : LUM</camera>\n"
                          "      <camera_id>string : %2</camera_id>\n      <camera_clr_id>string : </camera_clr_id>\n"
                          "      <cid>string : %3</cid>\n      <version>string : 1.0</version>\n"
                          "    </Info>\n  </Device>\n</Belmo>\n")
        .arg(serial, cameraId, cid);
}

using ktest::fileMode;
using ktest::linkText;
using ktest::readFile;
using ktest::writeFile;

// Devices/<serial>/Device.xml as an unpacked calibration leaves it.
void storeDescription(const QString& serial, const QString& cid, const QString& cameraId = QString())
{
    writeFile(devicesPath() + "/" + serial + "/Device.xml", descriptionText(serial, cid, cameraId).toUtf8());
}

QString storedCid(const QString& serial)
{
    const QByteArray xml = readFile(devicesPath() + "/" + serial + "/Device.xml");
    const int start = xml.indexOf("<cid>string : ");
    return start < 0 ? QStringLiteral("<none>")
                     : QString::fromUtf8(xml.mid(start + 14, xml.indexOf("</cid>") - start - 14));
}

QJsonObject accountScanner(const QString& id, const QString& serial, int revision, const QString& cameraId)
{
    return QJsonObject{{"id", id},           {"serial_number", serial}, {"calibration_revision", revision},
                       {"camera", "LUM"},    {"camera_id", cameraId},   {"camera_clr_id", ""},
                       {"has_texture_camera", false}, {"upgrade_url", QJsonValue()}};
}

QJsonObject withScanners(const QJsonArray& scanners, const QJsonObject& routes = QJsonObject())
{
    return QJsonObject{{"account", QJsonObject{{"scanners", scanners}}}, {"routes", routes}};
}

std::string itemsText(const std::vector<HardwareItem>& items)
{
    std::string text;
    for (const HardwareItem& item : items)
        text += "{" + item.serial + "," + std::to_string(item.belongsTo) + "," + std::to_string(item.calibrationState) + "}";
    return text;
}

QStringList queryValues(const QList<QJsonObject>& requests, const QString& name)
{
    QStringList values;
    for (const QJsonObject& request : requests)
        values << request.value("query").toObject().value(name).toString();
    return values;
}

// A stored zip of Device.xml (revision 9) and a second entry; with corrupt set, the second entry's data is
// damaged so that its CRC fails after Device.xml has been extracted.
QByteArray calibrationArchive(const QString& serial, bool corrupt)
{
    QTemporaryDir source;
    writeFile(source.filePath("Device.xml"), descriptionText(serial, "9", "").toUtf8());
    writeFile(source.filePath("calibration.bin"), QByteArray(64, 'A'));
    QByteArray bytes;
    QBuffer buffer(&bytes);
    Zip zip;
    EXPECT_EQ(zip.createArchive(&buffer), Zip::Ok);
    EXPECT_EQ(zip.addFile(source.filePath("Device.xml"), Zip::Store), Zip::Ok);
    EXPECT_EQ(zip.addFile(source.filePath("calibration.bin"), Zip::Store), Zip::Ok);
    EXPECT_EQ(zip.closeArchive(), Zip::Ok);
    if (corrupt) {
        const int data = bytes.indexOf(QByteArray(64, 'A'));
        EXPECT_GT(data, 0);
        bytes[data + 10] = 'B';
    }
    return bytes;
}

class ScannerDataTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        removeDevicesFolder();
        QFile::remove(CacheFile::defaultPath());
        accountState = AccountState();
        accountState.authToken = demoToken;
    }
    void TearDown() override
    {
        removeDevicesFolder();  // the test home, removed through Qt, would keep names that are not valid UTF-8
        for (const char* name : {"KESTRUNE_TEST_CAMERAS_pgGrabber", "KESTRUNE_TEST_CAMERAS_lmGrabber",
                                 "KESTRUNE_CALIBRATION_TIMEOUT_MS", "KESTRUNE_REQUEST_TIMEOUT_MS", "APPDATA"})
            qunsetenv(name);
        sim.reset();
        accountState = AccountState();
    }
    static void removeDevicesFolder()
    {
        std::error_code ignored;  // by bytes: names that are not valid UTF-8 go too
        std::filesystem::remove_all(QFile::encodeName(devicesPath()).toStdString(), ignored);
    }
    void startSim(const QJsonObject& scenario = QJsonObject())
    {
        sim = std::make_unique<ktest::AccountServiceSim>(scenario);
        ASSERT_TRUE(sim->isRunning());
        ASSERT_TRUE(platform::installExtraCaCertificates());
    }
    QList<QJsonObject> calibrationRequests() const
    {
        QList<QJsonObject> found;
        for (const QJsonObject& request : sim->requests())
            if (request.value("path").toString().contains("calibration.json") ||
                request.value("path").toString().contains("calibration_for_rent"))
                found << request;
        return found;
    }

    std::unique_ptr<ktest::AccountServiceSim> sim;
};

// The account scanner BS3-10001 against the revision stored on the computer.
struct StateCase {
    const char* name;
    int revision;     // the service's
    const char* cid;  // the stored description's, null for none
    int state;
};

class CalibrationState : public ScannerDataTest, public ::testing::WithParamInterface<StateCase> {};

TEST_P(CalibrationState, DecidesTheDownloadAndInstallsIt)
{
    const StateCase& c = GetParam();
    startSim(withScanners({accountScanner("501", "BS3-10001", c.revision, "30001234")}));
    if (c.cid)
        storeDescription("BS3-10001", c.cid, "30001234");

    ScannerData data;
    QSignalSpy installed(&data, &ScannerData::calibrationInstalled);
    ASSERT_TRUE(data.retrieveScanners());
    ASSERT_EQ(data.accountList().size(), 1u);
    EXPECT_EQ(data.accountList()[0].calibrationState, c.state);
    EXPECT_EQ(data.hasDeviceData(0), c.cid != nullptr);
    EXPECT_EQ(data.scannerKind(0), 2);
    EXPECT_TRUE(data.hardwareList().empty());
    // the fetched list is cached for offline use
    const std::vector<AccountScanner> cached = CacheFile().readScanners();
    ASSERT_EQ(cached.size(), 1u);
    EXPECT_EQ(cached[0].calibrationRevision, c.revision);

    QElapsedTimer clock;
    clock.start();
    data.downloadCalibrations(true);
    EXPECT_EQ(data.pendingDownloads(), 0);
    if (c.state == 2) {
        EXPECT_LT(clock.elapsed(), 30000) << "nothing to wait for";
        EXPECT_TRUE(calibrationRequests().isEmpty());
        EXPECT_TRUE(installed.isEmpty());
        EXPECT_EQ(storedCid("BS3-10001"), c.cid ? QString(c.cid) : QString("<none>"));
        return;
    }
    ASSERT_EQ(calibrationRequests().size(), 1);
    EXPECT_EQ(calibrationRequests()[0].value("path").toString(), api + "scanners/501/calibration.json");
    ASSERT_EQ(installed.size(), 1);
    EXPECT_EQ(installed[0][0].toString(), "BS3-10001");
    EXPECT_FALSE(installed[0][1].toBool()) << "an account scanner is not rented";
    EXPECT_EQ(storedCid("BS3-10001"), QString::number(c.revision));
    ASSERT_NE(data.findDetectedScanner("BS3-10001"), nullptr);
    EXPECT_EQ(data.findDetectedScanner("BS3-10001")->cid, std::to_string(c.revision));
    EXPECT_TRUE(data.hasDeviceData(0));
}

INSTANTIATE_TEST_SUITE_P(Cases, CalibrationState,
                         ::testing::Values(StateCase{"Current", 5, "5", 2}, StateCase{"Outdated", 5, "4", 1},
                                           StateCase{"NotOnComputer", 5, nullptr, 1},
                                           StateCase{"NoRevisionAtService", -1, "4", 2},
                                           StateCase{"GarbledLocalCid", 0, "n/a", 1}),
                         [](const auto& info) { return std::string(info.param.name); });

// A refused scanner list asks for a new sign-in and tries once more.
struct RefusalCase {
    const char* name;
    bool signInAgain;         // false: the dialog is cancelled
    bool secondAnswerRefused;
    bool result;
    int listRequests;
};

class RefusedList : public ScannerDataTest, public ::testing::WithParamInterface<RefusalCase> {};

TEST_P(RefusedList, SignsInOnceMoreThenGivesUp)
{
    const RefusalCase& c = GetParam();
    if (c.signInAgain && !ktest::haveProgram("openssl"))
        GTEST_SKIP() << "openssl command not found";
    const QJsonValue second = c.secondAnswerRefused ? QJsonValue(QJsonObject{{"status", 401}}) : QJsonValue(QJsonObject{});
    startSim(QJsonObject{{"routes", QJsonObject{{api + "scanners.json", QJsonArray{QJsonObject{{"status", 401}}, second}}}}});
    storeDescription("ZX-77", "");
    ktest::OnModal<LoginDialog> driver([&](LoginDialog* dialog) {
        if (!c.signInAgain) {
            QTest::mouseClick(dialog->findChild<QPushButton*>("btCancel"), Qt::LeftButton);
            return;
        }
        QLineEdit* login = dialog->findChild<QLineEdit*>("loginEdit");
        if (login->isEnabled())
            login->setText("demo@belmo.example");
        dialog->findChild<QLineEdit*>("passEdit")->setText("demo-password");
        QTest::mouseClick(dialog->findChild<QPushButton*>("btSignIn"), Qt::LeftButton);
    });

    ScannerData data;
    EXPECT_EQ(data.retrieveScanners(), c.result);
    EXPECT_EQ(driver.count(), 1);
    EXPECT_EQ(sim->requestsTo(api + "scanners.json").size(), c.listRequests);
    EXPECT_EQ(sim->requestsTo(api + "scanners/calibration_revision.json").isEmpty(), !c.result);
    EXPECT_EQ(data.accountList().size(), c.result ? 2u : 0u);
}

INSTANTIATE_TEST_SUITE_P(Cases, RefusedList,
                         ::testing::Values(RefusalCase{"Cancelled", false, true, false, 1},
                                           RefusalCase{"RefusedTwice", true, true, false, 2},
                                           RefusalCase{"AcceptedAfterSignIn", true, false, true, 2}),
                         [](const auto& info) { return std::string(info.param.name); });

TEST_F(ScannerDataTest, StoredScannersOutsideTheAccountAskForTheirRevision)
{
    startSim();
    storeDescription("BS3-10001", "5", "30001234");  // in the account
    storeDescription("BS3-90009", "3");              // rented, revision 3 at the service
    storeDescription("ZX-77", "");                   // unknown: 404
    // no descriptions: a folder name that is no serial, a file that does not parse, another root element
    writeFile(devicesPath() + "/not a serial/Device.xml", descriptionText("X", "1", "").toUtf8());
    writeFile(devicesPath() + "/BAD-1/Device.xml", "<Belmo><Device><Info><cid>string : 1</Info>");
    writeFile(devicesPath() + "/BS3-90009/Camera.xml", "<Camera><gain>int : 3</gain></Camera>");

    ScannerData data;
    ASSERT_TRUE(data.retrieveScanners());
    EXPECT_EQ(itemsText(data.hardwareList()), "{BS3-90009,1,2}{ZX-77,1,1}");
    EXPECT_EQ(queryValues(sim->requestsTo(api + "scanners/calibration_revision.json"), "serial_number"),
              (QStringList{"BS3-90009", "ZX-77"}));
    ASSERT_EQ(data.detectedList().size(), 3u);
    EXPECT_EQ(data.findDetectedScanner("BS3-90009")->entry, "Device");

    // rows: the two account scanners, then the hardware items
    ASSERT_EQ(data.scannerCount(), 4);
    EXPECT_EQ(data.scannerAt(0)->serialNumber, "BS3-10001");
    EXPECT_TRUE(data.hasDeviceData(0));
    EXPECT_FALSE(data.hasDeviceData(1));
    EXPECT_EQ(data.scannerAt(3)->serialNumber, "ZX-77");
    EXPECT_EQ(data.scannerAt(3)->calibrationState, 1);
    EXPECT_EQ(data.scannerKind(3), 1);
    EXPECT_FALSE(data.hasDeviceData(3));

    // a second retrieval updates the items in place
    storeDescription("ZX-77", "0");
    ASSERT_TRUE(data.retrieveScanners());
    EXPECT_EQ(itemsText(data.hardwareList()), "{BS3-90009,1,2}{ZX-77,1,2}");
}

TEST_F(ScannerDataTest, OfflineWorksFromTheCacheWithoutLookups)
{
    startSim();
    AccountScanner cachedScanner;
    cachedScanner.id = "501";
    cachedScanner.serialNumber = "BS3-10001";
    cachedScanner.calibrationRevision = 5;
    CacheFile().writeScanners({cachedScanner});
    storeDescription("ZX-77", "");
    qputenv("KESTRUNE_TEST_CAMERAS_lmGrabber", "Lumenera LW #30009999");
    accountState.offlineMode = true;

    ScannerData data;
    ASSERT_TRUE(data.retrieveScanners());
    ASSERT_EQ(data.accountList().size(), 1u);
    EXPECT_EQ(data.accountList()[0].serialNumber, "BS3-10001");
    EXPECT_EQ(data.accountList()[0].calibrationState, 1);
    EXPECT_EQ(itemsText(data.hardwareList()), "{ZX-77,1,2}");
    EXPECT_TRUE(sim->requests().isEmpty()) << "no list, serial or revision request while offline";
}

TEST_F(ScannerDataTest, UnmatchedCamerasAreLookedUpAndRentedCalibrationsRequested)
{
    startSim();
    storeDescription("BS3-10001", "5", "30001234");
    qputenv("KESTRUNE_TEST_CAMERAS_pgGrabber", "14070001");
    qputenv("KESTRUNE_TEST_CAMERAS_lmGrabber", "Lumenera LW #30009999;Lumenera LW #555;Lumenera LW #30001234");

    ScannerData data;
    QSignalSpy installed(&data, &ScannerData::calibrationInstalled);
    ASSERT_TRUE(data.retrieveScanners());
    // the camera of the stored description is not looked up; 555 is unknown (422) and dropped
    EXPECT_EQ(queryValues(sim->requestsTo(api + "scanners/serial_number.json"), "camerabwsn"),
              (QStringList{"14070001", "30009999", "555"}));
    EXPECT_EQ(itemsText(data.hardwareList()), "{BS2-20002,0,0}{BS3-90009,1,0}");

    EXPECT_FALSE(data.requestCalibration("BS2-20002")) << "owned";
    EXPECT_FALSE(data.requestCalibration("NOPE"));
    EXPECT_TRUE(calibrationRequests().isEmpty());

    ASSERT_TRUE(data.requestCalibration("BS3-90009"));
    ASSERT_TRUE(installed.wait(20000));
    EXPECT_EQ(installed[0][0].toString(), "BS3-90009");
    EXPECT_TRUE(installed[0][1].toBool()) << "rented";
    EXPECT_EQ(storedCid("BS3-90009"), "3");
    ASSERT_NE(data.findDetectedScanner("BS3-90009"), nullptr);
    EXPECT_EQ(data.findDetectedScanner("BS3-90009")->entry, "Device");
    EXPECT_EQ(data.pendingDownloads(), 0);
}

TEST_F(ScannerDataTest, StalledBlockingWaitEndsByItsOwnTimerAndLaterWaitsStillWork)
{
    startSim(QJsonObject{{"routes", QJsonObject{{api + "scanners/501/calibration.json", QJsonObject{{"stall", true}}}}}});
    qputenv("KESTRUNE_CALIBRATION_TIMEOUT_MS", "3000");  // the other reply comes well within it
    ScannerData data;
    QSignalSpy installed(&data, &ScannerData::calibrationInstalled);
    ASSERT_TRUE(data.retrieveScanners());
    ASSERT_EQ(data.accountList().size(), 2u);  // both without a stored calibration

    bool waitCursor = false;
    QTimer probe;
    probe.setSingleShot(true);
    QObject::connect(&probe, &QTimer::timeout, [&] {
        waitCursor = QGuiApplication::overrideCursor() && QGuiApplication::overrideCursor()->shape() == Qt::WaitCursor;
    });
    probe.start(100);
    QElapsedTimer clock;
    clock.start();
    data.downloadCalibrations(true);
    EXPECT_LT(clock.elapsed(), 20000);
    EXPECT_TRUE(waitCursor);
    EXPECT_EQ(QGuiApplication::overrideCursor(), nullptr);
    EXPECT_EQ(data.pendingDownloads(), 1) << "the stalled download is still running";
    ASSERT_EQ(installed.size(), 1) << "the other download was handled during the wait";
    EXPECT_EQ(installed[0][0].toString(), "BS2-20002");

    // the application is not left quitting: a request wait and another blocking wait still run
    EXPECT_EQ(ServerAPI::instance()->calibrationRevision(demoToken, "BS3-90009"), 3);
    sim->setScenario(QJsonObject());
    qunsetenv("KESTRUNE_CALIBRATION_TIMEOUT_MS");
    ScannerData later;
    QSignalSpy laterInstalled(&later, &ScannerData::calibrationInstalled);
    ASSERT_TRUE(later.retrieveScanners());
    clock.restart();
    later.downloadCalibrations(true);
    EXPECT_LT(clock.elapsed(), 30000) << "ended by the last reply";
    ASSERT_EQ(laterInstalled.size(), 1);
    EXPECT_EQ(laterInstalled[0][0].toString(), "BS3-10001");
    EXPECT_EQ(storedCid("BS3-10001"), "5");
}

TEST_F(ScannerDataTest, DownloadsVerifyTheServerCertificate)
{
    startSim();
    ScannerData data;
    QSignalSpy installed(&data, &ScannerData::calibrationInstalled);
    ASSERT_TRUE(data.retrieveScanners());
    ASSERT_EQ(data.accountList()[0].calibrationState, 1);

    sim.reset();
    ktest::AccountServiceSim::Options untrusted;
    untrusted.trustedCa = false;
    ktest::AccountServiceSim other(QJsonObject(), untrusted);
    ASSERT_TRUE(other.isRunning());
    data.downloadCalibrations(true);
    EXPECT_EQ(data.pendingDownloads(), 0);
    EXPECT_TRUE(installed.isEmpty());
    EXPECT_TRUE(other.requests().isEmpty());
    EXPECT_FALSE(QFile::exists(devicesPath() + "/BS3-10001"));
}

TEST_F(ScannerDataTest, UnsafeSerialsNeverBecomeFolders)
{
    startSim(withScanners({accountScanner("501", "../escape", 5, "1")}));
    ScannerData data;
    ASSERT_TRUE(data.retrieveScanners());
    ASSERT_EQ(data.accountList()[0].calibrationState, 1);
    data.downloadCalibrations(true);
    EXPECT_TRUE(calibrationRequests().isEmpty());

    const QByteArray archive = calibrationArchive("X", false);
    QDir().mkpath(devicesPath());
    const QStringList before = QDir(devicesPath() + "/..").entryList(QDir::AllEntries | QDir::NoDotAndDotDot);
    for (const char* serial : {"", ".", "..", "../escape", "a/b", "/tmp/abs", "a b", "x~staging", "é"})
        EXPECT_FALSE(data.unpackCalibration(archive, QString::fromUtf8(serial))) << serial;
    EXPECT_EQ(QDir(devicesPath() + "/..").entryList(QDir::AllEntries | QDir::NoDotAndDotDot), before);
    EXPECT_TRUE(QDir(devicesPath()).entryList(QDir::AllEntries | QDir::NoDotAndDotDot).isEmpty());

    EXPECT_TRUE(data.unpackCalibration(archive, "Ab-1.0_z"));
    EXPECT_EQ(storedCid("Ab-1.0_z"), "9");
}

TEST_F(ScannerDataTest, FailedUnpackKeepsThePreviousCalibration)
{
    startSim();
    writeFile(sim->filesDir() + "/broken.zip", calibrationArchive("BS3-10001", true));
    writeFile(sim->filesDir() + "/garbage.zip", QByteArray("PK\x03\x04 not really an archive"));
    for (const char* file : {"broken.zip", "garbage.zip"}) {
        SCOPED_TRACE(file);
        QDir(devicesPath()).removeRecursively();
        storeDescription("BS3-10001", "4", "30001234");
        writeFile(devicesPath() + "/BS3-10001/old.bin", "previous");
        sim->setScenario(withScanners({accountScanner("501", "BS3-10001", 5, "30001234")},
                                      {{api + "scanners/501/calibration.json", QJsonObject{{"file", file}}}}));

        ScannerData data;
        QSignalSpy installed(&data, &ScannerData::calibrationInstalled);
        ASSERT_TRUE(data.retrieveScanners());
        ASSERT_EQ(data.accountList()[0].calibrationState, 1);
        data.downloadCalibrations(true);
        EXPECT_EQ(calibrationRequests().size(), 1);
        sim->clearLog();
        EXPECT_TRUE(installed.isEmpty());
        EXPECT_EQ(storedCid("BS3-10001"), "4");
        EXPECT_EQ(readFile(devicesPath() + "/BS3-10001/old.bin"), "previous");
        EXPECT_EQ(QDir(devicesPath()).entryList(QDir::AllEntries | QDir::NoDotAndDotDot), QStringList{"BS3-10001"});
        ASSERT_NE(data.findDetectedScanner("BS3-10001"), nullptr);
        EXPECT_EQ(data.findDetectedScanner("BS3-10001")->cid, "4");
    }
}

TEST_F(ScannerDataTest, SuccessfulUnpackGoesOverThePreviousCalibration)
{
    startSim();
    storeDescription("BS3-10001", "4");
    writeFile(devicesPath() + "/BS3-10001/calibration.bin", "previous version");
    writeFile(devicesPath() + "/BS3-10001/old.bin", "previous");
    writeFile(devicesPath() + "/BS3-10001/user/settings.xml", "kept");
    ScannerData data;
    ASSERT_TRUE(data.unpackCalibration(calibrationArchive("BS3-10001", false), "BS3-10001"));
    EXPECT_EQ(storedCid("BS3-10001"), "9");
    EXPECT_EQ(readFile(devicesPath() + "/BS3-10001/calibration.bin"), QByteArray(64, 'A')) << "replaced";
    EXPECT_EQ(readFile(devicesPath() + "/BS3-10001/old.bin"), "previous") << "not in the archive: kept";
    EXPECT_EQ(readFile(devicesPath() + "/BS3-10001/user/settings.xml"), "kept");
    EXPECT_EQ(QDir(devicesPath() + "/BS3-10001").entryList(QDir::AllEntries | QDir::NoDotAndDotDot, QDir::Name),
              (QStringList{"Device.xml", "calibration.bin", "old.bin", "user"}));
    EXPECT_EQ(QDir(devicesPath()).entryList(QDir::AllEntries | QDir::NoDotAndDotDot), QStringList{"BS3-10001"});
}

// A stored archive written by Python's zipfile with the given entries; the entry named corrupt has a byte of its
// data changed afterwards, so that its CRC fails after the entries before it were extracted.
QByteArray pythonArchive(const QList<QPair<QString, QByteArray>>& entries, const QString& corrupt = QString())
{
    QTemporaryDir dir;
    const QString path = dir.filePath("a.zip");
    QStringList args{"-c",
                     "import sys, zipfile\n"
                     "with zipfile.ZipFile(sys.argv[1], 'w', zipfile.ZIP_STORED) as z:\n"
                     "    for name, data in zip(sys.argv[2::2], sys.argv[3::2]):\n"
                     "        z.writestr(name, data)\n",
                     path};
    for (const auto& entry : entries)
        args << entry.first << QString::fromUtf8(entry.second);
    const ktest::ProcessResult made = ktest::runProgram("python3", args);
    EXPECT_TRUE(made.ok()) << made.err.constData();
    QByteArray bytes = readFile(path);
    for (const auto& entry : entries) {
        if (entry.first != corrupt)
            continue;
        const int data = bytes.indexOf(entry.second);
        EXPECT_GT(data, 0);
        bytes[data] = bytes[data] ^ 1;
    }
    return bytes;
}

QStringList devicesEntries()
{
    return QDir(devicesPath()).entryList(QDir::AllEntries | QDir::NoDotAndDotDot | QDir::Hidden, QDir::Name);
}

// Devices/S1 (0700) holds data/ (0700) with x.txt = "old" and the relative link sub -> data; the archive holds
// sub/x.txt = "new" and, in the second case, an entry whose CRC fails.
class LinkInThePreviousCalibration : public ScannerDataTest, public ::testing::WithParamInterface<bool> {};

TEST_P(LinkInThePreviousCalibration, IsWrittenThroughOnlyInTheCopy)
{
    const bool broken = GetParam();
    const QString s1 = devicesPath() + "/S1";
    writeFile(s1 + "/data/x.txt", "old");
    ASSERT_EQ(::symlink("data", QFile::encodeName(s1 + "/sub").constData()), 0);
    ASSERT_EQ(::chmod(QFile::encodeName(s1 + "/data").constData(), 0700), 0);
    ASSERT_EQ(::chmod(QFile::encodeName(s1).constData(), 0700), 0);
    QList<QPair<QString, QByteArray>> entries{{"sub/x.txt", "new"}};
    if (broken)
        entries.append({"z.bin", QByteArray(64, 'A')});

    ScannerData data;
    EXPECT_EQ(data.unpackCalibration(pythonArchive(entries, "z.bin"), "S1"), !broken);
    EXPECT_EQ(readFile(s1 + "/data/x.txt"), broken ? "old" : "new");
    EXPECT_EQ(linkText(s1 + "/sub"), "data") << "still relative";
    EXPECT_EQ(fileMode(s1), 0700u);
    EXPECT_EQ(fileMode(s1 + "/data"), 0700u);
    EXPECT_EQ(QDir(s1).entryList(QDir::AllEntries | QDir::NoDotAndDotDot, QDir::Name),
              (QStringList{"data", "sub"}));
    EXPECT_EQ(devicesEntries(), QStringList{"S1"});
}

INSTANTIATE_TEST_SUITE_P(Archives, LinkInThePreviousCalibration, ::testing::Values(false, true),
                         [](const auto& info) { return info.param ? "WithAFailingEntry" : "Whole"; });

// A run killed between setting the previous calibration aside and putting the new one in place left it only in
// a set-aside folder (Devices/~previous/<serial>, or <serial>~previous of the earlier layout), beside a staging
// folder holding temporary files of a half-done extraction; the next unpack puts the previous calibration back
// first, whether it then succeeds or not, and nothing of the killed run is left.
struct InterruptedCase {
    const char* label;
    const char* setAside;  // %1: the serial
    const char* staging;
    bool broken;
};

void PrintTo(const InterruptedCase& c, std::ostream* os) { *os << c.label; }

class InterruptedUnpack : public ScannerDataTest, public ::testing::WithParamInterface<InterruptedCase> {};

TEST_P(InterruptedUnpack, LeavesThePreviousCalibrationToTheNextOne)
{
    const InterruptedCase& c = GetParam();
    const QString serial = "BS3-10001";
    const QString setAside = devicesPath() + "/" + QString(c.setAside).arg(serial);
    const QString staging = devicesPath() + "/" + QString(c.staging).arg(serial);
    writeFile(setAside + "/Device.xml", descriptionText(serial, "4", "").toUtf8());
    writeFile(setAside + "/user/settings.xml", "the user's");
    writeFile(staging + "/Device.xml", descriptionText(serial, "8", "").toUtf8());
    // Temporary files of extractions killed part-way: in the staging folder, and carried into the calibration
    // by an earlier version, which named them after their target cut at 200 bytes, here inside a character.
    for (const QString& folder : {staging, setAside + "/user"}) {
        writeFile(folder + "/.staged~0123456789abcdef", "a temporary file");
        const QByteArray cutName = QFile::encodeName(folder) + "/." + QByteArray(199, 'c') + "\xc3.1k2j3";
        const int fd = ::open(cutName.constData(), O_WRONLY | O_CREAT | O_EXCL, 0600);
        ASSERT_GE(fd, 0);
        ::close(fd);
    }

    ScannerData data;
    EXPECT_EQ(data.unpackCalibration(calibrationArchive(serial, c.broken), serial), !c.broken);
    EXPECT_EQ(storedCid(serial), c.broken ? "4" : "9");
    EXPECT_EQ(readFile(devicesPath() + "/" + serial + "/user/settings.xml"), "the user's");
    EXPECT_EQ(devicesEntries(), QStringList{serial});
    if (!c.broken) {  // listed by bytes: Qt leaves out names that are not valid UTF-8
        std::vector<std::string> names;
        for (const auto& entry : std::filesystem::directory_iterator(
                 QFile::encodeName(devicesPath() + "/" + serial + "/user").toStdString()))
            names.push_back(entry.path().filename().string());
        EXPECT_EQ(names, std::vector<std::string>{"settings.xml"});
    }
}

INSTANTIATE_TEST_SUITE_P(
    Layouts, InterruptedUnpack,
    ::testing::Values(InterruptedCase{"Whole", "~previous/%1", "~staging/%1", false},
                      InterruptedCase{"Broken", "~previous/%1", "~staging/%1", true},
                      InterruptedCase{"EarlierLayoutWhole", "%1~previous", "%1~staging", false},
                      InterruptedCase{"EarlierLayoutBroken", "%1~previous", "%1~staging", true}),
    [](const auto& info) { return std::string(info.param.label); });

// Every entry below root, by its bytes and without following links: "folder", "file <content>" or
// "link <text>".
std::map<std::string, std::string> treeByBytes(const QString& root)
{
    namespace fs = std::filesystem;
    std::map<std::string, std::string> tree;
    const fs::path base = QFile::encodeName(root).toStdString();
    std::error_code error;
    for (auto it = fs::recursive_directory_iterator(base, error); !error && it != fs::recursive_directory_iterator();
         it.increment(error)) {
        const fs::path& p = it->path();
        std::string& entry = tree[p.lexically_relative(base).string()];
        if (fs::is_symlink(it->symlink_status())) {
            entry = "link " + fs::read_symlink(p).string();
        } else if (fs::is_directory(it->symlink_status())) {
            entry = "folder";
        } else {
            std::ifstream in(p, std::ios::binary);
            entry = "file " + std::string(std::istreambuf_iterator<char>(in), {});
        }
    }
    EXPECT_FALSE(error) << error.message();
    return tree;
}

// Hidden files of the user whose names are not valid UTF-8, beside a folder named exactly like a temporary file
// an earlier version left: an unpack keeps them all, with their contents.
TEST_F(ScannerDataTest, UnpackKeepsTheUsersHiddenFiles)
{
    const QString s1 = devicesPath() + "/S1";
    storeDescription("S1", "4");
    const std::map<std::string, std::string> users{
        {".r\xe9glages.ini", "file mine"},
        {".donn\xe9" "es.bak", "file backup"},
        {".copie-\xe9t\xe9.old", "folder"},
        {".copie-\xe9t\xe9.old/Device.xml", "file copy"},
        {".copie-\xe9t\xe9.old/.r\xe9glages.ini", "file copied settings"},
        {"." + std::string(199, 'c') + "\xc3.1k2j3", "folder"},
        {"." + std::string(199, 'c') + "\xc3.1k2j3/kept.txt", "file kept"},
    };
    for (const auto& entry : users) {
        const QByteArray path = QFile::encodeName(s1) + "/" + QByteArray::fromStdString(entry.first);
        if (entry.second == "folder") {
            ASSERT_EQ(::mkdir(path.constData(), 0755), 0);
            continue;
        }
        const int fd = ::open(path.constData(), O_WRONLY | O_CREAT | O_EXCL, 0600);
        ASSERT_GE(fd, 0) << entry.first;
        const std::string content = entry.second.substr(5);
        ASSERT_EQ(::write(fd, content.data(), content.size()), ssize_t(content.size()));
        ::close(fd);
    }

    ScannerData data;
    ASSERT_TRUE(data.unpackCalibration(calibrationArchive("S1", false), "S1"));
    std::map<std::string, std::string> expected = users;
    expected["Device.xml"] = "file " + descriptionText("S1", "9", "").toStdString();
    expected["calibration.bin"] = "file " + std::string(64, 'A');
    EXPECT_EQ(treeByBytes(s1), expected);
}

// Something at the scanner's folder that is not a folder, or at a set-aside path that is not one: the unpack fails
// and leaves the Devices folder as it was.
struct NotAFolderCase {
    const char* label;
    const char* path;  // below Devices; %1: the serial
    const char* link;  // the text of a link made there, or null for a file
    bool folderToo;    // the scanner's folder exists as well
};

void PrintTo(const NotAFolderCase& c, std::ostream* os) { *os << c.label; }

class NotAFolder : public ScannerDataTest, public ::testing::WithParamInterface<NotAFolderCase> {};

TEST_P(NotAFolder, FailsTheUnpackAndIsKept)
{
    const NotAFolderCase& c = GetParam();
    const QString serial = "BS3-10001";
    if (c.folderToo)
        storeDescription(serial, "4");
    writeFile(devicesPath() + "/elsewhere/Device.xml", "a folder the link leads to");
    const QString path = devicesPath() + "/" + QString(c.path).arg(serial);
    if (c.link) {
        ASSERT_TRUE(QDir().mkpath(QFileInfo(path).path()));
        ASSERT_EQ(::symlink(c.link, QFile::encodeName(path).constData()), 0);
    } else {
        writeFile(path, "the user's file");
    }
    const std::map<std::string, std::string> before = treeByBytes(devicesPath());

    ScannerData data;
    EXPECT_FALSE(data.unpackCalibration(calibrationArchive(serial, false), serial));
    EXPECT_EQ(treeByBytes(devicesPath()), before);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, NotAFolder,
    ::testing::Values(NotAFolderCase{"FileAtTheFolder", "%1", nullptr, false},
                      NotAFolderCase{"DanglingLinkAtTheFolder", "%1", "nowhere", false},
                      NotAFolderCase{"LinkToAFolderAtTheFolder", "%1", "elsewhere", false},
                      NotAFolderCase{"FileSetAside", "~previous/%1", nullptr, false},
                      NotAFolderCase{"FileSetAsideBesideTheFolder", "~previous/%1", nullptr, true},
                      NotAFolderCase{"FileSetAsideInTheEarlierLayout", "%1~previous", nullptr, false}),
    [](const auto& info) { return std::string(info.param.label); });

// The Devices folder reached through a symbolic link: the user data base is one, or Devices itself is.
class UnpackUnderALink : public ScannerDataTest, public ::testing::WithParamInterface<bool> {};

TEST_P(UnpackUnderALink, GoesOverThePreviousCalibration)
{
    QTemporaryDir elsewhere(ktest::testHome() + "/elsewhere-XXXXXX");
    ASSERT_TRUE(elsewhere.isValid());
    QString link;
    QString realDevices = elsewhere.path();
    if (GetParam()) {
        link = elsewhere.filePath("linked-appdata");
        ASSERT_TRUE(QDir().mkpath(elsewhere.filePath("appdata")));
        ASSERT_TRUE(QFile::link(elsewhere.filePath("appdata"), link));
        qputenv("APPDATA", QFile::encodeName(link));
        realDevices = elsewhere.filePath("appdata/Belmo/Kestrune/Devices");
    } else {
        link = devicesPath();
        ASSERT_TRUE(QDir().mkpath(QFileInfo(link).path()));
        ASSERT_TRUE(QFile::link(elsewhere.path(), link));
    }
    const QString s1 = devicesPath() + "/S1";
    ScannerData data;
    ASSERT_TRUE(data.unpackCalibration(calibrationArchive("S1", false), "S1"));
    writeFile(s1 + "/user/settings.xml", "kept");
    writeFile(s1 + "/calibration.bin", "previous");
    ASSERT_TRUE(data.unpackCalibration(calibrationArchive("S1", false), "S1")) << "over the previous one";
    EXPECT_EQ(storedCid("S1"), "9");
    EXPECT_EQ(readFile(realDevices + "/S1/calibration.bin"), QByteArray(64, 'A'));
    EXPECT_EQ(readFile(realDevices + "/S1/user/settings.xml"), "kept");
    EXPECT_EQ(devicesEntries(), QStringList{"S1"});
    EXPECT_TRUE(QFileInfo(link).isSymLink());
}

INSTANTIATE_TEST_SUITE_P(Links, UnpackUnderALink, ::testing::Values(true, false),
                         [](const auto& info) { return info.param ? "LinkedDataFolder" : "LinkedDevicesFolder"; });

TEST_F(ScannerDataTest, TheLongestSerialUnpacks)
{
    const QString serial(255, QLatin1Char('S'));
    ASSERT_TRUE(isSafeSerial(serial));
    ScannerData data;
    ASSERT_TRUE(data.unpackCalibration(calibrationArchive(serial, false), serial));
    writeFile(devicesPath() + "/" + serial + "/user.txt", "kept");
    ASSERT_TRUE(data.unpackCalibration(calibrationArchive(serial, false), serial)) << "over the previous one";
    EXPECT_EQ(storedCid(serial), "9");
    EXPECT_EQ(readFile(devicesPath() + "/" + serial + "/user.txt"), "kept");
    EXPECT_EQ(devicesEntries(), QStringList{serial});
}

// A scanner list that does not come falls back to the list cached by an earlier run.
struct ListFailureCase {
    const char* name;
    const char* route;   // the scanners.json answer
    bool offline;        // the failure marks the service unreachable
};

class ScannerListFailure : public ScannerDataTest, public ::testing::WithParamInterface<ListFailureCase> {};

TEST_P(ScannerListFailure, FallsBackToTheCachedList)
{
    const ListFailureCase& c = GetParam();
    startSim(QJsonObject{{"routes", QJsonObject{{api + "scanners.json", QJsonDocument::fromJson(c.route).object()}}}});
    // Long enough for any answer on loopback; the stall never answers.
    qputenv("KESTRUNE_REQUEST_TIMEOUT_MS", "5000");
    AccountScanner cachedScanner;
    cachedScanner.id = "914";
    cachedScanner.serialNumber = "BS-2210-0042";
    cachedScanner.calibrationRevision = 7;
    CacheFile().writeScanners({cachedScanner});
    storeDescription("BS-2210-0042", "6");
    storeDescription("BS3-90009", "3");   // outside the account
    // the application list was answered: the service counts as reachable until the scanner list fails
    std::vector<ApplicationInfo> applications;
    ASSERT_TRUE(ServerAPI::instance()->applications(demoToken, &applications));
    ASSERT_FALSE(accountState.offlineMode);

    ScannerData data;
    ASSERT_TRUE(data.retrieveScanners());
    EXPECT_EQ(accountState.offlineMode, c.offline);
    ASSERT_EQ(data.accountList().size(), 1u);
    EXPECT_EQ(data.accountList()[0].id, "914");
    EXPECT_EQ(data.accountList()[0].serialNumber, "BS-2210-0042");
    EXPECT_EQ(data.accountList()[0].calibrationState, 1);
    // reachable, the stored scanner outside the account is still compared; unreachable, it counts as current
    EXPECT_EQ(sim->requestsTo(api + "scanners/calibration_revision.json").size(), c.offline ? 0 : 1);
    EXPECT_EQ(itemsText(data.hardwareList()), "{BS3-90009,1,2}");
    // the cache is not overwritten by the failed fetch
    const std::vector<AccountScanner> cached = CacheFile().readScanners();
    ASSERT_EQ(cached.size(), 1u);
    EXPECT_EQ(cached[0].id, "914");
}

INSTANTIATE_TEST_SUITE_P(Cases, ScannerListFailure,
                         ::testing::Values(ListFailureCase{"TimeOut", R"({"stall": true})", true},
                                           ListFailureCase{"ConnectionCut", R"({"close_early": true})", true},
                                           // an answer with a status keeps the service reachable
                                           ListFailureCase{"ServerError", R"({"status": 500})", false}),
                         [](const auto& info) { return std::string(info.param.name); });

// The serial lookups of three unmatched cameras, then the revision of the stored scanner ZX-77 outside the account.
struct LookupCase {
    const char* name;
    const char* serialRoute;   // the serial_number.json answers, as JSON
    QStringList lookedUp;
    bool offline;              // the mark after the last lookup
    std::string items;
    int revisionRequests;
};

void PrintTo(const LookupCase& c, std::ostream* os)
{
    *os << c.name;
}

class SerialLookup : public ScannerDataTest, public ::testing::WithParamInterface<LookupCase> {};

TEST_P(SerialLookup, EndsAsTheLastRequestDid)
{
    const LookupCase& c = GetParam();
    startSim(QJsonObject{{"routes", QJsonObject{{api + "scanners/serial_number.json",
                                                 QJsonDocument::fromJson(c.serialRoute).array()}}}});
    qputenv("KESTRUNE_REQUEST_TIMEOUT_MS", "5000");
    qputenv("KESTRUNE_TEST_CAMERAS_pgGrabber", "14070001");
    qputenv("KESTRUNE_TEST_CAMERAS_lmGrabber", "Lumenera LW #30009999;Lumenera LW #555");
    storeDescription("ZX-77", "");

    ScannerData data;
    ASSERT_TRUE(data.retrieveScanners());
    EXPECT_EQ(queryValues(sim->requestsTo(api + "scanners/serial_number.json"), "camerabwsn"), c.lookedUp);
    EXPECT_EQ(accountState.offlineMode, c.offline);
    EXPECT_EQ(itemsText(data.hardwareList()), c.items);
    EXPECT_EQ(sim->requestsTo(api + "scanners/calibration_revision.json").size(), c.revisionRequests);
    EXPECT_EQ(data.accountList().size(), 2u);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, SerialLookup,
    ::testing::Values(
        // The first camera is answered, the second never is: the lookup ends at the time-out; the owned scanner
        // found first stays, and the stored one is not compared once the service is unreachable.
        LookupCase{"TimeOutKeepsTheItemsFoundSoFar", R"([{}, {"stall": true}])", {"14070001", "30009999"}, true,
                   "{BS2-20002,0,0}{ZX-77,1,2}", 0},
        // The first lookup is cut and dropped; the next ones are answered (555 with 422), so the service is
        // reachable again and the stored scanner is compared (404: revision 0, no local one: state 1).
        LookupCase{"CutThenAnswered", R"([{"close_early": true}, {}])", {"14070001", "30009999", "555"}, false,
                   "{BS3-90009,1,0}{ZX-77,1,1}", 1}),
    [](const auto& info) { return std::string(info.param.name); });

}  // namespace

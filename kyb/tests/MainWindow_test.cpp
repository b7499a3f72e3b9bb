// The main window on the offscreen platform, over a real ScannerData fed by the simulator, stored descriptions in
// the Devices folder and a stand-in camera library that lists the connected cameras.
#include <gtest/gtest.h>

#include <QDesktopServices>
#include <QDialog>
#include <QDir>
#include <QFile>
#include <QHeaderView>
#include <QJsonDocument>
#include <QJsonObject>
#include <QLabel>
#include <QPointer>
#include <QPushButton>
#include <QSignalSpy>
#include <QTableWidget>
#include <QTest>
#include <QTimer>

#include "kyb/account/AccountState.h"
#include "kyb/catalogue/ProductData.h"
#include "kyb/downloads/DownloadManagerDialog.h"
#include "kyb/scanners/ScannerData.h"
#include "kyb/storage/AppDataFolders.h"
#include "kyb/tests/BrowserRecorder.h"
#include "kyb/tests/DialogDriver.h"
#include "kyb/tests/StoredDescription.h"
#include "kyb/ui/QKestrune.h"
#include "kyb/ui/QSizeHintedButton.h"
#include "platform/ExtraCertificates.h"
#include "tests/support/AccountServiceSim.h"
#include "tests/support/ScopedEnvironmentVariable.h"

#include <memory>

using ktest::AccountServiceSim;

namespace {

// Account scanners 12 (stored, connected, with an upgrade page) and 123 (neither); rented R-1 (stored at an older
// revision), R-2 (stored, current) and R-0 (connected, not stored); OWN-8 (connected, owned, not in the account).
const char* const scannerScenario = R"({"account": {
  "scanners": [
    {"id": "601", "serial_number": "12", "calibration_revision": -1, "has_texture_camera": false,
     "upgrade_url": "https://www.belmo.example/up12", "model": "M", "camera": "LUM", "camera_id": "40000012",
     "camera_clr_id": ""},
    {"id": "602", "serial_number": "123", "calibration_revision": -1, "has_texture_camera": false,
     "upgrade_url": "https://www.belmo.example/up123", "model": "M", "camera": "LUM", "camera_id": "40000123",
     "camera_clr_id": ""}],
  "rented_scanners": [
    {"serial_number": "R-1", "calibration_revision": 3, "model": "M", "camera": "LUM", "camera_id": "40000001",
     "camera_clr_id": ""},
    {"serial_number": "R-2", "calibration_revision": 3, "model": "M", "camera": "LUM", "camera_id": "40000002",
     "camera_clr_id": ""},
    {"serial_number": "R-0", "calibration_revision": 1, "model": "M", "camera": "LUM", "camera_id": "40000009",
     "camera_clr_id": "40000010"}],
  "cameras": [
    {"camera_id": "40000009", "serial_number": "R-0", "belongs_to": 1},
    {"camera_id": "40000008", "serial_number": "OWN-8", "belongs_to": 0}]
}})";

using ktest::storeDescription;

ApplicationInfo application(const char* name, const char* version, const char* link, int type = 0,
                            const char* upgradeUrl = "")
{
    ApplicationInfo info;
    info.productName = name;
    info.versionName = version;
    info.downloadLink = link;
    info.productType = type;
    info.upgradeUrl = upgradeUrl;
    return info;
}

InstalledProduct installed(const char* name, const char* version)
{
    InstalledProduct product;
    product.productName = name;
    product.version = version;
    return product;
}

// The state column of a hardware row: a button's text, else the item's text, else empty.
struct State {
    QString text;
    bool button = false;
};

State stateOf(QTableWidget* table, int row)
{
    if (auto* button = qobject_cast<QPushButton*>(table->cellWidget(row, 1)))
        return {button->text(), true};
    const QTableWidgetItem* item = table->item(row, 1);
    return {item ? item->text() : QString(), false};
}

int rowOf(QTableWidget* table, const QString& name)
{
    for (int row = 0; row < table->rowCount(); ++row)
        if (table->item(row, 0) && table->item(row, 0)->text() == name)
            return row;
    return -1;
}

class MainWindow : public ::testing::Test {
protected:
    static void SetUpTestSuite()
    {
        sim = new AccountServiceSim();
        ASSERT_TRUE(platform::installExtraCaCertificates());
        qputenv("KESTRUNE_TEST_CAMERAS_lmGrabber",
                "Lumenera M #40000012;Lumenera M #40000001;Lumenera M #40000002;Lumenera M #40000009;"
                "Lumenera M #40000008");
    }
    static void TearDownTestSuite()
    {
        delete sim;
        sim = nullptr;
    }
    void SetUp() override
    {
        ASSERT_TRUE(sim && sim->isRunning());
        sim->setScenario(QJsonObject());
        sim->clearLog();
        accountState = AccountState();
        accountState.authToken = "demo-token-7f3c9a1e5b2d4c6f8a0e1b3d5f7a9c2e";
        QDir(QString::fromStdWString(devicesFolder())).removeRecursively();
        QFile::remove(appDataPath() + QStringLiteral("cache.ini"));
    }
    void TearDown() override { accountState = AccountState(); }

    // A ScannerData filled from the scanner scenario above.
    std::unique_ptr<ScannerData> scannersOfTheScenario()
    {
        storeDescription("12", "40000012", "1");
        storeDescription("R-1", "40000001", "2");
        storeDescription("R-2", "40000002", "3");
        sim->setScenario(QJsonDocument::fromJson(scannerScenario).object());
        auto data = std::make_unique<ScannerData>();
        EXPECT_TRUE(data->retrieveScanners());
        return data;
    }

    static AccountServiceSim* sim;
    ktest::MessageBoxCloser boxes;
};
AccountServiceSim* MainWindow::sim = nullptr;

TEST_F(MainWindow, FormHasTheLayoutTextsAndTableSettings)
{
    ScannerData scanners;
    ProductData products;
    QKestrune window(&scanners, &products);
    EXPECT_EQ(window.objectName(), "QKestruneClass");
    EXPECT_EQ(window.size(), QSize(1128, 531));
    EXPECT_EQ(window.minimumSize(), QSize(400, 250));
    EXPECT_EQ(window.windowTitle(), "Kestrune");
    auto* software = window.findChild<QTableWidget*>("softwareTableWidget");
    auto* hardware = window.findChild<QTableWidget*>("hardwareTableWidget");
    ASSERT_TRUE(software && hardware);
    EXPECT_EQ(software->columnCount(), 3);
    EXPECT_EQ(hardware->columnCount(), 2);
    for (QTableWidget* table : {software, hardware}) {
        EXPECT_EQ(table->font().family(), "Calibri");
        EXPECT_EQ(table->font().pointSize(), 10);
        EXPECT_EQ(table->styleSheet(), "QTableWidget::item\n{\n  padding: 5px;\n}");
        EXPECT_EQ(table->editTriggers(), QAbstractItemView::NoEditTriggers);
        EXPECT_EQ(table->selectionBehavior(), QAbstractItemView::SelectRows);
        EXPECT_FALSE(table->showGrid());
        EXPECT_TRUE(table->horizontalHeader()->isHidden());
        EXPECT_TRUE(table->verticalHeader()->isHidden());
        EXPECT_EQ(table->verticalHeader()->defaultSectionSize(), 35);
    }
    EXPECT_EQ(software->horizontalHeader()->sectionResizeMode(0), QHeaderView::Stretch);
    EXPECT_EQ(software->horizontalHeader()->sectionResizeMode(2), QHeaderView::ResizeToContents);
    EXPECT_EQ(hardware->horizontalHeader()->sectionResizeMode(1), QHeaderView::ResizeToContents);
    auto* label = window.findChild<QLabel*>("lblHardware");
    ASSERT_TRUE(label);
    EXPECT_EQ(label->palette().color(QPalette::Active, QPalette::WindowText), QColor(0, 51, 153));
    EXPECT_EQ(label->palette().color(QPalette::Disabled, QPalette::WindowText), QColor(120, 120, 120));
    EXPECT_EQ(label->palette().color(QPalette::Active, QPalette::Text), QColor(85, 170, 255));
    EXPECT_TRUE(window.findChild<QPushButton*>("pbClose")->isDefault());
    // Not offered: the update link stays hidden.
    EXPECT_TRUE(window.findChild<QLabel*>("updateVersion")->isHidden());
}

TEST_F(MainWindow, SoftwareRowsComeInReverseOrderWithTheirActions)
{
    ScannerData scanners;
    ProductData products;
    products.applications = {application("Alpha", "1.0", "https://x.example/a.exe"),
                             application("Beta", "2.0", "https://x.example/b.exe"),
                             application("Gamma", "3.0", "https://x.example/c.exe", 2, "https://x.example/buy"),
                             application("Delta", "1.0", "")};
    products.installed = {installed("Beta", "1.9"), installed("Gamma", "3.0")};
    QKestrune window(&scanners, &products);
    auto* table = window.findChild<QTableWidget*>("softwareTableWidget");
    ASSERT_EQ(table->rowCount(), 4);

    struct Row {
        const char* name;
        const char* version;
        const char* action;
        bool enabled;
    };
    const Row expected[] = {{"Delta", "Version 1.0", "Install", false},   // no download link
                            {"Gamma (subscription)", "Version 3.0", "Buy", true},
                            {"Beta", "Version 2.0", "Update", true},
                            {"Alpha", "Version 1.0", "Install", true}};
    for (int row = 0; row < 4; ++row) {
        SCOPED_TRACE(row);
        EXPECT_EQ(table->item(row, 0)->text(), expected[row].name);
        EXPECT_EQ(table->item(row, 1)->text(), expected[row].version);
        EXPECT_EQ(table->item(row, 0)->data(Qt::UserRole).toString(), QString(expected[row].version).mid(8));
        auto* button = qobject_cast<QSizeHintedButton*>(table->cellWidget(row, 2));
        ASSERT_TRUE(button);
        EXPECT_EQ(button->text(), expected[row].action);
        EXPECT_EQ(button->isEnabled(), expected[row].enabled);
        EXPECT_EQ(button->sizeHint().width(), QPushButton(button->text()).sizeHint().width() + 10);
    }

    accountState.offlineMode = true;
    window.fillProductTable();
    for (int row = 0; row < table->rowCount(); ++row)
        EXPECT_FALSE(table->cellWidget(row, 2)->isEnabled()) << row;
}

TEST_F(MainWindow, HardwareRowsShowTheirStateSortedBySerial)
{
    const auto scanners = scannersOfTheScenario();
    ProductData products;
    QKestrune window(scanners.get(), &products);
    auto* table = window.findChild<QTableWidget*>("hardwareTableWidget");

    struct Row {
        const char* name;
        const char* state;
        bool button;
    };
    const Row expected[] = {{"Belmo Scanner 12", "Upgrade", true},     // account, stored, upgrade page
                            {"Belmo Scanner 123", "", false},          // account, nothing stored
                            {"Belmo Scanner OWN-8", "", false},        // owned, outside the account
                            {"Belmo Scanner R-0", "Rent", true},       // rented, never compared
                            {"Belmo Scanner R-1", "Update", true},     // rented, older revision stored
                            {"Belmo Scanner R-2", "Rented", false}};   // rented, current
    ASSERT_EQ(table->rowCount(), 6);
    for (int row = 0; row < 6; ++row) {
        SCOPED_TRACE(row);
        EXPECT_EQ(table->item(row, 0)->text(), expected[row].name);
        const State state = stateOf(table, row);
        EXPECT_EQ(state.text, expected[row].state);
        EXPECT_EQ(state.button, expected[row].button);
    }
    EXPECT_FALSE(window.findChild<QLabel*>("lblHardware")->isHidden());

    // Offline with an empty account list, no row shows a state (online, the five would show Update, Rent, Rented).
    QJsonObject scenario = QJsonDocument::fromJson(scannerScenario).object();
    scenario["routes"] = QJsonDocument::fromJson(R"({"/api/kyb/v2/scanners.json": {"json": []}})").object();
    sim->setScenario(scenario);
    ASSERT_TRUE(scanners->retrieveScanners());
    accountState.offlineMode = true;
    window.fillScannerTable();
    ASSERT_EQ(table->rowCount(), 5);
    for (int row = 0; row < table->rowCount(); ++row) {
        const State state = stateOf(table, row);
        EXPECT_TRUE(state.text.isEmpty() && !state.button) << table->item(row, 0)->text().toStdString();
    }
}

TEST_F(MainWindow, AnInstalledCalibrationUpdatesEveryRowContainingTheSerial)
{
    const auto scanners = scannersOfTheScenario();
    ProductData products;
    QKestrune window(scanners.get(), &products);
    auto* table = window.findChild<QTableWidget*>("hardwareTableWidget");

    window.showInstalledCalibration("12", true);
    EXPECT_EQ(stateOf(table, rowOf(table, "Belmo Scanner 12")).text, "Rented");
    EXPECT_FALSE(stateOf(table, rowOf(table, "Belmo Scanner 12")).button);
    EXPECT_EQ(stateOf(table, rowOf(table, "Belmo Scanner 123")).text, "Rented");
    EXPECT_EQ(stateOf(table, rowOf(table, "Belmo Scanner R-1")).text, "Update");

    // An account scanner's download removes the button and shows nothing.
    window.showInstalledCalibration("R-1", false);
    const State r1 = stateOf(table, rowOf(table, "Belmo Scanner R-1"));
    EXPECT_TRUE(r1.text.isEmpty() && !r1.button);
}

TEST_F(MainWindow, RentingDownloadsTheCalibrationAndTheRowTurnsRented)
{
    const auto scanners = scannersOfTheScenario();
    ProductData products;
    QKestrune window(scanners.get(), &products);
    auto* table = window.findChild<QTableWidget*>("hardwareTableWidget");
    auto* rent = qobject_cast<QPushButton*>(table->cellWidget(rowOf(table, "Belmo Scanner R-0"), 1));
    ASSERT_TRUE(rent);
    ASSERT_EQ(rent->text(), "Rent");

    QSignalSpy installed(scanners.get(), &ScannerData::calibrationInstalled);
    QTest::mouseClick(rent, Qt::LeftButton);
    ASSERT_TRUE(ktest::waitUntil([&] { return stateOf(table, rowOf(table, "Belmo Scanner R-0")).text == "Rented"; }));
    EXPECT_FALSE(stateOf(table, rowOf(table, "Belmo Scanner R-0")).button);
    ASSERT_EQ(installed.count(), 1);
    EXPECT_EQ(installed.at(0).at(0).toString(), "R-0");
    EXPECT_TRUE(installed.at(0).at(1).toBool());
    EXPECT_EQ(sim->requestsTo("/api/kyb/v2/scanners/calibration_for_rent_scanners.json").size(), 1);
    EXPECT_TRUE(QFile::exists(QString::fromStdWString(devicesFolder()) + "/R-0/Device.xml"));
    // The applications were fetched again on the way, and Refresh is usable again.
    EXPECT_EQ(window.findChild<QTableWidget*>("softwareTableWidget")->rowCount(), 2);
    EXPECT_TRUE(window.findChild<QPushButton*>("pbRefresh")->isEnabled());
}

// An applications reply that is not a list fails the refresh as an unreadable reply, without asking for a new
// sign-in; the rows of the emptied list are rebuilt and the window is usable again.
TEST_F(MainWindow, AnUnreadableApplicationsReplyFailsTheRefreshWithTheRowsRebuilt)
{
    sim->setScenario(QJsonDocument::fromJson(R"({"routes": {"/api/kyb/v2/applications.json": {"json": {"id": "1"}}}})")
                         .object());
    ScannerData scanners;
    ProductData products;
    products.applications = {application("Alpha", "1.0", "https://x.example/a.exe")};
    QKestrune window(&scanners, &products);
    int signInDialogs = 0;
    ktest::OnModal<QDialog> rejectSignIn([&signInDialogs](QDialog* dialog) {
        if (dialog->objectName() == "LoginDialog") {
            ++signInDialogs;
            dialog->reject();
        }
    });

    QTest::mouseClick(window.findChild<QPushButton*>("pbRefresh"), Qt::LeftButton);

    EXPECT_EQ(signInDialogs, 0);
    ASSERT_EQ(boxes.boxes.size(), 1);
    EXPECT_EQ(boxes.boxes[0].text, "Wrong server response data format");
    EXPECT_EQ(boxes.boxes[0].title, "Kestrune");
    EXPECT_EQ(window.findChild<QTableWidget*>("softwareTableWidget")->rowCount(),
              static_cast<int>(products.applications.size()));
    EXPECT_FALSE(window.isBusy());
    EXPECT_TRUE(window.findChild<QPushButton*>("pbRefresh")->isEnabled());
}

struct LabelCase {
    bool applications;
    bool scanners;
    bool shown;
};

class HardwareLabel : public MainWindow, public ::testing::WithParamInterface<LabelCase> {};

TEST_P(HardwareLabel, IsShownWithRowsOrWithoutApplications)
{
    const LabelCase c = GetParam();
    if (!c.scanners)
        sim->setScenario(QJsonDocument::fromJson(R"({"routes": {"/api/kyb/v2/scanners.json": {"json": []}}})").object());
    qputenv("KESTRUNE_TEST_CAMERAS_lmGrabber", c.scanners ? "Lumenera M #40000012" : "");
    ScannerData scanners;
    ASSERT_TRUE(scanners.retrieveScanners());
    ProductData products;
    if (c.applications)
        products.applications = {application("Alpha", "1.0", "https://x.example/a.exe")};
    QKestrune window(&scanners, &products);
    qputenv("KESTRUNE_TEST_CAMERAS_lmGrabber",
            "Lumenera M #40000012;Lumenera M #40000001;Lumenera M #40000002;Lumenera M #40000009;"
            "Lumenera M #40000008");
    EXPECT_EQ(window.findChild<QTableWidget*>("hardwareTableWidget")->rowCount() > 0, c.scanners);
    EXPECT_EQ(!window.findChild<QLabel*>("lblHardware")->isHidden(), c.shown);
    EXPECT_EQ(!window.findChild<QTableWidget*>("hardwareTableWidget")->isHidden(), c.shown);
}

INSTANTIATE_TEST_SUITE_P(Cases, HardwareLabel,
                         ::testing::Values(LabelCase{false, false, true}, LabelCase{true, false, false},
                                           LabelCase{true, true, true}));

TEST_F(MainWindow, RefreshRefetchesEverythingAndShowsTheUpdateLink)
{
    ScannerData scanners;
    ProductData products;
    QKestrune window(&scanners, &products);
    ASSERT_EQ(window.findChild<QTableWidget*>("softwareTableWidget")->rowCount(), 0);

    QTest::mouseClick(window.findChild<QPushButton*>("pbRefresh"), Qt::LeftButton);

    auto* software = window.findChild<QTableWidget*>("softwareTableWidget");
    ASSERT_EQ(software->rowCount(), 2);   // the demo account's applications, last first
    EXPECT_EQ(software->item(0, 0)->text(), "Belmo Measure (subscription)");
    EXPECT_EQ(window.findChild<QTableWidget*>("hardwareTableWidget")->rowCount(), 2);
    EXPECT_TRUE(window.findChild<QPushButton*>("pbRefresh")->isEnabled());
    // The service offers 1.4.5: the question was answered (not Yes) and the link shows.
    EXPECT_FALSE(window.findChild<QLabel*>("updateVersion")->isHidden());
    EXPECT_EQ(boxes.boxes.size(), 1);
    EXPECT_EQ(sim->requestsTo("/api/kyb/v2/kybs/update_required.json").size(), 1);
}

TEST_F(MainWindow, InstallRunsTheDownloadAndEndsTheProgramOnceTheInstallerStarted)
{
    qputenv("KESTRUNE_SHELL_OPEN", "true");
    QFile::remove(appDataPath() + QStringLiteral("cache.ini"));
    ScannerData scanners;
    ProductData products;
    products.applications = {
        application("Belmo Studio", "3.2.1", sim->url("/files/BelmoStudio-3.2.1.exe").toString().toUtf8().constData())};
    QKestrune window(&scanners, &products);
    auto* install = qobject_cast<QPushButton*>(window.findChild<QTableWidget*>("softwareTableWidget")->cellWidget(0, 2));
    ASSERT_TRUE(install && install->isEnabled());

    bool disabledMeanwhile = false;
    ktest::OnModal<DownloadManagerDialog> driver([&](DownloadManagerDialog* dialog) {
        disabledMeanwhile = !install->isEnabled() && !window.findChild<QPushButton*>("pbRefresh")->isEnabled();
        auto* button = dialog->findChild<QPushButton*>("installButton");
        ASSERT_TRUE(ktest::waitUntil([&] { return button->isEnabled(); }));
        QTest::mouseClick(button, Qt::LeftButton);
    });
    // The started installer ends the event loop with 0 (exec resets the quitting state for later tests).
    QTimer::singleShot(0, install, [install] { QTest::mouseClick(install, Qt::LeftButton); });
    QTimer::singleShot(30000, [] { QCoreApplication::exit(99); });
    EXPECT_EQ(QCoreApplication::exec(), 0);
    EXPECT_EQ(driver.count(), 1);
    EXPECT_TRUE(disabledMeanwhile);
    EXPECT_TRUE(install->isEnabled());
    qunsetenv("KESTRUNE_SHELL_OPEN");
}

// Stands in for the system's browser for the http and https links of one test.
class BrowserLinks {
public:
    BrowserLinks()
    {
        for (const char* scheme : {"http", "https"})
            QDesktopServices::setUrlHandler(scheme, &browser, "open");
    }
    ~BrowserLinks()
    {
        for (const char* scheme : {"http", "https"})
            QDesktopServices::unsetUrlHandler(scheme);
    }
    BrowserRecorder browser;
};

QPushButton* buttonIn(QTableWidget* table, int row, int column)
{
    return qobject_cast<QPushButton*>(table->cellWidget(row, column));
}

TEST_F(MainWindow, BuyAndUpgradeOpenTheirRowsPage)
{
    const auto scanners = scannersOfTheScenario();
    ProductData products;
    products.applications = {application("Alpha", "1.0", "", 0, "https://x.example/alpha/buy"),
                             application("Beta", "2.0", "", 0, "https://x.example/beta/buy?plan=2&seat=1")};
    products.installed = {installed("Alpha", "1.0"), installed("Beta", "2.0")};
    QKestrune window(scanners.get(), &products);
    auto* software = window.findChild<QTableWidget*>("softwareTableWidget");
    auto* hardware = window.findChild<QTableWidget*>("hardwareTableWidget");
    BrowserLinks links;

    QPushButton* buyBeta = buttonIn(software, rowOf(software, "Beta"), 2);
    ASSERT_TRUE(buyBeta && buyBeta->isEnabled());
    ASSERT_EQ(buyBeta->text(), "Buy");
    QTest::mouseClick(buyBeta, Qt::LeftButton);
    ASSERT_EQ(links.browser.opened.size(), 1);
    EXPECT_EQ(links.browser.opened[0], QUrl("https://x.example/beta/buy?plan=2&seat=1"));

    QPushButton* upgrade = buttonIn(hardware, rowOf(hardware, "Belmo Scanner 12"), 1);
    ASSERT_TRUE(upgrade);
    ASSERT_EQ(upgrade->text(), "Upgrade");
    QTest::mouseClick(upgrade, Qt::LeftButton);
    ASSERT_EQ(links.browser.opened.size(), 2);
    EXPECT_EQ(links.browser.opened[1], QUrl("https://www.belmo.example/up12"));
}

class UpdateLink : public MainWindow, public ::testing::WithParamInterface<bool> {};

// The link runs the program's own update: an installer that started ends the program with 0; a cancelled download
// hides the link and the window goes on.
TEST_P(UpdateLink, StartedUpdateEndsTheProgramElseTheLinkHides)
{
    const bool started = GetParam();
    ktest::ScopedEnv shell("KESTRUNE_SHELL_OPEN", "true");
    accountState.selfUpdateAvailable = true;
    accountState.selfUpdateLink = sim->url("/files/KestruneSetup-1.4.5.exe").toString().toStdString();
    ScannerData scanners;
    ProductData products;
    QKestrune window(&scanners, &products);
    auto* link = window.findChild<QLabel*>("updateVersion");
    ASSERT_FALSE(link->isHidden());

    bool refreshOffMeanwhile = false;
    ktest::OnModal<DownloadManagerDialog> driver([&](DownloadManagerDialog* dialog) {
        refreshOffMeanwhile = !window.findChild<QPushButton*>("pbRefresh")->isEnabled();
        auto* install = dialog->findChild<QPushButton*>("installButton");
        ASSERT_TRUE(ktest::waitUntil([&] { return install->isEnabled(); }));
        QTest::mouseClick(started ? install : dialog->findChild<QPushButton*>("cancelButton"), Qt::LeftButton);
    });
    const auto activate = [link] { emit link->linkActivated(QStringLiteral(" ")); };
    if (started) {
        // exec resets the quitting state that exit leaves for later tests.
        QTimer::singleShot(0, link, activate);
        QTimer::singleShot(30000, [] { QCoreApplication::exit(99); });
        EXPECT_EQ(QCoreApplication::exec(), 0);
    } else {
        activate();
        EXPECT_TRUE(link->isHidden());
    }
    EXPECT_EQ(driver.count(), 1);
    EXPECT_TRUE(refreshOffMeanwhile);
    EXPECT_TRUE(window.findChild<QPushButton*>("pbRefresh")->isEnabled());
    EXPECT_EQ(sim->requestsTo("/files/KestruneSetup-1.4.5.exe").size(), 1);
}

INSTANTIATE_TEST_SUITE_P(Outcomes, UpdateLink, ::testing::Bool(),
                         [](const ::testing::TestParamInfo<bool>& info) {
                             return std::string(info.param ? "Started" : "Cancelled");
                         });

// What a wait of the window is started by: Refresh, or a rented scanner's Rent (which fetches the applications again).
enum class WaitingAction { Refresh, Rent };

class RowButtonsDuringAWait : public MainWindow, public ::testing::WithParamInterface<WaitingAction> {};

// While the window waits for applications.json (the list already emptied for the answer), every action button is
// off and a click on any of them starts nothing: no download dialog, no page, no second fetch. The wait runs on a
// simulator of its own whose stall ends when that simulator stops: the cut connection leaves the service
// unreachable, so the rest of the refresh works from cache.ini.
TEST_P(RowButtonsDuringAWait, StartNothing)
{
    const auto scanners = scannersOfTheScenario();
    ProductData products;
    products.applications = {
        application("Alpha", "1.0", sim->url("/files/BelmoStudio-3.2.1.exe").toString().toUtf8().constData()),
        application("Beta", "2.0", sim->url("/files/BelmoMeasure-2.0.4.exe").toString().toUtf8().constData()),
        application("Gamma", "3.0", "", 0, "https://x.example/gamma/buy")};
    products.installed = {installed("Beta", "1.0"), installed("Gamma", "3.0")};
    QKestrune window(scanners.get(), &products);
    window.show();
    auto* software = window.findChild<QTableWidget*>("softwareTableWidget");
    auto* hardware = window.findChild<QTableWidget*>("hardwareTableWidget");
    auto* refresh = window.findChild<QPushButton*>("pbRefresh");
    ASSERT_EQ(software->rowCount(), 3);

    QJsonObject scenario = QJsonDocument::fromJson(scannerScenario).object();
    // Only the first answer stalls: a nested fetch would be answered and counted.
    scenario["routes"] = QJsonDocument::fromJson(R"({"/api/kyb/v2/applications.json": [{"stall": true}, {}]})").object();
    auto stalling = std::make_unique<AccountServiceSim>(scenario);
    ASSERT_TRUE(stalling->isRunning());

    BrowserLinks links;
    ktest::OnModal<DownloadManagerDialog> downloads([](DownloadManagerDialog* dialog) { dialog->reject(); });
    struct {
        bool seen = false;
        bool busy = false;
        QStringList enabled;   // buttons that could be clicked during the wait
        QStringList clicked;
        int fetches = 0;
    } during;
    QTimer probe;
    probe.setInterval(20);
    QObject::connect(&probe, &QTimer::timeout, [&] {
        if (during.seen || stalling->requestsTo("/api/kyb/v2/applications.json").isEmpty())
            return;
        during.seen = true;
        during.busy = window.isBusy();
        // The row buttons first, while their records are gone; a click that rebuilt a table would delete the
        // buttons after it.
        QList<QPointer<QPushButton>> buttons;
        for (int row = 0; row < software->rowCount(); ++row)
            buttons << buttonIn(software, row, 2);
        for (int row = 0; row < hardware->rowCount(); ++row)
            buttons << buttonIn(hardware, row, 1);
        buttons << refresh;
        for (const QPointer<QPushButton>& button : buttons) {
            if (!button)
                continue;
            if (button->isEnabled())
                during.enabled << button->text();
            during.clicked << button->text();
            QTest::mouseClick(button, Qt::LeftButton);
        }
        during.fetches = stalling->requestsTo("/api/kyb/v2/applications.json").size();
        stalling.reset();   // ends the stalled request
    });
    probe.start();

    if (GetParam() == WaitingAction::Rent)
        QTest::mouseClick(buttonIn(hardware, rowOf(hardware, "Belmo Scanner R-0"), 1), Qt::LeftButton);
    else
        QTest::mouseClick(refresh, Qt::LeftButton);
    probe.stop();

    ASSERT_TRUE(during.seen);
    EXPECT_TRUE(during.busy);
    // Refresh, Install, Update and Buy of the software rows, Upgrade of scanner 12 and Update of rented R-1 (and
    // Rent of R-0, unless its calibration came meanwhile).
    for (const char* text : {"Refresh", "Install", "Buy", "Upgrade"})
        EXPECT_EQ(during.clicked.count(text), 1) << text;
    EXPECT_EQ(during.clicked.count("Update"), 2);
    EXPECT_TRUE(during.enabled.isEmpty()) << during.enabled.join(", ").toStdString();
    EXPECT_EQ(during.fetches, 1);
    EXPECT_EQ(downloads.count(), 0);
    EXPECT_TRUE(links.browser.opened.isEmpty());

    // The wait is over: the window is usable again, with the tables rebuilt from what the refresh left.
    EXPECT_TRUE(accountState.offlineMode);
    EXPECT_FALSE(window.isBusy());
    EXPECT_TRUE(refresh->isEnabled());
    EXPECT_TRUE(software->viewport()->isEnabled());
    EXPECT_TRUE(hardware->viewport()->isEnabled());
    EXPECT_EQ(software->rowCount(), static_cast<int>(products.applications.size()));
    for (int row = 0; row < software->rowCount(); ++row)
        EXPECT_NE(buttonIn(software, row, 2), nullptr) << row;
}

INSTANTIATE_TEST_SUITE_P(Waits, RowButtonsDuringAWait, ::testing::Values(WaitingAction::Refresh, WaitingAction::Rent),
                         [](const ::testing::TestParamInfo<WaitingAction>& info) {
                             return std::string(info.param == WaitingAction::Rent ? "Rent" : "Refresh");
                         });

}  // namespace

#include "moc_BrowserRecorder.cpp"

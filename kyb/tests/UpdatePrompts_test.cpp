// The two update offers: the version comparison, the once-a-month rule on both stores, and the questions asked
// (or not) for the service's answers.
#include "account/AccountState.h"
#include "platform/ExtraCertificates.h"
#include "platform/Registry.h"
#include "tests/support/AccountServiceSim.h"
#include "tests/support/TemporaryRegistry.h"
#include "updates/UpdateOfferRule.h"
#include "updates/UpdatePrompts.h"
#include "downloads/DownloadManagerDialog.h"
#include "ModalDriver.h"

#include <gtest/gtest.h>

#include <QDir>
#include <QElapsedTimer>
#include <QJsonDocument>
#include <QPushButton>
#include <QSettings>
#include <QThread>
#include <cstring>

using ktest::AccountServiceSim;

namespace {

const char* const demoToken = "demo-token-7f3c9a1e5b2d4c6f8a0e1b3d5f7a9c2e";
const QString question = "A new version of %1 is available to download.\nWould you like to update?";

QDateTime at(const char* text)
{
    return QDateTime::fromString(QString::fromLatin1(text), "yyyy-MM-dd HH:mm:ss");
}

struct VersionCase {
    const char* a;
    const char* b;
    int sign;
};

class VersionStrings : public ::testing::TestWithParam<VersionCase> {};

TEST_P(VersionStrings, CompareTheFirstFourNumericParts)
{
    const int result = compareVersionStrings(GetParam().a, GetParam().b);
    EXPECT_EQ((result > 0) - (result < 0), GetParam().sign) << result;
}

INSTANTIATE_TEST_SUITE_P(Examples, VersionStrings,
                         ::testing::Values(VersionCase{"1.4.5", "1.4.4.1", 1}, VersionCase{"1.10", "1.9", 1},
                                           VersionCase{"1.4", "1.4.0.0", 0}, VersionCase{"1.4.4.1.9", "1.4.4.1", 0},
                                           VersionCase{"1.x", "1.0", 0}, VersionCase{"1.4.4.1", "1.4.5", -1},
                                           VersionCase{"", "0", 0}, VersionCase{"2..1", "2.0.1", 0},
                                           VersionCase{"1.4.4.2", "1.4.4.1", 1}, VersionCase{" 2", "1", 1}, VersionCase{"1.4b", "1.4", -1}));

TEST(VersionStringsDifference, IsTheFirstDifferingPartAndStaysInRange)
{
    EXPECT_EQ(compareVersionStrings("1.4.7", "1.4.4"), 3);
    EXPECT_EQ(compareVersionStrings("1.2", "1.10"), -8);
    EXPECT_GT(compareVersionStrings("2147483647", "-2147483648"), 0);
}

// The rule on both stores, with a fixed clock.
struct MonthCase {
    const char* name;
    const char* first;
    const char* firstVersion;
    const char* second;
    const char* secondVersion;
    bool offeredAgain;
};

class MonthRule : public ::testing::TestWithParam<MonthCase> {
protected:
    void SetUp() override
    {
        ASSERT_TRUE(registryDir_.isValid());
    }
    void TearDown() override { setUpdateClock({}); }
    void check(UpdateOfferStore& store)
    {
        QDateTime now = at(GetParam().first);
        ASSERT_TRUE(now.isValid());
        setUpdateClock([&now] { return now; });
        EXPECT_TRUE(takeUpdateOffer(store, GetParam().firstVersion));
        EXPECT_EQ(store.lastVersion(), QString(GetParam().firstVersion));
        EXPECT_EQ(store.lastCheck(), now);
        now = at(GetParam().second);
        EXPECT_EQ(takeUpdateOffer(store, GetParam().secondVersion), GetParam().offeredAgain);
        EXPECT_EQ(store.lastVersion(), QString(GetParam().offeredAgain ? GetParam().secondVersion
                                                                        : GetParam().firstVersion));
    }

    ktest::TemporaryRegistry registryDir_;
};

TEST_P(MonthRule, OnTheSettingsStore)
{
    QSettings settings(registryDir_.filePath("scope.conf"), QSettings::NativeFormat);
    SettingsOfferStore store(settings);
    check(store);
}

TEST_P(MonthRule, OnTheRegistryStore)
{
    RegistryOfferStore store("Belmo Studio", "2.0");
    check(store);
    EXPECT_TRUE(platform::Registry(platform::Registry::Hive::CurrentUser)
                    .value("SOFTWARE\\Belmo Group\\Belmo Studio\\2.0", "updaterLastVersion")
                    .has_value());
}

INSTANTIATE_TEST_SUITE_P(
    Offers, MonthRule,
    ::testing::Values(
        MonthCase{"NextDay", "2027-03-15 10:00:00", "1.4.5", "2027-03-16 10:00:00", "1.4.5", false},
        MonthCase{"ThirtyOneDaysLater", "2027-03-15 10:00:00", "1.4.5", "2027-04-15 10:00:01", "1.4.5", true},
        MonthCase{"ExactlyOneMonth", "2027-03-15 10:00:00", "1.4.5", "2027-04-15 10:00:00", "1.4.5", true},
        MonthCase{"JustBeforeOneMonth", "2027-03-15 10:00:00", "1.4.5", "2027-04-15 09:59:59", "1.4.5", false},
        MonthCase{"NewVersionNextDay", "2027-03-15 10:00:00", "1.4.5", "2027-03-16 10:00:00", "1.4.6", true},
        MonthCase{"LastDayOfMonthReachesTheNextMonthsLastDay", "2027-01-31 10:00:00", "1.4.5",
                  "2027-02-28 10:00:00", "1.4.5", true},
        MonthCase{"LastDayOfMonthNotYet", "2027-01-31 10:00:00", "1.4.5", "2027-02-28 09:00:00", "1.4.5", false},
        MonthCase{"ClockWentBack", "2027-03-15 10:00:00", "1.4.5", "2027-03-01 10:00:00", "1.4.5", false}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(MonthRuleStoredValues, AnUnreadableCheckTimeCountsAsNeverOffered)
{
    ktest::TemporaryRegistry registry;
    platform::Registry user(platform::Registry::Hive::CurrentUser);
    user.setValue("SOFTWARE\\Belmo Group\\P\\1", "updaterLastVersion", "2");
    user.setValue("SOFTWARE\\Belmo Group\\P\\1", "updaterLastCheck", "yesterday-ish");
    RegistryOfferStore store("P", "1");
    EXPECT_TRUE(takeUpdateOffer(store, "2"));
}

// The prompts against the simulator, with a fixed clock and the questions answered by the test.
class Prompts : public ::testing::Test {
protected:
    void SetUp() override
    {
        QSettings().remove("updaterLastVersion");
        QSettings().remove("updaterLastCheck");
        setUpdateClock([this] { return now_; });
        accountState = AccountState();
        accountState.authToken = demoToken;
        QDir(DownloadManagerDialog::cacheFolder()).removeRecursively();
    }
    void TearDown() override
    {
        setUpdateClock({});
        accountState = AccountState();
        QSettings().remove("updaterLastVersion");
        QSettings().remove("updaterLastCheck");
    }
    void start(const char* scenario = "{}")
    {
        sim_ = std::make_unique<AccountServiceSim>(QJsonDocument::fromJson(scenario).object());
        ASSERT_TRUE(sim_->isRunning());
        ASSERT_TRUE(platform::installExtraCaCertificates());
    }
    int updateRequests() const { return sim_->requestsTo("/api/kyb/v2/kybs/update_required.json").size(); }

    QDateTime now_ = at("2027-05-10 12:00:00");
    std::unique_ptr<AccountServiceSim> sim_;
};

TEST_F(Prompts, SelfUpdateAsksOncePerMonthAndNoStillCounts)
{
    start();
    {
        ktest::MessageBoxAnswerer answer(QMessageBox::No);
        EXPECT_FALSE(checkSelfUpdate());
        EXPECT_EQ(answer.texts, QStringList{question.arg("Kestrune")});
        EXPECT_EQ(answer.titles, QStringList{"Kestrune"});
    }
    EXPECT_TRUE(accountState.selfUpdateAvailable);
    EXPECT_NE(accountState.selfUpdateLink.find("/files/KestruneSetup-1.4.5"), std::string::npos);
    EXPECT_EQ(QSettings().value("updaterLastVersion").toString(), "1.4.5");

    now_ = now_.addDays(1);
    {
        ktest::MessageBoxAnswerer answer(QMessageBox::No);
        EXPECT_FALSE(checkSelfUpdate());
        EXPECT_TRUE(answer.texts.isEmpty());
    }
    EXPECT_TRUE(accountState.selfUpdateAvailable);   // the link still shows the update
    EXPECT_EQ(updateRequests(), 2);
}

TEST_F(Prompts, SelfUpdateYesDownloadsAndStartsTheInstaller)
{
    start();
    qputenv("KESTRUNE_SHELL_OPEN", "/bin/true");
    ktest::MessageBoxAnswerer answer(QMessageBox::Yes);
    ktest::WhenShown<DownloadManagerDialog> install(
        [](DownloadManagerDialog* dialog) { dialog->findChild<QPushButton*>("installButton")->click(); },
        [](DownloadManagerDialog* dialog) { return dialog->findChild<QPushButton*>("installButton")->isEnabled(); });
    EXPECT_TRUE(checkSelfUpdate());
    qunsetenv("KESTRUNE_SHELL_OPEN");
    EXPECT_EQ(answer.texts.size(), 1);
    EXPECT_EQ(install.count(), 1);
    EXPECT_EQ(sim_->requestsTo(QUrl(QString::fromStdString(accountState.selfUpdateLink)).path()).size(), 1);
}

struct AnswerCase {
    const char* name;
    const char* scenario;
    bool available;   // AccountState's selfUpdateAvailable afterwards
};

class SelfUpdateAnswers : public Prompts, public ::testing::WithParamInterface<AnswerCase> {};

TEST_P(SelfUpdateAnswers, NeverAskWithoutANewerVersionAndALink)
{
    // short only for the stalled service: a slow answer must not pass for a stall
    qputenv("KESTRUNE_REQUEST_TIMEOUT_MS", std::strcmp(GetParam().name, "Stall") == 0 ? "800" : "30000");
    start(GetParam().scenario);
    ktest::MessageBoxAnswerer answer(QMessageBox::No);
    EXPECT_FALSE(checkSelfUpdate());
    qunsetenv("KESTRUNE_REQUEST_TIMEOUT_MS");
    EXPECT_TRUE(answer.texts.isEmpty()) << answer.texts.join("|").toStdString();
    EXPECT_EQ(accountState.selfUpdateAvailable, GetParam().available);
    EXPECT_FALSE(QSettings().contains("updaterLastVersion"));
    EXPECT_EQ(updateRequests(), 1);
}

INSTANTIATE_TEST_SUITE_P(
    Service, SelfUpdateAnswers,
    ::testing::Values(
        AnswerCase{"NotNewer", R"({"routes": {"/api/kyb/v2/kybs/update_required.json": {"json":
            {"version": " 1.4.4.1 ", "download_link32": "https://x/a.exe", "download_link64": "https://x/a.exe"}}}})",
                   false},
        AnswerCase{"NoLink", R"({"routes": {"/api/kyb/v2/kybs/update_required.json": {"json": {"version": "9.0"}}}})",
                   false},
        AnswerCase{"NoUpdateRequired", R"({"routes": {"/api/kyb/v2/kybs/update_required.json": {"status": 422}}})",
                   false},
        AnswerCase{"Unauthorized", R"({"routes": {"/api/kyb/v2/kybs/update_required.json": {"status": 401}}})",
                   false},
        AnswerCase{"Stall", R"({"routes": {"/api/kyb/v2/kybs/update_required.json": {"stall": true}}})", false},
        AnswerCase{"Malformed", R"({"routes": {"/api/kyb/v2/kybs/update_required.json": {"malformed": true}}})",
                   false}),
    [](const auto& info) { return std::string(info.param.name); });

TEST_F(Prompts, OfflineAsksTheServiceNothing)
{
    start();
    accountState.offlineMode = true;
    accountState.selfUpdateAvailable = true;
    EXPECT_FALSE(checkSelfUpdate());
    EXPECT_FALSE(accountState.selfUpdateAvailable);
    EXPECT_EQ(updateRequests(), 0);
}

TEST_F(Prompts, ProductOfferKeepsItsRecordsUnderTheInstalledVersion)
{
    ktest::TemporaryRegistry registry;
    ApplicationInfo offered;
    offered.productName = "Belmo Studio";
    offered.versionName = "2.1";
    offered.downloadLink = "https://127.0.0.1:1/files/never.exe";
    InstalledProduct installed{"Belmo Studio", "2.0", L"", L""};
    platform::Registry user(platform::Registry::Hive::CurrentUser);
    const QString key20 = "SOFTWARE\\Belmo Group\\Belmo Studio\\2.0";
    const QString key21 = "SOFTWARE\\Belmo Group\\Belmo Studio\\2.1";

    {
        ktest::MessageBoxAnswerer answer(QMessageBox::No);
        EXPECT_FALSE(askProductUpdate(&offered, &installed));
        EXPECT_EQ(answer.texts, QStringList{question.arg("Belmo Studio")});
    }
    EXPECT_EQ(user.value(key20, "updaterLastVersion"), QString("2.1"));
    now_ = now_.addDays(1);
    {
        ktest::MessageBoxAnswerer answer(QMessageBox::No);
        EXPECT_FALSE(askProductUpdate(&offered, &installed));
        EXPECT_TRUE(answer.texts.isEmpty());
    }
    // 2.1 installed and 2.2 offered the next day: new records under 2.1, asked at once.
    installed.version = "2.1";
    offered.versionName = "2.2";
    {
        ktest::MessageBoxAnswerer answer(QMessageBox::No);
        EXPECT_FALSE(askProductUpdate(&offered, &installed));
        EXPECT_EQ(answer.texts.size(), 1);
    }
    EXPECT_EQ(user.value(key21, "updaterLastVersion"), QString("2.2"));
    EXPECT_EQ(user.value(key20, "updaterLastVersion"), QString("2.1"));
    // Not installed: the key is the offered version.
    {
        ktest::MessageBoxAnswerer answer(QMessageBox::No);
        offered.versionName = "3.0";
        EXPECT_FALSE(askProductUpdate(&offered, nullptr));
        EXPECT_EQ(answer.texts.size(), 1);
    }
    EXPECT_TRUE(user.value("SOFTWARE\\Belmo Group\\Belmo Studio\\3.0", "updaterLastCheck").has_value());
    EXPECT_FALSE(askProductUpdate(nullptr, &installed));
}

TEST_F(Prompts, ProductOfferYesStartsTheProductsInstaller)
{
    start();
    ktest::TemporaryRegistry registry;
    ApplicationInfo offered;
    offered.productName = "Belmo Studio";
    offered.versionName = "3.2.1";
    offered.downloadLink = sim_->url("/files/BelmoStudio-3.2.1.exe").toString().toStdString();
    InstalledProduct installed{"Belmo Studio", "3.0", L"", L""};
    qputenv("KESTRUNE_SHELL_OPEN", "/bin/true");
    ktest::MessageBoxAnswerer answer(QMessageBox::Yes);
    ktest::WhenShown<DownloadManagerDialog> install(
        [](DownloadManagerDialog* dialog) { dialog->findChild<QPushButton*>("installButton")->click(); },
        [](DownloadManagerDialog* dialog) { return dialog->findChild<QPushButton*>("installButton")->isEnabled(); });
    EXPECT_TRUE(askProductUpdate(&offered, &installed));
    qunsetenv("KESTRUNE_SHELL_OPEN");
    EXPECT_EQ(install.count(), 1);
    EXPECT_TRUE(QFile::exists(DownloadManagerDialog::cacheFolder() + "/BelmoStudio-3.2.1.exe"));
}

}  // namespace

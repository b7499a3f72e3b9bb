// The application list against the account-service simulator: the service's list, one re-sign-in on a refused
// request, and the cache.ini fallback with the offline mark.
#include "account/AccountState.h"
#include "catalogue/ProductData.h"
#include "platform/ExtraCertificates.h"
#include "signin/SignIn.h"
#include "storage/CacheFile.h"
#include "tests/support/AccountServiceSim.h"
#include "tests/support/RefusedPort.h"
#include "tests/support/ScopedEnvironmentVariable.h"
#include "tests/support/TemporaryRegistry.h"
#include "tests/support/TestProcess.h"
#include "ModalDriver.h"

#include <gtest/gtest.h>

#include <QAbstractButton>
#include <QCoreApplication>
#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QLineEdit>
#include <QMessageBox>
#include <QPushButton>
#include <QSettings>
#include <QTimer>

#include "dialogs/LoginDialog.h"

using ktest::AccountServiceSim;

namespace {

const char* const demoToken = "demo-token-7f3c9a1e5b2d4c6f8a0e1b3d5f7a9c2e";
const QString applicationsPath = "/api/kyb/v2/applications.json";

QJsonObject object(const char* json)
{
    return QJsonDocument::fromJson(json).object();
}

class ProductRefresh : public ::testing::Test {
protected:
    void start(const QJsonObject& scenario = QJsonObject())
    {
        sim_ = std::make_unique<AccountServiceSim>(scenario);
        ASSERT_TRUE(sim_->isRunning());
        ASSERT_TRUE(platform::installExtraCaCertificates());
        accountState = AccountState();
        accountState.authToken = demoToken;
        QSettings().setValue("Login", "demo@belmo.example");
    }
    void TearDown() override
    {
        QFile::remove(CacheFile::defaultPath());
        accountState = AccountState();
    }

    // The login dialog that a refused request brings up: signs in with the demo password, or cancels.
    static std::unique_ptr<ktest::WhenShown<LoginDialog>> answerLogin(bool signIn)
    {
        return std::make_unique<ktest::WhenShown<LoginDialog>>([signIn](LoginDialog* dialog) {
            if (!signIn) {
                dialog->findChild<QPushButton*>("btCancel")->click();
                return;
            }
            dialog->findChild<QLineEdit*>("passEdit")->setText("demo-password");
            dialog->findChild<QPushButton*>("btSignIn")->click();
        });
    }

    static void seedCache()
    {
        ApplicationInfo cached;
        cached.id = "7";
        cached.productName = "Cached Product";
        cached.versionName = "9.9";
        cached.downloadLink = "https://example.invalid/never-stored.exe";
        cached.productType = 2;
        CacheFile().writeProducts({cached});
    }

    std::unique_ptr<AccountServiceSim> sim_;
};

TEST_F(ProductRefresh, TheServiceListIsTakenAndCached)
{
    start();
    ProductData data;
    ASSERT_TRUE(data.refresh(false));
    ASSERT_EQ(data.applications.size(), 2u);
    EXPECT_EQ(data.applications[0].productName, "Belmo Studio");
    EXPECT_EQ(data.applications[0].versionName, "3.2.1");
    EXPECT_EQ(data.applications[1].productType, 2);
    EXPECT_FALSE(accountState.offlineMode);

    const auto cached = CacheFile().readProducts();
    ASSERT_EQ(cached.size(), 2u);
    EXPECT_EQ(cached[1].productName, "Belmo Measure");
    EXPECT_TRUE(cached[1].downloadLink.empty());
    EXPECT_EQ(sim_->requestsTo(applicationsPath).size(), 1);

    // With a rescan, the installed products come along.
    {
        ktest::TemporaryRegistry registry;
        platform::Registry(platform::Registry::Hive::LocalMachine)
            .setValue("SOFTWARE\\Belmo Group\\Belmo Studio\\3.2.1", "Version", "3.2.1");
        ASSERT_TRUE(data.refresh(true));
    }
    ASSERT_EQ(data.installed.size(), 1u);
    EXPECT_EQ(ProductData::applicationStatus(&data.applications[0], data.findInstalled(&data.applications[0], true)),
              ProductData::Current);
}

TEST_F(ProductRefresh, ARefusedReplyLeadsToOneNewSignInAndTheRetryStartsFromAnEmptyList)
{
    // The first reply appends one good element before failing on one without "version"; then the service refuses
    // the token once; the second attempt after the sign-in succeeds.
    start(object(R"({"routes": {"/api/kyb/v2/applications.json": [
        {"json": [{"id": "1", "version": {"name": "1.0"}, "product": {"name": "Partial"}}, {"id": "2", "product": {}}]},
        {}]}})"));
    auto login = answerLogin(true);
    ProductData data;
    ASSERT_TRUE(data.refresh(false));
    EXPECT_EQ(login->count(), 1);
    ASSERT_EQ(data.applications.size(), 2u);
    EXPECT_EQ(data.applications[0].productName, "Belmo Studio");
    EXPECT_EQ(sim_->requestsTo("/api/kyb/v2/login.json").size(), 1);
    const auto fetches = sim_->requestsTo(applicationsPath);
    ASSERT_EQ(fetches.size(), 2);
    // The retry carries the token of the new sign-in.
    EXPECT_EQ(fetches[1]["query"].toObject()["auth_token"].toString(), demoToken);
}

struct NewSignInCase {
    const char* name;
    const char* loginRoute;   // the login.json answers, as JSON
    int serverErrors;         // error boxes over the dialog, each answered with a new Sign in
};

void PrintTo(const NewSignInCase& c, std::ostream* os)
{
    *os << c.name;
}

class UnauthorizedThenSignIn : public ProductRefresh, public ::testing::WithParamInterface<NewSignInCase> {};

// The retry after the new sign-in is answered: its list is taken and cached, and the service counts as reachable
// again, whatever the sign-in attempts before met.
TEST_P(UnauthorizedThenSignIn, TakesTheListOfTheRetry)
{
    const NewSignInCase& c = GetParam();
    start(QJsonObject{{"routes", QJsonObject{{applicationsPath, QJsonDocument::fromJson(R"([{"status": 401}, {}])").array()},
                                             {"/api/kyb/v2/login.json", QJsonDocument::fromJson(c.loginRoute).array()}}}});
    seedCache();
    accountState.authToken = "expired";
    auto login = answerLogin(true);
    ktest::WhenShown<QMessageBox> serverError([](QMessageBox* box) {
        QTimer::singleShot(0, box->button(QMessageBox::Ok), &QAbstractButton::click);
        auto* signIn = box->parentWidget()->findChild<QPushButton*>("btSignIn");
        QTimer::singleShot(100, signIn, &QAbstractButton::click);
    });
    serverError.setRepeating(true);
    ProductData data;
    ASSERT_TRUE(data.refresh(false));
    EXPECT_EQ(serverError.count(), c.serverErrors);
    EXPECT_EQ(sim_->requestsTo("/api/kyb/v2/login.json").size(), c.serverErrors + 1);
    EXPECT_EQ(data.applications.size(), 2u);
    EXPECT_EQ(accountState.authToken, demoToken);
    EXPECT_FALSE(accountState.offlineMode);
    const auto cached = CacheFile().readProducts();
    ASSERT_EQ(cached.size(), 2u);
    EXPECT_EQ(cached[0].productName, "Belmo Studio");
}

INSTANTIATE_TEST_SUITE_P(
    SignIns, UnauthorizedThenSignIn,
    ::testing::Values(NewSignInCase{"Answered", "[{}]", 0},
                      NewSignInCase{"CutOnceThenAnswered", R"([{"close_early": true}, {}])", 1}),
    [](const auto& info) { return std::string(info.param.name); });

struct RefusalCase {
    const char* name;
    const char* scenario;
    bool signIn;   // the new sign-in is completed (else cancelled)
};

class RefusedTwice : public ProductRefresh, public ::testing::WithParamInterface<RefusalCase> {};

TEST_P(RefusedTwice, EndsTheRefreshWithFalseAndWithoutFallingBackToTheCache)
{
    start(QJsonDocument::fromJson(GetParam().scenario).object());
    seedCache();
    auto login = answerLogin(GetParam().signIn);
    ProductData data;
    // A rescan is not reached after a failed refresh.
    data.installed.push_back(InstalledProduct{"Kept", "1", L"", L""});
    EXPECT_FALSE(data.refresh(true));
    EXPECT_EQ(login->count(), 1);
    EXPECT_EQ(data.installed.size(), 1u);
    EXPECT_FALSE(accountState.offlineMode);
    EXPECT_EQ(sim_->requestsTo(applicationsPath).size(), GetParam().signIn ? 2 : 1);
    if (!GetParam().signIn) {
        EXPECT_FALSE(QFile::exists(savedLoginPath()));
    }
    // The cache keeps what it had.
    EXPECT_EQ(CacheFile().readProducts().at(0).productName, "Cached Product");
}

INSTANTIATE_TEST_SUITE_P(
    Replies, RefusedTwice,
    ::testing::Values(
        RefusalCase{"ServerErrorThenCancel", R"({"routes": {"/api/kyb/v2/applications.json": {"status": 500}}})", false},
        RefusalCase{"ServerErrorTwice", R"({"routes": {"/api/kyb/v2/applications.json": {"status": 500}}})", true},
        RefusalCase{"MalformedTwice", R"({"routes": {"/api/kyb/v2/applications.json": {"malformed": true}}})", true},
        RefusalCase{"UnauthorizedTwice", R"({"routes": {"/api/kyb/v2/applications.json": {"status": 401}}})", true}),
    [](const auto& info) { return std::string(info.param.name); });

TEST_F(ProductRefresh, AStallFallsBackToTheCacheMarksOfflineAndTheNextRefreshAsksNothing)
{
    start(object(R"({"routes": {"/api/kyb/v2/applications.json": {"stall": true}}})"));
    ktest::ScopedEnv timeout("KESTRUNE_REQUEST_TIMEOUT_MS", "1000");
    seedCache();
    ProductData data;
    ASSERT_TRUE(data.refresh(false));
    EXPECT_TRUE(accountState.offlineMode);
    ASSERT_EQ(data.applications.size(), 1u);
    EXPECT_EQ(data.applications[0].productName, "Cached Product");
    EXPECT_EQ(data.applications[0].productType, 2);
    EXPECT_TRUE(data.applications[0].downloadLink.empty());
    EXPECT_TRUE(data.applications[0].upgradeUrl.empty());

    sim_->clearLog();
    ASSERT_TRUE(data.refresh(false));
    EXPECT_EQ(data.applications.size(), 1u);
    EXPECT_TRUE(sim_->requests().isEmpty());
}

// A refused connection is no answer: the cached list comes, and the service counts as unreachable.
TEST_F(ProductRefresh, ARefusedConnectionFallsBackToTheCacheAndMarksOffline)
{
    accountState = AccountState();
    accountState.authToken = demoToken;
    seedCache();
    const ktest::RefusedPort port;
    ASSERT_TRUE(port.isValid());
    ktest::ScopedEnv refused("KESTRUNE_SERVICE_HOST", port.authority());
    ProductData data;
    ASSERT_TRUE(data.refresh(false));
    EXPECT_TRUE(accountState.offlineMode);
    ASSERT_EQ(data.applications.size(), 1u);
    EXPECT_EQ(data.applications[0].productName, "Cached Product");
}

// Run in a child process per system width (the client reads the width once): the links follow it.
TEST_F(ProductRefresh, DISABLED_LinksFollowTheSystemWidth)
{
    start();
    ProductData data;
    ASSERT_TRUE(data.refresh(false));
    ASSERT_EQ(data.applications.size(), 2u);
    const std::string link = data.applications[0].downloadLink;
    if (qgetenv("KESTRUNE_WOW64") == "1")
        EXPECT_NE(link.find("/files/BelmoStudio-3.2.1-x64.exe"), std::string::npos) << link;
    else
        EXPECT_NE(link.find("/files/BelmoStudio-3.2.1.exe"), std::string::npos) << link;
}

TEST(ProductRefreshLinks, ThirtyTwoAndSixtyFourBitSystemsGetTheirOwnLinks)
{
    for (const QByteArray& width : {QByteArray("0"), QByteArray("1")}) {
        ktest::ScopedEnv forced("KESTRUNE_WOW64", width);
        const ktest::ProcessResult run = ktest::runProgram(
            QCoreApplication::applicationFilePath(),
            {"--gtest_also_run_disabled_tests", "--gtest_filter=ProductRefresh.DISABLED_LinksFollowTheSystemWidth"});
        EXPECT_EQ(run.exitCode, 0) << width.constData() << "\n" << run.out.toStdString() << run.err.toStdString();
        EXPECT_TRUE(run.out.contains("[  PASSED  ] 1 test")) << run.out.toStdString();
    }
}

}  // namespace

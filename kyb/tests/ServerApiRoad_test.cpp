// The request road of the account client against the simulator: how every operation ends on each kind of answer
// and failure, time-outs, and requests nested in another's wait.
#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QJsonDocument>
#include <QJsonObject>
#include <QTimer>
#include <cstring>
#include <functional>

#include "account/ServerAPI.h"
#include "kyb/tests/AccountSimTest.h"
#include "tests/support/AccountServiceSim.h"
#include "tests/support/RefusedPort.h"
#include "tests/support/ScopedEnvironmentVariable.h"
#include "tests/support/TestHome.h"

namespace {

const QString demoToken = QStringLiteral("demo-token-7f3c9a1e5b2d4c6f8a0e1b3d5f7a9c2e");
const char* const timeoutText = "failure: Timeout. Can't connect to the server";
const char* const sslText = "failure: The SSL/TLS handshake failed and the encrypted channel could not be established. "
                            "The sslErrors() signal should have been emitted.";
const char* const refusedText =
    "failure: The remote server refused the connection (the server is not accepting requests)";

enum class Op { Login, Info, Scanners, Applications, UpdateRequired, SerialNumber, CalibrationRevision, UploadLog };

const char* pathOf(Op op)
{
    switch (op) {
    case Op::Login: return "/api/kyb/v2/login.json";
    case Op::Info: return "/api/kyb/v2/info.json";
    case Op::Scanners: return "/api/kyb/v2/scanners.json";
    case Op::Applications: return "/api/kyb/v2/applications.json";
    case Op::UpdateRequired: return "/api/kyb/v2/kybs/update_required.json";
    case Op::SerialNumber: return "/api/kyb/v2/scanners/serial_number.json";
    case Op::CalibrationRevision: return "/api/kyb/v2/scanners/calibration_revision.json";
    case Op::UploadLog: return "/api/kyb/v2/logs.json";
    }
    return "";
}

QString logArchive()
{
    const QString path = ktest::testHome() + QStringLiteral("/log.zip");
    QFile file(path);
    if (!file.exists() && file.open(QIODevice::WriteOnly))
        file.write(QByteArray("PK\x05\x06", 4) + QByteArray(18, '\0'));
    return path;
}

// Runs one operation the way its callers do; the result as text, or the failure with its kind and text.
std::string run(Op op)
{
    ServerAPI* api = ServerAPI::instance();
    auto flag = [](bool value) { return std::string(value ? "true" : "false"); };
    try {
        switch (op) {
        case Op::Login: {
            AccountState state;
            return flag(api->login(QStringLiteral("demo@belmo.example"), QStringLiteral("demo-password"), "hw-1", &state));
        }
        case Op::Info: {
            AccountState state;
            QString email;
            return flag(api->info(demoToken, "hw-1", &email, &state));
        }
        case Op::Scanners: {
            std::vector<AccountScanner> list;
            return flag(api->scanners(demoToken, &list));
        }
        case Op::Applications: {
            std::vector<ApplicationInfo> list;
            return flag(api->applications(demoToken, &list));
        }
        case Op::UpdateRequired: {
            ApplicationInfo offer;
            return flag(api->updateRequired(demoToken, &offer, QStringLiteral("1.0")));
        }
        case Op::SerialNumber: {
            HardwareItem item;
            return flag(api->serialNumber(demoToken, "30009999", &item));
        }
        case Op::CalibrationRevision:
            return std::to_string(api->calibrationRevision(demoToken, QStringLiteral("BS3-90009")));
        case Op::UploadLog:
            return flag(api->uploadLog(QStringLiteral("hw-1"), logArchive()));
        }
    } catch (const std::ios_base::failure& e) {
        if (e.code() != std::io_errc::stream)
            return "failure with the error code " + e.code().message();
        return std::string("failure: ") + e.what();
    } catch (const std::exception& e) {
        return std::string("exception: ") + e.what();
    }
    return "unreachable";
}

QJsonObject routeScenario(Op op, const char* route)
{
    if (!route || !*route)
        return QJsonObject();
    const QJsonObject entry = QJsonDocument::fromJson(route).object();
    return QJsonObject{{QStringLiteral("routes"), QJsonObject{{QString::fromLatin1(pathOf(op)), entry}}}};
}

class AccountRoad : public ::testing::Test {
protected:
    void SetUp() override
    {
        accountState = AccountState();
        // The CA file of the simulator is the same for the whole process.
        ASSERT_TRUE(ktest::trustSimulatorCa());
    }
};

enum class Server { Sim, PlainHttp, Untrusted, ClosedPort };

struct RoadCase {
    const char* name;
    Op op;
    Server server;
    const char* route;  // the route entry of the operation's path, as JSON
    std::string expected;
    bool offline;       // the offline mark afterwards: the request got no answer
};

void PrintTo(const RoadCase& c, std::ostream* os)
{
    *os << c.name;
}

const char* const stall = R"({"stall": true})";

class RequestRoad : public AccountRoad, public ::testing::WithParamInterface<RoadCase> {};

TEST_P(RequestRoad, EndsAsTheOperationPrescribes)
{
    const RoadCase& c = GetParam();
    // short only where the server never answers; a slow answer elsewhere must not pass for a stall
    const bool stalls = std::strcmp(c.route, stall) == 0;
    ktest::ScopedEnv timeout("KESTRUNE_REQUEST_TIMEOUT_MS", stalls ? "600" : "30000");
    // The mark starts the other way round, as an earlier request left it: this request's own ending sets it.
    accountState.offlineMode = !c.offline;
    std::string result;
    if (c.server == Server::ClosedPort) {
        const ktest::RefusedPort port;
        ASSERT_TRUE(port.isValid());
        ktest::ScopedEnv host("KESTRUNE_SERVICE_HOST", port.authority());
        result = run(c.op);
    } else {
        ktest::AccountServiceSim::Options options;
        options.plainHttp = c.server == Server::PlainHttp;
        options.trustedCa = c.server != Server::Untrusted;
        ktest::AccountServiceSim sim(routeScenario(c.op, c.route), options);
        ASSERT_TRUE(sim.isRunning());
        result = run(c.op);
        const auto requests = sim.requests();
        if (c.server == Server::Sim) {
            ASSERT_EQ(requests.size(), 1);
            EXPECT_EQ(requests[0].value(QStringLiteral("path")).toString(), QString::fromLatin1(pathOf(c.op)));
        } else {
            EXPECT_TRUE(requests.isEmpty()) << "a request passed a failed handshake";
        }
    }
    EXPECT_EQ(result, c.expected);
    EXPECT_EQ(accountState.offlineMode, c.offline);
}

const char* const malformed = R"({"malformed": true})";
const char* const status401 = R"({"status": 401})";
const char* const status404 = R"({"status": 404})";
const char* const status422 = R"({"status": 422, "json": {"message": "Scanner not found"}})";
const char* const status500 = R"({"status": 500})";

// Qt also reports 400 as code 302, 401 as 204, 404 as 203, 407 as 105 and 500 as 401: these rows show the status is
// what counts.
INSTANTIATE_TEST_SUITE_P(
    Outcomes, RequestRoad,
    ::testing::Values(
        RoadCase{"login_200", Op::Login, Server::Sim, "", "true", false},
        RoadCase{"login_401", Op::Login, Server::Sim, status401, "false", false},
        RoadCase{"login_400", Op::Login, Server::Sim, R"({"status": 400})", "failure: Incorrect server reply: 400",
                 false},
        RoadCase{"login_404", Op::Login, Server::Sim, status404, "failure: Incorrect server reply: 404", false},
        RoadCase{"login_500", Op::Login, Server::Sim, status500, "failure: Incorrect server reply: 500", false},
        RoadCase{"login_malformed", Op::Login, Server::Sim, malformed, "exception: Wrong server response data", false},
        RoadCase{"login_missing_key", Op::Login, Server::Sim,
                 R"({"json": {"auth_token_crypted": "x", "hwfp_id": "1"}})",
                 "exception: Wrong server response data format", false},
        RoadCase{"login_stall", Op::Login, Server::Sim, stall, timeoutText, true},
        RoadCase{"login_closed_port", Op::Login, Server::ClosedPort, "", refusedText, true},
        RoadCase{"login_plain_http", Op::Login, Server::PlainHttp, "", sslText, true},
        RoadCase{"login_untrusted", Op::Login, Server::Untrusted, "", sslText, true},
        RoadCase{"login_close_early", Op::Login, Server::Sim, R"({"close_early": true})",
                 "failure: The remote server closed the connection prematurely, before the entire reply was received "
                 "and processed",
                 true},
        RoadCase{"info_401", Op::Info, Server::Sim, status401, "false", false},
        RoadCase{"info_422", Op::Info, Server::Sim, status422, "failure: Incorrect server reply: 422", false},
        RoadCase{"scanners_200", Op::Scanners, Server::Sim, "", "true", false},
        RoadCase{"scanners_401", Op::Scanners, Server::Sim, status401, "false", false},
        RoadCase{"scanners_500", Op::Scanners, Server::Sim, status500, "failure: Incorrect server reply: 500", false},
        RoadCase{"scanners_407", Op::Scanners, Server::Sim, R"({"status": 407})", "failure: Incorrect server reply: 407",
                 false},
        RoadCase{"scanners_malformed", Op::Scanners, Server::Sim, malformed, "false", false},
        RoadCase{"scanners_stall", Op::Scanners, Server::Sim, stall, timeoutText, true},
        RoadCase{"scanners_closed_port", Op::Scanners, Server::ClosedPort, "", refusedText, true},
        RoadCase{"applications_200", Op::Applications, Server::Sim, "", "true", false},
        RoadCase{"applications_401", Op::Applications, Server::Sim, status401, "false", false},
        RoadCase{"applications_404", Op::Applications, Server::Sim, status404, "false", false},
        RoadCase{"applications_500", Op::Applications, Server::Sim, status500, "false", false},
        RoadCase{"applications_418", Op::Applications, Server::Sim, R"({"status": 418})", "false", false},
        RoadCase{"applications_malformed", Op::Applications, Server::Sim, malformed, "false", false},
        RoadCase{"applications_missing_key", Op::Applications, Server::Sim, R"({"json": [{"id": "1", "product": {}}]})",
                 "false", false},
        RoadCase{"applications_stall", Op::Applications, Server::Sim, stall, timeoutText, true},
        RoadCase{"applications_untrusted", Op::Applications, Server::Untrusted, "", sslText, true},
        RoadCase{"update_200", Op::UpdateRequired, Server::Sim, "", "true", false},
        RoadCase{"update_401", Op::UpdateRequired, Server::Sim, status401, "false", false},
        RoadCase{"update_422", Op::UpdateRequired, Server::Sim, status422, "false", false},
        RoadCase{"update_500", Op::UpdateRequired, Server::Sim, status500, "false", false},
        RoadCase{"update_malformed", Op::UpdateRequired, Server::Sim, malformed, "false", false},
        RoadCase{"update_stall", Op::UpdateRequired, Server::Sim, stall, "false", true},
        RoadCase{"update_closed_port", Op::UpdateRequired, Server::ClosedPort, "", "false", true},
        RoadCase{"serial_200", Op::SerialNumber, Server::Sim, "", "true", false},
        RoadCase{"serial_401", Op::SerialNumber, Server::Sim, status401, "false", false},
        RoadCase{"serial_404", Op::SerialNumber, Server::Sim, status404, "false", false},
        RoadCase{"serial_malformed", Op::SerialNumber, Server::Sim, malformed, "false", false},
        RoadCase{"serial_missing_key", Op::SerialNumber, Server::Sim, R"({"json": {"belongs_to": 0}})", "false", false},
        RoadCase{"serial_belongs_to_text", Op::SerialNumber, Server::Sim,
                 R"({"json": {"serial_number": "S1", "belongs_to": "owned"}})", "false", false},
        RoadCase{"serial_stall", Op::SerialNumber, Server::Sim, stall, timeoutText, true},
        RoadCase{"serial_closed_port", Op::SerialNumber, Server::ClosedPort, "", "false", true},
        RoadCase{"revision_200", Op::CalibrationRevision, Server::Sim, "", "3", false},
        RoadCase{"revision_401", Op::CalibrationRevision, Server::Sim, status401, "-1", false},
        RoadCase{"revision_404", Op::CalibrationRevision, Server::Sim, status404, "0", false},
        RoadCase{"revision_422", Op::CalibrationRevision, Server::Sim,
                 R"({"status": 422, "json": {"calibration_revision": 9}})", "9", false},
        RoadCase{"revision_422_without", Op::CalibrationRevision, Server::Sim, status422, "-1", false},
        RoadCase{"revision_500", Op::CalibrationRevision, Server::Sim, status500, "-1", false},
        RoadCase{"revision_malformed", Op::CalibrationRevision, Server::Sim, malformed, "-1", false},
        RoadCase{"revision_stall", Op::CalibrationRevision, Server::Sim, stall, "-1", true},
        RoadCase{"revision_closed_port", Op::CalibrationRevision, Server::ClosedPort, "", "-1", true},
        RoadCase{"upload_200", Op::UploadLog, Server::Sim, "", "true", false},
        RoadCase{"upload_500", Op::UploadLog, Server::Sim, status500, "false", false},
        RoadCase{"upload_stall", Op::UploadLog, Server::Sim, stall, timeoutText, true},
        RoadCase{"upload_closed_port", Op::UploadLog, Server::ClosedPort, "", "false", true}),
    [](const ::testing::TestParamInfo<RoadCase>& info) { return std::string(info.param.name); });

TEST_F(AccountRoad, UnknownHostMarksTheServiceOffline)
{
    ktest::ScopedEnv host("KESTRUNE_SERVICE_HOST", "no-such-host.invalid");
    EXPECT_EQ(run(Op::Scanners), "failure: The remote host name was not found (invalid hostname)");
    EXPECT_TRUE(accountState.offlineMode);
}

TEST_F(AccountRoad, RequestAfterATimeOutHasAFreshTimer)
{
    ktest::ScopedEnv timeout("KESTRUNE_REQUEST_TIMEOUT_MS", "2500");
    ktest::AccountServiceSim sim(routeScenario(Op::Applications, stall));
    ASSERT_TRUE(sim.isRunning());
    EXPECT_EQ(run(Op::Applications), timeoutText);
    EXPECT_TRUE(accountState.offlineMode);
    EXPECT_FALSE(ServerAPI::instance()->isWaiting());

    // The next request waits under a timer of its own and gets its answer.
    sim.setScenario(routeScenario(Op::Applications, R"({"delay_ms": 400})"));
    EXPECT_EQ(run(Op::Applications), "true");
    EXPECT_EQ(sim.requestsTo(QString::fromLatin1(pathOf(Op::Applications))).size(), 2);
}

// QCoreApplication::exit leaves Qt unable to run local loops afterwards, so this runs in a process of its own.
TEST_F(AccountRoad, ApplicationExitEndsAWaitWithoutTheOfflineMark)
{
    GTEST_FLAG_SET(death_test_style, "threadsafe");
    EXPECT_EXIT(
        {
            ktest::AccountServiceSim sim(routeScenario(Op::Login, stall));
            QTimer::singleShot(300, [] { QCoreApplication::exit(1); });
            const bool ok = sim.isRunning() && run(Op::Login) == timeoutText && !accountState.offlineMode;
            std::exit(ok ? 0 : 1);
        },
        ::testing::ExitedWithCode(0), "");
}

struct NestedCase {
    const char* name;
    const char* outerRoute;  // login.json, waited on first
    const char* innerRoute;  // applications.json, started from a timer during the outer wait
    std::string outer;
    std::string inner;
    bool offline;            // the mark afterwards: how the outer request, which ends last, ended
};

void PrintTo(const NestedCase& c, std::ostream* os)
{
    *os << c.name;
}

class NestedRequest : public AccountRoad, public ::testing::WithParamInterface<NestedCase> {};

// Time-out 7000 ms; the inner request starts at 2500 ms; a delayed answer comes 5000 ms after its request. Each
// answer is due 2000 ms before its time-out, and the delayed outer answer 2500 ms after the inner start.
TEST_P(NestedRequest, EachKeepsItsOwnTimeOut)
{
    const NestedCase& c = GetParam();
    ktest::ScopedEnv timeout("KESTRUNE_REQUEST_TIMEOUT_MS", "7000");
    QJsonObject routes = routeScenario(Op::Login, c.outerRoute).value(QStringLiteral("routes")).toObject();
    routes.insert(QString::fromLatin1(pathOf(Op::Applications)), QJsonDocument::fromJson(c.innerRoute).object());
    ktest::AccountServiceSim sim(QJsonObject{{QStringLiteral("routes"), routes}});
    ASSERT_TRUE(sim.isRunning());

    std::string inner = "not run";
    QTimer::singleShot(2500, [&inner] {
        EXPECT_TRUE(ServerAPI::instance()->isWaiting());
        inner = run(Op::Applications);
    });
    QElapsedTimer clock;
    clock.start();
    const std::string outer = run(Op::Login);
    EXPECT_EQ(outer, c.outer);
    EXPECT_EQ(inner, c.inner);
    EXPECT_LT(clock.elapsed(), 30000);
    EXPECT_EQ(accountState.offlineMode, c.offline);
    EXPECT_FALSE(ServerAPI::instance()->isWaiting());
}

INSTANTIATE_TEST_SUITE_P(
    Cases, NestedRequest,
    ::testing::Values(
        // The outer time-out fires while the inner request waits: the inner one still gets its answer (at 7500 ms),
        // and the outer one then ends as timed out.
        NestedCase{"outer_times_out_inner_answered", stall, R"({"delay_ms": 5000})", timeoutText, "true", true},
        // The outer answer arrives (5000 ms) while the inner one waits; the inner one ends by its own time-out
        // (9500 ms), and the outer one then returns its answer.
        NestedCase{"inner_times_out_outer_answered", R"({"delay_ms": 5000})", stall, "true", timeoutText, false}),
    [](const ::testing::TestParamInfo<NestedCase>& info) { return std::string(info.param.name); });

}  // namespace

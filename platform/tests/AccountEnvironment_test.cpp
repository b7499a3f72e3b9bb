// The environment-driven pieces of the operating-system layer that the account client uses.
#include <gtest/gtest.h>

#include <QDir>
#include <QFile>
#include <QRegularExpression>
#include <QSslCertificate>
#include <QSslConfiguration>

#include "platform/ExtraCertificates.h"
#include "platform/MachineIdentifier.h"
#include "platform/RequestTimeouts.h"
#include "platform/ServiceEndpoint.h"
#include "platform/UserDataFolder.h"
#include "tests/support/AccountServiceSim.h"
#include "tests/support/ScopedEnvironmentVariable.h"
#include "tests/support/TestHome.h"

namespace {

struct BaseCase {
    const char* appData;
    const char* xdgDataHome;
    QString expected;  // "~" stands for the home folder
};

class UserDataBase : public ::testing::TestWithParam<BaseCase> {};

TEST_P(UserDataBase, ChoosesTheFirstNonEmptySource)
{
    const BaseCase& c = GetParam();
    ktest::ScopedEnv appData("APPDATA", c.appData);
    ktest::ScopedEnv xdg("XDG_DATA_HOME", c.xdgDataHome);
    QString expected = c.expected;
    expected.replace(QLatin1Char('~'), QDir::homePath());
    EXPECT_EQ(platform::userDataBase(), expected);
}

INSTANTIATE_TEST_SUITE_P(Sources, UserDataBase,
                         ::testing::Values(BaseCase{"/r/appdata", "/r/xdg", "/r/appdata"},
                                           BaseCase{"", "/r/xdg", "/r/xdg"},
                                           BaseCase{nullptr, "/r/xdg/", "/r/xdg"},
                                           BaseCase{nullptr, "", "~/.local/share"},
                                           BaseCase{nullptr, nullptr, "~/.local/share"}));

struct EndpointCase {
    const char* configured;
    const char* host;
    const char* authority;
};

class Endpoint : public ::testing::TestWithParam<EndpointCase> {};

TEST_P(Endpoint, KeepsHostApartFromAuthority)
{
    const EndpointCase& c = GetParam();
    ktest::ScopedEnv env("KESTRUNE_SERVICE_HOST", c.configured);
    EXPECT_EQ(platform::serviceHost(), QString::fromLatin1(c.host));
    EXPECT_EQ(platform::serviceAuthority(), QString::fromLatin1(c.authority));
}

INSTANTIATE_TEST_SUITE_P(
    Values, Endpoint,
    ::testing::Values(EndpointCase{nullptr, KESTRUNE_DEFAULT_HOST, KESTRUNE_DEFAULT_HOST},
                      EndpointCase{"", KESTRUNE_DEFAULT_HOST, KESTRUNE_DEFAULT_HOST},
                      EndpointCase{"127.0.0.1:8443", "127.0.0.1", "127.0.0.1:8443"},
                      EndpointCase{"Accounts.Example", "accounts.example", "accounts.example"},
                      EndpointCase{"[::1]:9000", "::1", "[::1]:9000"},
                      // Not an authority: the built-in host stays.
                      EndpointCase{"user@evil.example", KESTRUNE_DEFAULT_HOST, KESTRUNE_DEFAULT_HOST},
                      EndpointCase{"host:notaport", KESTRUNE_DEFAULT_HOST, KESTRUNE_DEFAULT_HOST}));

struct TimeoutCase {
    const char* configured;
    int request;
    int calibration;
};

class Timeouts : public ::testing::TestWithParam<TimeoutCase> {};

TEST_P(Timeouts, CanOnlyBeShortened)
{
    const TimeoutCase& c = GetParam();
    ktest::ScopedEnv request("KESTRUNE_REQUEST_TIMEOUT_MS", c.configured);
    ktest::ScopedEnv calibration("KESTRUNE_CALIBRATION_TIMEOUT_MS", c.configured);
    EXPECT_EQ(platform::requestTimeoutMs(), c.request);
    EXPECT_EQ(platform::calibrationTimeoutMs(), c.calibration);
}

INSTANTIATE_TEST_SUITE_P(Values, Timeouts,
                         ::testing::Values(TimeoutCase{nullptr, 100000, 60000}, TimeoutCase{"250", 250, 250},
                                           TimeoutCase{"80000", 80000, 60000},
                                           TimeoutCase{"500000", 100000, 60000}, TimeoutCase{"0", 100000, 60000},
                                           TimeoutCase{"-5", 100000, 60000}, TimeoutCase{"soon", 100000, 60000}));

TEST(MachineIdentifier, StableDigestUnlessOverridden)
{
    ktest::ScopedEnv unset("KESTRUNE_MACHINE_ID", nullptr);
    const std::string id = platform::machineIdentifier();
    EXPECT_TRUE(QRegularExpression(QStringLiteral("^[0-9a-f]{32}$")).match(QString::fromStdString(id)).hasMatch())
        << id;
    EXPECT_EQ(platform::machineIdentifier(), id);

    QFile machineId(QStringLiteral("/etc/machine-id"));
    if (machineId.open(QIODevice::ReadOnly)) {  // the raw id never leaves the computer
        EXPECT_EQ(QString::fromStdString(id).indexOf(QString::fromLatin1(machineId.readAll().trimmed())), -1);
    }

    const std::string product = platform::machineIdentifier(QStringLiteral("/opt/belmo/studio"));
    EXPECT_NE(product, id);
    EXPECT_EQ(platform::machineIdentifier(QStringLiteral("/opt/belmo//studio/")), product);
    EXPECT_NE(platform::machineIdentifier(QStringLiteral("/opt/belmo/other")), product);

    ktest::ScopedEnv set("KESTRUNE_MACHINE_ID", "test-machine");
    EXPECT_EQ(platform::machineIdentifier(), "test-machine");
    EXPECT_NE(platform::machineIdentifier(QStringLiteral("/opt/belmo/studio")), product);
}

TEST(ExtraCertificates, AreTrustedBesideTheSystemCas)
{
    const QList<QSslCertificate> extra = QSslCertificate::fromPath(ktest::AccountServiceSim::trustedCaFile());
    ASSERT_EQ(extra.size(), 1);
    const QList<QSslCertificate> system = QSslConfiguration::systemCaCertificates();
    {
        ktest::ScopedEnv env("KESTRUNE_CA_FILE", ktest::AccountServiceSim::trustedCaFile().toLocal8Bit().constData());
        ASSERT_TRUE(platform::installExtraCaCertificates());
        ASSERT_TRUE(platform::installExtraCaCertificates());
    }
    const QList<QSslCertificate> trusted = QSslConfiguration::defaultConfiguration().caCertificates();
    EXPECT_EQ(trusted.count(extra.front()), 1);
    int missing = 0;
    for (const QSslCertificate& certificate : system)
        missing += trusted.contains(certificate) ? 0 : 1;
    EXPECT_EQ(missing, 0) << "of " << system.size() << " system CAs";
}

TEST(ExtraCertificates, RefusesAFileWithoutCertificates)
{
    const QString path = ktest::testHome() + QStringLiteral("/not-a-certificate.pem");
    QFile file(path);
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    file.write("-----BEGIN CERTIFICATE-----\nnot base64 at all\n-----END CERTIFICATE-----\n");
    file.close();
    {
        ktest::ScopedEnv env("KESTRUNE_CA_FILE", path.toLocal8Bit().constData());
        EXPECT_FALSE(platform::installExtraCaCertificates());
    }
    {
        ktest::ScopedEnv env("KESTRUNE_CA_FILE", "/nonexistent/ca.pem");
        EXPECT_FALSE(platform::installExtraCaCertificates());
    }
    ktest::ScopedEnv env("KESTRUNE_CA_FILE", nullptr);
    EXPECT_TRUE(platform::installExtraCaCertificates());
}

}  // namespace

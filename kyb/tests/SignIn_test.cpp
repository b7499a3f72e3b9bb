// signIn and the saved sign-in file, with the login dialog driven on the offscreen platform against the simulator.
#include <gtest/gtest.h>

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QJsonArray>
#include <QJsonObject>
#include <QLineEdit>
#include <QPushButton>
#include <QSettings>
#include <QTest>
#include <sys/stat.h>

#include "kyb/account/AccountState.h"
#include "kyb/account/ServerAPI.h"
#include "kyb/dialogs/LoginDialog.h"
#include "kyb/signin/SignIn.h"
#include "kyb/tests/AccountSimTest.h"
#include "kyb/tests/DialogDriver.h"
#include "tests/support/TestProcess.h"
#include "tests/support/TestFiles.h"

namespace {

const char* const machineId = "machine-under-test";
const QString email = QStringLiteral("demo@belmo.example");
const std::string plainToken = "demo-token-7f3c9a1e5b2d4c6f8a0e1b3d5f7a9c2e";
const std::string plainUok = "demo-uok-2b4d6f8a0c1e3a5c7e9b";

// A fixed salt keeps the cipher text the same on every run: with a random one, deciphering under a wrong
// passphrase passes the padding check about once in 256 runs and yields a garbage token. openssl writes no
// "Salted__" header when the salt is given, so the header is put in front here, as openssl writes it otherwise.
QByteArray encipher(const QByteArray& plain, const QByteArray& passphrase)
{
    const QByteArray salt = QByteArray::fromHex("0102030405060708");
    const ktest::ProcessResult result = ktest::runProgram(
        "openssl",
        {"enc", "-aes-256-cbc", "-md", "md5", "-S", QString::fromLatin1(salt.toHex()), "-pass",
         "pass:" + QString::fromUtf8(passphrase)},
        QString(), plain);
    EXPECT_TRUE(result.ok()) << result.err.toStdString();
    return (QByteArray("Salted__") + salt + result.out).toBase64();
}

using ktest::readFile;
using ktest::writeFile;

QString savedLoginSetting()
{
    return QSettings("Belmo Group", "Kestrune").value("Login").toString();
}

class SignInTest : public ktest::AccountSimTest {
protected:
    static void SetUpTestSuite()
    {
        qputenv("KESTRUNE_MACHINE_ID", machineId);
        AccountSimTest::SetUpTestSuite();
    }
    void SetUp() override
    {
        AccountSimTest::SetUp();
        accountState = AccountState();
        QFile::remove(savedLoginPath());
        QSettings("Belmo Group", "Kestrune").setValue("Login", "earlier@belmo.example");
    }

    // A kyb.dat as this computer saves it.
    static QByteArray validSavedFile(const QByteArray& passphrase = machineId)
    {
        return "demo@belmo.example\n4711\n" + encipher(QByteArray::fromStdString(plainUok), passphrase) + "\n" +
               encipher(QByteArray::fromStdString(plainToken), passphrase);
    }

    void TearDown() override { EXPECT_TRUE(boxes.boxes.isEmpty()) << boxes.boxes.value(0).text.toStdString(); }

    // Every message box is closed and kept, so a failing test cannot hang on one.
    ktest::MessageBoxCloser boxes;
};

// Drives every login dialog that comes up.
struct DialogSeen {
    QString login;
    bool loginEnabled = true;
    bool staysOnTop = false;
};

ktest::OnModal<LoginDialog>* cancelEveryDialog(QList<DialogSeen>* seen)
{
    return new ktest::OnModal<LoginDialog>([seen](LoginDialog* dialog) {
        QLineEdit* loginEdit = dialog->findChild<QLineEdit*>("loginEdit");
        seen->append({loginEdit->text(), loginEdit->isEnabled(), bool(dialog->windowFlags() & Qt::WindowStaysOnTopHint)});
        QTest::mouseClick(dialog->findChild<QPushButton*>("btCancel"), Qt::LeftButton);
    });
}

TEST_F(SignInTest, SavedSignInNeedsNoDialog)
{
    if (!ktest::haveProgram("openssl"))
        GTEST_SKIP() << "openssl command not found";
    for (int mode : {0, 1}) {
        accountState = AccountState();
        writeFile(savedLoginPath(), validSavedFile());
        QList<DialogSeen> seen;
        std::unique_ptr<ktest::OnModal<LoginDialog>> cancel(cancelEveryDialog(&seen));
        EXPECT_EQ(signIn(mode), 1) << mode;
        EXPECT_TRUE(seen.isEmpty()) << mode;
        EXPECT_EQ(accountState.authToken, plainToken);
        EXPECT_EQ(accountState.uok, plainUok);
        EXPECT_EQ(accountState.login, L"demo@belmo.example");
        EXPECT_EQ(accountState.machineRecordId, "4711");
        EXPECT_TRUE(sim->requests().isEmpty()) << "the saved token is trusted without asking the service";
    }
}

TEST_F(SignInTest, RefusedTokenAsksAgainAndCancelForgetsTheSavedSignIn)
{
    if (!ktest::haveProgram("openssl"))
        GTEST_SKIP() << "openssl command not found";
    writeFile(savedLoginPath(), validSavedFile());
    QList<DialogSeen> seen;
    std::unique_ptr<ktest::OnModal<LoginDialog>> cancel(cancelEveryDialog(&seen));
    EXPECT_EQ(signIn(2), 0);
    ASSERT_EQ(seen.size(), 1);
    EXPECT_EQ(seen[0].login, "earlier@belmo.example");
    EXPECT_FALSE(seen[0].loginEnabled);
    EXPECT_FALSE(QFileInfo::exists(savedLoginPath()));
    EXPECT_EQ(savedLoginSetting(), "earlier@belmo.example");
}

struct UnusableFile {
    const char* name;
    enum { Missing, OtherComputer, LoginOnly, Garbage } kind;
};

class SignInUnusableSavedFile : public SignInTest, public ::testing::WithParamInterface<UnusableFile> {};

TEST_P(SignInUnusableSavedFile, ShowsTheDialog)
{
    const UnusableFile& c = GetParam();
    if (c.kind == UnusableFile::OtherComputer) {
        if (!ktest::haveProgram("openssl"))
            GTEST_SKIP() << "openssl command not found";
        writeFile(savedLoginPath(), validSavedFile("another-machine"));
    } else if (c.kind == UnusableFile::LoginOnly) {
        writeFile(savedLoginPath(), "demo@belmo.example\n");
    } else if (c.kind == UnusableFile::Garbage) {
        writeFile(savedLoginPath(), "\x01\x02 \xff\n\n\n!!!!");
    }
    QList<DialogSeen> seen;
    std::unique_ptr<ktest::OnModal<LoginDialog>> cancel(cancelEveryDialog(&seen));
    EXPECT_EQ(signIn(1), 0);
    ASSERT_EQ(seen.size(), 1);
    EXPECT_TRUE(seen[0].staysOnTop);
    EXPECT_TRUE(seen[0].loginEnabled);
    EXPECT_EQ(seen[0].login, "earlier@belmo.example");
    EXPECT_FALSE(QFileInfo::exists(savedLoginPath()));
    EXPECT_TRUE(accountState.authToken.empty());
}

INSTANTIATE_TEST_SUITE_P(Files, SignInUnusableSavedFile,
                         ::testing::Values(UnusableFile{"Missing", UnusableFile::Missing},
                                           UnusableFile{"OtherComputer", UnusableFile::OtherComputer},
                                           UnusableFile{"LoginOnly", UnusableFile::LoginOnly},
                                           UnusableFile{"Garbage", UnusableFile::Garbage}),
                         [](const ::testing::TestParamInfo<UnusableFile>& info) { return std::string(info.param.name); });

std::unique_ptr<ktest::OnModal<LoginDialog>> signInWith(const QString& login, const QString& password)
{
    return std::make_unique<ktest::OnModal<LoginDialog>>([=](LoginDialog* dialog) {
        QLineEdit* loginEdit = dialog->findChild<QLineEdit*>("loginEdit");
        if (loginEdit->isEnabled())
            loginEdit->setText(login);
        dialog->findChild<QLineEdit*>("passEdit")->setText(password);
        QTest::mouseClick(dialog->findChild<QPushButton*>("btSignIn"), Qt::LeftButton);
    });
}

TEST_F(SignInTest, AcceptedDialogDeciphersAndSavesTheSignIn)
{
    // The service's values come wrapped in lines, as openssl writes base64.
    AccountState raw;
    ASSERT_TRUE(ServerAPI::instance()->login(email, "demo-password", machineId, &raw));
    ASSERT_NE(raw.authToken.find('\n'), std::string::npos);
    sim->clearLog();

    auto driver = signInWith(email, "demo-password");
    EXPECT_EQ(signIn(0), 1);
    EXPECT_EQ(driver->count(), 1);
    EXPECT_EQ(accountState.authToken, plainToken);
    EXPECT_EQ(accountState.uok, plainUok);
    EXPECT_EQ(accountState.login, L"demo@belmo.example");
    EXPECT_EQ(accountState.machineRecordId, "4711");
    EXPECT_EQ(savedLoginSetting(), email);

    const QByteArray saved = readFile(savedLoginPath());
    const QList<QByteArray> lines = saved.split('\n');
    ASSERT_EQ(lines.size(), 4) << saved.toStdString();
    EXPECT_EQ(lines[0], "demo@belmo.example");
    EXPECT_EQ(lines[1], "4711");
    EXPECT_EQ(ServerAPI::decryptString(lines[2].toStdString(), machineId), plainUok);
    EXPECT_EQ(ServerAPI::decryptString(lines[3].toStdString(), machineId), plainToken);
    struct stat st {};
    ASSERT_EQ(::stat(QFile::encodeName(savedLoginPath()).constData(), &st), 0);
    EXPECT_EQ(st.st_mode & 0777, 0600u);

    // The next start signs in from the file alone.
    accountState = AccountState();
    sim->clearLog();
    EXPECT_TRUE(loadSavedLogin());
    EXPECT_EQ(accountState.authToken, plainToken);
    EXPECT_EQ(accountState.uok, plainUok);
    EXPECT_EQ(accountState.login, L"demo@belmo.example");
    EXPECT_EQ(accountState.machineRecordId, "4711");
    EXPECT_TRUE(sim->requests().isEmpty());
}

TEST_F(SignInTest, RefusedTokenWithKnownLoginSignsInWithThePasswordOnly)
{
    QSettings("Belmo Group", "Kestrune").setValue("Login", email);
    auto driver = signInWith("ignored@belmo.example", "demo-password");
    EXPECT_EQ(signIn(2), 1);
    EXPECT_EQ(accountState.login, L"demo@belmo.example");
    EXPECT_EQ(accountState.authToken, plainToken);
    const QList<QJsonObject> logins = sim->requestsTo("/api/kyb/v2/login.json");
    ASSERT_EQ(logins.size(), 1);
    EXPECT_EQ(logins[0]["form"].toArray()[0].toArray()[1].toString(), email);
}

TEST_F(SignInTest, UnwritableSavedFileStillSignsIn)
{
    // A folder where the file should be: it cannot be written, and that is not an error.
    ASSERT_TRUE(QDir().mkpath(savedLoginPath()));
    auto driver = signInWith(email, "demo-password");
    EXPECT_EQ(signIn(0), 1);
    EXPECT_EQ(accountState.authToken, plainToken);
    EXPECT_TRUE(QFileInfo(savedLoginPath()).isDir());
    QDir(savedLoginPath()).removeRecursively();
}

TEST_F(SignInTest, UndecipherableReplyStillCountsAsSignedIn)
{
    sim->setScenario(QJsonObject{{"routes", QJsonObject{{"/api/kyb/v2/login.json",
        QJsonObject{{"json", QJsonObject{{"auth_token_crypted", "bm90IGVuY2lwaGVyZWQ="}, {"hwfp_id", "9"},
                                         {"uok", "U2FsdGVkX1"}}}}}}}});
    auto driver = signInWith(email, "demo-password");
    EXPECT_EQ(signIn(0), 1);
    EXPECT_TRUE(accountState.authToken.empty());
    EXPECT_TRUE(accountState.uok.empty());
    // Saved as the service sent it; the next start finds no token and asks again.
    EXPECT_EQ(readFile(savedLoginPath()), "demo@belmo.example\n9\nU2FsdGVkX1\nbm90IGVuY2lwaGVyZWQ=");
    accountState = AccountState();
    EXPECT_FALSE(loadSavedLogin());
}

}  // namespace

// The program kyb as a process against the simulator: command lines and account states against exit codes.
#include <gtest/gtest.h>

#include <functional>
#include <memory>
#include <optional>
#include <tuple>

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QProcessEnvironment>
#include <QSettings>
#include <QTemporaryDir>
#include <QThread>

#include "kyb/signin/SavedLoginFile.h"
#include "kyb/signin/SignIn.h"
#include "kyb/storage/CacheFile.h"
#include "kyb/tests/DialogDriver.h"
#include "kyb/tests/StoredDescription.h"
#include "platform/PrivateFolder.h"
#include "platform/Registry.h"
#include "platform/UserDataFolder.h"
#include "tests/support/AccountServiceSim.h"
#include "tests/support/RefusedPort.h"
#include "tests/support/ScopedEnvironmentVariable.h"
#include "tests/support/TestFiles.h"
#include "tests/support/TestProcess.h"
#include "tests/support/VirtualDisplay.h"

using ktest::AccountServiceSim;
using platform::Registry;

namespace {

const char* const machineId = "kyb-program-test-machine";
const QString belmoKey = QStringLiteral("SOFTWARE\\Belmo Group");

QString kybPath()
{
    return QStringLiteral(KESTRUNE_BINARY_DIR "/bin/kyb");
}

QByteArray encipher(const QByteArray& plain)
{
    const ktest::ProcessResult result = ktest::runProgram(
        "openssl", {"enc", "-aes-256-cbc", "-md", "md5", "-a", "-A", "-pass", QStringLiteral("pass:") + machineId},
        QString(), plain);
    EXPECT_TRUE(result.ok()) << result.err.toStdString();
    return result.out.trimmed();
}

// kyb.dat as a sign-in on this computer leaves it.
void writeSavedSignIn()
{
    SavedLogin saved;
    saved.login = QStringLiteral("demo@belmo.example");
    saved.machineRecordId = "4711";
    saved.uok = encipher("demo-uok-2b4d6f8a0c1e3a5c7e9b").toStdString();
    saved.authToken = encipher("demo-token-7f3c9a1e5b2d4c6f8a0e1b3d5f7a9c2e").toStdString();
    ASSERT_TRUE(SavedLoginFile(savedLoginPath()).write(saved));
}

void installStudio(const QString& version)
{
    Registry registry(Registry::Hive::LocalMachine);
    registry.removeKey(belmoKey);
    if (version.isEmpty())
        return;
    ASSERT_TRUE(registry.setValue(belmoKey + QStringLiteral("\\Belmo Studio\\3"), QStringLiteral("Version"), version));
}

QString studioLogFolder()
{
    return platform::userDataBase() + QStringLiteral("/Belmo/Belmo Studio/PerfomanceLog");
}

struct Outcome {
    int exitCode = -1;
    QByteArray err;
};

const QString defaultScreen = QStringLiteral("1280x800");

using ktest::VirtualDisplay;

// Runs kyb (or program) with args and extra environment; on an X server of its own with the first window titled
// "Kestrune" (the login dialog; the splash has no title) asked to close when closeWindow, or on an X screen of
// dpi dots per inch and screen pixels (1280 x 800 unless told) when dpi is given. whileRunning, when given, runs
// once the program has started.
Outcome runKyb(const QStringList& args, const QMap<QString, QString>& extraEnv = {}, bool closeWindow = false,
               const QString& program = kybPath(), int dpi = 0, const QString& screen = defaultScreen,
               const std::function<void()>& whileRunning = {})
{
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    for (auto it = extraEnv.cbegin(); it != extraEnv.cend(); ++it)
        env.insert(it.key(), it.value());
    QProcess process;
    std::unique_ptr<VirtualDisplay> display;
    if (closeWindow || dpi) {
        display = std::make_unique<VirtualDisplay>(dpi, screen);
        EXPECT_FALSE(display->name().isEmpty()) << "Xvfb did not start";
        env.insert(QStringLiteral("DISPLAY"), display->name());
        env.remove(QStringLiteral("QT_QPA_PLATFORM"));
        env.insert(QStringLiteral("ASAN_OPTIONS"), ktest::asanOptionsOnX11(env.value(QStringLiteral("ASAN_OPTIONS"))));
    }
    if (closeWindow) {
        const QString closer = ktest::sourcePath(QStringLiteral("kyb/tests/fixtures/close_first_window.py"));
        process.setProgram(QStringLiteral("sh"));
        process.setArguments(QStringList{"-c",
                                         "\"$0\" \"$@\" & kyb=$!; python3 \"" + closer +
                                             "\" Kestrune 60; wait $kyb",
                                         program} +
                             args);
    } else {
        process.setProgram(program);
        process.setArguments(args);
    }
    process.setProcessEnvironment(env);
    process.start();
    Outcome outcome;
    if (!process.waitForStarted(30000))
        return outcome;
    if (whileRunning)
        whileRunning();
    if (!process.waitForFinished(120000)) {
        process.kill();
        process.waitForFinished();
        return outcome;
    }
    outcome.err = process.readAllStandardError();
    if (process.exitStatus() == QProcess::NormalExit)
        outcome.exitCode = process.exitCode();
    return outcome;
}

class KybProgram : public ::testing::Test {
protected:
    static void SetUpTestSuite()
    {
        qputenv("KESTRUNE_MACHINE_ID", machineId);
        sim = new AccountServiceSim();
    }
    static void TearDownTestSuite()
    {
        delete sim;
        sim = nullptr;
    }
    void SetUp() override
    {
        if (!QFile::exists(kybPath()))
            GTEST_SKIP() << "kyb is not built";
        if (!ktest::haveProgram("openssl"))
            GTEST_SKIP() << "openssl command not found";
        ASSERT_TRUE(sim && sim->isRunning());
        sim->setScenario(QJsonObject());
        sim->clearLog();
        QFile::remove(appDataPathFile("cache.ini"));
        QDir(studioLogFolder()).removeRecursively();
        writeSavedSignIn();
    }
    static QString appDataPathFile(const QString& name)
    {
        return platform::userDataBase() + QStringLiteral("/Belmo/Kestrune/") + name;
    }
    static AccountServiceSim* sim;
};
AccountServiceSim* KybProgram::sim = nullptr;

struct ProgramCase {
    const char* name;
    QStringList args;
    const char* installedStudio;   // version of the installed "Belmo Studio"; empty: not installed
    const char* scenario;          // JSON of the simulator's scenario
    int expectedCode;
    const char* mustRequest = "";  // a path the run must have asked for
    bool noRequests = false;       // the run must end before asking the service anything
    bool savedSignIn = true;
    bool withLog = false;          // a rotated log of Belmo Studio waits for upload
    int requestTimeoutMs = 0;
    bool closeFirstWindow = false; // needs Xvfb: the login dialog is closed
    const char* mustNotRequest = "";
};

void PrintTo(const ProgramCase& c, std::ostream* out)
{
    *out << c.name;
}

class ProgramCases : public KybProgram, public ::testing::WithParamInterface<ProgramCase> {};

TEST_P(ProgramCases, EndWithTheirExitCode)
{
    const ProgramCase& c = GetParam();
    if (c.closeFirstWindow && !ktest::haveProgram("Xvfb"))
        GTEST_SKIP() << "Xvfb not found";
    if (!c.savedSignIn)
        QFile::remove(savedLoginPath());
    installStudio(QString::fromLatin1(c.installedStudio));
    sim->setScenario(QJsonDocument::fromJson(c.scenario).object());
    if (c.withLog) {
        ASSERT_TRUE(QDir().mkpath(studioLogFolder()));
        QFile log(studioLogFolder() + QStringLiteral("/Main.0001.log"));
        ASSERT_TRUE(log.open(QIODevice::WriteOnly));
        log.write("measurement took 12 ms\n");
    }
    QMap<QString, QString> env;
    if (c.requestTimeoutMs)
        env.insert(QStringLiteral("KESTRUNE_REQUEST_TIMEOUT_MS"), QString::number(c.requestTimeoutMs));

    const Outcome outcome = runKyb(c.args, env, c.closeFirstWindow);

    EXPECT_EQ(outcome.exitCode, c.expectedCode) << outcome.err.toStdString();
    if (c.noRequests) {
        EXPECT_TRUE(sim->requests().isEmpty());
    }
    if (*c.mustRequest) {
        EXPECT_FALSE(sim->requestsTo(QString::fromLatin1(c.mustRequest)).isEmpty()) << c.mustRequest;
    }
    if (*c.mustNotRequest) {
        EXPECT_TRUE(sim->requestsTo(QString::fromLatin1(c.mustNotRequest)).isEmpty()) << c.mustNotRequest;
    }
}

const char* const noApplications = R"({"routes": {"/api/kyb/v2/applications.json": {"json": []}}})";
const char* const applicationsStall =
    R"({"routes": {"/api/kyb/v2/applications.json": {"stall": true}, "/api/kyb/v2/scanners.json": {"stall": true}}})";
const char* const applicationsRefused = R"({"routes": {"/api/kyb/v2/applications.json": {"status": 401}}})";
const char* const uploadStall = R"({"routes": {"/api/kyb/v2/logs.json": {"stall": true}}})";
const QStringList installStudioArgs{"--install", "--product", "Belmo Studio"};

INSTANTIATE_TEST_SUITE_P(
    CommandLines, ProgramCases,
    ::testing::Values(
        ProgramCase{"BothSwitches", {"--install", "--update"}, "3.2.1", "{}", 0, "", true},
        ProgramCase{"UnknownArgument", {"--bogus"}, "3.2.1", "{}", 0, "", true},
        ProgramCase{"ProductWithoutValue", {"--install", "--product"}, "3.2.1", "{}", 0, "", true},
        ProgramCase{"InstalledAndCurrent", installStudioArgs, "3.2.1", "{}", 0, "/api/kyb/v2/applications.json"},
        ProgramCase{"InstalledInAnotherVersion", installStudioArgs, "3.1.0", "{}", 7},
        ProgramCase{"NotInstalled", installStudioArgs, "", "{}", 8},
        ProgramCase{"NoSuchApplication", {"--install", "--product", "Belmo Nothing"}, "3.2.1", "{}", 8},
        // Without a product the last application (Belmo Measure, not installed) decides.
        ProgramCase{"NoProductLastApplicationDecides", {"--install"}, "3.2.1", "{}", 8},
        ProgramCase{"NoApplications", {"--install"}, "3.2.1", noApplications, 6},
        // Offline the empty cached list does not count as "no applications".
        ProgramCase{"OfflineEmptyCache", {"--install"}, "3.2.1", applicationsStall, 8, "", false, true, false, 5000},
        ProgramCase{"UpdateUploadsTheLogs", {"--update", "--product", "Belmo Studio", "--version", "3.2.1"}, "3.2.1",
                    "{}", 0, "/api/kyb/v2/logs.json", false, true, true},
        // Offline, the update mode neither uploads nor offers anything, and ends normally.
        ProgramCase{"UpdateOffline", {"--update", "--product", "Belmo Studio", "--version", "3.1.0"}, "3.1.0",
                    applicationsStall, 0, "", false, true, true, 5000, false, "/api/kyb/v2/logs.json"},
        // A failure that reaches main in a silent mode answers 2, never "installed and current".
        ProgramCase{"SilentFailureIsNotSuccess", {"--update", "--product", "Belmo Studio", "--version", "3.2.1"},
                    "3.2.1", uploadStall, 2, "/api/kyb/v2/logs.json", false, true, true, 5000},
        ProgramCase{"SignInCancelled", installStudioArgs, "3.2.1", "{}", 2, "", true, false, false, 0, true},
        ProgramCase{"RefusedThenSignInCancelled", installStudioArgs, "3.2.1", applicationsRefused, 2,
                    "/api/kyb/v2/applications.json", false, true, false, 0, true}),
    [](const ::testing::TestParamInfo<ProgramCase>& info) { return std::string(info.param.name); });

TEST_F(KybProgram, ASecondInstanceEndsWithOneAfterParsing)
{
    installStudio(QString());
    // The first instance waits for its application list.
    sim->setScenario(QJsonDocument::fromJson(applicationsStall).object());
    QProcess first;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert(QStringLiteral("KESTRUNE_REQUEST_TIMEOUT_MS"), QStringLiteral("60000"));
    first.setProcessEnvironment(env);
    first.start(kybPath(), {"--install"});
    ASSERT_TRUE(first.waitForStarted());
    ASSERT_TRUE(ktest::waitUntil([&] { return !sim->requestsTo("/api/kyb/v2/applications.json").isEmpty(); }, 30000));

    EXPECT_EQ(runKyb({"--install"}).exitCode, 1);
    EXPECT_EQ(runKyb({"--bogus"}).exitCode, 0);   // the command line is checked first
    EXPECT_EQ(sim->requests().size(), 1);          // nothing more was asked, nothing sent to the first

    first.kill();
    first.waitForFinished();
    // The lock of a process that died is taken over.
    sim->setScenario(QJsonObject());
    EXPECT_EQ(runKyb({"--install"}).exitCode, 8);
}

TEST_F(KybProgram, ALockThatCannotBeMadeIsNoOtherInstance)
{
    installStudio(QString());
    // A file where the lock folder belongs: no lock can be made, and no other instance runs.
    const QString instances = appDataPathFile(QStringLiteral("instances"));
    QDir(instances).removeRecursively();
    QFile blocker(instances);
    ASSERT_TRUE(blocker.open(QIODevice::WriteOnly));
    blocker.close();

    EXPECT_EQ(runKyb({"--install"}).exitCode, 8);
    EXPECT_FALSE(sim->requestsTo("/api/kyb/v2/applications.json").isEmpty());
    QFile::remove(instances);
}

// A KESTRUNE_CA_FILE that gives no certificate is named at start-up, before the command line is looked at.
TEST_F(KybProgram, ACaFileThatGivesNoCertificateIsNamedOnStandardError)
{
    QTemporaryDir scratch;
    ASSERT_TRUE(scratch.isValid());
    const QString notes = scratch.filePath("notes.pem");
    ktest::writeFile(notes, "no certificate in here\n");
    const struct {
        QString path;
        const char* problem;  // nullptr: the file is taken and nothing is said
    } cases[] = {{scratch.filePath("missing.pem"), "cannot be read"},
                 {scratch.path(), "cannot be read"},
                 {QStringLiteral("/dev/null"), "holds no certificate"},
                 {notes, "holds no certificate"},
                 {AccountServiceSim::trustedCaFile(), nullptr}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.path.toStdString());
        const Outcome outcome = runKyb({"--bogus"}, {{"KESTRUNE_CA_FILE", c.path}});
        EXPECT_EQ(outcome.exitCode, 0);
        if (c.problem) {
            EXPECT_TRUE(outcome.err.contains(("KESTRUNE_CA_FILE \"" + c.path + "\" " + c.problem).toUtf8()))
                << outcome.err.toStdString();
        } else {
            EXPECT_FALSE(outcome.err.contains("KESTRUNE_CA_FILE")) << outcome.err.toStdString();
        }
    }
}

// A list reply that is valid JSON but no array is an unreadable reply: the silent run fails, and the lists that
// cache.ini holds from the run before stay as they were.
TEST_F(KybProgram, AListReplyThatIsNoArrayFailsTheSilentRunAndKeepsTheCache)
{
    installStudio(QString());
    const struct {
        const char* path;
        const char* body;
    } replies[] = {{"/api/kyb/v2/applications.json", "{}"}, {"/api/kyb/v2/scanners.json", "\"\""}};
    for (const auto& reply : replies) {
        SCOPED_TRACE(reply.path);
        sim->setScenario(QJsonObject());
        ASSERT_EQ(runKyb(installStudioArgs).exitCode, 8);
        const QByteArray cached = ktest::readFile(appDataPathFile("cache.ini"));
        ASSERT_TRUE(cached.contains("Belmo Studio") && cached.contains("BS3-10001")) << cached.toStdString();

        sim->setScenario(QJsonObject{
            {"routes", QJsonObject{{reply.path, QJsonObject{{"body", QString::fromLatin1(reply.body)}}}}}});
        sim->clearLog();
        const Outcome outcome = runKyb(installStudioArgs);
        EXPECT_EQ(outcome.exitCode, 2) << outcome.err.toStdString();
        EXPECT_FALSE(sim->requestsTo(reply.path).isEmpty());
        EXPECT_EQ(ktest::readFile(appDataPathFile("cache.ini")).toStdString(), cached.toStdString());
    }
}

// Runs of kyb whose windows are driven from inside the program by the driver plugin: it answers every question
// box with answer, starts a ready installer, ends the main window as windowAction says ("close" or an exit code)
// and logs what it saw.
class DrivenKyb : public KybProgram {
protected:
    void SetUp() override
    {
        KybProgram::SetUp();
        if (IsSkipped())
            return;
        ASSERT_TRUE(scratch_.isValid());
        log_ = scratch_.filePath("driver.log");
        launches_ = scratch_.filePath("launches.txt");
        launcher_ = scratch_.filePath("launch.sh");
        ASSERT_TRUE(ktest::writeExecutable(
            launcher_, QString("#!/bin/sh\nprintf '%s\\n' \"$1\" >> '%1'\n").arg(launches_).toUtf8()));
        QSettings selfOffer;   // the program's own offer records
        selfOffer.remove("updaterLastVersion");
        selfOffer.remove("updaterLastCheck");
        selfOffer.sync();
        Registry(Registry::Hive::CurrentUser).removeKey(belmoKey + "\\Belmo Studio");
        QDir(platform::installerCacheFolderPath()).removeRecursively();
    }

    // dpi given: on an X screen of that density and size, with extraEnv for the driver.
    Outcome runDriven(const QStringList& args, const QString& answer, const QString& windowAction,
                      const QString& program = kybPath(), int dpi = 0, const QMap<QString, QString>& extraEnv = {},
                      const QString& screen = defaultScreen, const std::function<void()>& whileRunning = {})
    {
        QFile::remove(log_);
        QMap<QString, QString> env{{"QT_PLUGIN_PATH", KESTRUNE_DRIVER_PLUGIN_DIR},
                                   {"QT_QPA_GENERIC_PLUGINS", "kybdriver"},
                                   {"KESTRUNE_DRIVER_LOG", log_},
                                   {"KESTRUNE_DRIVER_ANSWER", answer},
                                   {"KESTRUNE_DRIVER_WINDOW", windowAction},
                                   {"KESTRUNE_SHELL_OPEN", launcher_},
                                   {"KESTRUNE_DRIVER_AWAIT_LOG", awaitLog_},
                                   {"KESTRUNE_DRIVER_AWAIT_TEXT", awaitText_}};
        for (auto it = extraEnv.cbegin(); it != extraEnv.cend(); ++it)
            env.insert(it.key(), it.value());
        return runKyb(args, env, false, program, dpi, screen, whileRunning);
    }

    QStringList driverLog() const
    {
        QFile file(log_);
        if (!file.open(QIODevice::ReadOnly))
            return {};
        return QString::fromUtf8(file.readAll()).split('\n', Qt::SkipEmptyParts);
    }

    QTemporaryDir scratch_;
    QString log_;
    QString launches_;
    QString launcher_;
    // "refresh-close" closes the window once this log has one more line holding the text (no log: at once)
    QString awaitLog_;
    QString awaitText_;
};

const QString selfUpdateQuestion =
    "box: Kestrune | A new version of Kestrune is available to download.\\nWould you like to update?";

TEST_F(DrivenKyb, InteractiveStartStartsTheAcceptedSelfUpdateAndEnds)
{
    installStudio("3.2.1");
    const Outcome outcome = runDriven({}, "Yes", "3");

    EXPECT_EQ(outcome.exitCode, 0) << outcome.err.toStdString();
    EXPECT_EQ(driverLog(), (QStringList{selfUpdateQuestion, "download ready: Kestrune is ready to be installed"}))
        << "no main window";
    const QList<QJsonObject> checks = sim->requestsTo("/api/kyb/v2/kybs/update_required.json");
    ASSERT_EQ(checks.size(), 1);
    EXPECT_EQ(checks[0].value("query").toObject().value("version").toString(), "1.4.4.1");
    // the installer of the offered version was downloaded and handed to the shell
    ASSERT_TRUE(ktest::waitUntil([&] { return QFile::exists(launches_); }, 30000));
    QFile launches(launches_);
    ASSERT_TRUE(launches.open(QIODevice::ReadOnly));
    const QString started = QString::fromUtf8(launches.readAll()).trimmed();
    EXPECT_TRUE(started.startsWith(platform::installerCacheFolderPath() + "/KestruneSetup-1.4.5")) << started.toStdString();
    EXPECT_TRUE(QFile::exists(started));
}

TEST_F(DrivenKyb, InteractiveStartShowsTheWindowWithTheUpdateLinkAndEndsWithItsLoop)
{
    installStudio("3.2.1");
    // Declined: the main window comes with the update link; its loop's exit code is the program's.
    Outcome outcome = runDriven({}, "No", "3");
    EXPECT_EQ(outcome.exitCode, 3) << outcome.err.toStdString();
    EXPECT_EQ(driverLog(), (QStringList{selfUpdateQuestion, "main window: update link shown"}));

    // The offer counts for the month: the next start asks nothing; closing the window ends with 0.
    outcome = runDriven({}, "Yes", "close");
    EXPECT_EQ(outcome.exitCode, 0) << outcome.err.toStdString();
    EXPECT_EQ(driverLog(), QStringList{"main window: update link shown"});
    EXPECT_FALSE(QFile::exists(launches_));
}

QString firstLine(const QString& path)
{
    return QString::fromUtf8(ktest::readFile(path)).section(QLatin1Char('\n'), 0, 0);
}

// The simulator started as scripts/demo starts it, with no scenario, serves the account's installers: the main
// window's first Install downloads its installer from there and starts it.
TEST_F(DrivenKyb, TheDemoServiceDeliversTheInstallerTheWindowStarts)
{
    installStudio("3.1.0");
    AccountServiceSim::Options demoOptions;
    demoOptions.asDemo = true;
    AccountServiceSim demo(QJsonObject(), demoOptions);
    ASSERT_TRUE(demo.isRunning());

    const Outcome outcome = runDriven({}, "No", "install");

    EXPECT_EQ(outcome.exitCode, 0) << outcome.err.toStdString();
    EXPECT_EQ(driverLog().join('\n').toStdString(),
              QStringList({selfUpdateQuestion, "main window: update link shown",
                           "main window: Install Belmo Measure (subscription)",
                           "download ready: Belmo Measure is ready to be installed"})
                  .join('\n')
                  .toStdString());
    const QString started = firstLine(launches_);
    EXPECT_TRUE(started.startsWith(platform::installerCacheFolderPath() + "/BelmoMeasure-2.0.4")) << started.toStdString();
    EXPECT_EQ(ktest::readFile(started), ktest::readFile(demo.filesDir() + "/" + QFileInfo(started).fileName()));
    EXPECT_FALSE(demo.requestsTo("/files/" + QFileInfo(started).fileName()).isEmpty());
    EXPECT_TRUE(sim->requests().isEmpty());  // all of it from the demo's service
}

// The window closed while Refresh waits for the applications: the wait ends without a reply, the lists come from
// cache.ini, which stays as the start wrote it, and the program ends normally.
TEST_F(DrivenKyb, TheWindowClosedWhileRefreshWaitsEndsWithTheCachedLists)
{
    installStudio("3.2.1");
    Outcome outcome = runDriven({}, "No", "close");
    ASSERT_EQ(outcome.exitCode, 0) << outcome.err.toStdString();
    const QByteArray cached = ktest::readFile(appDataPathFile("cache.ini"));
    ASSERT_TRUE(cached.contains("Belmo Studio") && cached.contains("BS3-10001")) << cached.toStdString();

    // The start's application list is answered, the refresh's never.
    sim->setScenario(QJsonDocument::fromJson(R"({"routes": {"/api/kyb/v2/applications.json": [{}, {"stall": true}]}})")
                         .object());
    sim->clearLog();
    // closed once the refresh's request reached the service
    awaitLog_ = sim->workDir() + QStringLiteral("/requests.jsonl");
    awaitText_ = QStringLiteral("/api/kyb/v2/applications.json");
    outcome = runDriven({}, "No", "refresh-close");

    EXPECT_EQ(outcome.exitCode, 0) << outcome.err.toStdString();
    EXPECT_EQ(sim->requestsTo("/api/kyb/v2/applications.json").size(), 2);
    const QStringList log = driverLog();
    EXPECT_TRUE(log.contains("main window: closed while refreshing")) << log.join('\n').toStdString();
    EXPECT_TRUE(log.contains("softwareTableWidget: Belmo Measure (subscription), Belmo Studio"))
        << log.join('\n').toStdString();
    EXPECT_TRUE(log.contains("hardwareTableWidget: Belmo Scanner BS2-20002, Belmo Scanner BS3-10001"))
        << log.join('\n').toStdString();
    EXPECT_EQ(ktest::readFile(appDataPathFile("cache.ini")).toStdString(), cached.toStdString());
}

TEST_F(DrivenKyb, UpdateModeOffersTheProductUpdateInTheLanguageOfTheCache)
{
    if (!ktest::haveProgram("lrelease"))
        GTEST_SKIP() << "lrelease not found";
    // A copy of kyb with a German translation in Locale beside it.
    const QString program = scratch_.filePath("bin/kyb");
    ASSERT_TRUE(QDir().mkpath(scratch_.filePath("bin/Locale")));
    ASSERT_TRUE(QFile::copy(kybPath(), program));
    ASSERT_TRUE(QFile::setPermissions(program, QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner));
    const QString source = scratch_.filePath("kyb_de.ts");
    {
        QFile ts(source);
        ASSERT_TRUE(ts.open(QIODevice::WriteOnly));
        ts.write(R"(<?xml version="1.0" encoding="utf-8"?>
<!DOCTYPE TS>
<TS version="2.1" language="de_DE">
<context>
    <name>HelperClass</name>
    <message>
        <source>A new version of %1 is available to download.
Would you like to update?</source>
        <translation>Eine neue Version von %1 steht zum Herunterladen bereit.
Möchten Sie aktualisieren?</translation>
    </message>
</context>
</TS>
)");
    }
    const ktest::ProcessResult compiled =
        ktest::runProgram("lrelease", {source, "-qm", scratch_.filePath("bin/Locale/kyb_de.qm")});
    ASSERT_TRUE(compiled.ok()) << compiled.err.toStdString();

    installStudio("3.1.0");
    const QStringList args{"--update", "--product", "Belmo Studio", "--version", "3.1.0"};
    struct Case {
        const char* language;
        QString question;
    };
    const Case cases[] = {
        {"de", "box: Kestrune | Eine neue Version von Belmo Studio steht zum Herunterladen bereit.\\n"
               "Möchten Sie aktualisieren?"},
        {"fr", "box: Kestrune | A new version of Belmo Studio is available to download.\\nWould you like to update?"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.language);
        {
            QSettings cache(appDataPathFile("cache.ini"), QSettings::IniFormat);
            cache.setValue("language", c.language);
        }
        Registry(Registry::Hive::CurrentUser).removeKey(belmoKey + "\\Belmo Studio");
        const Outcome outcome = runDriven(args, "No", "close", program);
        EXPECT_EQ(outcome.exitCode, 0) << outcome.err.toStdString();
        EXPECT_EQ(driverLog(), QStringList{c.question});
        // the offer is recorded under the installed version
        EXPECT_EQ(Registry(Registry::Hive::CurrentUser)
                      .value(belmoKey + "\\Belmo Studio\\3.1.0", "updaterLastVersion")
                      .value_or("<none>"),
                  "3.2.1");
    }
}

// The service out of reach without a stalled request: a port that refuses the connection, or a server whose
// certificate no trusted CA signed. The lists come from cache.ini as offline ones: 6 is not given, --update uploads
// and offers nothing and records no offer, and the window's buttons are disabled and, without cached scanners,
// shows no scanner state.
enum class OutOfReach { RefusedPort, UntrustedCertificate };

struct OutOfReachCase {
    const char* name;
    QStringList args;             // empty: the window, whose rows the driver logs before closing it
    bool cached;                  // cache.ini holds Belmo Studio 3.2.1 and the scanner BS3-10001
    const char* installedStudio;
    int expectedCode;
    QStringList driverLog;
};

const char* nameOf(OutOfReach service)
{
    return service == OutOfReach::RefusedPort ? "RefusedPort" : "Untrusted";
}

void PrintTo(const std::tuple<OutOfReach, OutOfReachCase>& param, std::ostream* out)
{
    *out << nameOf(std::get<0>(param)) << '_' << std::get<1>(param).name;
}

class OutOfReachRuns : public DrivenKyb,
                       public ::testing::WithParamInterface<std::tuple<OutOfReach, OutOfReachCase>> {
protected:
    void TearDown() override { QDir(QString::fromStdWString(devicesFolder())).removeRecursively(); }
};

TEST_P(OutOfReachRuns, WorkOfflineFromTheCache)
{
    const auto& [service, c] = GetParam();
    installStudio(QString::fromLatin1(c.installedStudio));
    ktest::storeDescription("BS9-90009", "30009999", "3");   // a stored scanner outside the account
    if (c.cached) {
        ApplicationInfo studio;
        studio.id = "1";
        studio.productName = "Belmo Studio";
        studio.versionName = "3.2.1";
        AccountScanner scanner;
        scanner.id = "501";
        scanner.serialNumber = "BS3-10001";
        CacheFile cache(appDataPathFile("cache.ini"));
        cache.writeProducts({studio});
        cache.writeScanners({scanner});
    }
    const QString log = studioLogFolder() + QStringLiteral("/Main.0001.log");
    ASSERT_TRUE(QDir().mkpath(studioLogFolder()));
    ktest::writeFile(log, "measurement took 12 ms\n");
    const QByteArray cached = ktest::readFile(appDataPathFile("cache.ini"));

    std::optional<ktest::RefusedPort> port;
    std::optional<ktest::ScopedEnv> host;
    std::unique_ptr<AccountServiceSim> untrusted;
    if (service == OutOfReach::RefusedPort) {
        port.emplace();
        ASSERT_TRUE(port->isValid());
        host.emplace("KESTRUNE_SERVICE_HOST", port->authority());
    } else {
        AccountServiceSim::Options options;
        options.trustedCa = false;
        untrusted = std::make_unique<AccountServiceSim>(QJsonObject(), options);
        ASSERT_TRUE(untrusted->isRunning());
    }

    const Outcome outcome = runDriven(c.args, "No", "tables");

    EXPECT_EQ(outcome.exitCode, c.expectedCode) << outcome.err.toStdString();
    EXPECT_EQ(driverLog().join('\n').toStdString(), c.driverLog.join('\n').toStdString());
    EXPECT_FALSE(Registry(Registry::Hive::CurrentUser)
                     .value(belmoKey + "\\Belmo Studio\\" + c.installedStudio, "updaterLastVersion")
                     .has_value())
        << "an offer was recorded";
    EXPECT_TRUE(QFile::exists(log));
    EXPECT_EQ(ktest::readFile(appDataPathFile("cache.ini")).toStdString(), cached.toStdString());
    if (untrusted) {
        EXPECT_TRUE(untrusted->requests().isEmpty()) << "a request passed the failed certificate check";
    }
}

const QStringList updateStudioArgs{"--update", "--product", "Belmo Studio", "--version", "3.1.0"};

INSTANTIATE_TEST_SUITE_P(
    Services, OutOfReachRuns,
    ::testing::Combine(
        ::testing::Values(OutOfReach::RefusedPort, OutOfReach::UntrustedCertificate),
        ::testing::Values(
            // Nothing cached: no application is known, which is not "the account has none".
            OutOfReachCase{"InstallWithoutCache", installStudioArgs, false, "3.2.1", 8, {}},
            OutOfReachCase{"InstallFromTheCache", installStudioArgs, true, "3.1.0", 7, {}},
            OutOfReachCase{"UpdateWithoutCache", updateStudioArgs, false, "3.1.0", 0, {}},
            // The cached record is newer than the installed product, and still nothing is offered.
            OutOfReachCase{"UpdateFromTheCache", updateStudioArgs, true, "3.1.0", 0, {}},
            OutOfReachCase{"WindowWithoutCache", {}, false, "3.2.1", 0,
                           {"main window: update link hidden", "softwareTableWidget: no rows",
                            "hardwareTableWidget: Belmo Scanner BS9-90009 | "}},
            OutOfReachCase{"WindowFromTheCache", {}, true, "3.2.1", 0,
                           {"main window: update link hidden",
                            "softwareTableWidget: Belmo Studio | Version 3.2.1 | [Buy, disabled]",
                            "hardwareTableWidget: Belmo Scanner BS3-10001 | ",
                            "hardwareTableWidget: Belmo Scanner BS9-90009 | Rented"}})),
    [](const auto& info) { return std::string(nameOf(std::get<0>(info.param))) + '_' + std::get<1>(info.param).name; });

// A first run without a saved sign-in while the service comes up late: the first Sign in gets no answer (the port
// refuses, the service then listens on it; or the connection is cut), the user answers the error box, and the next
// Sign in succeeds. From that answer on the service counts as reachable: both lists come from it and are cached, the
// exit code tells the installed version, --update uploads and offers, and the window's buttons are enabled.
enum class FirstSignIn { Refused, Cut };

struct LateServiceCase {
    const char* name;
    QStringList args;             // empty: the window, whose rows the driver logs before closing it
    const char* installedStudio;
    int expectedCode;
    QStringList driverLog;        // after the two sign-ins and the error box between them
};

const char* nameOf(FirstSignIn first)
{
    return first == FirstSignIn::Refused ? "Refused" : "Cut";
}

void PrintTo(const std::tuple<FirstSignIn, LateServiceCase>& param, std::ostream* out)
{
    *out << nameOf(std::get<0>(param)) << '_' << std::get<1>(param).name;
}

const QString refusedSignInBox =
    "box: Kestrune | Server error: The remote server refused the connection (the server is not accepting requests)";
const QString cutSignInBox = "box: Kestrune | Server error: The remote server closed the connection prematurely, "
                             "before the entire reply was received and processed";
const QString studioUpdateQuestion =
    "box: Kestrune | A new version of Belmo Studio is available to download.\\nWould you like to update?";

class LateServiceRuns : public DrivenKyb,
                        public ::testing::WithParamInterface<std::tuple<FirstSignIn, LateServiceCase>> {
protected:
    void TearDown() override { QDir(QString::fromStdWString(devicesFolder())).removeRecursively(); }

    // The request numbers of path in the log of service.
    static QList<int> numbersOf(const AccountServiceSim& service, const char* path)
    {
        QList<int> numbers;
        for (const QJsonObject& request : service.requestsTo(QString::fromLatin1(path)))
            numbers << request.value("number").toInt();
        return numbers;
    }
};

TEST_P(LateServiceRuns, TakeTheListsFromTheServiceOnceASignInIsAnswered)
{
    const auto& [first, c] = GetParam();
    QFile::remove(savedLoginPath());
    installStudio(QString::fromLatin1(c.installedStudio));
    ktest::storeDescription("BS2-20002", "14070001", "2");   // an account scanner with an upgrade page
    ktest::storeDescription("BS3-90009", "30009999", "2");   // a rented one whose calibration is outdated
    const QString log = studioLogFolder() + QStringLiteral("/Main.0001.log");
    ASSERT_TRUE(QDir().mkpath(studioLogFolder()));
    ktest::writeFile(log, "measurement took 12 ms\n");

    const QString serviceUp = scratch_.filePath("service-up");
    QMap<QString, QString> env{{"KESTRUNE_DRIVER_SIGNIN", "demo@belmo.example:demo-password"},
                               {"KESTRUNE_DRIVER_SIGNIN_AFTER", serviceUp}};
    std::optional<ktest::RefusedPort> port;
    std::unique_ptr<AccountServiceSim> late;
    std::function<void()> bringUp;
    if (first == FirstSignIn::Refused) {
        port.emplace();
        ASSERT_TRUE(port->isValid());
        env.insert("KESTRUNE_SERVICE_HOST", QString::fromLatin1(port->authority()));
        // Once the refused sign-in's box is answered, the service listens on that port.
        bringUp = [&] {
            if (!ktest::waitUntil([&] { return driverLog().join('\n').contains("Server error:"); }, 60000)) {
                ADD_FAILURE() << "no error box for the refused sign-in";
                return;
            }
            AccountServiceSim::Options options;
            options.port = port->port();
            port.reset();
            late = std::make_unique<AccountServiceSim>(QJsonObject(), options);
            EXPECT_TRUE(late->isRunning());
            ktest::writeFile(serviceUp, "");
        };
    } else {
        sim->setScenario(
            QJsonDocument::fromJson(R"({"routes": {"/api/kyb/v2/login.json": [{"close_early": true}, {}]}})").object());
        ktest::writeFile(serviceUp, "");
    }

    const Outcome outcome = runDriven(c.args, "No", "tables", kybPath(), 0, env, defaultScreen, bringUp);

    EXPECT_EQ(outcome.exitCode, c.expectedCode) << outcome.err.toStdString();
    const QStringList expectedLog =
        QStringList{"login dialog: sign in", first == FirstSignIn::Refused ? refusedSignInBox : cutSignInBox,
                    "login dialog: sign in"} +
        c.driverLog;
    EXPECT_EQ(driverLog().join('\n').toStdString(), expectedLog.join('\n').toStdString());

    // Both lists were asked after the sign-in that was answered, and cache.ini holds what the service gave.
    const AccountServiceSim& service = late ? *late : *sim;
    const QList<int> logins = numbersOf(service, "/api/kyb/v2/login.json");
    ASSERT_EQ(logins.size(), first == FirstSignIn::Refused ? 1 : 2);
    for (const char* list : {"/api/kyb/v2/applications.json", "/api/kyb/v2/scanners.json"}) {
        const QList<int> fetches = numbersOf(service, list);
        ASSERT_EQ(fetches.size(), 1) << list;
        EXPECT_GT(fetches[0], logins.last()) << list;
    }
    CacheFile cache(appDataPathFile("cache.ini"));
    QStringList products, scanners;
    for (const ApplicationInfo& application : cache.readProducts())
        products << QString::fromStdString(application.productName + " " + application.versionName);
    for (const AccountScanner& scanner : cache.readScanners())
        scanners << QString::fromStdString(scanner.serialNumber);
    EXPECT_EQ(products, (QStringList{"Belmo Studio 3.2.1", "Belmo Measure 2.0.4"}));
    EXPECT_EQ(scanners, (QStringList{"BS3-10001", "BS2-20002"}));

    // --update uploads the log and records the offer it made.
    const bool update = c.args.contains("--update");
    EXPECT_EQ(service.requestsTo("/api/kyb/v2/logs.json").isEmpty(), !update);
    EXPECT_EQ(Registry(Registry::Hive::CurrentUser)
                  .value(belmoKey + "\\Belmo Studio\\" + c.installedStudio, "updaterLastVersion")
                  .value_or("<none>"),
              update ? "3.2.1" : "<none>");
}

INSTANTIATE_TEST_SUITE_P(
    FirstSignIns, LateServiceRuns,
    ::testing::Combine(
        ::testing::Values(FirstSignIn::Refused, FirstSignIn::Cut),
        ::testing::Values(
            LateServiceCase{"InstallOtherVersion", installStudioArgs, "3.1.0", 7, {}},
            LateServiceCase{"InstallCurrent", installStudioArgs, "3.2.1", 0, {}},
            LateServiceCase{"InstallNotInstalled", installStudioArgs, "", 8, {}},
            LateServiceCase{"Update", updateStudioArgs, "3.1.0", 0, {studioUpdateQuestion}},
            LateServiceCase{"Window", {}, "3.1.0", 0,
                            {selfUpdateQuestion, "main window: update link shown",
                             "softwareTableWidget: Belmo Measure (subscription) | Version 2.0.4 | [Install]",
                             "softwareTableWidget: Belmo Studio | Version 3.2.1 | [Update]",
                             "hardwareTableWidget: Belmo Scanner BS2-20002 | [Upgrade]",
                             "hardwareTableWidget: Belmo Scanner BS3-10001 | ",
                             "hardwareTableWidget: Belmo Scanner BS3-90009 | [Update]"}})),
    [](const auto& info) { return std::string(nameOf(std::get<0>(info.param))) + '_' + std::get<1>(info.param).name; });

// The repeated sign-in of a refused list fetch: applications.json answers 401, the new sign-in's first attempt is
// cut and its second succeeds; the list asked again is the service's answer, not the cache.
TEST_F(DrivenKyb, ARefusedListWhoseNewSignInIsCutOnceTakesTheAnswerOfTheRetry)
{
    installStudio("3.1.0");
    sim->setScenario(QJsonDocument::fromJson(R"({"routes": {"/api/kyb/v2/applications.json": [{"status": 401}, {}],
                                                           "/api/kyb/v2/login.json": [{"close_early": true}, {}]}})")
                         .object());

    const Outcome outcome =
        runDriven(installStudioArgs, "No", "close", kybPath(), 0, {{"KESTRUNE_DRIVER_SIGNIN", "demo@belmo.example:demo-password"}});

    EXPECT_EQ(outcome.exitCode, 7) << outcome.err.toStdString();
    EXPECT_EQ(driverLog().join('\n').toStdString(),
              QStringList({"login dialog: sign in", cutSignInBox, "login dialog: sign in"}).join('\n').toStdString());
    EXPECT_EQ(sim->requestsTo("/api/kyb/v2/login.json").size(), 2);
    EXPECT_EQ(sim->requestsTo("/api/kyb/v2/applications.json").size(), 2);
    EXPECT_EQ(CacheFile(appDataPathFile("cache.ini")).readProducts().size(), 2u);
}

// On 100 %, 150 % and 200 % desktops (X screens of 96, 144 and 192 dpi, 1280 x 800), and on 200 % with a scale
// factor of 2 on top (QT_SCALE_FACTOR) on 1920 x 1080, which leaves 480 x 270, the windows show whole and on the
// screen: the login dialog in its first, refused and retry states (the retry waits, and is refused too) with its
// fields and buttons on the screen, the self-update question and the main window. KESTRUNE_TEST_SHOTS names a
// folder for screenshots of them.
struct Desktop {
    const char* name;
    int dpi;
    const char* screen;
    int scaleFactor;  // QT_SCALE_FACTOR; 1: not set
};

void PrintTo(const Desktop& desktop, std::ostream* out)
{
    *out << desktop.name;
}

class ScaledDesktop : public DrivenKyb, public ::testing::WithParamInterface<Desktop> {
protected:
    // The driver's layout checks on the desktop, with screenshots when asked for.
    static QMap<QString, QString> desktopEnv(const Desktop& desktop)
    {
        QMap<QString, QString> env{{"KESTRUNE_DRIVER_LOGIN", "demo@belmo.example:wrong password"},
                                   {"KESTRUNE_DRIVER_LAYOUT", "1"}};
        if (desktop.scaleFactor != 1)
            env.insert("QT_SCALE_FACTOR", QString::number(desktop.scaleFactor));
        const QString shots = qEnvironmentVariable("KESTRUNE_TEST_SHOTS");
        if (!shots.isEmpty()) {
            env.insert("KESTRUNE_DRIVER_SHOTS", shots + "/" + desktop.name);
            QDir().mkpath(shots + "/" + desktop.name);
        }
        return env;
    }

    static QString scaleOf(const Desktop& desktop)
    {
        return QString::number(desktop.dpi / 96.0 * desktop.scaleFactor, 'f', 2);  // to two places
    }

    // No saved sign-in: the login dialog is refused twice, the second time after a wait, and closed.
    void expectTheLoginDialogWhole(const Desktop& desktop, const QMap<QString, QString>& env)
    {
        const QString scale = scaleOf(desktop);
        QFile::remove(savedLoginPath());
        sim->setScenario(
            QJsonDocument::fromJson(R"({"routes": {"/api/kyb/v2/login.json": [{}, {"delay_ms": 3000}]}})").object());

        Outcome outcome = runDriven({}, "No", "close", kybPath(), desktop.dpi, env, desktop.screen);
        EXPECT_EQ(outcome.exitCode, 2) << outcome.err.toStdString();
        EXPECT_EQ(driverLog().join('\n').toStdString(),
                  QStringList({"login dialog first: scale " + scale + ", whole",
                               "login dialog refused: scale " + scale + ", whole",
                               "login dialog retry: scale " + scale + ", whole", "login dialog: closed"})
                      .join('\n')
                      .toStdString());
        EXPECT_EQ(sim->requestsTo("/api/kyb/v2/login.json").size(), 2);
    }
};

TEST_P(ScaledDesktop, ShowsEveryWindowWhole)
{
    if (!ktest::haveProgram("Xvfb"))
        GTEST_SKIP() << "Xvfb not found";
    const Desktop& desktop = GetParam();
    const QString scale = scaleOf(desktop);
    const QMap<QString, QString> env = desktopEnv(desktop);
    installStudio("3.2.1");
    expectTheLoginDialogWhole(desktop, env);

    writeSavedSignIn();
    sim->setScenario(QJsonObject());
    const Outcome outcome = runDriven({}, "No", "close", kybPath(), desktop.dpi, env, desktop.screen);
    EXPECT_EQ(outcome.exitCode, 0) << outcome.err.toStdString();
    EXPECT_EQ(driverLog().join('\n').toStdString(),
              QStringList({"message box: scale " + scale + ", whole", selfUpdateQuestion,
                           "main window: update link shown", "main window: scale " + scale + ", inside the screen"})
                  .join('\n')
                  .toStdString());
}

INSTANTIATE_TEST_SUITE_P(Densities, ScaledDesktop,
                         ::testing::Values(Desktop{"96dpi", 96, "1280x800", 1}, Desktop{"144dpi", 144, "1280x800", 1},
                                           Desktop{"192dpi", 192, "1280x800", 1},
                                           Desktop{"192dpiScaledTwice_1920x1080", 192, "1920x1080", 2}),
                         [](const ::testing::TestParamInfo<Desktop>& info) { return std::string(info.param.name); });

// On a screen too small for even the compact login dialog (960 x 540 at 200 % with a scale factor of 2 leaves
// 240 x 135), the dialog scrolls what lies above its buttons: it lies on the screen with its buttons whole on it
// and its fields whole in what scrolls, in its first, refused and retry states.
class TinyDesktop : public ScaledDesktop {};

TEST_P(TinyDesktop, ScrollsTheLoginDialogWithItsButtonsOnTheScreen)
{
    if (!ktest::haveProgram("Xvfb"))
        GTEST_SKIP() << "Xvfb not found";
    expectTheLoginDialogWhole(GetParam(), desktopEnv(GetParam()));
}

INSTANTIATE_TEST_SUITE_P(Densities, TinyDesktop,
                         ::testing::Values(Desktop{"192dpiScaledTwice_960x540", 192, "960x540", 2}),
                         [](const ::testing::TestParamInfo<Desktop>& info) { return std::string(info.param.name); });

}  // namespace

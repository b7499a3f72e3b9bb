// The download dialog and its installer cache on the offscreen platform, against the account-service simulator.
#include "downloads/DownloadManagerDialog.h"
#include "platform/ExtraCertificates.h"
#include "storage/CacheFile.h"
#include "tests/support/AccountServiceSim.h"
#include "tests/support/ScopedEnvironmentVariable.h"
#include "tests/support/TestFiles.h"
#include "tests/support/TestProcess.h"
#include "ModalDriver.h"

#include <gtest/gtest.h>

#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QJsonDocument>
#include <QLabel>
#include <QProgressBar>
#include <QPushButton>
#include <QRandomGenerator>
#include <QTemporaryDir>
#include <QThread>

#include <csignal>
#include <optional>
#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>

using ktest::AccountServiceSim;
using Driver = ktest::WhenShown<DownloadManagerDialog>;

namespace {

QJsonObject object(const QString& json)
{
    return QJsonDocument::fromJson(json.toUtf8()).object();
}

QPushButton* button(DownloadManagerDialog* dialog, const char* name)
{
    return dialog->findChild<QPushButton*>(name);
}

using ktest::readFile;

class Downloads : public ::testing::Test {
protected:
    void SetUp() override
    {
        sim_ = std::make_unique<AccountServiceSim>();
        ASSERT_TRUE(sim_->isRunning());
        ASSERT_TRUE(platform::installExtraCaCertificates());
        installer_ = makeFile("setup.exe", 300 * 1024 + 17);

        // Launches are recorded by a small program instead of being started.
        ASSERT_TRUE(scratch_.isValid());
        launches_ = scratch_.filePath("launches.txt");
        const QString recorder = scratch_.filePath("record.sh");
        ASSERT_TRUE(ktest::writeExecutable(
            recorder, QString("#!/bin/sh\nprintf '%s\\n' \"$1\" >> '%1'\n").arg(launches_).toUtf8()));
        shell_.emplace("KESTRUNE_SHELL_OPEN", QFile::encodeName(recorder));
    }
    void TearDown() override
    {
        shell_.reset();
        QDir(DownloadManagerDialog::cacheFolder()).removeRecursively();
        QFile::remove(CacheFile::defaultPath());
    }

    QByteArray makeFile(const QString& name, int size)
    {
        QByteArray data(size, Qt::Uninitialized);
        for (int i = 0; i < size; ++i)
            data[i] = static_cast<char>(QRandomGenerator::global()->bounded(256));
        QFile file(QDir(sim_->filesDir()).filePath(name));
        EXPECT_TRUE(file.open(QIODevice::WriteOnly));
        file.write(data);
        return data;
    }

    QString url(const QString& path) const { return sim_->url(path).toString(); }

    // Runs the dialog; once it is ready to install, clicks Install (or Cancel) and records the label then.
    bool runUntilReady(const QString& name, const QString& address, bool install = true)
    {
        readyLabel_.clear();
        Driver driver(
            [this, install](DownloadManagerDialog* dialog) {
                readyLabel_ = dialog->findChild<QLabel*>("label")->text();
                progressHidden_ = dialog->findChild<QProgressBar*>("progressBar")->isHidden();
                button(dialog, install ? "installButton" : "cancelButton")->click();
            },
            [](DownloadManagerDialog* dialog) { return button(dialog, "installButton")->isEnabled(); });
        DownloadManagerDialog dialog(name, address);
        const bool started = dialog.startDownload();
        lastTarget_ = dialog.targetPath();
        return started;
    }

    QByteArray waitForLaunches(const QByteArray& expected)
    {
        QElapsedTimer clock;
        clock.start();
        while (readFile(launches_) != expected && clock.elapsed() < 30000)
            QThread::msleep(20);
        return readFile(launches_);
    }

    std::unique_ptr<AccountServiceSim> sim_;
    QByteArray installer_;
    QTemporaryDir scratch_;
    QString launches_;
    std::optional<ktest::ScopedEnv> shell_;
    QString readyLabel_;
    bool progressHidden_ = false;
    QString lastTarget_;
};

TEST_F(Downloads, FirstRunDownloadsRecordsTheHashAndStartsTheInstaller)
{
    ASSERT_TRUE(runUntilReady("Belmo Studio", "  " + url("/files/setup.exe") + " \t"));
    EXPECT_EQ(readyLabel_, "Belmo Studio is ready to be installed");
    EXPECT_TRUE(progressHidden_);

    const QString target = DownloadManagerDialog::cacheFolder() + "/setup.exe";
    EXPECT_EQ(lastTarget_, target);
    EXPECT_EQ(readFile(target), installer_);
    EXPECT_FALSE(QFile::exists(target + ".part"));
    EXPECT_EQ(waitForLaunches((target + "\n").toUtf8()), (target + "\n").toUtf8());

    const ktest::ProcessResult python = ktest::runProgram(
        "python3", {"-c", "import hashlib,sys; print(hashlib.sha1(open(sys.argv[1],'rb').read()).hexdigest())", target});
    ASSERT_TRUE(python.ok()) << python.err.toStdString();
    const InstallerRecord record = CacheFile().installer("Belmo Studio");
    EXPECT_EQ(record.fileName, "setup.exe");
    EXPECT_EQ(record.sha1, QString::fromLatin1(python.out.trimmed()));
    EXPECT_EQ(DownloadManagerDialog::fileSha1(target), record.sha1);

    struct stat info {};
    ASSERT_EQ(::stat(QFile::encodeName(DownloadManagerDialog::cacheFolder()).constData(), &info), 0);
    EXPECT_EQ(info.st_mode & 0777, 0700u);
}

TEST_F(Downloads, AnUntouchedCachedInstallerIsReusedWithoutAnyRequest)
{
    ASSERT_TRUE(runUntilReady("Belmo Studio", url("/files/setup.exe")));
    sim_->clearLog();
    EXPECT_FALSE(runUntilReady("Belmo Studio", url("/files/setup.exe"), false));   // Cancel once ready
    EXPECT_EQ(readyLabel_, "Belmo Studio is ready to be installed");
    EXPECT_TRUE(sim_->requests().isEmpty());
}

TEST_F(Downloads, AChangedCachedByteDownloadsAgain)
{
    ASSERT_TRUE(runUntilReady("Belmo Studio", url("/files/setup.exe")));
    const QString target = DownloadManagerDialog::cacheFolder() + "/setup.exe";
    {
        QFile file(target);
        ASSERT_TRUE(file.open(QIODevice::ReadWrite));
        file.seek(1000);
        file.write(QByteArray(1, static_cast<char>(installer_[1000] ^ 0x5a)));
    }
    sim_->clearLog();
    ASSERT_TRUE(runUntilReady("Belmo Studio", url("/files/setup.exe")));
    EXPECT_EQ(sim_->requestsTo("/files/setup.exe").size(), 1);
    EXPECT_EQ(readFile(target), installer_);
}

TEST_F(Downloads, ANewFileNameReplacesTheOldCachedFile)
{
    ASSERT_TRUE(runUntilReady("Belmo Studio", url("/files/setup.exe")));
    const QByteArray newer = makeFile("setup-2.exe", 5000);
    ASSERT_TRUE(runUntilReady("Belmo Studio", url("/files/setup-2.exe")));
    const QString folder = DownloadManagerDialog::cacheFolder();
    EXPECT_FALSE(QFile::exists(folder + "/setup.exe"));
    EXPECT_EQ(readFile(folder + "/setup-2.exe"), newer);
    const InstallerRecord record = CacheFile().installer("Belmo Studio");
    EXPECT_EQ(record.fileName, "setup-2.exe");
    EXPECT_EQ(record.sha1, DownloadManagerDialog::fileSha1(folder + "/setup-2.exe"));
}

TEST_F(Downloads, ARedirectIsFollowedAndTheFileKeepsTheAddressName)
{
    sim_->setScenario(object(QString(R"({"routes": {"/files/latest.exe": {"status": 302, "headers": {"Location": "%1"}}}})")
                                 .arg(url("/files/setup.exe"))));
    ASSERT_TRUE(runUntilReady("Belmo Studio", url("/files/latest.exe")));
    EXPECT_EQ(readFile(DownloadManagerDialog::cacheFolder() + "/latest.exe"), installer_);
}

struct FailureCase {
    const char* name;
    const char* path;
    const char* route;   // scenario route for the path, or nullptr
};

class DownloadFailures : public Downloads, public ::testing::WithParamInterface<FailureCase> {};

TEST_P(DownloadFailures, ShowTheBoxAndLeaveNothingBehind)
{
    // A previous good download under another name stays untouched.
    ASSERT_TRUE(runUntilReady("Other", url("/files/setup.exe")));
    if (GetParam().route) {
        QString route = QString::fromUtf8(GetParam().route);
        route.replace("{plain}", QString("http://%1/files/setup.exe").arg(sim_->authority()));
        sim_->setScenario(object(QString(R"({"routes": {"%1": %2}})").arg(GetParam().path, route)));
    }
    ktest::MessageBoxAnswerer boxes;
    DownloadManagerDialog dialog("Belmo Studio", url(GetParam().path));
    EXPECT_FALSE(dialog.startDownload());
    EXPECT_EQ(boxes.texts, QStringList{"Failed to download Belmo Studio update. Server is not accessible"});
    EXPECT_EQ(boxes.titles, QStringList{"Kestrune"});
    const QString folder = DownloadManagerDialog::cacheFolder();
    EXPECT_EQ(QDir(folder).entryList(QDir::Files), QStringList{"setup.exe"});
    EXPECT_TRUE(CacheFile().installer("Belmo Studio").sha1.isEmpty());
}

INSTANTIATE_TEST_SUITE_P(
    Replies, DownloadFailures,
    ::testing::Values(FailureCase{"NotFound", "/files/missing.exe", nullptr},
                      FailureCase{"ServerError", "/files/broken.exe", R"({"status": 500, "body": "oops"})"},
                      FailureCase{"ClosedEarly", "/files/cut.exe", R"({"file": "setup.exe", "close_early": true})"},
                      FailureCase{"RedirectToPlainHttp", "/files/insecure.exe",
                                  R"({"status": 302, "headers": {"Location": "{plain}"}})"},
                      FailureCase{"NoFileName", "/files/", nullptr},
                      FailureCase{"DotDotName", "/files/%2E%2E", nullptr}),
    [](const auto& info) { return std::string(info.param.name); });

// Files this process writes may not grow beyond limit bytes while it lives: a write past it fails with EFBIG (the
// signal it would raise is ignored). Holds for root too.
class FileSizeLimit {
public:
    explicit FileSizeLimit(rlim_t limit)
    {
        getrlimit(RLIMIT_FSIZE, &saved_);
        previousHandler_ = std::signal(SIGXFSZ, SIG_IGN);
        rlimit lowered = saved_;
        lowered.rlim_cur = limit;
        active_ = setrlimit(RLIMIT_FSIZE, &lowered) == 0;
    }
    ~FileSizeLimit()
    {
        setrlimit(RLIMIT_FSIZE, &saved_);
        std::signal(SIGXFSZ, previousHandler_);
    }
    bool active() const { return active_; }

private:
    rlimit saved_{};
    void (*previousHandler_)(int) = SIG_DFL;
    bool active_ = false;
};

// The installer file cannot be written: the .part cannot be opened, or a write fails while the body comes in.
TEST_F(Downloads, AnInstallerThatCannotBeWrittenShowsTheBoxAndLeavesNoFile)
{
    const QString folder = DownloadManagerDialog::cacheFolder();
    makeFile("big.exe", 8 * 1024 * 1024);
    for (const bool midDownload : {false, true}) {
        SCOPED_TRACE(midDownload ? "write fails" : "open fails");
        QDir(folder).removeRecursively();
        ASSERT_TRUE(QDir().mkpath(folder));
        std::optional<FileSizeLimit> limit;
        if (midDownload) {
            limit.emplace(512 * 1024);
            ASSERT_TRUE(limit->active());
        } else {
            ASSERT_TRUE(QDir().mkdir(folder + "/big.exe.part"));   // no file can be opened there, even by root
        }
        sim_->clearLog();
        ktest::MessageBoxAnswerer boxes;
        DownloadManagerDialog dialog("Belmo Studio", url("/files/big.exe"));
        EXPECT_FALSE(dialog.startDownload());
        limit.reset();
        EXPECT_EQ(boxes.texts, QStringList{"Failed to download Belmo Studio update. Server is not accessible"});
        EXPECT_EQ(sim_->requestsTo("/files/big.exe").size(), midDownload ? 1 : 0);
        EXPECT_TRUE(QDir(folder).entryList(QDir::Files).isEmpty());
        EXPECT_TRUE(CacheFile().installer("Belmo Studio").sha1.isEmpty());
    }
}

TEST_F(Downloads, CancelDuringAStallEndsQuietly)
{
    sim_->setScenario(object(R"({"routes": {"/files/setup.exe": {"stall": true}}})"));
    ktest::MessageBoxAnswerer boxes;
    Driver cancel([](DownloadManagerDialog* dialog) {
        QTimer::singleShot(300, dialog, [dialog] { button(dialog, "cancelButton")->click(); });
    });
    DownloadManagerDialog dialog("Belmo Studio", url("/files/setup.exe"));
    EXPECT_FALSE(dialog.startDownload());
    EXPECT_EQ(cancel.count(), 1);
    EXPECT_TRUE(boxes.texts.isEmpty());
    EXPECT_TRUE(QDir(DownloadManagerDialog::cacheFolder()).entryList(QDir::Files).isEmpty());
}

TEST_F(Downloads, TheInstallResultFollowsTheStartAndTheFileIsCheckedBeforeIt)
{
    // The launcher cannot be started: the dialog ends rejected.
    qputenv("KESTRUNE_SHELL_OPEN", QFile::encodeName(scratch_.filePath("no-such-launcher")));
    EXPECT_FALSE(runUntilReady("Belmo Studio", url("/files/setup.exe")));
    qputenv("KESTRUNE_SHELL_OPEN", QFile::encodeName(scratch_.filePath("record.sh")));

    // The cached file changes after the check at start and before Install: nothing is started.
    Driver tamper(
        [](DownloadManagerDialog* dialog) {
            QFile file(dialog->targetPath());
            file.open(QIODevice::Append);
            file.write("x");
            file.close();
            button(dialog, "installButton")->click();
        },
        [](DownloadManagerDialog* dialog) { return button(dialog, "installButton")->isEnabled(); });
    DownloadManagerDialog dialog("Belmo Studio", url("/files/setup.exe"));
    EXPECT_FALSE(dialog.startDownload());
    QThread::msleep(200);
    EXPECT_FALSE(QFile::exists(launches_));
}

TEST_F(Downloads, ACacheFolderThatIsASymlinkOrForeignIsRefused)
{
    const QString folder = DownloadManagerDialog::cacheFolder();
    QDir(folder).removeRecursively();
    const QString elsewhere = scratch_.filePath("elsewhere");
    ASSERT_TRUE(QDir().mkdir(elsewhere));
    ASSERT_TRUE(QFile::link(elsewhere, folder));
    {
        ktest::MessageBoxAnswerer boxes;
        DownloadManagerDialog dialog("Belmo Studio", url("/files/setup.exe"));
        EXPECT_FALSE(dialog.startDownload());
        EXPECT_EQ(boxes.texts.size(), 1);
    }
    QFile::remove(folder);
    EXPECT_TRUE(QDir(elsewhere).isEmpty());

    if (geteuid() != 0)
        GTEST_SKIP() << "another owner needs root (covered by the platform test otherwise)";
    ASSERT_TRUE(QDir().mkdir(folder));
    ASSERT_EQ(::chown(QFile::encodeName(folder).constData(), 65534, 65534), 0);
    ktest::MessageBoxAnswerer boxes;
    DownloadManagerDialog dialog("Belmo Studio", url("/files/setup.exe"));
    EXPECT_FALSE(dialog.startDownload());
    EXPECT_EQ(boxes.texts.size(), 1);
    EXPECT_TRUE(sim_->requests().isEmpty());
}

struct ProgressCase {
    qlonglong read, total;
    double fraction;   // of the bar; negative: a busy bar (unknown length)
};

class Progress : public ::testing::TestWithParam<ProgressCase> {};

TEST_P(Progress, StaysProportionalAtAnySizeAndShowsBusyWithoutALength)
{
    DownloadManagerDialog dialog("Belmo Studio", "https://127.0.0.1/files/x.exe");
    dialog.updateDataTransferProgress(GetParam().read, GetParam().total);
    const QProgressBar* bar = dialog.findChild<QProgressBar*>("progressBar");
    if (GetParam().fraction < 0) {
        EXPECT_EQ(bar->maximum(), 0);
        return;
    }
    ASSERT_GT(bar->maximum(), 0);
    EXPECT_NEAR(double(bar->value()) / bar->maximum(), GetParam().fraction, 1e-6);
}

INSTANTIATE_TEST_SUITE_P(Sizes, Progress,
                         ::testing::Values(ProgressCase{50, 200, 0.25}, ProgressCase{0, 1, 0.0},
                                           ProgressCase{3LL << 30, 6LL << 30, 0.5},
                                           ProgressCase{(5LL << 30) - 1, 5LL << 30, 1.0},
                                           ProgressCase{1LL << 40, 1LL << 41, 0.5}, ProgressCase{123, -1, -1},
                                           ProgressCase{123, 0, -1}));

TEST(InstallerFileName, ComesFromTheAddressPathAndRefusesUnsafeNames)
{
    const std::vector<std::pair<QString, QString>> cases = {
        {"https://h/files/setup.exe", "setup.exe"},
        {"https://h/files/setup.exe?token=a/b", "setup.exe"},
        {"https://h/files/Setup%20Studio.exe", "Setup Studio.exe"},
        {"https://h/files/", ""},
        {"https://h", ""},
        {"https://h/files/..", ""},
        {"https://h/files/%2E%2E", ""},
        {"https://h/files/.", ""},
        {"https://h/files/a%5Cb.exe", ""},
        {"https://h/files/a%00b.exe", ""},
    };
    for (const auto& [address, name] : cases)
        EXPECT_EQ(DownloadManagerDialog::installerFileName(address), name) << address.toStdString();
}

TEST(DownloadDialogForm, HasTheTextsWidgetsAndFixedSize)
{
    DownloadManagerDialog dialog("Belmo Studio", "https://h/x.exe");
    EXPECT_EQ(dialog.windowTitle(), "Belmo software downloader");
    EXPECT_EQ(dialog.minimumSize(), QSize(380, 100));
    EXPECT_EQ(dialog.maximumSize(), QSize(380, 100));
    EXPECT_TRUE(dialog.isModal());
    EXPECT_EQ(dialog.windowModality(), Qt::WindowModal);
    EXPECT_EQ(button(&dialog, "cancelButton")->text(), "Cancel");
    EXPECT_EQ(button(&dialog, "installButton")->text(), "Install");
    EXPECT_FALSE(button(&dialog, "installButton")->isEnabled());
    EXPECT_FALSE(dialog.windowFlags() & Qt::WindowMinimizeButtonHint);
    EXPECT_TRUE(dialog.windowFlags() & Qt::WindowCloseButtonHint);
}

}  // namespace

// Downloads a large installer from the account-service simulator over loopback HTTPS through
// DownloadManagerDialog, and the same URL with curl in the same run; prints both throughputs, their ratio and the
// program's peak resident memory after each size (which must not grow with the file).
//
//   download_bench [size in MiB ...]      (default: 64 1024)

#include "downloads/DownloadManagerDialog.h"
#include "platform/ExtraCertificates.h"
#include "storage/CacheFile.h"
#include "tests/support/AccountServiceSim.h"
#include "tests/support/TestHome.h"

#include <QApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QProcess>
#include <QPushButton>
#include <QRandomGenerator>
#include <QTemporaryDir>
#include <QTimer>

#include <cstdio>
#include <sys/resource.h>

namespace {

long peakResidentKiB()
{
    rusage usage {};
    getrusage(RUSAGE_SELF, &usage);
    return usage.ru_maxrss;
}

bool writeInstaller(const QString& path, qint64 bytes)
{
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly))
        return false;
    QByteArray block(1 << 20, Qt::Uninitialized);
    auto* words = reinterpret_cast<quint32*>(block.data());
    QRandomGenerator::global()->fillRange(words, block.size() / 4);
    for (qint64 left = bytes; left > 0; left -= block.size()) {
        block[0] = static_cast<char>(left);   // no two blocks alike
        if (file.write(block.constData(), std::min<qint64>(left, block.size())) < 0)
            return false;
    }
    return true;
}

// Seconds from startDownload until the dialog is ready to install; then Cancel closes it. Negative on failure.
double downloadThroughDialog(const QString& url)
{
    QFile::remove(CacheFile::defaultPath());   // no cached record: always a full download
    DownloadManagerDialog dialog(QStringLiteral("Bench"), url);
    QElapsedTimer clock;
    double seconds = -1;
    QTimer poll;
    poll.setInterval(2);
    QObject::connect(&poll, &QTimer::timeout, [&] {
        auto* install = dialog.findChild<QPushButton*>(QStringLiteral("installButton"));
        if (install->isEnabled()) {
            seconds = clock.nsecsElapsed() / 1e9;
            poll.stop();
            dialog.findChild<QPushButton*>(QStringLiteral("cancelButton"))->click();
        }
    });
    poll.start();
    clock.start();
    dialog.startDownload();
    QFile::remove(dialog.targetPath());
    return seconds;
}

double downloadWithCurl(const QString& url, const QString& caFile, const QString& target)
{
    QElapsedTimer clock;
    clock.start();
    const int code = QProcess::execute(QStringLiteral("curl"),
                                       {QStringLiteral("-sS"), QStringLiteral("--fail"), QStringLiteral("--cacert"),
                                        caFile, QStringLiteral("-o"), target, url});
    const double seconds = clock.nsecsElapsed() / 1e9;
    QFile::remove(target);
    return code == 0 ? seconds : -1;
}

}  // namespace

int main(int argc, char** argv)
{
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QTemporaryDir home(QDir::tempPath() + QStringLiteral("/download-bench-XXXXXX"));
    if (!home.isValid())
        return 3;
    ktest::setTestHome(home.path());
    QApplication app(argc, argv);
    app.setOrganizationName(QStringLiteral("Belmo Group"));
    app.setApplicationName(QStringLiteral("Kestrune"));

    QList<qint64> sizesMiB;
    for (int i = 1; i < argc; ++i)
        sizesMiB << QByteArray(argv[i]).toLongLong();
    if (sizesMiB.isEmpty())
        sizesMiB = {64, 1024};

    ktest::AccountServiceSim sim(QJsonObject(), ktest::AccountServiceSim::Options{false, true, 3600});
    if (!sim.isRunning() || !platform::installExtraCaCertificates()) {
        std::fprintf(stderr, "the simulator did not start\n");
        return 2;
    }
    const int rounds = 2;
    std::printf("%10s %14s %14s %8s %16s\n", "size MiB", "ours MB/s", "curl MB/s", "ratio", "peak RSS MiB");
    bool ok = true;
    for (const qint64 mib : sizesMiB) {
        const qint64 bytes = mib << 20;
        const QString name = QStringLiteral("bench-%1.exe").arg(mib);
        if (!writeInstaller(QDir(sim.filesDir()).filePath(name), bytes)) {
            std::fprintf(stderr, "cannot write the installer\n");
            return 2;
        }
        const QString url = sim.url(QStringLiteral("/files/") + name).toString();
        double ours = 1e9, curl = 1e9;
        for (int round = 0; round < rounds; ++round) {
            const double a = downloadThroughDialog(url);
            const double b = downloadWithCurl(url, sim.caFile(), home.filePath(QStringLiteral("curl.out")));
            if (a < 0 || b < 0) {
                std::fprintf(stderr, "a download failed (ours %.3f s, curl %.3f s)\n", a, b);
                return 1;
            }
            ours = std::min(ours, a);
            curl = std::min(curl, b);
        }
        const double oursRate = bytes / ours / 1e6;
        const double curlRate = bytes / curl / 1e6;
        std::printf("%10lld %14.1f %14.1f %8.2f %16.1f\n", static_cast<long long>(mib), oursRate, curlRate,
                    oursRate / curlRate, peakResidentKiB() / 1024.0);
        std::fflush(stdout);
        ok = ok && oursRate / curlRate >= 0.8;
        QFile::remove(QDir(sim.filesDir()).filePath(name));
    }
    std::printf("target: ratio >= 0.80 and peak memory independent of the size: %s\n", ok ? "ratio met" : "ratio MISSED");
    return 0;
}

// Downloads a large installer from the account-service simulator over loopback HTTPS through
// DownloadManagerDialog, and the same URL with curl in the same run, the two in turn (which goes first alternates
// from round to round). Prints per size the median throughput of each, the median of the round-by-round ratios
// with its range, the CPU seconds each used per GiB, and the rise of our peak resident memory during the size's
// rounds (which must not grow with the file). The last line, "result download <ours MB/s> <curl MB/s> <ratio>",
// is the largest size, for scripts.
//
//   download_bench [--runs N] [--only ours|curl] [size in MiB ...]      (default: 5 runs, 64 1024)

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

#include <algorithm>
#include <cstdio>
#include <vector>
#include <sys/resource.h>

namespace {

// A size field of /proc/self/status ("VmRSS:", or "VmHWM:", the peak since the last resetPeak()), in KiB.
qint64 statusKiB(const char* field)
{
    QFile f(QStringLiteral("/proc/self/status"));
    if (!f.open(QIODevice::ReadOnly))
        return -1;
    for (const QByteArray& line : f.readAll().split('\n'))
        if (line.startsWith(field))
            return line.mid(static_cast<int>(qstrlen(field))).trimmed().split(' ').value(0).toLongLong();
    return -1;
}

void resetPeak()
{
    QFile f(QStringLiteral("/proc/self/clear_refs"));
    if (f.open(QIODevice::WriteOnly))
        f.write("5");
}

double cpuSeconds(int who)
{
    rusage usage {};
    getrusage(who, &usage);
    return usage.ru_utime.tv_sec + usage.ru_stime.tv_sec + (usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) / 1e6;
}

double median(std::vector<double> values)
{
    std::sort(values.begin(), values.end());
    const std::size_t n = values.size();
    return n == 0 ? 0 : n % 2 ? values[n / 2] : (values[n / 2 - 1] + values[n / 2]) / 2;
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

struct Timing {
    double seconds = -1;   // negative: the download failed
    double cpu = 0;        // CPU seconds of the process doing it
};

// From startDownload until the dialog is ready to install; then Cancel closes it.
Timing downloadThroughDialog(const QString& url)
{
    QFile::remove(CacheFile::defaultPath());   // no cached record: always a full download
    DownloadManagerDialog dialog(QStringLiteral("Bench"), url);
    QElapsedTimer clock;
    Timing timing;
    QTimer poll;
    poll.setInterval(2);
    QObject::connect(&poll, &QTimer::timeout, [&] {
        auto* install = dialog.findChild<QPushButton*>(QStringLiteral("installButton"));
        if (install->isEnabled()) {
            timing.seconds = clock.nsecsElapsed() / 1e9;
            poll.stop();
            dialog.findChild<QPushButton*>(QStringLiteral("cancelButton"))->click();
        }
    });
    poll.start();
    const double cpu = cpuSeconds(RUSAGE_SELF);
    clock.start();
    dialog.startDownload();
    timing.cpu = cpuSeconds(RUSAGE_SELF) - cpu;
    QFile::remove(dialog.targetPath());
    return timing;
}

Timing downloadWithCurl(const QString& url, const QString& caFile, const QString& target)
{
    QElapsedTimer clock;
    const double cpu = cpuSeconds(RUSAGE_CHILDREN);
    clock.start();
    const int code = QProcess::execute(QStringLiteral("curl"),
                                       {QStringLiteral("-sS"), QStringLiteral("--fail"), QStringLiteral("--cacert"),
                                        caFile, QStringLiteral("-o"), target, url});
    Timing timing;
    timing.seconds = clock.nsecsElapsed() / 1e9;
    timing.cpu = cpuSeconds(RUSAGE_CHILDREN) - cpu;
    QFile::remove(target);
    if (code != 0)
        timing.seconds = -1;
    return timing;
}

int usage()
{
    std::fprintf(stderr, "usage: download_bench [--runs N] [--only ours|curl] [size in MiB ...]\n");
    return 2;
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

    int runs = 5;
    bool withOurs = true, withCurl = true;
    QList<qint64> sizesMiB;
    const QStringList args = app.arguments();
    for (int i = 1; i < args.size(); ++i) {
        if (args[i] == QLatin1String("--runs") && i + 1 < args.size()) {
            runs = std::max(1, args[++i].toInt());
        } else if (args[i] == QLatin1String("--only") && i + 1 < args.size()) {
            withOurs = args[++i] == QLatin1String("ours");
            withCurl = !withOurs;
        } else {
            bool ok = false;
            const qint64 mib = args[i].toLongLong(&ok);
            if (!ok || mib <= 0)
                return usage();
            sizesMiB << mib;
        }
    }
    if (sizesMiB.isEmpty())
        sizesMiB = {64, 1024};

    ktest::AccountServiceSim sim(QJsonObject(), ktest::AccountServiceSim::Options{false, true, 3600});
    if (!sim.isRunning() || !platform::installExtraCaCertificates()) {
        std::fprintf(stderr, "the simulator did not start\n");
        return 2;
    }
    std::printf("median of %d rounds, ours and curl in turn\n", runs);
    std::printf("%8s %10s %10s %7s %13s %11s %11s %14s\n", "size MiB", "ours MB/s", "curl MB/s", "ratio",
                "ratio range", "ours CPU/G", "curl CPU/G", "peak RSS +MiB");
    double lastOurs = 0, lastCurl = 0, lastRatio = 0;
    for (const qint64 mib : sizesMiB) {
        const qint64 bytes = mib << 20;
        const QString name = QStringLiteral("bench-%1.exe").arg(mib);
        if (!writeInstaller(QDir(sim.filesDir()).filePath(name), bytes)) {
            std::fprintf(stderr, "cannot write the installer\n");
            return 2;
        }
        const QString url = sim.url(QStringLiteral("/files/") + name).toString();
        const QString curlTarget = home.filePath(QStringLiteral("curl.out"));
        std::vector<double> ours, curl, ratios, oursCpu, curlCpu;
        const qint64 baseKiB = statusKiB("VmRSS:");
        resetPeak();
        for (int round = 0; round < runs; ++round) {
            Timing a, b;
            for (int turn = 0; turn < 2; ++turn) {
                if ((turn == 0) == (round % 2 == 0)) {
                    if (withOurs)
                        a = downloadThroughDialog(url);
                } else if (withCurl) {
                    b = downloadWithCurl(url, sim.caFile(), curlTarget);
                }
            }
            if ((withOurs && a.seconds < 0) || (withCurl && b.seconds < 0)) {
                std::fprintf(stderr, "a download failed (ours %.3f s, curl %.3f s)\n", a.seconds, b.seconds);
                return 1;
            }
            const double gib = bytes / double(1 << 30);
            if (withOurs) {
                ours.push_back(bytes / a.seconds / 1e6);
                oursCpu.push_back(a.cpu / gib);
            }
            if (withCurl) {
                curl.push_back(bytes / b.seconds / 1e6);
                curlCpu.push_back(b.cpu / gib);
            }
            if (withOurs && withCurl)
                ratios.push_back(b.seconds / a.seconds);
        }
        const qint64 peakKiB = statusKiB("VmHWM:");
        lastOurs = median(ours);
        lastCurl = median(curl);
        lastRatio = median(ratios);
        const QByteArray range = ratios.empty() ? QByteArray("-")
                                                : QByteArray::number(*std::min_element(ratios.begin(), ratios.end()), 'f', 2) +
                                                      "-" +
                                                      QByteArray::number(*std::max_element(ratios.begin(), ratios.end()), 'f', 2);
        std::printf("%8lld %10.1f %10.1f %7.2f %13s %11.2f %11.2f %14.1f\n", static_cast<long long>(mib), lastOurs,
                    lastCurl, lastRatio, range.constData(), median(oursCpu), median(curlCpu),
                    (peakKiB - baseKiB) / 1024.0);
        std::fflush(stdout);
        QFile::remove(QDir(sim.filesDir()).filePath(name));
    }
    std::printf("target: ratio >= 0.90 and the peak memory rise the same for every size\n");
    std::printf("result download %.1f %.1f %.3f\n", lastOurs, lastCurl, lastRatio);
    return 0;
}

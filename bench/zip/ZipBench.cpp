// Creates and extracts a generated tree of mixed files (100 MB by default) with Zip and UnZip, and with Info-ZIP
// zip and unzip on the same tree in the same run; prints times, throughput ratios and our peak memory.
//
// zip_bench [--mb N] [--runs N] [--keep DIR]
#include <QCoreApplication>
#include <QDebug>
#include <QDir>
#include <QDirIterator>
#include <QElapsedTimer>
#include <QFile>
#include <QProcess>
#include <QTemporaryDir>

#include <cstdio>
#include <functional>
#include <random>
#include <utility>

#include "zip/UnZip.h"
#include "zip/Zip.h"

namespace {

void quiet(QtMsgType, const QMessageLogContext&, const QString&) {}

// Peak resident memory since the last reset, in KiB.
qint64 peakRssKiB()
{
    QFile f(QStringLiteral("/proc/self/status"));
    if (!f.open(QIODevice::ReadOnly))
        return -1;
    for (const QByteArray& line : f.readAll().split('\n'))
        if (line.startsWith("VmHWM:"))
            return line.mid(6).trimmed().split(' ').value(0).toLongLong();
    return -1;
}

qint64 rssKiB()
{
    QFile f(QStringLiteral("/proc/self/status"));
    if (!f.open(QIODevice::ReadOnly))
        return -1;
    for (const QByteArray& line : f.readAll().split('\n'))
        if (line.startsWith("VmRSS:"))
            return line.mid(6).trimmed().split(' ').value(0).toLongLong();
    return -1;
}

void resetPeak()
{
    QFile f(QStringLiteral("/proc/self/clear_refs"));
    if (f.open(QIODevice::WriteOnly))
        f.write("5");
}

class Generator {
public:
    explicit Generator(quint32 seed) : gen_(seed) {}

    void text(QFile& f, qint64 size)
    {
        static const char* const words[] = {"scanner ", "calibration ", "camera ", "frame=", "exposure ", "gain ",
                                            "strobe ", "serial ", "device\n", "archive ", "log ", "upload "};
        QByteArray block;
        while (size > 0) {
            block.clear();
            while (block.size() < 65536) {
                block += words[gen_() % 12];
                block += QByteArray::number(int(gen_() % 100000));
                block += ' ';
            }
            const qint64 n = std::min<qint64>(size, block.size());
            f.write(block.constData(), n);
            size -= n;
        }
    }

    void binary(QFile& f, qint64 size)
    {
        QByteArray block(65536, Qt::Uninitialized);
        while (size > 0) {
            for (int i = 0; i < block.size(); i += 4) {
                const quint32 v = gen_();
                memcpy(block.data() + i, &v, 4);
            }
            const qint64 n = std::min<qint64>(size, block.size());
            f.write(block.constData(), n);
            size -= n;
        }
    }

    quint32 next() { return gen_(); }

private:
    std::mt19937 gen_;
};

// A tree of about totalBytes: many small files, text files of all sizes, incompressible data, one large log.
qint64 makeTree(const QString& root, qint64 totalBytes)
{
    Generator g(42);
    qint64 total = 0;
    int n = 0;
    auto file = [&](const QString& rel, qint64 size, bool binary) {
        const QString path = root + QLatin1Char('/') + rel;
        QDir().mkpath(QFileInfo(path).absolutePath());
        QFile f(path);
        f.open(QIODevice::WriteOnly);
        binary ? g.binary(f, size) : g.text(f, size);
        total += size;
    };
    file(QStringLiteral("logs/performance.log"), totalBytes * 3 / 10, false);
    while (total < totalBytes * 4 / 10) {
        file(QStringLiteral("small/d%1/f%2.ini").arg(n % 20).arg(n), 100 + g.next() % 4000, false);
        ++n;
    }
    while (total < totalBytes * 8 / 10) {
        file(QStringLiteral("text/d%1/t%2.txt").arg(n % 10).arg(n), 2000 + g.next() % 400000, false);
        ++n;
    }
    while (total < totalBytes) {
        file(QStringLiteral("data/b%1.dat").arg(n), 10000 + g.next() % 1000000, true);
        ++n;
    }
    return total;
}

struct Measure {
    double seconds = 1e99;
    qint64 peakDeltaKiB = 0;
};

// Best of runs; before each run prepare() (not timed).
Measure measure(int runs, const std::function<void()>& prepare, const std::function<bool()>& work)
{
    Measure m;
    for (int i = 0; i < runs; ++i) {
        prepare();
        const qint64 base = rssKiB();
        resetPeak();
        QElapsedTimer t;
        t.start();
        if (!work()) {
            fprintf(stderr, "a run failed\n");
            exit(1);
        }
        const double s = t.nsecsElapsed() / 1e9;
        m.seconds = std::min(m.seconds, s);
        m.peakDeltaKiB = std::max(m.peakDeltaKiB, peakRssKiB() - base);
    }
    return m;
}

// Ours and theirs in turn, run by run, so that a change in the machine's load falls on both alike.
std::pair<Measure, Measure> measurePair(int runs, const std::function<void()>& prepare,
                                        const std::function<bool()>& ours, const std::function<void()>& prepareTheirs,
                                        const std::function<bool()>& theirs)
{
    Measure a;
    Measure b;
    for (int i = 0; i < runs; ++i) {
        const Measure x = measure(1, prepare, ours);
        const Measure y = measure(1, prepareTheirs, theirs);
        a.seconds = std::min(a.seconds, x.seconds);
        a.peakDeltaKiB = std::max(a.peakDeltaKiB, x.peakDeltaKiB);
        b.seconds = std::min(b.seconds, y.seconds);
    }
    return {a, b};
}

bool runTool(const QString& program, const QStringList& args, const QString& workDir)
{
    QProcess p;
    p.setWorkingDirectory(workDir);
    p.start(program, args);
    return p.waitForFinished(-1) && p.exitStatus() == QProcess::NormalExit && p.exitCode() == 0;
}

}  // namespace

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    qInstallMessageHandler(quiet);
    qint64 mb = 100;
    int runs = 3;
    QString keep;
    const QStringList args = app.arguments();
    for (int i = 1; i + 1 < args.size(); i += 2) {
        if (args[i] == QLatin1String("--mb"))
            mb = args[i + 1].toLongLong();
        else if (args[i] == QLatin1String("--runs"))
            runs = args[i + 1].toInt();
        else if (args[i] == QLatin1String("--keep"))
            keep = args[i + 1];
    }
    QTemporaryDir tmp;
    const QString work = keep.isEmpty() ? tmp.path() : keep;
    QDir().mkpath(work);
    const QString tree = work + QStringLiteral("/tree");
    QDir(tree).removeRecursively();
    const qint64 bytes = makeTree(tree, mb * 1000 * 1000);
    int files = 0;
    for (QDirIterator it(tree, QDir::Files, QDirIterator::Subdirectories); it.hasNext(); it.next())
        ++files;
    printf("tree: %d files, %.1f MB, best of %d runs\n\n", files, bytes / 1e6, runs);

    const QString ours = work + QStringLiteral("/ours.zip");
    const QString theirs = work + QStringLiteral("/theirs.zip");
    const QString out = work + QStringLiteral("/out");
    auto noPrep = [] {};
    auto clearOut = [&] { QDir(out).removeRecursively(); };

    const auto [zipOurs, zipTheirs] = measurePair(
        runs, noPrep,
        [&] {
            Zip zip;
            return zip.createArchive(ours, true) == Zip::Ok && zip.addFile(tree, Zip::Deflate6) == Zip::Ok &&
                   zip.closeArchive() == Zip::Ok;
        },
        [&] { QFile::remove(theirs); },
        [&] {
            return runTool(QStringLiteral("zip"), {QStringLiteral("-q"), QStringLiteral("-r"), QStringLiteral("-6"),
                                                   QStringLiteral("-X"), theirs, QStringLiteral("tree")},
                           work);
        });
    const Measure zipAuto = measure(runs, noPrep, [&] {
        Zip zip;
        return zip.createArchive(ours + QStringLiteral(".auto"), true) == Zip::Ok &&
               zip.addFile(tree, Zip::AutoByExtension) == Zip::Ok && zip.closeArchive() == Zip::Ok;
    });
    const auto [unzipOurs, unzipTheirs] = measurePair(
        runs, clearOut,
        [&] {
            UnZip unzip;
            return unzip.openArchive(theirs) == UnZip::Ok &&
                   unzip.extractAll(out, UnZip::KeepEntryPaths) == UnZip::Ok;
        },
        clearOut,
        [&] {
            return runTool(QStringLiteral("unzip"), {QStringLiteral("-q"), QStringLiteral("-o"), theirs,
                                                     QStringLiteral("-d"), out},
                           work);
        });
    const Measure checkOurs = measure(runs, noPrep, [&] {
        UnZip unzip;
        return unzip.openArchive(theirs) == UnZip::Ok && unzip.extractAll(out, UnZip::CheckOnly) == UnZip::Ok;
    });
    const Measure testTheirs = measure(runs, noPrep, [&] {
        return runTool(QStringLiteral("unzip"), {QStringLiteral("-qq"), QStringLiteral("-t"), theirs}, work);
    });

    auto mbps = [&](const Measure& m) { return bytes / 1e6 / m.seconds; };
    printf("%-34s %8s %9s %14s\n", "operation", "seconds", "MB/s", "our peak +KiB");
    auto row = [&](const char* name, const Measure& m, bool ourCode) {
        if (ourCode)
            printf("%-34s %8.3f %9.1f %14lld\n", name, m.seconds, mbps(m), m.peakDeltaKiB);
        else
            printf("%-34s %8.3f %9.1f %14s\n", name, m.seconds, mbps(m), "-");
    };
    row("create, Zip level 6", zipOurs, true);
    row("create, zip -6", zipTheirs, false);
    row("create, Zip level by extension", zipAuto, true);
    row("extract, UnZip", unzipOurs, true);
    row("extract, unzip", unzipTheirs, false);
    row("verify, UnZip CheckOnly", checkOurs, true);
    row("verify, unzip -t", testTheirs, false);
    printf("\narchive sizes: Zip level 6 %.1f MB, zip -6 %.1f MB\n", QFileInfo(ours).size() / 1e6,
           QFileInfo(theirs).size() / 1e6);
    printf("creation time Zip / zip:      %.3f (target <= 1.10)\n", zipOurs.seconds / zipTheirs.seconds);
    printf("extraction time UnZip / unzip: %.3f (target <= 0.90)\n", unzipOurs.seconds / unzipTheirs.seconds);
    printf("verify time UnZip / unzip -t:  %.3f\n", checkOurs.seconds / testTheirs.seconds);

    // Memory against entry size: one entry of 1 MB and one of 64 MB.
    printf("\nsingle entry    extract peak +KiB    create peak +KiB\n");
    for (const qint64 size : {qint64(1) << 20, qint64(64) << 20}) {
        const QString one = work + QStringLiteral("/one");
        QDir(one).removeRecursively();
        QDir().mkpath(one);
        {
            QFile f(one + QStringLiteral("/entry.log"));
            f.open(QIODevice::WriteOnly);
            Generator(7).text(f, size);
        }
        const QString oneZip = work + QStringLiteral("/one.zip");
        const Measure c = measure(1, noPrep, [&] {
            Zip zip;
            return zip.createArchive(oneZip, true) == Zip::Ok &&
                   zip.addFile(one + QStringLiteral("/entry.log"), Zip::AutoFixed) == Zip::Ok &&
                   zip.closeArchive() == Zip::Ok;
        });
        const Measure x = measure(1, clearOut, [&] {
            UnZip unzip;
            return unzip.openArchive(oneZip) == UnZip::Ok && unzip.extractAll(out, UnZip::KeepEntryPaths) == UnZip::Ok;
        });
        printf("%5lld MB %20lld %19lld\n", size >> 20, x.peakDeltaKiB, c.peakDeltaKiB);
    }
    return 0;
}

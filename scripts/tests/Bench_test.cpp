// scripts/bench --quick as a user without Info-ZIP zip and unzip or curl runs it, on the benchmarks this tree built
// for it (KESTRUNE_BENCH_BUILD): it goes on without the comparisons it lacks and says so in the table.
#include <gtest/gtest.h>

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QProcessEnvironment>
#include <QRegularExpression>
#include <QTemporaryDir>

#include "tests/support/TestProcess.h"

namespace {

// A folder of links to every program on PATH but those left out.
bool pathWithout(const QString& folder, const QStringList& leftOut)
{
    for (const QString& dir : qEnvironmentVariable("PATH").split(':', Qt::SkipEmptyParts))
        for (const QFileInfo& program : QDir(dir).entryInfoList(QDir::Files | QDir::Executable | QDir::NoDotAndDotDot)) {
            const QString link = folder + "/" + program.fileName();
            if (!leftOut.contains(program.fileName()) && !QFileInfo::exists(link) &&
                !QFile::link(program.absoluteFilePath(), link))
                return false;
        }
    return true;
}

TEST(Bench, WithoutZipUnzipAndCurlItGoesOnAndNamesWhatIsMissing)
{
    QTemporaryDir scratch;
    ASSERT_TRUE(scratch.isValid());
    const QStringList missing{"zip", "unzip", "curl"};
    ASSERT_TRUE(QDir().mkpath(scratch.filePath("path")));
    ASSERT_TRUE(pathWithout(scratch.filePath("path"), missing));
    ASSERT_TRUE(QDir().mkpath(scratch.filePath("tree")));
    ASSERT_TRUE(QFile::link(KESTRUNE_BENCH_BIN, scratch.filePath("tree/bin")));

    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert("PATH", scratch.filePath("path"));
    env.insert("KESTRUNE_BENCH_BUILD", scratch.filePath("tree"));
    QProcess bench;
    bench.setProcessEnvironment(env);
    bench.start("bash", {ktest::sourcePath("scripts/bench"), "--quick"});
    ASSERT_TRUE(bench.waitForStarted(30000));
    const bool ended = bench.waitForFinished(900000);   // a failure bound for a sanitizer tree on a loaded machine
    if (!ended)
        bench.kill();
    const QString out = QString::fromUtf8(bench.readAllStandardOutput());
    const QString err = QString::fromUtf8(bench.readAllStandardError());
    const std::string printed = ("stdout:\n" + out + "stderr:\n" + err).toStdString();
    ASSERT_TRUE(ended) << printed;
    EXPECT_EQ(bench.exitCode(), 0) << printed;
    EXPECT_TRUE(err.contains("scripts/bench: no zip, unzip here: the zip benchmark, which compares with them, is left out"))
        << printed;
    EXPECT_TRUE(err.contains("scripts/bench: no curl here: the download is timed on our side only")) << printed;

    // The table: what was left out named, our download and the image rows measured.
    const QString table = out.mid(out.lastIndexOf("\nbenchmark "));
    EXPECT_TRUE(table.contains(QRegularExpression("\nzip vs Info-ZIP +- +skipped +- +without zip, unzip\n"))) << printed;
    EXPECT_TRUE(table.contains(QRegularExpression("\ndownload 4 MiB \\(MB/s\\) +[0-9]+\\.[0-9] +skipped +- +without curl\n")))
        << printed;
    EXPECT_TRUE(table.contains(QRegularExpression("\nimage rotate 1ch warm \\(ms\\) +[0-9.]+ +memcpy [0-9.]+ +[0-9.]+ +<= 3.00 "
                                                  "+(met|missed)\n")))
        << printed;
}

}  // namespace

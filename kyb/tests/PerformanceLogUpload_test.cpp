// Upload of an installed product's rotated logs to the simulator: what is sent, in which order, and what stays.
#include <gtest/gtest.h>

#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QJsonArray>
#include <QJsonObject>
#include <memory>

#include "catalogue/InstalledProduct.h"
#include "logs/PerformanceLogUpload.h"
#include "platform/ExtraCertificates.h"
#include "platform/MachineIdentifier.h"
#include "tests/support/AccountServiceSim.h"
#include "tests/support/TestFiles.h"
#include "tests/support/TestHome.h"
#include "tests/support/TestProcess.h"

namespace {

const QString logsPath = QStringLiteral("/api/kyb/v2/logs.json");

void writeFile(const QString& path, const QByteArray& content, int ageSeconds)
{
    QFile file(path);
    ASSERT_TRUE(file.open(QIODevice::WriteOnly | QIODevice::Truncate)) << path.toStdString();
    file.write(content);
    file.flush();  // a later write would set the time again
    ASSERT_TRUE(file.setFileTime(QDateTime::currentDateTime().addSecs(-ageSeconds), QFileDevice::FileModificationTime));
}

using ktest::readFile;

// The entry names of an archive and the content of its "data.log", read by Python's zipfile.
QByteArray archiveListing(const QString& path)
{
    const ktest::ProcessResult result = ktest::runProgram(
        "python3", {"-c",
                    "import sys, zipfile\n"
                    "z = zipfile.ZipFile(sys.argv[1])\n"
                    "sys.stdout.write(','.join(z.namelist()) + ':' + z.read('data.log').decode())\n",
                    path});
    return result.ok() ? result.out : "python failed: " + result.err;
}

class LogUpload : public ::testing::Test {
protected:
    void SetUp() override
    {
        static int run = 0;
        product.productName = "Belmo Studio";
        product.version = "3.2.1";
        product.installDir = L"/opt/belmo/studio";
        product.dataFolder = (ktest::testHome() + QStringLiteral("/product-%1").arg(++run)).toStdWString();
        folder = QString::fromStdWString(product.dataFolder) + "/PerfomanceLog";
        ASSERT_TRUE(QDir().mkpath(folder));
        writeFile(folder + "/Main.0001.log", "newer log", 100);
        writeFile(folder + "/Main.0002.log", "older log", 200);
        writeFile(folder + "/notes.txt", "notes", 300);
        writeFile(folder + "/Main.001.log", "three digits", 300);
        writeFile(folder + "/a-b.0001.log", "hyphen", 300);
        writeFile(folder + "/data.log", "live log", 0);
    }
    void startSim(const QJsonObject& scenario = QJsonObject())
    {
        sim = std::make_unique<ktest::AccountServiceSim>(scenario);
        ASSERT_TRUE(sim->isRunning());
        ASSERT_TRUE(platform::installExtraCaCertificates());
    }
    QStringList remaining() const { return QDir(folder).entryList(QDir::Files, QDir::Name); }

    InstalledProduct product;
    QString folder;
    std::unique_ptr<ktest::AccountServiceSim> sim;
};

TEST_F(LogUpload, SendsEachRotatedLogOldestFirstAndRemovesIt)
{
    startSim();
    uploadPerformanceLogs(product);

    EXPECT_EQ(remaining(), (QStringList{"Main.001.log", "a-b.0001.log", "data.log", "notes.txt"}));
    EXPECT_EQ(readFile(folder + "/data.log"), "live log") << "the product's own log is left alone";

    const QList<QJsonObject> uploads = sim->requestsTo(logsPath);
    ASSERT_EQ(uploads.size(), 2);
    const std::string machine = platform::machineIdentifier("/opt/belmo/studio");
    const QByteArray expected[] = {"data.log:older log", "data.log:newer log"};
    for (int i = 0; i < 2; ++i) {
        SCOPED_TRACE(i);
        EXPECT_EQ(uploads[i].value("method").toString(), "POST");
        const QJsonArray parts = uploads[i].value("parts").toArray();
        ASSERT_EQ(parts.size(), 2);
        EXPECT_EQ(parts[0].toObject().value("name").toString(), "hwfp");
        EXPECT_EQ(parts[0].toObject().value("size").toInt(), static_cast<int>(machine.size()));
        const QJsonObject archive = parts[1].toObject();
        EXPECT_EQ(archive.value("name").toString(), "log_file");
        EXPECT_EQ(archive.value("filename").toString(), "log_file.zip");
        EXPECT_EQ(archive.value("content_type").toString(), "application/zip, application/octet-stream");
        EXPECT_EQ(archiveListing(archive.value("saved").toString()), expected[i]);
    }
    EXPECT_TRUE(QDir::temp().entryList({"kyb-logs-*"}, QDir::AllEntries | QDir::Hidden).isEmpty())
        << "the staging folder is removed";
}

TEST_F(LogUpload, FailedUploadKeepsTheLogForTheNextRun)
{
    startSim(QJsonObject{{"routes", QJsonObject{{logsPath, QJsonArray{QJsonObject{{"status", 500}}, QJsonObject{}}}}}});
    uploadPerformanceLogs(product);
    EXPECT_EQ(sim->requestsTo(logsPath).size(), 2);
    EXPECT_EQ(remaining(),
              (QStringList{"Main.0002.log", "Main.001.log", "a-b.0001.log", "data.log", "notes.txt"}))
        << "the older log failed and stays; the newer one went";
    EXPECT_EQ(readFile(folder + "/Main.0002.log"), "older log");
}

TEST_F(LogUpload, NothingHappensWithoutALogFolder)
{
    startSim();
    ASSERT_TRUE(QDir(folder).removeRecursively());
    uploadPerformanceLogs(product);
    EXPECT_TRUE(sim->requests().isEmpty());
    EXPECT_FALSE(QFile::exists(folder));
}

}  // namespace

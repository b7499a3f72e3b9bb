// Archives written by Zip, checked by Info-ZIP unzip, 7z, Python's zipfile and our own reader.
#include <gtest/gtest.h>

#include <QBuffer>
#include <QDir>
#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QTemporaryDir>

#include "tests/support/TestProcess.h"
#include "zip/UnZip.h"
#include "zip/Zip.h"
#include "zip/tests/ZipTestSupport.h"

namespace {

// Prints one JSON line per entry: name, method, flag bits, sizes, CRC, DOS fields; fails on a bad CRC.
const char* const kInspect = R"(
import json, sys, zipfile
z = zipfile.ZipFile(sys.argv[1])
bad = z.testzip()
if bad: sys.exit('bad entry ' + bad)
out = {i.filename: dict(method=i.compress_type, flags=i.flag_bits, size=i.file_size, csize=i.compress_size,
                        crc=i.CRC, time=list(i.date_time)) for i in z.infolist()}
print(json.dumps(dict(entries=out, names=[i.filename for i in z.infolist()], comment=z.comment.decode())))
)";

// Size of raw deflate output of a file at each level 1..9, to tell the level an entry was written with.
const char* const kDeflateSizes = R"(
import json, sys, zlib
data = open(sys.argv[1], 'rb').read()
def size(level):
    c = zlib.compressobj(level, zlib.DEFLATED, -15)
    return len(c.compress(data) + c.flush())
print(json.dumps([size(l) for l in range(1, 10)]))
)";

class ZipWriterTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        ztest::useFixedTimeZone();
        ASSERT_TRUE(dir.isValid());
        const QString missing = ztest::missingPeerProgram();
        ASSERT_TRUE(missing.isEmpty()) << missing.toStdString() << " is needed";
        archive = path("out.zip");
    }

    QString path(const QString& rel) const { return dir.filePath(rel); }

    QJsonObject inspect(const QString& zipPath)
    {
        const ktest::ProcessResult r = ztest::python(QString::fromLatin1(kInspect), {zipPath}, dir.path());
        EXPECT_TRUE(r.ok()) << r.err.constData();
        return QJsonDocument::fromJson(r.out).object();
    }

    // Every entry passes unzip -t, 7z t and zipfile's CRC test.
    void expectPeersAccept(const QString& zipPath, const QString& password = QString())
    {
        QStringList unzipArgs{QStringLiteral("-t")};
        QStringList sevenArgs{QStringLiteral("t"), zipPath};
        if (!password.isEmpty()) {
            unzipArgs << QStringLiteral("-P") << password;
            sevenArgs << QStringLiteral("-p") + password;
        }
        const ktest::ProcessResult u = ktest::runProgram(QStringLiteral("unzip"), unzipArgs << zipPath);
        EXPECT_TRUE(u.ok()) << u.out.constData() << u.err.constData();
        const ktest::ProcessResult s = ktest::runProgram(QStringLiteral("7z"), sevenArgs);
        EXPECT_TRUE(s.ok()) << s.out.constData() << s.err.constData();
        if (password.isEmpty())
            inspect(zipPath);
    }

    QMap<QString, QByteArray> extractWithOurReader(const QString& zipPath, const QString& password = QString())
    {
        const QString target = path(QStringLiteral("unpacked-%1").arg(++unpacks));
        UnZip unzip;
        unzip.setPassword(password);
        EXPECT_EQ(unzip.openArchive(zipPath), UnZip::Ok);
        EXPECT_EQ(unzip.extractAll(target, UnZip::KeepEntryPaths), UnZip::Ok);
        return ztest::listTree(target);
    }

    QTemporaryDir dir;
    QString archive;
    int unpacks = 0;
};


TEST_F(ZipWriterTest, ArchiveWithoutEntriesIsTheEndRecordAlone)
{
    Zip zip;
    ASSERT_EQ(zip.createArchive(archive, true), Zip::Ok);
    EXPECT_EQ(zip.addFile(QString(), Zip::AutoFixed), Zip::Ok);  // an empty path adds nothing
    ASSERT_EQ(zip.closeArchive(), Zip::Ok);
    EXPECT_EQ(ztest::readFile(archive), QByteArray("PK\x05\x06", 4) + QByteArray(18, '\0'));
    EXPECT_TRUE(inspect(archive)[QStringLiteral("entries")].toObject().isEmpty());
    EXPECT_TRUE(ktest::runProgram(QStringLiteral("7z"), {QStringLiteral("t"), archive}).ok());
    const ktest::ProcessResult u = ktest::runProgram(QStringLiteral("unzip"), {QStringLiteral("-t"), archive});
    EXPECT_EQ(u.exitCode, 1);  // unzip's warning code for an empty, well-formed archive
    EXPECT_TRUE(u.out.contains("zipfile is empty") || u.err.contains("zipfile is empty"));
}

TEST_F(ZipWriterTest, ReportsEachFailureWithItsCode)
{
    Zip zip;
    EXPECT_EQ(zip.createArchive(QString(), true), Zip::SourceNotFound);
    EXPECT_EQ(zip.addFile(path("x"), Zip::AutoFixed), Zip::NoArchiveOpen);
    EXPECT_EQ(zip.createArchive(nullptr), Zip::CannotOpen);
    EXPECT_EQ(zip.createArchive(path("missing/folder/a.zip"), true), Zip::CannotOpen);

    ztest::writeFile(archive, "keep me");
    EXPECT_EQ(zip.createArchive(archive, false), Zip::ArchiveExists);
    EXPECT_EQ(ztest::readFile(archive), QByteArray("keep me"));

    QByteArray bytes;
    QBuffer readOnly(&bytes);
    readOnly.open(QIODevice::ReadOnly);
    EXPECT_EQ(zip.createArchive(&readOnly), Zip::CannotOpen);

    ASSERT_EQ(zip.createArchive(archive, true), Zip::Ok);
    EXPECT_EQ(zip.addFile(path("no-such-file"), Zip::AutoFixed), Zip::SourceNotFound);
    ASSERT_EQ(zip.closeArchive(), Zip::Ok);
    EXPECT_EQ(QFileInfo(archive).size(), 22);
}

struct LevelCase {
    const char* fileName;
    int size;
    Zip::CompressionLevel level;
    int method;         // 0 stored, 8 deflated
    int expectedLevel;  // zlib level of a deflated entry
};

class ZipLevelTest : public ZipWriterTest, public ::testing::WithParamInterface<LevelCase> {};

TEST_P(ZipLevelTest, ChoosesMethodAndLevel)
{
    const LevelCase& c = GetParam();
    const QString source = path(QStringLiteral("src/") + QString::fromLatin1(c.fileName));
    ztest::writeFile(source, ztest::textBytes(c.size, 7));
    Zip zip;
    ASSERT_EQ(zip.createArchive(archive, true), Zip::Ok);
    ASSERT_EQ(zip.addFile(source, c.level), Zip::Ok);
    ASSERT_EQ(zip.closeArchive(), Zip::Ok);

    const QJsonObject entries = inspect(archive)[QStringLiteral("entries")].toObject();
    ASSERT_EQ(entries.keys(), QStringList{QString::fromLatin1(c.fileName)});
    const QJsonObject e = entries.begin().value().toObject();
    EXPECT_EQ(e[QStringLiteral("method")].toInt(), c.method);
    EXPECT_EQ(e[QStringLiteral("size")].toInt(), c.size);
    EXPECT_EQ(e[QStringLiteral("flags")].toInt(), 0);
    if (c.method == 8) {
        const ktest::ProcessResult r = ztest::python(QString::fromLatin1(kDeflateSizes), {source}, dir.path());
        ASSERT_TRUE(r.ok()) << r.err.constData();
        const QJsonArray sizes = QJsonDocument::fromJson(r.out).array();
        EXPECT_EQ(e[QStringLiteral("csize")].toInt(), sizes[c.expectedLevel - 1].toInt());
    } else {
        EXPECT_EQ(e[QStringLiteral("csize")].toInt(), c.size);
    }
}

INSTANTIATE_TEST_SUITE_P(
    Cases, ZipLevelTest,
    ::testing::Values(LevelCase{"photo.JPEG", 100000, Zip::AutoByExtensionAll, 8, 2},
                      LevelCase{"photo.tar.gz", 100000, Zip::AutoByExtensionAll, 8, 5},  // complete suffix tar.gz
                      LevelCase{"setup.exe", 100000, Zip::AutoByExtensionAll, 0, 0},
                      LevelCase{"notes.txt", 59, Zip::AutoByExtensionAll, 0, 0},
                      LevelCase{"notes.txt", 60, Zip::AutoByExtensionAll, 8, 9},
                      LevelCase{"README.Txt", 100000, Zip::AutoByExtension, 8, 9},
                      LevelCase{"data.log", 100000, Zip::AutoByExtensionAll, 8, 5},
                      LevelCase{"noext", 100000, Zip::AutoByExtensionAll, 8, 5},
                      LevelCase{"data.log", 100000, Zip::AutoFixed, 8, 5},
                      LevelCase{"setup.exe", 100000, Zip::Deflate1, 8, 1},
                      LevelCase{"notes.txt", 100000, Zip::Store, 0, 0}));

TEST_F(ZipWriterTest, PeersAcceptBlockEdgesFoldersAndBothMethods)
{
    const QString src = path(QStringLiteral("src/tree"));
    int seed = 1;
    for (int size : {262143, 262144, 262145, 524289}) {
        ztest::writeFile(QStringLiteral("%1/text-%2.txt").arg(src).arg(size), ztest::textBytes(size, seed++));
        ztest::writeFile(QStringLiteral("%1/noise/random-%2.dat").arg(src).arg(size), ztest::randomBytes(size, seed++));
    }
    ztest::writeFile(src + QStringLiteral("/tiny.txt"), "tiny");
    ztest::writeFile(src + QStringLiteral("/empty.log"), QByteArray());
    QDir().mkpath(src + QStringLiteral("/empty"));

    Zip zip;
    ASSERT_EQ(zip.createArchive(archive, true), Zip::Ok);
    ASSERT_EQ(zip.addFile(src, Zip::AutoByExtension), Zip::Ok);
    ASSERT_EQ(zip.closeArchive(), Zip::Ok);

    expectPeersAccept(archive);
    QMap<QString, QByteArray> expected = ztest::listTree(path(QStringLiteral("src")));
    EXPECT_EQ(extractWithOurReader(archive), expected);
}

struct TreeCase {
    const char* label;
    Zip::AddOptions options;
    const char* root;
    QStringList names;  // in central-directory order; "@" stands for the absolute path of the source's parent
};

class ZipTreeTest : public ZipWriterTest, public ::testing::WithParamInterface<TreeCase> {};

TEST_P(ZipTreeTest, NamesEntriesByTheOptions)
{
    const QString parent = path(QStringLiteral("src"));
    ztest::writeFile(parent + QStringLiteral("/tree/a.txt"), "a");
    ztest::writeFile(parent + QStringLiteral("/tree/sub/b.txt"), "b");
    ztest::writeFile(parent + QStringLiteral("/tree/onlysubs/deep/c.txt"), "c");
    QDir().mkpath(parent + QStringLiteral("/tree/empty"));

    Zip zip;
    ASSERT_EQ(zip.createArchive(archive, true), Zip::Ok);
    ASSERT_EQ(zip.addFile(parent + QStringLiteral("/tree"), QString::fromLatin1(GetParam().root), GetParam().options,
                          Zip::AutoFixed),
              Zip::Ok);
    ASSERT_EQ(zip.closeArchive(), Zip::Ok);

    QStringList expected;
    for (const QString& n : GetParam().names)
        expected << QString(n).replace(QLatin1Char('@'), QDir(parent).absolutePath());
    QStringList names;
    for (const QJsonValue& v : inspect(archive)[QStringLiteral("names")].toArray())
        names << v.toString();
    EXPECT_EQ(names, expected);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, ZipTreeTest,
    ::testing::Values(
        // a folder with only subfolders gets an entry of its own, one with a file directly inside gets none
        TreeCase{"relative", Zip::KeepRelativePaths, "",
                 {"tree/a.txt", "tree/empty/", "tree/onlysubs/", "tree/onlysubs/deep/c.txt", "tree/sub/b.txt"}},
        TreeCase{"root", Zip::KeepRelativePaths, " logs\\\\ ",
                 {"logs/tree/a.txt", "logs/tree/empty/", "logs/tree/onlysubs/", "logs/tree/onlysubs/deep/c.txt",
                  "logs/tree/sub/b.txt"}},
        TreeCase{"flatten", Zip::FlattenPaths, "", {"a.txt", "b.txt", "c.txt"}},
        // a listed folder keeps its own name; only the path above it is dropped
        TreeCase{"omitTop", Zip::OmitTopDirectory, "",
                 {"tree/a.txt", "tree/empty/", "tree/onlysubs/", "tree/onlysubs/deep/c.txt", "tree/sub/b.txt"}},
        TreeCase{"absoluteOmitTop", Zip::KeepAbsolutePaths | Zip::OmitTopDirectory, "",
                 {"tree/a.txt", "tree/empty/", "tree/onlysubs/", "tree/onlysubs/deep/c.txt", "tree/sub/b.txt"}},
        TreeCase{"absolute", Zip::KeepAbsolutePaths, "",
                 {"@/tree/a.txt", "@/tree/empty/", "@/tree/onlysubs/", "@/tree/onlysubs/deep/c.txt",
                  "@/tree/sub/b.txt"}}),
    [](const ::testing::TestParamInfo<TreeCase>& info) { return std::string(info.param.label); });

TEST_F(ZipWriterTest, RecordsEachFilesOwnLocalTimeWithYearsClamped)
{
    struct TimeCase {
        const char* name;
        QDateTime mtime;
        QString dosFields;  // as zipfile reads them: [y, m, d, h, mi, s]
    };
    const TimeCase cases[] = {
        {"winter.txt", QDateTime(QDate(2021, 1, 15), QTime(10, 20, 30), Qt::UTC), "[2021,1,15,11,20,30]"},
        {"summer.txt", QDateTime(QDate(2021, 7, 15), QTime(10, 20, 30), Qt::UTC), "[2021,7,15,12,20,30]"},
        {"old.txt", QDateTime(QDate(1975, 5, 5), QTime(5, 5, 5), Qt::UTC), "[1980,1,1,0,0,0]"},
        {"future.txt", QDateTime(QDate(2150, 5, 5), QTime(5, 5, 5), Qt::UTC), "[2107,12,31,23,59,58]"},
    };
    Zip zip;
    ASSERT_EQ(zip.createArchive(archive, true), Zip::Ok);
    for (const TimeCase& c : cases) {
        const QString source = path(QStringLiteral("src/") + QString::fromLatin1(c.name));
        ztest::writeFile(source, "some text", c.mtime);
        ASSERT_EQ(zip.addFile(source, Zip::AutoFixed), Zip::Ok);
    }
    ASSERT_EQ(zip.closeArchive(), Zip::Ok);

    const QJsonObject entries = inspect(archive)[QStringLiteral("entries")].toObject();
    for (const TimeCase& c : cases) {
        const QJsonArray t = entries[QString::fromLatin1(c.name)].toObject()[QStringLiteral("time")].toArray();
        EXPECT_EQ(QString::fromUtf8(QJsonDocument(t).toJson(QJsonDocument::Compact)), c.dosFields) << c.name;
    }
    // Read back, the winter and the summer file get their instants again.
    const QString target = path(QStringLiteral("unpacked"));
    UnZip unzip;
    ASSERT_EQ(unzip.openArchive(archive), UnZip::Ok);
    ASSERT_EQ(unzip.extractAll(target, UnZip::KeepEntryPaths), UnZip::Ok);
    for (int i = 0; i < 2; ++i)
        EXPECT_EQ(QFileInfo(target + QLatin1Char('/') + QString::fromLatin1(cases[i].name)).lastModified().toUTC(),
                  cases[i].mtime);
}

TEST_F(ZipWriterTest, EncryptsWithAPasswordSoPeersDecrypt)
{
    const QString src = path(QStringLiteral("src/tree"));
    ztest::writeFile(src + QStringLiteral("/big.txt"), ztest::textBytes(300000, 3));
    ztest::writeFile(src + QStringLiteral("/small.txt"), "short");
    ztest::writeFile(src + QStringLiteral("/stored.bin"), ztest::randomBytes(5000, 4));
    QDir().mkpath(src + QStringLiteral("/empty"));
    const QMap<QString, QByteArray> expected = ztest::listTree(path(QStringLiteral("src")));

    for (const QString& password : {QString(), QStringLiteral("x")}) {
        SCOPED_TRACE(password.toStdString());
        Zip zip;
        zip.setPassword(password);
        ASSERT_EQ(zip.createArchive(archive, true), Zip::Ok);
        ASSERT_EQ(zip.addFile(src, Zip::AutoByExtension), Zip::Ok);
        ASSERT_EQ(zip.closeArchive(), Zip::Ok);
        expectPeersAccept(archive, password);
        EXPECT_EQ(extractWithOurReader(archive, password), expected);
        if (!password.isEmpty()) {
            const ktest::ProcessResult r = ztest::python(
                QStringLiteral("import sys,zipfile\n"
                               "print(sorted((i.filename, i.flag_bits) for i in zipfile.ZipFile(sys.argv[1]).infolist()))"),
                {archive}, dir.path());
            EXPECT_EQ(r.out.trimmed(), QByteArray("[('tree/big.txt', 9), ('tree/empty/', 0), ('tree/small.txt', 9), "
                                                  "('tree/stored.bin', 9)]"));
        }
    }
}

TEST_F(ZipWriterTest, EncryptionHeadersDifferBetweenWriters)
{
    const QString source = path(QStringLiteral("same.txt"));
    ztest::writeFile(source, "identical content, identical second");
    QByteArray headers[2];
    for (QByteArray& header : headers) {
        Zip zip;
        zip.setPassword(QStringLiteral("x"));
        ASSERT_EQ(zip.createArchive(archive, true), Zip::Ok);
        ASSERT_EQ(zip.addFile(source, Zip::AutoFixed), Zip::Ok);
        ASSERT_EQ(zip.closeArchive(), Zip::Ok);
        header = ztest::readFile(archive).mid(30 + 8, 12);
    }
    EXPECT_NE(headers[0], headers[1]);
}

TEST_F(ZipWriterTest, SourceEndingBeforeItsSizeRecordsTheBytesRead)
{
    // Kernel attribute files report 4096 bytes and deliver a few.
    const QString source = QStringLiteral("/sys/devices/system/cpu/online");
    const QByteArray content = ztest::readFile(source);
    if (content.isEmpty() || QFileInfo(source).size() <= content.size())
        GTEST_SKIP() << "no file here that ends before its size";
    Zip zip;
    ASSERT_EQ(zip.createArchive(archive, true), Zip::Ok);
    ASSERT_EQ(zip.addFile(source, Zip::AutoFixed), Zip::Ok);
    ASSERT_EQ(zip.closeArchive(), Zip::Ok);
    expectPeersAccept(archive);
    const QJsonObject e = inspect(archive)[QStringLiteral("entries")].toObject()[QStringLiteral("online")].toObject();
    EXPECT_EQ(e[QStringLiteral("method")].toInt(), 8);
    EXPECT_EQ(e[QStringLiteral("size")].toInt(), content.size());
}

TEST_F(ZipWriterTest, RefusesSizesAndOffsetsOf4GiB)
{
    const qint64 fourGiB = qint64(1) << 32;
    const QString sparse = path(QStringLiteral("huge.bin"));
    {
        QFile f(sparse);
        ASSERT_TRUE(f.open(QIODevice::WriteOnly));
        ASSERT_TRUE(f.resize(fourGiB));
    }
    Zip zip;
    ASSERT_EQ(zip.createArchive(archive, true), Zip::Ok);
    EXPECT_EQ(zip.addFile(sparse, Zip::Store), Zip::WriteError);
    ASSERT_EQ(zip.closeArchive(), Zip::Ok);
    EXPECT_EQ(QFileInfo(archive).size(), 22);  // nothing of the refused entry was written

    const QString small = path(QStringLiteral("small.txt"));
    ztest::writeFile(small, "small");
    QFile far(path(QStringLiteral("far.zip")));
    ASSERT_TRUE(far.open(QIODevice::WriteOnly));
    ASSERT_TRUE(far.seek(fourGiB));
    ASSERT_EQ(zip.createArchive(&far), Zip::Ok);
    EXPECT_EQ(zip.addFile(small, Zip::Store), Zip::WriteError);
    EXPECT_EQ(zip.closeArchive(), Zip::WriteError);  // the central directory would start beyond 4 GiB
}

TEST_F(ZipWriterTest, SameNameTwiceKeepsTheLaterInTheDirectory)
{
    ztest::writeFile(path(QStringLiteral("one/same.txt")), "first");
    ztest::writeFile(path(QStringLiteral("two/same.txt")), "second");
    Zip zip;
    ASSERT_EQ(zip.createArchive(archive, true), Zip::Ok);
    ASSERT_EQ(zip.addFile(path(QStringLiteral("one/same.txt")), Zip::AutoFixed), Zip::Ok);
    ASSERT_EQ(zip.addFile(path(QStringLiteral("two/same.txt")), Zip::AutoFixed), Zip::Ok);
    ASSERT_EQ(zip.closeArchive(), Zip::Ok);
    EXPECT_EQ(ztest::readFile(archive).count(QByteArray("PK\x03\x04", 4)), 2);
    const QMap<QString, QByteArray> expected{{QStringLiteral("same.txt"), QByteArray("second")}};
    EXPECT_EQ(extractWithOurReader(archive), expected);
}

// A buffer that takes only so many bytes.
class FullBuffer : public QBuffer {
public:
    explicit FullBuffer(qint64 capacity) : capacity_(capacity) {}

protected:
    qint64 writeData(const char* data, qint64 len) override
    {
        if (pos() + len > capacity_)
            return -1;
        return QBuffer::writeData(data, len);
    }

private:
    qint64 capacity_;
};

TEST_F(ZipWriterTest, WritesIntoACallersDevice)
{
    const QString source = path(QStringLiteral("log.txt"));
    ztest::writeFile(source, ztest::textBytes(70000, 9));
    QBuffer buffer;
    Zip zip;
    ASSERT_EQ(zip.createArchive(&buffer), Zip::Ok);  // opened for writing by the writer
    ASSERT_EQ(zip.addFile(source, Zip::AutoByExtensionAll), Zip::Ok);
    ASSERT_EQ(zip.closeArchive(), Zip::Ok);
    EXPECT_TRUE(buffer.isOpen());  // the caller's device stays as it was
    ztest::writeFile(archive, buffer.data());
    expectPeersAccept(archive);

    FullBuffer full(1000);
    ASSERT_EQ(zip.createArchive(&full), Zip::Ok);
    {
        const ztest::DebugLog log;
        EXPECT_EQ(zip.addFile(source, Zip::AutoFixed), Zip::WriteError);
        EXPECT_EQ(log.messages(), QStringList{QStringLiteral("Error while writing %1").arg(source)});
    }
    EXPECT_EQ(zip.closeArchive(), Zip::Ok);  // the failed entry has no central record

    const QString tiny = path(QStringLiteral("tiny.txt"));
    ztest::writeFile(tiny, "tiny");
    FullBuffer noRoomForTheDirectory(30 + 8 + 4 + 10);
    ASSERT_EQ(zip.createArchive(&noRoomForTheDirectory), Zip::Ok);
    EXPECT_EQ(zip.addFile(tiny, Zip::AutoFixed), Zip::Ok);
    EXPECT_EQ(zip.closeArchive(), Zip::WriteError);

    {
        QBuffer shortLived;
        ASSERT_EQ(zip.createArchive(&shortLived), Zip::Ok);
        ASSERT_EQ(zip.addFile(source, Zip::AutoFixed), Zip::Ok);
    }  // destroyed while the archive is open: the writer forgets it
    EXPECT_EQ(zip.addFile(source, Zip::AutoFixed), Zip::NoArchiveOpen);
    EXPECT_EQ(zip.closeArchive(), Zip::Ok);
}

}  // namespace

// UnZip reading archives made by Info-ZIP zip, 7z and Python's zipfile, committed fixtures, and mutations of
// good archives.
#include <gtest/gtest.h>

#include <QBuffer>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>

#include <csignal>
#include <functional>
#include <set>
#include <sys/resource.h>

#include "tests/support/TestProcess.h"
#include "zip/UnZip.h"
#include "zip/Zip.h"
#include "zip/tests/ZipTestSupport.h"

namespace {

const QDateTime kFileTime(QDate(2023, 6, 1), QTime(12, 0, 0), Qt::UTC);

class ZipReaderTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        ztest::useFixedTimeZone();
        ASSERT_TRUE(dir.isValid());
        const QString missing = ztest::missingPeerProgram();
        ASSERT_TRUE(missing.isEmpty()) << missing.toStdString() << " is needed";
        archive = path(QStringLiteral("a.zip"));
        target = path(QStringLiteral("out"));
    }

    QString path(const QString& rel) const { return dir.filePath(rel); }

    // The source tree the peers pack: text, data over one 256 KiB block, an empty file and an empty folder.
    QMap<QString, QByteArray> makeTree()
    {
        const QString t = path(QStringLiteral("tree"));
        ztest::writeFile(t + QStringLiteral("/a.txt"), ztest::textBytes(100000, 1), kFileTime);
        ztest::writeFile(t + QStringLiteral("/sub/b.bin"), ztest::randomBytes(300000, 2), kFileTime);
        ztest::writeFile(t + QStringLiteral("/small.txt"), "small", kFileTime);
        ztest::writeFile(t + QStringLiteral("/zero.txt"), QByteArray(), kFileTime);
        QDir().mkpath(t + QStringLiteral("/empty"));
        QMap<QString, QByteArray> tree = ztest::listTree(dir.path());
        tree.remove(QStringLiteral("a.zip"));
        return tree;
    }

    void run(const QString& command, const QByteArray& input = QByteArray())
    {
        const ktest::ProcessResult r = ztest::shell(command, dir.path(), input);
        ASSERT_TRUE(r.ok()) << command.toStdString() << "\n" << r.out.constData() << r.err.constData();
    }

    // Python zipfile writing the given entries (name -> content; a name ending in "/" is a folder).
    void pythonArchive(const QString& script)
    {
        const ktest::ProcessResult r = ztest::python(script, {archive}, dir.path());
        ASSERT_TRUE(r.ok()) << r.err.constData();
    }

    UnZip::ErrorCode extract(const QString& zipPath, UnZip::ExtractionOptions options = UnZip::KeepEntryPaths,
                             const QString& password = QString())
    {
        UnZip unzip;
        unzip.setPassword(password);
        const UnZip::ErrorCode ec = unzip.openArchive(zipPath);
        if (ec != UnZip::Ok)
            return ec;
        return unzip.extractAll(target, options);
    }

    QMap<QString, QByteArray> extracted() const { return ztest::listTree(target); }

    QTemporaryDir dir;
    QString archive;
    QString target;
};

struct PeerCase {
    const char* label;
    const char* command;  // run in the folder that holds tree/, writes a.zip
    const char* password;
    const char* input;    // standard input (7z's password prompt)
    bool encrypted;       // every file entry carries the encryption flag
    bool ownDstTimes;     // DOS times follow each file's own daylight saving (7z applies today's offset)
};

class ZipPeerTest : public ZipReaderTest, public ::testing::WithParamInterface<PeerCase> {};

const char* const kPythonStreamed = R"(
import io, os, sys, zipfile
class Unseekable(io.RawIOBase):
    def __init__(self, f): self.f = f
    def writable(self): return True
    def write(self, b): return self.f.write(b)
with open(sys.argv[1], 'wb') as out, zipfile.ZipFile(Unseekable(out), 'w', zipfile.ZIP_DEFLATED) as z:
    for root, dirs, files in os.walk('tree'):
        for d in dirs: z.write(os.path.join(root, d))
        for f in files: z.write(os.path.join(root, f))
)";

TEST_P(ZipPeerTest, ExtractsEveryEntryWithItsTime)
{
    const PeerCase& c = GetParam();
    const QMap<QString, QByteArray> tree = makeTree();
    if (QByteArray(c.command) == "python-streamed")
        pythonArchive(QString::fromLatin1(kPythonStreamed));
    else
        run(QString::fromLatin1(c.command), QByteArray(c.input));
    const ktest::ProcessResult flags = ztest::python(
        QStringLiteral("import sys,zipfile\nprint(all(i.flag_bits & 1 for i in zipfile.ZipFile(sys.argv[1]).infolist()"
                       " if not i.is_dir()))"),
        {archive}, dir.path());
    ASSERT_EQ(flags.out.trimmed(), c.encrypted ? QByteArray("True") : QByteArray("False"));

    ASSERT_EQ(extract(archive, UnZip::KeepEntryPaths, QString::fromLatin1(c.password)), UnZip::Ok);
    EXPECT_EQ(extracted(), tree);
    if (!c.ownDstTimes)
        return;
    for (const char* f : {"tree/a.txt", "tree/sub/b.bin", "tree/zero.txt"})
        EXPECT_EQ(QFileInfo(target + QLatin1Char('/') + QLatin1String(f)).lastModified().toUTC(), kFileTime) << f;
}

INSTANTIATE_TEST_SUITE_P(
    Peers, ZipPeerTest,
    ::testing::Values(
        PeerCase{"zipDeflated", "zip -q -X -r a.zip tree", "", "", false, true},
        PeerCase{"zipExtraFields", "zip -q -r a.zip tree", "", "", false, true},
        PeerCase{"zipStored", "zip -q -0 -r a.zip tree", "", "", false, true},
        PeerCase{"zipPassword", "zip -q -P x -r a.zip tree", "x", "", true, true},  // data descriptor, time check byte
        PeerCase{"zipStreamed", "zip -q -r - tree | cat > a.zip", "", "", false, true},
        PeerCase{"pythonStreamed", "python-streamed", "", "", false, true},
        PeerCase{"sevenEmptyPasswordDeflated", "7z a -tzip -p -mem=ZipCrypto -mm=Deflate -bso0 -bsp0 a.zip tree", "",
                 "\n", true, false},
        PeerCase{"sevenEmptyPasswordStored", "7z a -tzip -p -mem=ZipCrypto -mx=0 -bso0 -bsp0 a.zip tree", "", "\n",
                 true, false},
        PeerCase{"sevenPassword", "7z a -tzip -px -mem=ZipCrypto -bso0 -bsp0 a.zip tree", "x", "", true, false}),
    [](const ::testing::TestParamInfo<PeerCase>& info) { return std::string(info.param.label); });

TEST_F(ZipReaderTest, Bzip2EntriesAreSkippedAndReported)
{
    pythonArchive(QStringLiteral(
        "import sys, zipfile\n"
        "with zipfile.ZipFile(sys.argv[1], 'w') as z:\n"
        "    z.writestr('a.txt', 'deflated a' * 50, zipfile.ZIP_DEFLATED)\n"
        "    z.writestr('b.txt', 'bzip2 b' * 50, zipfile.ZIP_BZIP2)\n"
        "    z.writestr('c.txt', 'deflated c' * 50, zipfile.ZIP_DEFLATED)\n"));
    UnZip unzip;
    ASSERT_EQ(unzip.openArchive(archive), UnZip::Ok);
    EXPECT_EQ(unzip.extractAll(target, UnZip::KeepEntryPaths), UnZip::DecompressorError);
    const QMap<QString, QByteArray> expected{{QStringLiteral("a.txt"), QByteArray("deflated a").repeated(50)},
                                             {QStringLiteral("c.txt"), QByteArray("deflated c").repeated(50)}};
    EXPECT_EQ(extracted(), expected);
}

TEST_F(ZipReaderTest, FindsTheEndRecordBehindAComment)
{
    struct Case {
        const char* entries;
        const char* comment;
        QMap<QString, QByteArray> expected;
    };
    const Case cases[] = {
        {"{'note.txt': 'hello'}", "ten bytes!", {{QStringLiteral("note.txt"), QByteArray("hello")}}},
        {"{}", "", {}},
        {"{}", "an empty archive with a comment", {}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.comment);
        QDir(target).removeRecursively();
        pythonArchive(QStringLiteral("import sys, zipfile\n"
                                     "with zipfile.ZipFile(sys.argv[1], 'w', zipfile.ZIP_DEFLATED) as z:\n"
                                     "    z.comment = b'%1'\n"
                                     "    for n, d in %2.items(): z.writestr(n, d)\n")
                          .arg(QLatin1String(c.comment), QLatin1String(c.entries)));
        EXPECT_EQ(extract(archive), UnZip::Ok);
        EXPECT_EQ(extracted(), c.expected);
    }
    ztest::writeFile(archive, QByteArray("PK\x05\x06", 4) + QByteArray(17, '\0'));  // 21 bytes
    EXPECT_EQ(extract(archive), UnZip::InvalidArchive);
}

// Data appended after the end record pushes it out of the last 65,557 bytes, the first block the reader reads:
// the search goes on backwards in blocks of 256 KiB, each overlapping the next by three bytes. The appended
// lengths are computed from the archive so that the record's signature lies across the border of the first block
// and of the second, and just inside and outside the first.
TEST_F(ZipReaderTest, FindsTheEndRecordBeforeAppendedData)
{
    pythonArchive(QStringLiteral("import sys, zipfile\n"
                                 "with zipfile.ZipFile(sys.argv[1], 'w', zipfile.ZIP_DEFLATED) as z:\n"
                                 "    z.comment = b'note'\n"
                                 "    z.writestr('note.txt', 'hello' * 100)\n"));
    const QByteArray original = ztest::readFile(archive);
    const int recordAndComment = original.size() - original.lastIndexOf(QByteArray("PK\x05\x06", 4));
    ASSERT_EQ(recordAndComment, 22 + 4);
    const int firstBlock = 65557;
    const int block = 262144;
    // Appending firstBlock - recordAndComment + k bytes puts the signature k bytes before the first block.
    const int intoFirst = firstBlock - recordAndComment;
    const int intoSecond = intoFirst - 3 + block;
    struct Case {
        const char* where;
        int appended;
    };
    const Case cases[] = {
        {"first block's start", intoFirst},
        {"across the first border, 1 byte out", intoFirst + 1},
        {"across the first border, 2 bytes out", intoFirst + 2},
        {"across the first border, 3 bytes out", intoFirst + 3},
        {"second block", intoFirst + 4},
        {"across the second border, 1 byte out", intoSecond + 1},
        {"across the second border, 3 bytes out", intoSecond + 3},
        {"third block", 600000},
    };
    const QMap<QString, QByteArray> expected{{QStringLiteral("note.txt"), QByteArray("hello").repeated(100)}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.where);
        QDir(target).removeRecursively();
        ztest::writeFile(archive, original + QByteArray(c.appended, '\0'));
        EXPECT_EQ(extract(archive), UnZip::Ok);
        EXPECT_EQ(extracted(), expected);
    }
    ztest::writeFile(archive, QByteArray(600000, 'j'));
    EXPECT_EQ(extract(archive), UnZip::InvalidArchive);
}

// A stored entry whose data holds an end record, with a comment length that reaches exactly to the end of the
// file once bytes follow the archive's own end record: the record found first from the end is the real one, as
// for Info-ZIP unzip and Python's zipfile.
TEST_F(ZipReaderTest, EndRecordInsideEntryDataIsNotTheArchivesOwn)
{
    pythonArchive(QStringLiteral(R"(
import struct, sys, zipfile
appended = b'appended after the archive ' * 4
def build(comment_length):
    fake = b'PK\x05\x06' + struct.pack('<HHHHIIH', 0, 0, 0, 0, 0, 0, comment_length)
    data = b'calibration values ' * 40 + fake + b'more values ' * 40
    with zipfile.ZipFile(sys.argv[1], 'w', zipfile.ZIP_STORED) as z:
        z.writestr('cal.txt', data)
    with open(sys.argv[1], 'ab') as f:
        f.write(appended)
    return open(sys.argv[1], 'rb').read(), data
raw, data = build(0)
fake_at = raw.find(b'PK\x05\x06')
raw, data = build(len(raw) - fake_at - 22)
assert raw.find(b'PK\x05\x06') == fake_at and fake_at + 22 + struct.unpack('<H', raw[fake_at + 20:fake_at + 22])[0] == len(raw)
open('expected.txt', 'wb').write(data)
)"));
    const QMap<QString, QByteArray> expected{{QStringLiteral("cal.txt"), ztest::readFile(path(QStringLiteral("expected.txt")))}};

    // The peers find the entry (unzip warns about the appended bytes: exit code 1).
    const ktest::ProcessResult unzipped = ztest::shell(QStringLiteral("unzip -o -q a.zip -d peer"), dir.path());
    EXPECT_LE(unzipped.exitCode, 1) << unzipped.err.constData();
    EXPECT_EQ(ztest::listTree(path(QStringLiteral("peer"))), expected);
    const ktest::ProcessResult python = ztest::python(
        QStringLiteral("import sys, zipfile\nzipfile.ZipFile(sys.argv[1]).extractall('python')\n"), {archive}, dir.path());
    ASSERT_TRUE(python.ok()) << python.err.constData();
    EXPECT_EQ(ztest::listTree(path(QStringLiteral("python"))), expected);

    EXPECT_EQ(extract(archive), UnZip::Ok);
    EXPECT_EQ(extracted(), expected);
}

// Entries flagged with a data descriptor after their data, whose local headers carry zeros: the descriptor, with
// or without its signature, must agree with the central record.
TEST_F(ZipReaderTest, DataDescriptorIsCheckedAgainstTheCentralRecord)
{
    const QString script = QStringLiteral(R"(
import struct, sys, zlib
mode = sys.argv[2]
out, central = bytearray(), bytearray()
entries = [('a.txt', b'alpha ' * 300), ('b.txt', b'bravo ' * 200)]
for name, data in entries:
    co = zlib.compressobj(6, zlib.DEFLATED, -15)
    comp = co.compress(data) + co.flush()
    crc, n, offset = zlib.crc32(data), name.encode(), len(out)
    out += struct.pack('<IHHHHHIIIHH', 0x04034b50, 20, 8, 8, 0x6000, 0x5621, 0, 0, 0, len(n), 0) + n + comp
    d = [crc, len(comp), len(data)]
    if name == 'b.txt' and mode != 'signed' and mode != 'unsigned':
        d[int(mode)] ^= 1
    out += (b'' if mode == 'unsigned' else struct.pack('<I', 0x08074b50)) + struct.pack('<III', *d)
    central += struct.pack('<IHHHHHHIIIHHHHHII', 0x02014b50, 20, 20, 8, 8, 0x6000, 0x5621, crc, len(comp),
                           len(data), len(n), 0, 0, 0, 0, 0, offset) + n
out += central + struct.pack('<IHHHHIIH', 0x06054b50, 0, 0, len(entries), len(entries), len(central), len(out), 0)
open(sys.argv[1], 'wb').write(out)
)");
    struct Case {
        const char* mode;  // "signed", "unsigned", or the descriptor field of b.txt that is altered
        UnZip::ErrorCode code;
        QStringList files;
    };
    const Case cases[] = {
        {"signed", UnZip::Ok, {QStringLiteral("a.txt"), QStringLiteral("b.txt")}},
        {"unsigned", UnZip::Ok, {QStringLiteral("a.txt"), QStringLiteral("b.txt")}},
        {"0", UnZip::HeaderMismatch, {QStringLiteral("a.txt")}},  // CRC-32
        {"1", UnZip::HeaderMismatch, {QStringLiteral("a.txt")}},  // compressed size
        {"2", UnZip::HeaderMismatch, {QStringLiteral("a.txt")}},  // uncompressed size
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.mode);
        QDir(target).removeRecursively();
        const ktest::ProcessResult r = ztest::python(script, {archive, QString::fromLatin1(c.mode)}, dir.path());
        ASSERT_TRUE(r.ok()) << r.err.constData();
        EXPECT_EQ(extract(archive), c.code);
        EXPECT_EQ(extracted().keys(), c.files);
        EXPECT_EQ(extracted().value(QStringLiteral("a.txt")), QByteArray("alpha ").repeated(300));
    }
}

class ZipUnsafeNameTest : public ZipReaderTest, public ::testing::WithParamInterface<const char*> {};

TEST_P(ZipUnsafeNameTest, RefusesTheArchiveBeforeWritingAnything)
{
    pythonArchive(QStringLiteral("import sys, zipfile\n"
                                 "with zipfile.ZipFile(sys.argv[1], 'w') as z:\n"
                                 "    z.writestr('a-good.txt', 'good')\n"
                                 "    z.writestr(zipfile.ZipInfo(%1), 'evil')\n"
                                 "    z.writestr('z-good.txt', 'good')\n")
                      .arg(QString::fromUtf8(GetParam())));
    target = path(QStringLiteral("deep/out"));
    EXPECT_EQ(extract(archive), UnZip::InvalidArchive);
    const QMap<QString, QByteArray> before{{QStringLiteral("a.zip"), ztest::readFile(archive)}};
    EXPECT_EQ(ztest::listTree(dir.path()), before);
}

INSTANTIATE_TEST_SUITE_P(Names, ZipUnsafeNameTest,
                         ::testing::Values("'../evil.txt'", "'sub/../../evil.txt'", "'..\\\\..\\\\evil.txt'",
                                           "'/tmp/evil.txt'", "'\\\\evil.txt'", "'C:/evil.txt'", "'c:evil.txt'"));

TEST_F(ZipReaderTest, BackslashesSeparateFolders)
{
    pythonArchive(QStringLiteral("import sys, zipfile\n"
                                 "with zipfile.ZipFile(sys.argv[1], 'w') as z:\n"
                                 "    z.writestr(zipfile.ZipInfo('dir\\\\sub\\\\'), '')\n"
                                 "    z.writestr('dir\\\\file.txt', 'content')\n"));
    ASSERT_EQ(extract(archive), UnZip::Ok);
    const QMap<QString, QByteArray> expected{{QStringLiteral("dir/"), QByteArray()},
                                             {QStringLiteral("dir/sub/"), QByteArray()},
                                             {QStringLiteral("dir/file.txt"), QByteArray("content")}};
    EXPECT_EQ(extracted(), expected);
}

TEST_F(ZipReaderTest, WrongPasswordFailsThatEntryOnly)
{
    // Made with "zip -P x" (a_secret.txt) and then plain zip (b_plain.txt); the empty password fails the check byte.
    const QString fixture = ztest::fixture(QStringLiteral("wrong-password.zip"));
    EXPECT_EQ(extract(fixture), UnZip::WrongPassword);
    EXPECT_EQ(extracted().keys(), QStringList{QStringLiteral("b_plain.txt")});

    QDir(target).removeRecursively();
    ASSERT_EQ(extract(fixture, UnZip::KeepEntryPaths, QStringLiteral("x")), UnZip::Ok);
    EXPECT_EQ(extracted().value(QStringLiteral("a_secret.txt")),
              QByteArray("secret calibration values\n").repeated(20));

    // Made with "7z -px -mx=0": no data descriptor, so the check byte is the CRC's.
    const QString sevenFixture = ztest::fixture(QStringLiteral("wrong-password-7z.zip"));
    QDir(target).removeRecursively();
    EXPECT_EQ(extract(sevenFixture), UnZip::WrongPassword);
    EXPECT_TRUE(extracted().isEmpty());
    EXPECT_EQ(extract(sevenFixture, UnZip::KeepEntryPaths, QStringLiteral("x")), UnZip::Ok);
    EXPECT_EQ(extracted().keys(), (QStringList{QStringLiteral("a_secret.txt"), QStringLiteral("b_plain.txt")}));
}

TEST_F(ZipReaderTest, OptionsShapeWhatIsWritten)
{
    pythonArchive(QStringLiteral("import sys, zipfile\n"
                                 "with zipfile.ZipFile(sys.argv[1], 'w', zipfile.ZIP_DEFLATED) as z:\n"
                                 "    z.writestr('a/b/c.txt', 'c' * 1000)\n"
                                 "    z.writestr('a/empty/', '')\n"
                                 "    z.writestr('top.txt', 'top')\n"));
    EXPECT_EQ(extract(archive, UnZip::CheckOnly), UnZip::Ok);
    EXPECT_FALSE(QFileInfo::exists(target));

    EXPECT_EQ(extract(archive, UnZip::FlattenEntryPaths), UnZip::Ok);
    const QMap<QString, QByteArray> flat{{QStringLiteral("c.txt"), QByteArray(1000, 'c')},
                                         {QStringLiteral("top.txt"), QByteArray("top")}};
    EXPECT_EQ(extracted(), flat);

    QDir(target).removeRecursively();
    const ztest::DebugLog log;
    EXPECT_EQ(extract(archive, UnZip::TargetMustExist | UnZip::FlattenEntryPaths), UnZip::CannotOpen);
    EXPECT_FALSE(QFileInfo::exists(target));
    EXPECT_TRUE(log.messages().contains(QStringLiteral("Unable to open %1/c.txt for writing").arg(target)))
        << log.messages().join('\n').toStdString();
}

TEST_F(ZipReaderTest, ReportsOpenFailures)
{
    UnZip unzip;
    EXPECT_EQ(unzip.extractAll(target, UnZip::KeepEntryPaths), UnZip::NoArchiveOpen);
    EXPECT_EQ(unzip.openArchive(path(QStringLiteral("missing.zip"))), UnZip::ArchiveNotFound);
    EXPECT_EQ(unzip.openArchive(static_cast<QIODevice*>(nullptr)), UnZip::InvalidDevice);
    QFile writeOnly(path(QStringLiteral("w.zip")));
    ASSERT_TRUE(writeOnly.open(QIODevice::WriteOnly));
    EXPECT_EQ(unzip.openArchive(&writeOnly), UnZip::CannotOpen);

    // A device destroyed while open closes the archive.
    Zip zip;
    ztest::writeFile(path(QStringLiteral("f.txt")), "content");
    auto* buffer = new QBuffer;
    ASSERT_EQ(zip.createArchive(buffer), Zip::Ok);
    ASSERT_EQ(zip.addFile(path(QStringLiteral("f.txt")), Zip::AutoFixed), Zip::Ok);
    ASSERT_EQ(zip.closeArchive(), Zip::Ok);
    buffer->close();
    ASSERT_EQ(unzip.openArchive(buffer), UnZip::Ok);  // opened for reading by the reader
    delete buffer;
    EXPECT_EQ(unzip.extractAll(target, UnZip::KeepEntryPaths), UnZip::NoArchiveOpen);
}

// Where the records of a small archive lie: read with the format's field offsets.
struct Layout {
    struct Entry {
        int central;  // offset of the central record
        int local;    // offset of the local header
        int data;     // offset of the data
        int compressedSize;
    };
    QMap<QString, Entry> entries;
    int centralDirectory = 0;
    int endRecord = 0;

    static quint32 get(const QByteArray& b, int at, int width)
    {
        quint32 v = 0;
        for (int i = width - 1; i >= 0; --i)
            v = (v << 8) | uchar(b.at(at + i));
        return v;
    }
    static void put(QByteArray& b, int at, int width, quint32 v)
    {
        for (int i = 0; i < width; ++i)
            b[at + i] = char(v >> (8 * i));
    }
    explicit Layout(const QByteArray& b)
    {
        endRecord = b.size() - 22;
        centralDirectory = int(get(b, endRecord + 16, 4));
        for (int at = centralDirectory; get(b, at, 4) == 0x02014b50;) {
            const int n = int(get(b, at + 28, 2));
            Entry e;
            e.central = at;
            e.local = int(get(b, at + 42, 4));
            e.compressedSize = int(get(b, at + 20, 4));
            e.data = e.local + 30 + int(get(b, e.local + 26, 2)) + int(get(b, e.local + 28, 2));
            entries.insert(QString::fromLatin1(b.mid(at + 46, n)), e);
            at += 46 + n + int(get(b, at + 30, 2)) + int(get(b, at + 32, 2));
        }
    }
};

struct MutationCase {
    const char* label;
    std::function<void(QByteArray&, const Layout&)> mutate;
    UnZip::ErrorCode openCode;
    std::set<UnZip::ErrorCode> extractCodes;  // when the archive opened
    QStringList survivors;                    // files extracted
    const char* message;                      // a debug text the reader logs on the way, or ""
};

void PrintTo(const MutationCase& c, std::ostream* os) { *os << c.label; }

class ZipMutationTest : public ZipReaderTest, public ::testing::WithParamInterface<MutationCase> {};

// Sets a field of an entry's local header (offset from its start) and of its central record alike.
void putBoth(QByteArray& b, const Layout::Entry& e, int localAt, int centralAt, int width, quint32 v)
{
    Layout::put(b, e.local + localAt, width, v);
    Layout::put(b, e.central + centralAt, width, v);
}

TEST_P(ZipMutationTest, GivesItsCodeWithoutReadingOutOfBounds)
{
    const MutationCase& c = GetParam();
    ztest::writeFile(path(QStringLiteral("src/a.txt")), ztest::textBytes(5000, 1));
    ztest::writeFile(path(QStringLiteral("src/b.bin")), ztest::randomBytes(100, 2));
    ztest::writeFile(path(QStringLiteral("src/c.txt")), ztest::textBytes(3000, 3));
    {
        Zip zip;
        ASSERT_EQ(zip.createArchive(archive, true), Zip::Ok);
        for (const char* f : {"a.txt", "b.bin", "c.txt"})
            ASSERT_EQ(zip.addFile(path(QStringLiteral("src/") + QLatin1String(f)), Zip::AutoByExtension), Zip::Ok);
        ASSERT_EQ(zip.closeArchive(), Zip::Ok);
    }
    QByteArray bytes = ztest::readFile(archive);
    const Layout layout(bytes);
    ASSERT_EQ(layout.entries.size(), 3);
    c.mutate(bytes, layout);

    for (const UnZip::ExtractionOptions options : {UnZip::ExtractionOptions(UnZip::KeepEntryPaths),
                                                   UnZip::ExtractionOptions(UnZip::CheckOnly)}) {
        SCOPED_TRACE(int(options));
        QDir(target).removeRecursively();
        QBuffer buffer(&bytes);
        ASSERT_TRUE(buffer.open(QIODevice::ReadOnly));
        UnZip unzip;
        const ztest::DebugLog log;
        const UnZip::ErrorCode opened = unzip.openArchive(&buffer);
        ASSERT_EQ(opened, c.openCode);
        if (opened == UnZip::Ok || opened == UnZip::PartlyCorrupted) {
            const UnZip::ErrorCode ec = unzip.extractAll(target, options);
            EXPECT_TRUE(c.extractCodes.count(ec)) << "extractAll gave " << int(ec);
        }
        if (*c.message) {
            EXPECT_TRUE(log.messages().contains(QString::fromLatin1(c.message)))
                << log.messages().join('\n').toStdString();
        }
        if (opened != UnZip::Ok && opened != UnZip::PartlyCorrupted)
            continue;
        if (options & UnZip::CheckOnly) {
            EXPECT_FALSE(QFileInfo::exists(target));
        } else {
            EXPECT_EQ(extracted().keys(), c.survivors);
            for (const QString& f : c.survivors)
                EXPECT_EQ(ztest::readFile(target + QLatin1Char('/') + f),
                          ztest::readFile(path(QStringLiteral("src/") + f)));
        }
    }
}

const QString kA = QStringLiteral("a.txt");
const QString kB = QStringLiteral("b.bin");
const QString kC = QStringLiteral("c.txt");
const QStringList kAll{kA, kB, kC};
using E = UnZip::ErrorCode;

INSTANTIATE_TEST_SUITE_P(
    Mutations, ZipMutationTest,
    ::testing::Values(
        MutationCase{"unchanged", [](QByteArray&, const Layout&) {}, UnZip::Ok, {UnZip::Ok}, kAll, ""},
        // a stored entry altered: it is removed again, the entries before it stay
        MutationCase{"flippedStoredByte",
                     [](QByteArray& b, const Layout& l) { b[l.entries[kB].data + 50] = char(b[l.entries[kB].data + 50] ^ 1); },
                     UnZip::Ok, {UnZip::Corrupted}, {kA}, "Corrupted entry b.bin"},
        MutationCase{"flippedDeflatedByte",
                     [](QByteArray& b, const Layout& l) { b[l.entries[kC].data + 40] = char(b[l.entries[kC].data + 40] ^ 0x10); },
                     UnZip::Ok, {UnZip::Corrupted, UnZip::DecompressorError}, {kA, kB}, ""},
        MutationCase{"truncatedInLocalHeader", [](QByteArray& b, const Layout&) { b.truncate(20); },
                     UnZip::InvalidArchive, {}, {}, ""},
        MutationCase{"truncatedInData", [](QByteArray& b, const Layout& l) { b.truncate(l.entries[kB].data + 10); },
                     UnZip::InvalidArchive, {}, {}, ""},
        MutationCase{"truncatedInCentralDirectory",
                     [](QByteArray& b, const Layout& l) { b.truncate(l.centralDirectory + 60); },
                     UnZip::InvalidArchive, {}, {}, ""},
        MutationCase{"truncatedInEndRecord", [](QByteArray& b, const Layout& l) { b.truncate(l.endRecord + 15); },
                     UnZip::InvalidArchive, {}, {}, ""},
        MutationCase{"commentCutShort",
                     [](QByteArray& b, const Layout& l) {
                         Layout::put(b, l.endRecord + 20, 2, 40);
                         b += "only twenty bytes...";
                     },
                     UnZip::ReadError, {}, {}, ""},
        MutationCase{"junkPrefix", [](QByteArray& b, const Layout&) { b.prepend(QByteArray(100, 'j')); },
                     UnZip::Corrupted, {}, {}, "Corrupted or invalid zip archive. Closing."},
        MutationCase{"brokenEndSignature", [](QByteArray& b, const Layout& l) { b[l.endRecord + 3] = 7; },
                     UnZip::InvalidArchive, {}, {}, ""},
        MutationCase{"moreEntriesCountedThanListed",
                     [](QByteArray& b, const Layout& l) { Layout::put(b, l.endRecord + 10, 2, 4); },
                     UnZip::PartlyCorrupted, {UnZip::Ok}, kAll,
                     "Corrupted zip archive. Some files might be extracted."},
        MutationCase{"directoryOffsetIntoData",
                     [](QByteArray& b, const Layout& l) { Layout::put(b, l.endRecord + 16, 4, 0); },
                     UnZip::Corrupted, {}, {}, "Corrupted or invalid zip archive. Closing."},
        MutationCase{"directoryOffsetBeyondEnd",
                     [](QByteArray& b, const Layout& l) { Layout::put(b, l.endRecord + 16, 4, 0x7fffffff); },
                     UnZip::SeekError, {}, {}, ""},
        MutationCase{"compressedSizeBeyondEnd",
                     [](QByteArray& b, const Layout& l) { putBoth(b, l.entries[kB], 18, 20, 4, 0x7ffffff0); },
                     UnZip::Ok, {UnZip::Corrupted}, {kA}, "Corrupted entry b.bin"},
        // a deflate bomb: more output than the recorded size is never written
        MutationCase{"uncompressedSizeTooSmall",
                     [](QByteArray& b, const Layout& l) { putBoth(b, l.entries[kA], 22, 24, 4, 10); },
                     UnZip::Ok, {UnZip::Corrupted}, {}, "Corrupted entry a.txt"},
        MutationCase{"localNameDiffers",
                     [](QByteArray& b, const Layout& l) { b[l.entries[kB].local + 30] = 'x'; },
                     UnZip::Ok, {UnZip::HeaderMismatch}, {kA}, "Filename in local header mismatches."},
        MutationCase{"localSignatureBroken",
                     [](QByteArray& b, const Layout& l) { b[l.entries[kB].local + 2] = 9; },
                     UnZip::Ok, {UnZip::InvalidArchive}, {kA}, ""},
        MutationCase{"localCrcDiffers",
                     [](QByteArray& b, const Layout& l) { b[l.entries[kA].local + 14] = char(b[l.entries[kA].local + 14] ^ 1); },
                     UnZip::Ok, {UnZip::HeaderMismatch}, {}, ""},
        // skipped records leave the others readable but the result reports them
        MutationCase{"unsupportedMethodBetween",
                     [](QByteArray& b, const Layout& l) { Layout::put(b, l.entries[kB].central + 10, 2, 12); },
                     UnZip::Ok, {UnZip::DecompressorError}, {kA, kC}, "Unsupported compression method. Skipping file."},
        MutationCase{"unsupportedVersionBetween",
                     [](QByteArray& b, const Layout& l) { Layout::put(b, l.entries[kB].central + 6, 2, 45); },
                     UnZip::Ok, {UnZip::DecompressorError}, {kA, kC},
                     "Unsupported PKZip version (4.5). Skipping file: b.bin"},
        // the name's bytes become the extra field, so the records after it still line up
        MutationCase{"emptyNameBetween",
                     [](QByteArray& b, const Layout& l) {
                         Layout::put(b, l.entries[kB].central + 28, 2, 0);
                         Layout::put(b, l.entries[kB].central + 30, 2, 5);
                     },
                     UnZip::Ok, {UnZip::DecompressorError}, {kA, kC}, "Skipping file with no name."},
        MutationCase{"nulInName",
                     [](QByteArray& b, const Layout& l) {
                         b[l.entries[kB].local + 31] = 0;
                         b[l.entries[kB].central + 47] = 0;
                     },
                     UnZip::Ok, {UnZip::InvalidArchive}, {}, ""},
        MutationCase{"encryptedShorterThanItsHeader",
                     [](QByteArray& b, const Layout& l) {
                         putBoth(b, l.entries[kB], 6, 8, 2, 1);
                         putBoth(b, l.entries[kB], 18, 20, 4, 5);
                         putBoth(b, l.entries[kB], 22, 24, 4, 5);
                     },
                     UnZip::Ok, {UnZip::Corrupted}, {kA}, "Unable to decrypt b.bin"}),
    [](const ::testing::TestParamInfo<MutationCase>& info) { return std::string(info.param.label); });

TEST_F(ZipReaderTest, FailedEntryLeavesTheExistingFile)
{
    ztest::writeFile(path(QStringLiteral("src/b.bin")), ztest::randomBytes(100, 2));
    {
        Zip zip;
        ASSERT_EQ(zip.createArchive(archive, true), Zip::Ok);
        ASSERT_EQ(zip.addFile(path(QStringLiteral("src/b.bin")), Zip::AutoByExtension), Zip::Ok);
        ASSERT_EQ(zip.closeArchive(), Zip::Ok);
    }
    QByteArray bytes = ztest::readFile(archive);
    bytes[30 + 5 + 10] = char(bytes[30 + 5 + 10] ^ 1);
    ztest::writeFile(archive, bytes);
    ztest::writeFile(target + QStringLiteral("/b.bin"), "previous calibration");
    EXPECT_EQ(extract(archive), UnZip::Corrupted);
    const QMap<QString, QByteArray> expected{{QStringLiteral("b.bin"), QByteArray("previous calibration")}};
    EXPECT_EQ(extracted(), expected);
}

// Symbolic links already in the extraction folder: one that stays inside is written through, one that leads out
// of it fails the entry before anything is made or written outside.
struct LinkedFolderCase {
    const char* label;
    const char* entry;
    UnZip::ErrorCode code;
};

void PrintTo(const LinkedFolderCase& c, std::ostream* os) { *os << c.label; }

class ZipLinkedFolderTest : public ZipReaderTest, public ::testing::WithParamInterface<LinkedFolderCase> {};

TEST_P(ZipLinkedFolderTest, WritesOnlyInsideTheExtractionFolder)
{
    const LinkedFolderCase& c = GetParam();
    const QString outside = path(QStringLiteral("outside"));
    ASSERT_TRUE(QDir().mkpath(outside));
    ztest::writeFile(target + QStringLiteral("/data/old.txt"), "old");
    ASSERT_TRUE(QFile::link(QStringLiteral("data"), target + QStringLiteral("/inside")));
    ASSERT_TRUE(QFile::link(outside, target + QStringLiteral("/away")));
    ASSERT_TRUE(QFile::link(QStringLiteral(".."), target + QStringLiteral("/up")));
    pythonArchive(QStringLiteral("import sys, zipfile\n"
                                 "with zipfile.ZipFile(sys.argv[1], 'w') as z:\n"
                                 "    z.writestr('%1', 'new')\n")
                      .arg(QLatin1String(c.entry)));
    EXPECT_EQ(extract(archive), c.code);
    EXPECT_EQ(ztest::listTree(outside), (QMap<QString, QByteArray>{}));
    EXPECT_FALSE(QFileInfo::exists(path(QStringLiteral("x.txt"))));
    EXPECT_FALSE(QFileInfo::exists(path(QStringLiteral("new"))));
    if (c.code == UnZip::Ok) {
        EXPECT_EQ(ztest::readFile(target + QStringLiteral("/data/x.txt")), "new");
    }
}

INSTANTIATE_TEST_SUITE_P(
    Links, ZipLinkedFolderTest,
    ::testing::Values(LinkedFolderCase{"inside", "inside/x.txt", UnZip::Ok},
                      LinkedFolderCase{"absoluteOut", "away/x.txt", UnZip::CannotCreateDirectory},
                      LinkedFolderCase{"absoluteOutNewFolder", "away/new/x.txt", UnZip::CannotCreateDirectory},
                      LinkedFolderCase{"folderEntryOut", "away/new/", UnZip::CannotCreateDirectory},
                      LinkedFolderCase{"relativeUp", "up/x.txt", UnZip::CannotCreateDirectory},
                      LinkedFolderCase{"relativeUpNewFolder", "up/new/x.txt", UnZip::CannotCreateDirectory}),
    [](const ::testing::TestParamInfo<LinkedFolderCase>& info) { return std::string(info.param.label); });

// An extraction folder that lies under a symbolic link, existing or still to be made, or is a link itself, as a
// linked home or data folder gives it.
TEST_F(ZipReaderTest, ExtractsIntoAFolderReachedThroughALink)
{
    const QMap<QString, QByteArray> tree = makeTree();
    run(QStringLiteral("zip -q -X -r a.zip tree"));
    ASSERT_TRUE(QDir().mkpath(path(QStringLiteral("real/existing"))));
    ASSERT_TRUE(QFile::link(path(QStringLiteral("real")), path(QStringLiteral("home"))));
    ASSERT_TRUE(QFile::link(QStringLiteral("real/existing"), path(QStringLiteral("linkedOut"))));
    for (const char* folder : {"home/existing", "home/new/out", "linkedOut"}) {
        SCOPED_TRACE(folder);
        target = path(QLatin1String(folder));
        EXPECT_EQ(extract(archive), UnZip::Ok);
        EXPECT_EQ(extracted(), tree);
    }
    EXPECT_EQ(ztest::listTree(path(QStringLiteral("real/new/out"))), tree);
}

// A name longer than the file system holds is refused when its file is opened, before its data is read.
TEST_F(ZipReaderTest, EntryNameTooLongIsRefusedAtOpen)
{
    pythonArchive(QStringLiteral("import sys, zipfile\n"
                                 "with zipfile.ZipFile(sys.argv[1], 'w', zipfile.ZIP_DEFLATED) as z:\n"
                                 "    z.writestr('a.txt', 'first')\n"
                                 "    z.writestr('sub/' + 'x' * 256, 'long name' * 1000)\n"));
    const ztest::DebugLog log;
    EXPECT_EQ(extract(archive), UnZip::CannotOpen);
    const QString longName = target + QStringLiteral("/sub/") + QString(256, QLatin1Char('x'));
    EXPECT_TRUE(log.messages().contains(QStringLiteral("Unable to open %1 for writing").arg(longName)))
        << log.messages().join('\n').toStdString();
    const QMap<QString, QByteArray> expected{{QStringLiteral("a.txt"), QByteArray("first")},
                                             {QStringLiteral("sub/"), QByteArray()}};
    EXPECT_EQ(extracted(), expected);
}

// A write failing part-way through an entry, as on a full disk (here the file size limit, in a child process):
// the result is WriteError, the existing file keeps its content and no temporary file is left.
TEST_F(ZipReaderTest, WriteFailingMidEntryKeepsTheExistingFile)
{
    ztest::writeFile(path(QStringLiteral("src/big.bin")), ztest::randomBytes(400000, 4));
    const QMap<QString, QByteArray> expected{{QStringLiteral("big.bin"), QByteArray("previous calibration")}};
    for (const char* method : {"-0", "-6"}) {  // stored, deflated
        SCOPED_TRACE(method);
        QFile::remove(archive);
        run(QStringLiteral("cd src && zip -q -X %1 ../a.zip big.bin").arg(QLatin1String(method)));
        QDir(target).removeRecursively();
        ztest::writeFile(target + QStringLiteral("/big.bin"), "previous calibration");
        const int code = ktest::exitCodeInChild([&] {
            const rlimit limit{100000, 100000};  // less than one block of output
            if (::signal(SIGXFSZ, SIG_IGN) == SIG_ERR || ::setrlimit(RLIMIT_FSIZE, &limit) != 0)
                return 100;
            return int(extract(archive));
        });
        EXPECT_EQ(code, int(UnZip::WriteError));
        EXPECT_EQ(extracted(), expected);
    }
}

}  // namespace

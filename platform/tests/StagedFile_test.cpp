// Files written beside their target and renamed over it, and the flush and exchange helpers used with them.
#include <gtest/gtest.h>

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>

#include <sys/stat.h>
#include <unistd.h>

#include "platform/FileSync.h"
#include "platform/StagedFile.h"
#include "tests/support/TestFiles.h"
#include "tests/support/TestProcess.h"

namespace {

using ktest::fileMode;
using ktest::readFile;
using ktest::writeFile;

QStringList entries(const QString& dir)
{
    return QDir(dir).entryList(QDir::AllEntries | QDir::NoDotAndDotDot | QDir::Hidden | QDir::System, QDir::Name);
}

}  // namespace

TEST(StagedFile, ReplacesTheTargetOnlyOnCommit)
{
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    const QString target = dir.filePath(QStringLiteral("cal.bin"));
    writeFile(target, "previous");

    {
        platform::StagedFile f(target);
        ASSERT_TRUE(f.open(QIODevice::WriteOnly));
        ASSERT_EQ(f.write("half of the new"), 15);
        EXPECT_EQ(entries(dir.path()).size(), 2);  // the target and the temporary file beside it
        EXPECT_EQ(readFile(target), QByteArray("previous"));
        f.discard();
    }
    EXPECT_EQ(entries(dir.path()), QStringList{QStringLiteral("cal.bin")});
    {
        platform::StagedFile f(target);
        ASSERT_TRUE(f.open(QIODevice::WriteOnly));
        ASSERT_EQ(f.write("dropped by the destructor"), 25);
    }
    EXPECT_EQ(entries(dir.path()), QStringList{QStringLiteral("cal.bin")});
    EXPECT_EQ(readFile(target), QByteArray("previous"));

    const QDateTime modified(QDate(2021, 7, 15), QTime(10, 20, 30, 250), Qt::UTC);
    platform::StagedFile f(target);
    ASSERT_TRUE(f.open(QIODevice::WriteOnly));
    const QByteArray data(300000, 'n');
    ASSERT_EQ(f.write(data), data.size());
    ASSERT_TRUE(f.commit(modified));
    EXPECT_TRUE(f.timeSet());
    EXPECT_FALSE(f.isOpen());
    EXPECT_EQ(readFile(target), data);
    EXPECT_EQ(QFileInfo(target).lastModified().toUTC(), modified);
    EXPECT_EQ(entries(dir.path()), QStringList{QStringLiteral("cal.bin")});

    const QString longName = dir.filePath(QString(255, QLatin1Char('l')));
    platform::StagedFile longest(longName);
    ASSERT_TRUE(longest.open(QIODevice::WriteOnly));
    ASSERT_TRUE(longest.commit(QDateTime()));
    EXPECT_TRUE(QFileInfo::exists(longName));

    platform::StagedFile missing(dir.filePath(QStringLiteral("no/such/folder/x")));
    EXPECT_FALSE(missing.open(QIODevice::WriteOnly));
    EXPECT_FALSE(missing.commit(modified));
}

TEST(StagedFile, FailedRenameRemovesTheTemporaryFile)
{
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    const QString target = dir.filePath(QStringLiteral("taken"));  // a folder that is not empty
    ASSERT_TRUE(QDir().mkpath(target));
    writeFile(target + QStringLiteral("/inside.txt"), "inside");

    platform::StagedFile f(target);
    ASSERT_TRUE(f.open(QIODevice::WriteOnly));
    ASSERT_EQ(f.write("new"), 3);
    EXPECT_FALSE(f.commit(QDateTime()));
    EXPECT_FALSE(f.isOpen());
    EXPECT_EQ(entries(dir.path()), QStringList{QStringLiteral("taken")});
    EXPECT_EQ(readFile(target + QStringLiteral("/inside.txt")), QByteArray("inside"));
}

// An existing target keeps its permissions; one the writer may not write is refused, as a direct write would be,
// but a link to one is not: the link itself is replaced and the folder is writable.
TEST(StagedFile, RefusesAReadOnlyTargetButNotALinkToOne)
{
    QTemporaryDir dir(QStringLiteral("/tmp/kestrune-staged-XXXXXX"));  // reachable by a writer without root
    ASSERT_TRUE(dir.isValid());
    const QString kept = dir.filePath(QStringLiteral("kept.bin"));
    writeFile(kept, "old");
    ASSERT_EQ(::chmod(QFile::encodeName(kept).constData(), 0640), 0);
    platform::StagedFile f(kept);
    ASSERT_TRUE(f.open(QIODevice::WriteOnly));
    ASSERT_TRUE(f.commit(QDateTime()));
    EXPECT_EQ(fileMode(kept), 0640u);

    // The refusal is shown by a writer that is not the owner: as root, a child that gives up root first.
    const QString readOnly = dir.filePath(QStringLiteral("read-only.bin"));
    const QString writable = dir.filePath(QStringLiteral("writable.bin"));
    const QString link = dir.filePath(QStringLiteral("link.bin"));
    writeFile(readOnly, "keep me");
    writeFile(writable, "replace me");
    ASSERT_EQ(::chmod(QFile::encodeName(readOnly).constData(), 0444), 0);
    ASSERT_EQ(::chmod(QFile::encodeName(writable).constData(), 0666), 0);
    ASSERT_EQ(::chmod(QFile::encodeName(dir.path()).constData(), 0777), 0);
    ASSERT_TRUE(QFile::link(QStringLiteral("read-only.bin"), link));
    const int code = ktest::exitCodeInChild([&] {
        if (::geteuid() == 0 && (::setgid(65534) != 0 || ::setuid(65534) != 0))
            return 10;
        platform::StagedFile refused(readOnly);
        if (refused.open(QIODevice::WriteOnly))
            return 11;
        platform::StagedFile accepted(writable);
        if (!accepted.open(QIODevice::WriteOnly) || accepted.write("new", 3) != 3 || !accepted.commit(QDateTime()))
            return 12;
        platform::StagedFile linked(link);
        if (!linked.open(QIODevice::WriteOnly) || linked.write("linked", 6) != 6 || !linked.commit(QDateTime()))
            return 13;
        return 0;
    });
    EXPECT_EQ(code, 0);
    EXPECT_EQ(readFile(readOnly), QByteArray("keep me"));
    EXPECT_EQ(readFile(writable), QByteArray("new"));
    EXPECT_FALSE(QFileInfo(link).isSymLink());
    EXPECT_EQ(readFile(link), QByteArray("linked"));
    EXPECT_EQ(entries(dir.path()).size(), 4);  // no temporary file left
}

// New content takes the permission bits of what it replaces, never a set-id bit; a link has none to give.
TEST(StagedFile, NewContentGetsNoSetIdBitsAndNotALinkedFilesMode)
{
    const mode_t mask = ::umask(0);
    ::umask(mask);
    const unsigned newFile = 0666u & ~unsigned(mask);
    struct Case {
        const char* label;
        mode_t existing;  // mode of the file at the target, or of the file the link there leads to
        bool link;
        unsigned expected;
    };
    const Case cases[] = {
        {"setuid and setgid", 06755, false, 0755},
        {"setgid", 02750, false, 0750},
        {"link to a read-only file", 0444, true, newFile},
        {"link to a setuid file", 04700, true, newFile},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.label);
        QTemporaryDir dir;
        ASSERT_TRUE(dir.isValid());
        const QString target = dir.filePath(QStringLiteral("cal.bin"));
        const QString file = c.link ? dir.filePath(QStringLiteral("elsewhere.bin")) : target;
        writeFile(file, "old");
        ASSERT_EQ(::chmod(QFile::encodeName(file).constData(), c.existing), 0);
        ASSERT_EQ(fileMode(file), unsigned(c.existing));
        if (c.link) {
            ASSERT_TRUE(QFile::link(file, target));
        }

        platform::StagedFile f(target);
        ASSERT_TRUE(f.open(QIODevice::WriteOnly));
        ASSERT_EQ(f.write("new"), 3);
        ASSERT_TRUE(f.commit(QDateTime()));
        EXPECT_FALSE(QFileInfo(target).isSymLink());
        EXPECT_EQ(readFile(target), QByteArray("new"));
        EXPECT_EQ(fileMode(target), c.expected);
        if (c.link) {
            EXPECT_EQ(readFile(file), QByteArray("old"));
            EXPECT_EQ(fileMode(file), unsigned(c.existing));
        }
    }
}

// A temporary file is named in ASCII whatever the target's name, so the folder's listing gives a name that can be
// removed again, and isTemporaryName knows it.
TEST(StagedFile, TemporaryNamesAreRecognisedAndRemovable)
{
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    const QString targets[] = {
        QStringLiteral("cal.bin"),
        QStringLiteral("a") + QString(127, QChar(0xe9)),  // 255 bytes of UTF-8 made of 2-byte characters
        QString(85, QChar(0x20ac)),                       // 255 bytes of 3-byte characters
    };
    for (const QString& name : targets) {
        SCOPED_TRACE(name.toStdString());
        ASSERT_LE(QFile::encodeName(name).size(), 255);
        platform::StagedFile f(dir.filePath(name));
        ASSERT_TRUE(f.open(QIODevice::WriteOnly));
        const QStringList listed = entries(dir.path());
        ASSERT_EQ(listed.size(), 1);
        EXPECT_TRUE(platform::StagedFile::isTemporaryName(listed.first()));
        EXPECT_FALSE(platform::StagedFile::isTemporaryName(name));
        // What a clean-up after a killed run does with the listing.
        EXPECT_TRUE(QFile::remove(dir.filePath(listed.first())));
        EXPECT_TRUE(entries(dir.path()).isEmpty());
    }

    for (const char* other : {"", ".staged~", ".staged~0123456789abcde", ".staged~0123456789abcdef0",
                              ".staged~0123456789ABCDEF", ".staged~0123456789abcdeg", "staged~0123456789abcdef",
                              ".staged-0123456789abcdef", "x.staged~0123456789abcde"}) {
        EXPECT_FALSE(platform::StagedFile::isTemporaryName(QString::fromLatin1(other))) << other;
    }
    EXPECT_TRUE(platform::StagedFile::isTemporaryName(QStringLiteral(".staged~0123456789abcdef")));
}

// What a clean-up after a killed run may remove: today's temporary names, and the earlier form
// ".<first 200 bytes of the target's name>.<32-bit number in base 36>" where the cut fell inside a character. A
// user's file is kept whatever it looks like: its name is valid UTF-8 or not of that exact shape.
TEST(StagedFile, LeftoverNames)
{
    const QByteArray cut199 = QByteArray(199, 'c');  // a cut name is this plus the first byte of a 2-byte character
    const struct {
        const char* label;
        QByteArray name;
        bool leftover;
    } cases[] = {
        {"today's form", ".staged~0123456789abcdef", true},
        {"cut after 1 of 2 bytes", "." + cut199 + "\xc3.1k2j3", true},
        {"cut after 2 of 3 bytes, the largest number", "." + QByteArray(198, 'c') + "\xe2\x82.1z141z3", true},
        {"cut after 3 of 4 bytes, number 0", "." + QByteArray(197, 'c') + "\xf0\x9f\x98.0", true},
        {"cut inside a character after 2-byte ones",
         "." + QByteArray(99, 'c') + QByteArray("\xc3\xa9").repeated(50) + "\xe2.zz", true},
        {"Latin-1 settings", ".r\xe9glages.ini", false},
        {"Latin-1 backup", ".donn\xe9" "es.bak", false},
        {"Latin-1 folder", ".copie-\xe9t\xe9.old", false},
        {"short cut name", ".calibration-\xc3.1k2j3", false},
        {"cut name of 199 bytes", "." + QByteArray(198, 'c') + "\xc3.1k2j3", false},
        {"cut name of 201 bytes", "." + QByteArray(200, 'c') + "\xc3.1k2j3", false},
        {"Latin-1 byte before the cut", ".\xe9" + QByteArray(198, 'c') + "\xc3.1k2j3", false},
        {"ends in a whole Latin-1 character", "." + cut199 + "\xff.1k2j3", false},
        {"ends in a lone continuation byte", "." + cut199 + "\x80.1k2j3", false},
        {"a lead that no character has", "." + cut199 + "\xc0.1k2j3", false},
        {"lead with a continuation no character has", "." + QByteArray(198, 'c') + "\xe0\x80.1k2j3", false},
        {"number above 32 bits", "." + cut199 + "\xc3.1z141z4", false},
        {"number with a leading zero", "." + cut199 + "\xc3.01k2j3", false},
        {"upper-case digits", "." + cut199 + "\xc3.1K2J3", false},
        {"no number", "." + cut199 + "\xc3.", false},
        {"no leading dot", "x" + cut199 + "\xc3.1k2j3", false},
        {"valid UTF-8 of the earlier form", "." + QByteArray(200, 'c') + ".1k2j3", false},
        {"valid UTF-8", ".calibration.bin.1k2j3", false},
        {"plain name", "settings.xml", false},
    };
    for (const auto& c : cases)
        EXPECT_EQ(platform::StagedFile::isLeftoverName(c.name), c.leftover) << c.label;
}

// A name longer than the file system holds is refused at open, not after the data was written.
TEST(StagedFile, RefusesATargetNameTheFolderCannotHold)
{
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    for (const QString& name : {QString(256, QLatin1Char('l')), QString(128, QChar(0xe9))}) {
        SCOPED_TRACE(name.size());
        platform::StagedFile f(dir.filePath(name));
        EXPECT_FALSE(f.open(QIODevice::WriteOnly));
        EXPECT_TRUE(entries(dir.path()).isEmpty());
    }
}

TEST(FileSync, ExchangesTwoFoldersAndFlushes)
{
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    const QString a = dir.filePath(QStringLiteral("a"));
    const QString b = dir.filePath(QStringLiteral("b"));
    ASSERT_TRUE(QDir().mkpath(a));
    ASSERT_TRUE(QDir().mkpath(b));
    writeFile(a + QStringLiteral("/old.txt"), "old");
    writeFile(b + QStringLiteral("/new.txt"), "new");

    EXPECT_TRUE(platform::syncFileSystem(b));
    if (!platform::exchangePaths(a, b))
        GTEST_SKIP() << "this file system cannot exchange paths";
    EXPECT_EQ(entries(a), QStringList{QStringLiteral("new.txt")});
    EXPECT_EQ(entries(b), QStringList{QStringLiteral("old.txt")});
    EXPECT_TRUE(platform::syncFolder(dir.path()));

    const QString missing = dir.filePath(QStringLiteral("missing"));
    EXPECT_FALSE(platform::exchangePaths(a, missing));
    EXPECT_EQ(entries(a), QStringList{QStringLiteral("new.txt")});
    EXPECT_FALSE(platform::syncFileSystem(missing));
    EXPECT_FALSE(platform::syncFolder(missing));
}

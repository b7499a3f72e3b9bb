// Files written beside their target and renamed over it, and the flush and exchange helpers used with them.
#include <gtest/gtest.h>

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>

#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include "platform/FileSync.h"
#include "platform/StagedFile.h"
#include "tests/support/TestFiles.h"

namespace {

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

// An existing target keeps its permissions; one the writer may not write is refused, as a direct write would be.
TEST(StagedFile, KeepsTheTargetsPermissionsAndRefusesAReadOnlyTarget)
{
    QTemporaryDir dir(QStringLiteral("/tmp/kestrune-staged-XXXXXX"));  // reachable by a writer without root
    ASSERT_TRUE(dir.isValid());
    const QString kept = dir.filePath(QStringLiteral("kept.bin"));
    writeFile(kept, "old");
    ASSERT_EQ(::chmod(QFile::encodeName(kept).constData(), 0640), 0);
    platform::StagedFile f(kept);
    ASSERT_TRUE(f.open(QIODevice::WriteOnly));
    ASSERT_TRUE(f.commit(QDateTime()));
    struct stat st;
    ASSERT_EQ(::stat(QFile::encodeName(kept).constData(), &st), 0);
    EXPECT_EQ(st.st_mode & 07777, 0640u);

    // The refusal is shown by a writer that is not the owner: as root, a child that gives up root first.
    const QString readOnly = dir.filePath(QStringLiteral("read-only.bin"));
    const QString writable = dir.filePath(QStringLiteral("writable.bin"));
    writeFile(readOnly, "keep me");
    writeFile(writable, "replace me");
    ASSERT_EQ(::chmod(QFile::encodeName(readOnly).constData(), 0444), 0);
    ASSERT_EQ(::chmod(QFile::encodeName(writable).constData(), 0666), 0);
    ASSERT_EQ(::chmod(QFile::encodeName(dir.path()).constData(), 0777), 0);
    const pid_t child = ::fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
        if (::geteuid() == 0 && (::setgid(65534) != 0 || ::setuid(65534) != 0))
            ::_exit(10);
        platform::StagedFile refused(readOnly);
        if (refused.open(QIODevice::WriteOnly))
            ::_exit(11);
        platform::StagedFile accepted(writable);
        if (!accepted.open(QIODevice::WriteOnly) || accepted.write("new", 3) != 3 || !accepted.commit(QDateTime()))
            ::_exit(12);
        ::_exit(0);
    }
    int status = 0;
    ASSERT_EQ(::waitpid(child, &status, 0), child);
    ASSERT_TRUE(WIFEXITED(status));
    EXPECT_EQ(WEXITSTATUS(status), 0);
    EXPECT_EQ(readFile(readOnly), QByteArray("keep me"));
    EXPECT_EQ(readFile(writable), QByteArray("new"));
    EXPECT_EQ(entries(dir.path()).size(), 3);  // no temporary file left
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

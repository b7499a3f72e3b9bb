// A folder replaced whole: its staged copy, the swap by exchange or by two renames, and the recovery of a swap a
// killed run left half done.
#include <gtest/gtest.h>

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>

#include <cerrno>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include "platform/StagedFolder.h"
#include "tests/support/TestFiles.h"
#include "tests/support/TestProcess.h"

namespace {

using ktest::fileMode;
using ktest::linkText;
using ktest::readFile;
using ktest::writeFile;

QStringList entries(const QString& dir)
{
    return QDir(dir).entryList(QDir::AllEntries | QDir::NoDotAndDotDot | QDir::Hidden | QDir::System, QDir::Name);
}

struct stat statOf(const QString& path)
{
    struct stat st {};
    EXPECT_EQ(::lstat(QFile::encodeName(path).constData(), &st), 0) << path.toStdString();
    return st;
}

void makeLink(const char* text, const QString& path)
{
    ASSERT_EQ(::symlink(text, QFile::encodeName(path).constData()), 0) << path.toStdString();
}

void setMode(const QString& path, mode_t mode)
{
    ASSERT_EQ(::chmod(QFile::encodeName(path).constData(), mode), 0) << path.toStdString();
}

// The calls a file system may refuse, refused or stopped as a case asks.
struct TestCalls : platform::StagedFolder::Calls {
    bool refuseExchange = false;
    int refuseLinks = 0;  // errno of a refused hard link, 0 to allow them
    int failRename = 0;   // the rename (counted from 1) that fails
    int killAfter = 0;    // the process ends right after this rename
    int renames = 0;
    int exchanges = 0;
    QStringList swapCalls;  // the flushes, exchanges and renames, in order

    bool sync(const QByteArray& path) override
    {
        swapCalls << "sync " + QFile::decodeName(path);
        return Calls::sync(path);
    }
    bool exchange(const QByteArray& a, const QByteArray& b) override
    {
        ++exchanges;
        swapCalls << QStringLiteral("exchange");
        if (refuseExchange) {
            errno = EINVAL;
            return false;
        }
        return Calls::exchange(a, b);
    }
    bool rename(const QByteArray& from, const QByteArray& to) override
    {
        swapCalls << QStringLiteral("rename");
        if (++renames == failRename) {
            errno = EIO;
            return false;
        }
        const bool ok = Calls::rename(from, to);
        if (renames == killAfter)
            ::_exit(ok ? 0 : 20);
        return ok;
    }
    bool link(const QByteArray& existing, const QByteArray& created) override
    {
        if (refuseLinks != 0) {
            errno = refuseLinks;
            return false;
        }
        return Calls::link(existing, created);
    }
};

class StagedFolderTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_TRUE(dir.isValid());
        target = dir.filePath(QStringLiteral("cal"));
        staging = dir.filePath(QStringLiteral("~staging/cal"));
        setAside = dir.filePath(QStringLiteral("~previous/cal"));
    }
    // Read-only folders of a tree would keep the temporary folder from being removed.
    void TearDown() override { ktest::runProgram(QStringLiteral("chmod"), {QStringLiteral("-R"), "u+w", dir.path()}); }

    // cal (0700): data/ (0750) with x.txt (0640, a time with nanoseconds), sub -> data, a dangling absolute link,
    // ro/ (0555) with r.bin (0444), and a fifo.
    void makePrevious()
    {
        writeFile(target + "/data/x.txt", "old");
        writeFile(target + "/ro/r.bin", "r");
        setMode(target, 0700);
        setMode(target + "/data", 0750);
        setMode(target + "/data/x.txt", 0640);
        setMode(target + "/ro/r.bin", 0444);
        setMode(target + "/ro", 0555);
        const struct timespec times[2] = {{1500000000, 5}, {1600000000, 123456789}};
        ASSERT_EQ(::utimensat(AT_FDCWD, QFile::encodeName(target + "/data/x.txt").constData(), times, 0), 0);
        makeLink("data", target + "/sub");
        makeLink("/nonexistent/elsewhere", target + "/abs");
        ASSERT_EQ(::mkfifo(QFile::encodeName(target + "/fifo").constData(), 0600), 0);
    }

    QTemporaryDir dir;
    QString target;
    QString staging;
    QString setAside;
};

struct CopyCase {
    const char* name;
    int refuseLinks;
};

void PrintTo(const CopyCase& c, std::ostream* os) { *os << c.name; }

class StagedCopy : public StagedFolderTest, public ::testing::WithParamInterface<CopyCase> {};

TEST_P(StagedCopy, IsThePreviousFolderAsItStood)
{
    makePrevious();
    TestCalls calls;
    calls.refuseLinks = GetParam().refuseLinks;
    platform::StagedFolder folder(target, staging, setAside, &calls);
    ASSERT_TRUE(folder.stage());
    ASSERT_EQ(folder.path(), staging);

    EXPECT_EQ(entries(staging), (QStringList{"abs", "data", "ro", "sub"})) << "the fifo is left out";
    for (const char* name : {"", "/data", "/data/x.txt", "/ro", "/ro/r.bin", "/sub", "/abs"}) {
        SCOPED_TRACE(name);
        const struct stat live = statOf(target + name);
        const struct stat copy = statOf(staging + name);
        EXPECT_EQ(copy.st_mode, live.st_mode);  // type and permissions
        if (S_ISREG(live.st_mode)) {
            EXPECT_EQ(copy.st_ino == live.st_ino, GetParam().refuseLinks == 0) << "a hard link unless refused";
            EXPECT_EQ(copy.st_mtim.tv_sec, live.st_mtim.tv_sec);
            EXPECT_EQ(copy.st_mtim.tv_nsec, live.st_mtim.tv_nsec);
            EXPECT_EQ(readFile(staging + name), readFile(target + name));
        }
    }
    EXPECT_EQ(linkText(staging + "/sub"), "data") << "a relative link stays relative";
    EXPECT_EQ(linkText(staging + "/abs"), "/nonexistent/elsewhere");

    // A write through the copied link stays in the copy.
    writeFile(staging + "/sub/y.txt", "new");
    EXPECT_EQ(readFile(staging + "/data/y.txt"), "new");
    EXPECT_EQ(entries(target + "/data"), QStringList{"x.txt"});

    folder.discard();
    EXPECT_EQ(entries(dir.path()), QStringList{"cal"}) << "the staging folder and its parents are gone";
    EXPECT_EQ(readFile(target + "/data/x.txt"), "old");
}

INSTANTIATE_TEST_SUITE_P(Roads, StagedCopy,
                         ::testing::Values(CopyCase{"HardLinks", 0}, CopyCase{"AcrossFileSystems", EXDEV},
                                           CopyCase{"LinksNotPermitted", EPERM}),
                         [](const ::testing::TestParamInfo<CopyCase>& info) { return info.param.name; });

class Swap : public StagedFolderTest, public ::testing::WithParamInterface<bool> {};

TEST_P(Swap, PutsTheFilledCopyInPlaceAndRemovesThePreviousFolder)
{
    makePrevious();
    TestCalls calls;
    calls.refuseExchange = GetParam();
    platform::StagedFolder folder(target, staging, setAside, &calls);
    ASSERT_TRUE(folder.stage());
    writeFile(staging + "/added.txt", "added");
    writeFile(staging + "/data/.x.new", "new");
    ASSERT_EQ(::rename(QFile::encodeName(staging + "/data/.x.new").constData(),
                       QFile::encodeName(staging + "/data/x.txt").constData()), 0);
    ASSERT_TRUE(folder.commit());

    EXPECT_EQ(readFile(target + "/data/x.txt"), "new");
    EXPECT_EQ(readFile(target + "/added.txt"), "added");
    EXPECT_EQ(readFile(target + "/ro/r.bin"), "r");
    EXPECT_EQ(fileMode(target + "/ro"), 0555u);
    EXPECT_EQ(linkText(target + "/sub"), "data");
    EXPECT_EQ(entries(dir.path()), QStringList{"cal"}) << "the previous folder, read-only parts too, is removed";
    // The copy is on disk before it is swapped in; without an exchange the previous folder is set aside, then
    // replaced.
    QStringList swapCalls{"sync " + staging, "exchange"};
    if (GetParam())
        swapCalls << "rename" << "rename";
    EXPECT_EQ(calls.swapCalls, swapCalls);

    // A target that did not exist is made by the swap.
    const QString fresh = dir.filePath(QStringLiteral("fresh"));
    platform::StagedFolder first(fresh, dir.filePath(QStringLiteral("~staging/fresh")),
                                 dir.filePath(QStringLiteral("~previous/fresh")), &calls);
    ASSERT_TRUE(first.stage());
    EXPECT_TRUE(entries(first.path()).isEmpty());
    writeFile(first.path() + "/a.txt", "a");
    ASSERT_TRUE(first.commit());
    EXPECT_EQ(readFile(fresh + "/a.txt"), "a");
    EXPECT_EQ(entries(dir.path()), (QStringList{"cal", "fresh"}));
}

INSTANTIATE_TEST_SUITE_P(Roads, Swap, ::testing::Values(false, true),
                         [](const ::testing::TestParamInfo<bool>& info) {
                             return info.param ? "TwoRenames" : "Exchange";
                         });

// The road of two renames stopped part way: a kill after the first or the second rename, or a second rename that
// fails.
struct StopCase {
    const char* name;
    int killAfter;
    int failRename;
    bool newInPlace;  // what the target holds once the next stage has recovered
};

void PrintTo(const StopCase& c, std::ostream* os) { *os << c.name; }

class InterruptedSwap : public StagedFolderTest, public ::testing::WithParamInterface<StopCase> {};

TEST_P(InterruptedSwap, IsFinishedOrUndoneBeforeTheNextStage)
{
    writeFile(target + "/Device.xml", "previous");
    writeFile(target + "/user/settings.xml", "the user's");
    const StopCase& c = GetParam();
    const int code = ktest::exitCodeInChild([&] {
        TestCalls calls;
        calls.refuseExchange = true;
        calls.killAfter = c.killAfter;
        calls.failRename = c.failRename;
        platform::StagedFolder folder(target, staging, setAside, &calls);
        if (!folder.stage())
            return 21;
        QFile added(staging + "/Device.xml.new");
        if (!added.open(QIODevice::WriteOnly) || added.write("new") != 3)
            return 22;
        added.close();
        if (!QFile::remove(staging + "/Device.xml") || !QFile::rename(added.fileName(), staging + "/Device.xml"))
            return 23;
        return folder.commit() ? 24 : 0;  // a killed commit ends in the rename, with 0
    });
    ASSERT_EQ(code, 0);
    if (c.killAfter == 1) {
        EXPECT_FALSE(QFileInfo::exists(target)) << "the previous folder is only set aside";
    }
    if (c.failRename != 0) {
        EXPECT_EQ(readFile(target + "/Device.xml"), "previous") << "a failed commit puts the previous folder back";
        EXPECT_EQ(entries(dir.path()), QStringList{"cal"});
    }

    platform::StagedFolder next(target, staging, setAside);
    ASSERT_TRUE(next.stage());
    EXPECT_EQ(readFile(target + "/Device.xml"), c.newInPlace ? "new" : "previous");
    EXPECT_EQ(readFile(target + "/user/settings.xml"), "the user's");
    EXPECT_EQ(readFile(next.path() + "/Device.xml"), readFile(target + "/Device.xml"));
    EXPECT_FALSE(QFileInfo::exists(setAside));
    next.discard();
    EXPECT_EQ(entries(dir.path()), QStringList{"cal"});
}

INSTANTIATE_TEST_SUITE_P(Stops, InterruptedSwap,
                         ::testing::Values(StopCase{"KilledAfterSettingAside", 1, 0, false},
                                           StopCase{"KilledBeforeRemovingThePrevious", 2, 0, true},
                                           StopCase{"SecondRenameFails", 0, 2, false}),
                         [](const ::testing::TestParamInfo<StopCase>& info) { return info.param.name; });

}  // namespace

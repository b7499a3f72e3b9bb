// scripts/demo's own build of the tree it runs (no KESTRUNE_DEMO_BUILD): an edited form reaches kyb in one run.
// It builds this tree, so ctest runs it alone.
#include <gtest/gtest.h>

#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QThread>

#include <sys/stat.h>
#include <utime.h>

#include "scripts/tests/DemoRun.h"
#include "tests/support/TestProcess.h"

namespace {

// Gives a file back the times it had.
struct FileTimeRestorer {
    QByteArray name;
    struct stat times;
    ~FileTimeRestorer()
    {
        const utimbuf old{times.st_atime, times.st_mtime};
        ::utime(name.constData(), &old);
    }
};

TEST(DemoBuild, AnEditedFormReachesKybInOneRun)
{
    ktest::DemoRun demo;
    ASSERT_TRUE(demo.isValid());
    ASSERT_TRUE(demo.failingStandIn("apt-get"));
    // A source tree whose build/ is this tree: the demo as the README has it typed, building build/.
    const QString root = demo.path("root");
    ASSERT_TRUE(QDir().mkpath(root));
    for (const char* folder : {"scripts", "tools", "platform", "capture"})
        ASSERT_TRUE(QFile::link(ktest::sourcePath(folder), root + "/" + folder));
    ASSERT_TRUE(QFile::link(KESTRUNE_BINARY_DIR, root + "/build"));

    // The form edited now: its header and kyb, built before, are older than it.
    const QString form = ktest::sourcePath("kyb/ui/QKestrune.ui");
    const QString header = QStringLiteral(KESTRUNE_BINARY_DIR "/kyb/ui_QKestrune.h");
    const QString kyb = QStringLiteral(KESTRUNE_BINARY_DIR "/bin/kyb");
    const QByteArray formName = QFile::encodeName(form);
    struct stat before {};
    ASSERT_EQ(::stat(formName.constData(), &before), 0);
    QThread::msleep(1100);   // past the file system's time resolution
    ASSERT_EQ(::utime(formName.constData(), nullptr), 0);
    // The source tree is left with the form's own time: what was built from it stays up to date.
    const FileTimeRestorer restore{formName, before};
    const QDateTime edited = QFileInfo(form).lastModified();

    QProcessEnvironment env = demo.environment({});
    env.remove("KESTRUNE_DEMO_BUILD");
    const ktest::DemoResult r = demo.run({"--", "--install", "--product", "Belmo Studio"}, env, root + "/scripts/demo");
    ASSERT_TRUE(r.ended) << "the demo did not end\n" << r.both();
    EXPECT_EQ(r.exitCode, 7) << r.both();
    EXPECT_TRUE(r.printed("scripts/demo: kyb ended with exit code 7\n")) << r.both();
    EXPECT_FALSE(demo.calledStandIns());
    const QDateTime made = QFileInfo(header).lastModified();
    const QDateTime built = QFileInfo(kyb).lastModified();
    EXPECT_GE(made, edited) << "the form's header was not made again";
    EXPECT_GE(built, made) << "kyb (" << built.toString(Qt::ISODateWithMs).toStdString()
                           << ") was not built again from the form's new header ("
                           << made.toString(Qt::ISODateWithMs).toStdString() << ")\n" << r.both();
}

}  // namespace

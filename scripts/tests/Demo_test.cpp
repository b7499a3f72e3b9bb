// scripts/demo as the README has it typed, against the programs of this tree (KESTRUNE_DEMO_BUILD): without a
// display, on a display that does not answer, with --screenshot, and ended by a signal. Every run leaves neither
// its throw-away folder (which holds private keys) nor a process behind.
#include <gtest/gtest.h>

#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QImage>
#include <QMap>
#include <QProcess>
#include <QTcpServer>
#include <QThread>

#include <csignal>
#include <ostream>

#include "scripts/tests/DemoRun.h"
#include "tests/support/TestFiles.h"
#include "tests/support/TestProcess.h"
#include "tests/support/VirtualDisplay.h"

namespace {

enum class Shot { None, Absent, Picture };

struct DemoCase {
    const char* name;
    QStringList args;            // "SHOT" stands for the screenshot path in the scratch folder
    QMap<QString, QString> env;  // on top of an environment without a display
    int exitCode;
    const char* printed;         // a text of standard output or standard error
    Shot shot;
    bool xvfbFails = false;      // an Xvfb that cannot start
};

void PrintTo(const DemoCase& c, std::ostream* os) { *os << c.name; }

const QStringList install{"--", "--install", "--product", "Belmo Studio"};
const QStringList update{"--", "--update", "--product", "Belmo Studio", "--version", "3.1.0"};

const DemoCase demoCases[] = {
    {"SilentInstallReturnsKybsCode", install, {}, 7, "scripts/demo: kyb ended with exit code 7\n", Shot::None},
    {"WindowWithoutDisplayIsNamedAndEnded",
     {},
     {},
     0,
     "scripts/demo: kyb shows the main window where nobody can see it, so the demo ended kyb\n",
     Shot::None},
    {"OffscreenPlatformGivenIsNamedAndEnded",
     {},
     {{"QT_QPA_PLATFORM", "offscreen"}},
     0,
     "scripts/demo: kyb shows the main window where nobody can see it, so the demo ended kyb\n",
     Shot::None},
    {"UpdateQuestionWithoutDisplayIsNamedAndEnded",
     update,
     {},
     3,
     "kyb shows the message \"A new version of Belmo Studio is available to download. Would you like to update?\"",
     Shot::None},
    {"DisplayThatDoesNotAnswerFallsBackToOffscreen",
     install,
     {{"DISPLAY", ":4093"}},
     7,
     "scripts/demo: the display :4093 does not answer (",
     Shot::None},
    {"KeptFolderIsNamed",
     install,
     {{"KESTRUNE_DEMO_KEEP", "1"}},
     7,
     "scripts/demo: the throw-away folder ",
     Shot::None},
    {"ScreenshotOfTheMainWindow",
     {"--screenshot", "SHOT"},
     {},
     0,
     "scripts/demo: screenshot of the main window in ",
     Shot::Picture},
    {"ScreenshotOfTheLoginDialogAfterASettle",
     {"--sign-in", "--screenshot", "SHOT"},
     {{"KESTRUNE_DEMO_SETTLE", ".5"}},
     0,
     "scripts/demo: screenshot of the login dialog in ",
     Shot::Picture},
    {"ScreenshotOfASilentRunReturnsKybsCode",
     QStringList{"--screenshot", "SHOT"} + install,
     {},
     7,
     "scripts/demo: no screenshot: kyb ended before a window was up\n",
     Shot::Absent},
    {"ScreenshotWithoutAnXServerFails",
     {"--screenshot", "SHOT"},
     {},
     1,
     "scripts/demo: Xvfb did not start\n",
     Shot::Absent,
     true},
    {"ScreenshotIntoAMissingFolderFails",
     {"--screenshot", "missing/shot.png"},
     {},
     1,
     "scripts/demo: no folder ",
     Shot::Absent},
};

class Demo : public ::testing::TestWithParam<DemoCase> {
protected:
    void SetUp() override
    {
        ASSERT_TRUE(demo_.isValid());
        // Stand-ins that record any call: the demo of a built tree installs and builds nothing.
        for (const char* tool : {"apt-get", "cmake", "ninja", "make"})
            ASSERT_TRUE(demo_.failingStandIn(tool));
    }

    ktest::DemoRun demo_;
};

bool hasTwoColours(const QImage& image)
{
    for (int y = 0; y < image.height(); ++y)
        for (int x = 0; x < image.width(); ++x)
            if (image.pixel(x, y) != image.pixel(0, 0))
                return true;
    return false;
}

TEST_P(Demo, RunsAsTyped)
{
    const DemoCase& c = GetParam();
    if (!ktest::haveProgram("Xvfb") && c.shot == Shot::Picture)
        GTEST_SKIP() << "Xvfb not found";
    if (c.xvfbFails) {
        ASSERT_TRUE(demo_.failingStandIn("Xvfb", false));
    }
    const QString shot = demo_.path(c.args.contains("missing/shot.png") ? "missing/shot.png" : "shot.png");
    if (c.shot != Shot::None && QDir(QFileInfo(shot).path()).exists())  // a PNG of an earlier run
        ktest::writeFile(shot, "an earlier run's picture");
    QStringList args;
    for (const QString& arg : c.args)
        args << (arg == "SHOT" || arg == "missing/shot.png" ? shot : arg);
    QProcessEnvironment env = demo_.environment(c.env);
    if (c.args.contains("--screenshot"))  // kyb then runs on the demo's own X server
        env.insert("ASAN_OPTIONS", ktest::asanOptionsOnX11(env.value("ASAN_OPTIONS")));

    const ktest::DemoResult r = demo_.run(args, env);
    ASSERT_TRUE(r.ended) << "the demo did not end\n" << r.both();
    EXPECT_TRUE(r.normalExit) << r.both();
    EXPECT_EQ(r.exitCode, c.exitCode) << r.both();
    EXPECT_TRUE(r.printed(c.printed)) << r.both();
    EXPECT_FALSE(demo_.calledStandIns()) << demo_.path("calls.txt").toStdString();
    EXPECT_EQ(demo_.leftProcesses().join('\n').toStdString(), "") << "processes left";
    const QStringList left = demo_.leftFolders();
    if (c.env.contains("KESTRUNE_DEMO_KEEP")) {
        ASSERT_EQ(left.size(), 1);
        EXPECT_TRUE(r.printed("the throw-away folder " + demo_.path("tmp/") + left[0] + " is kept")) << r.both();
        EXPECT_TRUE(QFile::exists(demo_.path("tmp/") + left[0] + "/requests.jsonl"));
    } else {
        EXPECT_EQ(left.join(' ').toStdString(), "") << "the throw-away folder is left";
    }
    if (c.shot == Shot::Absent) {
        EXPECT_FALSE(QFile::exists(shot)) << "a file is left at " << shot.toStdString();
    }
    if (c.shot == Shot::Picture) {
        const QImage image(shot);
        ASSERT_FALSE(image.isNull()) << "no PNG in " << shot.toStdString() << "\n" << r.both();
        EXPECT_TRUE(hasTwoColours(image)) << "the screenshot is of one colour";
    }
}

INSTANTIATE_TEST_SUITE_P(Demo, Demo, ::testing::ValuesIn(demoCases),
                         [](const ::testing::TestParamInfo<DemoCase>& info) { return info.param.name; });

// An X server that takes the connection and never answers (as a stopped one does): the display check gives up
// and the demo goes on offscreen, leaving no waiting kyb behind.
TEST(DemoDisplay, DisplayThatTakesTheConnectionAndNeverAnswersFallsBackToOffscreen)
{
    ktest::DemoRun demo;
    ASSERT_TRUE(demo.isValid());
    QTcpServer silent;   // the kernel completes the connections it never accepts
    int number = 4000;
    while (number < 5000 && !silent.listen(QHostAddress::LocalHost, static_cast<quint16>(6000 + number)))
        ++number;
    ASSERT_TRUE(silent.isListening());
    const QString display = QString("127.0.0.1:%1").arg(number);

    const ktest::DemoResult r = demo.run(install, demo.environment({{"DISPLAY", display}}));
    ASSERT_TRUE(r.ended) << "the demo did not end\n" << r.both();
    EXPECT_EQ(r.exitCode, 7) << r.both();
    EXPECT_TRUE(r.printed("scripts/demo: the display " + display + " does not answer (")) << r.both();
    EXPECT_TRUE(r.printed("scripts/demo: kyb ended with exit code 7\n")) << r.both();
    EXPECT_EQ(demo.leftProcesses().join('\n').toStdString(), "") << "processes left";
    EXPECT_EQ(demo.leftFolders().join(' ').toStdString(), "") << "the throw-away folder is left";
}

// SIGTERM to the demo while kyb runs on a display ends kyb and the simulator and removes the throw-away folder.
TEST(DemoSignal, TerminatedDemoLeavesNothingBehind)
{
    if (!ktest::haveProgram("Xvfb"))
        GTEST_SKIP() << "Xvfb not found";
    ktest::DemoRun demo;
    ASSERT_TRUE(demo.isValid());
    const ktest::VirtualDisplay display;
    ASSERT_FALSE(display.name().isEmpty()) << "Xvfb did not start";

    QProcessEnvironment env = demo.environment({{"DISPLAY", display.name()}});
    env.insert("ASAN_OPTIONS", ktest::asanOptionsOnX11(env.value("ASAN_OPTIONS")));
    QProcess run;
    run.setProcessEnvironment(env);
    run.start("bash", {ktest::sourcePath("scripts/demo")});
    ASSERT_TRUE(run.waitForStarted(30000));
    // kyb is up once a kyb, not the display check, runs with the demo's home.
    auto kybRuns = [&] {
        for (const QString& line : demo.leftProcesses(false))
            if (line.contains("/bin/kyb") && !line.contains("--demo-display-check"))
                return true;
        return false;
    };
    QElapsedTimer waited;
    waited.start();
    while (!kybRuns() && run.state() == QProcess::Running && waited.elapsed() < 240000)
        run.waitForFinished(100);
    ASSERT_TRUE(kybRuns()) << run.readAllStandardOutput().toStdString() << run.readAllStandardError().toStdString();

    ::kill(static_cast<pid_t>(run.processId()), SIGTERM);
    const bool ended = run.waitForFinished(120000);
    if (!ended)
        run.kill();
    EXPECT_TRUE(ended) << "the demo did not end at SIGTERM";
    EXPECT_EQ(demo.leftProcesses().join('\n').toStdString(), "") << "processes left";
    EXPECT_EQ(demo.leftFolders().join(' ').toStdString(), "") << "the throw-away folder is left";
}

}  // namespace

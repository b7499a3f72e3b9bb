// scripts/demo as the README has it typed, against the programs of this tree (KESTRUNE_DEMO_BUILD): without a
// display, on a display that does not answer, and with --screenshot.
#include <gtest/gtest.h>

#include <QDir>
#include <QFile>
#include <QImage>
#include <QMap>
#include <QProcess>
#include <QProcessEnvironment>
#include <QTemporaryDir>

#include <ostream>

#include "tests/support/TestProcess.h"

namespace {

enum class Shot { None, Absent, Picture };

struct DemoCase {
    const char* name;
    QStringList args;            // "SHOT" stands for the screenshot path in the scratch folder
    QMap<QString, QString> env;  // on top of an environment without a display
    int exitCode;
    const char* printed;         // a text of standard output or standard error
    Shot shot;
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
    {"ScreenshotOfTheMainWindow",
     {"--screenshot", "SHOT"},
     {},
     0,
     "scripts/demo: screenshot of the main window in ",
     Shot::Picture},
    {"ScreenshotOfTheLoginDialog",
     {"--sign-in", "--screenshot", "SHOT"},
     {},
     0,
     "scripts/demo: screenshot of the login dialog in ",
     Shot::Picture},
    {"ScreenshotOfASilentRunReturnsKybsCode",
     QStringList{"--screenshot", "SHOT"} + install,
     {},
     7,
     "scripts/demo: no screenshot: kyb ended before a window was up\n",
     Shot::Absent},
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
        ASSERT_TRUE(scratch_.isValid());
        // Stand-ins that record any call: the demo of a built tree installs and builds nothing.
        ASSERT_TRUE(QDir().mkpath(scratch_.filePath("bin")));
        for (const char* tool : {"apt-get", "cmake", "ninja", "make"})
            ASSERT_TRUE(ktest::writeExecutable(scratch_.filePath("bin/") + tool,
                                               QString("#!/bin/sh\necho \"%1 $*\" >> '%2'\nexit 1\n")
                                                   .arg(tool, scratch_.filePath("calls.txt"))
                                                   .toUtf8()));
    }

    QTemporaryDir scratch_;
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
    const QString shot = scratch_.filePath(c.args.contains("missing/shot.png") ? "missing/shot.png" : "shot.png");
    QStringList args{ktest::sourcePath("scripts/demo")};
    for (const QString& arg : c.args) {
        args << (arg == "SHOT" || arg == "missing/shot.png" ? shot : arg);
    }

    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    for (const char* name : {"DISPLAY", "WAYLAND_DISPLAY", "QT_QPA_PLATFORM", "KESTRUNE_DEMO_SETTLE",
                             "KESTRUNE_DEMO_KEEP", "KESTRUNE_LUCAM_SIM", "KESTRUNE_FLYCAPTURE_SIM"})
        env.remove(name);
    env.insert("KESTRUNE_DEMO_BUILD", KESTRUNE_BINARY_DIR);
    env.insert("PATH", scratch_.filePath("bin") + ":" + env.value("PATH"));
    for (auto it = c.env.begin(); it != c.env.end(); ++it) {
        env.insert(it.key(), it.value());
    }
    if (c.args.contains("--screenshot"))  // kyb then runs on the demo's own X server
        env.insert("ASAN_OPTIONS", ktest::asanOptionsOnX11(env.value("ASAN_OPTIONS")));

    QProcess demo;
    demo.setProcessEnvironment(env);
    demo.setWorkingDirectory(scratch_.path());
    demo.start("bash", args);
    ASSERT_TRUE(demo.waitForStarted(30000));
    const bool ended = demo.waitForFinished(240000);   // a failure bound, far above a run's few seconds
    if (!ended) {
        demo.kill();
        demo.waitForFinished();
    }
    const QString out = QString::fromUtf8(demo.readAllStandardOutput());
    const QString err = QString::fromUtf8(demo.readAllStandardError());
    const std::string printed = ("stdout:\n" + out + "stderr:\n" + err).toStdString();
    ASSERT_TRUE(ended) << "the demo did not end\n" << printed;

    EXPECT_EQ(demo.exitStatus(), QProcess::NormalExit) << printed;
    EXPECT_EQ(demo.exitCode(), c.exitCode) << printed;
    EXPECT_TRUE(out.contains(c.printed) || err.contains(c.printed)) << printed;
    EXPECT_FALSE(QFile::exists(scratch_.filePath("calls.txt"))) << scratch_.filePath("calls.txt").toStdString();
    if (c.shot == Shot::Absent) {
        EXPECT_FALSE(QFile::exists(shot));
    }
    if (c.shot == Shot::Picture) {
        const QImage image(shot);
        ASSERT_FALSE(image.isNull()) << "no PNG in " << shot.toStdString() << "\n" << printed;
        EXPECT_TRUE(hasTwoColours(image)) << "the screenshot is of one colour";
    }
}

INSTANTIATE_TEST_SUITE_P(Demo, Demo, ::testing::ValuesIn(demoCases),
                         [](const ::testing::TestParamInfo<DemoCase>& info) { return info.param.name; });

}  // namespace

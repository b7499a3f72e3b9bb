#include "platform/ShellOpen.h"
#include "tests/support/ScopedEnvironmentVariable.h"
#include "tests/support/TestProcess.h"

#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QTemporaryDir>
#include <QThread>

namespace {

// The detached program writes its record a little later: wait until the file holds what is expected.
QByteArray waitForContent(const QString& path, const QByteArray& expected)
{
    QElapsedTimer clock;
    clock.start();
    while (clock.elapsed() < 30000) {
        QFile file(path);
        if (file.open(QIODevice::ReadOnly)) {
            const QByteArray data = file.readAll();
            if (data == expected)
                return data;
        }
        QThread::msleep(20);
    }
    QFile file(path);
    file.open(QIODevice::ReadOnly);
    return file.readAll();
}

TEST(ShellOpen, TheOverrideProgramGetsThePathAndAFailedStartIsReported)
{
    QTemporaryDir dir;
    const QString record = dir.filePath("launches.txt");
    const QString recorder = dir.filePath("record.sh");
    ASSERT_TRUE(ktest::writeExecutable(
        recorder, QString("#!/bin/sh\nprintf '%s\\n' \"$*\" >> '%1'\n").arg(record).toUtf8()));

    {
        ktest::ScopedEnv shell("KESTRUNE_SHELL_OPEN", QFile::encodeName(recorder));
        ASSERT_TRUE(platform::shellOpen("/some where/setup file.exe"));
        const QByteArray first("/some where/setup file.exe\n");
        EXPECT_EQ(waitForContent(record, first), first);
    }
    {
        ktest::ScopedEnv shell("KESTRUNE_SHELL_OPEN", QFile::encodeName(dir.filePath("no-such-program")));
        EXPECT_FALSE(platform::shellOpen(recorder));
    }
    ktest::ScopedEnv noShell("KESTRUNE_SHELL_OPEN", QByteArray());
    EXPECT_FALSE(platform::shellOpen(dir.filePath("missing-installer")));
    // An executable file is started itself, with no arguments.
    ASSERT_TRUE(platform::shellOpen(recorder));
    const QByteArray both("/some where/setup file.exe\n\n");
    EXPECT_EQ(waitForContent(record, both), both);
}

}  // namespace

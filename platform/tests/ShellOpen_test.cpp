#include "platform/ShellOpen.h"

#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QTemporaryDir>
#include <QThread>

namespace {

class EnvironmentValue {
public:
    EnvironmentValue(const char* name, const QByteArray& value) : name_(name), had_(qEnvironmentVariableIsSet(name)),
        old_(qgetenv(name))
    {
        if (value.isNull())
            qunsetenv(name);
        else
            qputenv(name, value);
    }
    ~EnvironmentValue()
    {
        if (had_)
            qputenv(name_, old_);
        else
            qunsetenv(name_);
    }

private:
    const char* name_;
    bool had_;
    QByteArray old_;
};

// The detached program writes its record a little later: wait until the file holds what is expected.
QByteArray waitForContent(const QString& path, const QByteArray& expected)
{
    QElapsedTimer clock;
    clock.start();
    while (clock.elapsed() < 10000) {
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
    QFile script(recorder);
    ASSERT_TRUE(script.open(QIODevice::WriteOnly));
    script.write(QString("#!/bin/sh\nprintf '%s\\n' \"$*\" >> '%1'\n").arg(record).toUtf8());
    script.close();
    script.setPermissions(QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ExeOwner);

    {
        EnvironmentValue shell("KESTRUNE_SHELL_OPEN", QFile::encodeName(recorder));
        ASSERT_TRUE(platform::shellOpen("/some where/setup file.exe"));
        const QByteArray first("/some where/setup file.exe\n");
        EXPECT_EQ(waitForContent(record, first), first);
    }
    {
        EnvironmentValue shell("KESTRUNE_SHELL_OPEN", QFile::encodeName(dir.filePath("no-such-program")));
        EXPECT_FALSE(platform::shellOpen(recorder));
    }
    EnvironmentValue noShell("KESTRUNE_SHELL_OPEN", QByteArray());
    EXPECT_FALSE(platform::shellOpen(dir.filePath("missing-installer")));
    // An executable file is started itself, with no arguments.
    ASSERT_TRUE(platform::shellOpen(recorder));
    const QByteArray both("/some where/setup file.exe\n\n");
    EXPECT_EQ(waitForContent(record, both), both);
}

}  // namespace

#include "scripts/tests/DemoRun.h"

#include <QDir>
#include <QFile>
#include <QProcess>

#include <csignal>
#include <unistd.h>

#include "tests/support/TestProcess.h"

namespace ktest {

DemoRun::DemoRun()
{
    valid_ = scratch_.isValid() && QDir().mkpath(scratch_.filePath("bin")) && QDir().mkpath(scratch_.filePath("tmp"));
}

bool DemoRun::failingStandIn(const QString& program, bool recorded) const
{
    const QString record = recorded ? QString("echo \"%1 $*\" >> '%2'\n").arg(program, scratch_.filePath("calls.txt"))
                                    : QString("echo \"%1: a stand-in that fails\" >&2\n").arg(program);
    return writeExecutable(scratch_.filePath("bin/") + program, ("#!/bin/sh\n" + record + "exit 1\n").toUtf8());
}

QProcessEnvironment DemoRun::environment(const QMap<QString, QString>& env) const
{
    QProcessEnvironment e = QProcessEnvironment::systemEnvironment();
    for (const char* name : {"DISPLAY", "WAYLAND_DISPLAY", "QT_QPA_PLATFORM", "KESTRUNE_DEMO_SETTLE",
                             "KESTRUNE_DEMO_KEEP", "KESTRUNE_LUCAM_SIM", "KESTRUNE_FLYCAPTURE_SIM"})
        e.remove(name);
    e.insert("KESTRUNE_DEMO_BUILD", KESTRUNE_BINARY_DIR);
    e.insert("PATH", scratch_.filePath("bin") + ":" + e.value("PATH"));
    e.insert("TMPDIR", scratch_.filePath("tmp"));
    for (auto it = env.begin(); it != env.end(); ++it)
        e.insert(it.key(), it.value());
    return e;
}

DemoResult DemoRun::run(const QStringList& args, const QProcessEnvironment& env, const QString& script) const
{
    DemoResult r;
    QProcess demo;
    demo.setProcessEnvironment(env);
    demo.setWorkingDirectory(scratch_.path());
    demo.start("bash", QStringList{script.isEmpty() ? sourcePath("scripts/demo") : script} + args);
    if (!demo.waitForStarted(30000))
        return r;
    r.ended = demo.waitForFinished(240000);   // a failure bound, far above a run's few seconds
    if (!r.ended) {
        demo.kill();
        demo.waitForFinished();
    }
    r.out = QString::fromUtf8(demo.readAllStandardOutput());
    r.err = QString::fromUtf8(demo.readAllStandardError());
    r.normalExit = demo.exitStatus() == QProcess::NormalExit;
    r.exitCode = demo.exitCode();
    return r;
}

QStringList DemoRun::leftFolders() const
{
    return QDir(scratch_.filePath("tmp")).entryList(QDir::AllEntries | QDir::NoDotAndDotDot | QDir::Hidden);
}

QStringList DemoRun::leftProcesses(bool kill) const
{
    QStringList left;
    const QByteArray mark = scratch_.path().toUtf8();
    for (const QString& pid : QDir("/proc").entryList(QDir::Dirs)) {
        bool number = false;
        const qint64 id = pid.toLongLong(&number);
        if (!number || id == ::getpid())
            continue;
        QFile environ("/proc/" + pid + "/environ");
        if (!environ.open(QIODevice::ReadOnly) || !environ.readAll().contains(mark))
            continue;
        QFile cmdline("/proc/" + pid + "/cmdline");
        cmdline.open(QIODevice::ReadOnly);
        left << pid + " " + QString::fromUtf8(cmdline.readAll().replace('\0', ' ')).trimmed();
        if (kill)
            ::kill(static_cast<pid_t>(id), SIGKILL);
    }
    return left;
}

bool DemoRun::calledStandIns() const
{
    return QFile::exists(scratch_.filePath("calls.txt"));
}

}  // namespace ktest

#include "tests/support/TestProcess.h"

#include <QDir>
#include <QFile>
#include <QProcess>
#include <QStandardPaths>

#include <cerrno>
#include <sys/wait.h>
#include <unistd.h>

namespace ktest {

ProcessResult runProgram(const QString& program, const QStringList& args, const QString& workDir,
                         const QByteArray& input, int timeoutMs)
{
    ProcessResult result;
    QProcess process;
    if (!workDir.isEmpty())
        process.setWorkingDirectory(workDir);
    process.start(program, args);
    if (!process.waitForStarted(timeoutMs))
        return result;
    if (!input.isEmpty())
        process.write(input);
    process.closeWriteChannel();
    if (!process.waitForFinished(timeoutMs)) {
        process.kill();
        process.waitForFinished();
        return result;
    }
    result.out = process.readAllStandardOutput();
    result.err = process.readAllStandardError();
    if (process.exitStatus() == QProcess::NormalExit)
        result.exitCode = process.exitCode();
    return result;
}

bool haveProgram(const QString& program)
{
    return !QStandardPaths::findExecutable(program).isEmpty();
}

int exitCodeInChild(const std::function<int()>& body)
{
    const pid_t child = ::fork();
    if (child < 0)
        return -1;
    if (child == 0)
        ::_exit(body());
    int status = 0;
    pid_t waited;
    do
        waited = ::waitpid(child, &status, 0);
    while (waited < 0 && errno == EINTR);
    return waited == child && WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

QString sourcePath(const QString& relative)
{
    return QDir(QStringLiteral(KESTRUNE_SOURCE_DIR)).filePath(relative);
}

QString asanOptionsOnX11(QString asanOptions)
{
    asanOptions.replace(QStringLiteral("strict_string_checks=1"), QStringLiteral("strict_string_checks=0"));
    return asanOptions.isEmpty() ? QStringLiteral("detect_leaks=0") : asanOptions + QStringLiteral(":detect_leaks=0");
}

bool writeExecutable(const QString& path, const QByteArray& text)
{
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate) || file.write(text) != text.size())
        return false;
    file.close();
    return file.setPermissions(QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ExeOwner);
}

}  // namespace ktest

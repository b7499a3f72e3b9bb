#pragma once
// Runs outside programs (archivers, python3, openssl) from tests.

#include <QByteArray>
#include <QString>
#include <QStringList>

#include <functional>

namespace ktest {

struct ProcessResult {
    int exitCode = -1;       // -1 when the program could not be started or crashed
    QByteArray out;
    QByteArray err;
    bool ok() const { return exitCode == 0; }
};

// Runs program with args in workDir (current folder when empty), feeding input on stdin.
ProcessResult runProgram(const QString& program, const QStringList& args, const QString& workDir = QString(),
                         const QByteArray& input = QByteArray(), int timeoutMs = 120000);

// True when program is found on PATH.
bool haveProgram(const QString& program);

// Writes text to path as a program only its owner may read, write and run; false when that failed.
bool writeExecutable(const QString& path, const QByteArray& text);

// Runs body in a forked child, for what must not touch this process (its limits, its user); the child ends
// with body's result as its exit code. The exit code, or -1 when the child did not exit normally.
int exitCodeInChild(const std::function<int()>& body);

// Path of a file below the source tree.
QString sourcePath(const QString& relative);

// The sanitizer options for a program of a sanitizer build that runs on an X server, from those it would get
// (asanOptions): xkbcommon hands strndup buffers without a terminating NUL, which strict string checks report
// although strndup stops at its length, and the X11 platform's D-Bus connection and unloaded plugins leave
// allocations that cannot be told apart by library, so leaks are checked by the offscreen runs only.
QString asanOptionsOnX11(QString asanOptions);

}  // namespace ktest

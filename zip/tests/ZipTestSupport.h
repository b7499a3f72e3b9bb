#pragma once
// Helpers shared by the archive tests: files with fixed times, generated contents, peer programs.

#include <QByteArray>
#include <QDateTime>
#include <QMap>
#include <QString>
#include <QStringList>

#include <ostream>

#include "tests/support/TestProcess.h"

inline void PrintTo(const QString& s, std::ostream* os) { *os << '"' << s.toStdString() << '"'; }
inline void PrintTo(const QByteArray& b, std::ostream* os)
{
    *os << b.size() << " bytes: " << (b.size() > 64 ? b.left(64).toHex() + "..." : b.toHex()).constData();
}

namespace ztest {

// A fixed time zone with daylight saving (CET/CEST rules) for this process and the programs it starts.
void useFixedTimeZone();

// Writes data to path (creating folders); a valid mtime becomes the file's modification time.
void writeFile(const QString& path, const QByteArray& data, const QDateTime& mtime = QDateTime());
QByteArray readFile(const QString& path);

QByteArray textBytes(int size, quint32 seed);    // compressible lines of words
QByteArray randomBytes(int size, quint32 seed);  // incompressible

// Every file and folder below root: relative path -> contents; folders end with "/" and map to nothing.
QMap<QString, QByteArray> listTree(const QString& root);

// The first of the peer programs (zip, unzip, 7z, python3) not found on PATH; empty when all are there.
QString missingPeerProgram();

// Runs a shell command line in workDir.
ktest::ProcessResult shell(const QString& command, const QString& workDir, const QByteArray& input = QByteArray());
// Runs a python3 script with arguments in workDir.
ktest::ProcessResult python(const QString& script, const QStringList& args, const QString& workDir);

// A committed archive from zip/tests/data.
QString fixture(const QString& name);

// Collects the Qt debug messages sent while it lives.
class DebugLog {
public:
    DebugLog();
    ~DebugLog();
    DebugLog(const DebugLog&) = delete;
    DebugLog& operator=(const DebugLog&) = delete;

    const QStringList& messages() const;
};

}  // namespace ztest

#include "zip/tests/ZipTestSupport.h"

#include <QDir>
#include <QDirIterator>
#include <QFile>
#include <QFileInfo>
#include <QtGlobal>

#include <ctime>
#include <random>

namespace ztest {

void useFixedTimeZone()
{
    qputenv("TZ", "CET-1CEST,M3.5.0,M10.5.0/3");
    tzset();
}

QString missingPeerProgram()
{
    for (const char* p : {"zip", "unzip", "7z", "python3"}) {
        if (!ktest::haveProgram(QString::fromLatin1(p)))
            return QString::fromLatin1(p);
    }
    return QString();
}

void writeFile(const QString& path, const QByteArray& data, const QDateTime& mtime)
{
    QDir().mkpath(QFileInfo(path).absolutePath());
    QFile f(path);
    if (!f.open(QIODevice::WriteOnly) || f.write(data) != data.size())
        qFatal("cannot write %s", qPrintable(path));
    f.flush();
    if (mtime.isValid() && !f.setFileTime(mtime, QFileDevice::FileModificationTime))
        qFatal("cannot set the time of %s", qPrintable(path));
}

QByteArray readFile(const QString& path)
{
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

QByteArray textBytes(int size, quint32 seed)
{
    static const char* const words[] = {"scanner", "calibration", "camera", "frame", "exposure", "gain",
                                        "strobe", "serial", "device", "archive", "log", "upload"};
    std::mt19937 gen(seed);
    QByteArray out;
    out.reserve(size + 16);
    while (out.size() < size) {
        out += words[gen() % 12];
        out += (gen() % 8 == 0) ? '\n' : ' ';
        out += QByteArray::number(int(gen() % 1000));
        out += ' ';
    }
    out.truncate(size);
    return out;
}

QByteArray randomBytes(int size, quint32 seed)
{
    std::mt19937 gen(seed);
    QByteArray out(size, Qt::Uninitialized);
    for (int i = 0; i < size; ++i)
        out[i] = char(gen());
    return out;
}

QMap<QString, QByteArray> listTree(const QString& root)
{
    QMap<QString, QByteArray> tree;
    const QDir base(root);
    QDirIterator it(root, QDir::AllEntries | QDir::NoDotAndDotDot | QDir::Hidden | QDir::System,
                    QDirIterator::Subdirectories);
    while (it.hasNext()) {
        const QString path = it.next();
        const QFileInfo info = it.fileInfo();
        const QString rel = base.relativeFilePath(path);
        if (info.isDir())
            tree.insert(rel + QLatin1Char('/'), QByteArray());
        else
            tree.insert(rel, readFile(path));
    }
    return tree;
}

ktest::ProcessResult shell(const QString& command, const QString& workDir, const QByteArray& input)
{
    return ktest::runProgram(QStringLiteral("sh"), {QStringLiteral("-c"), command}, workDir, input);
}

ktest::ProcessResult python(const QString& script, const QStringList& args, const QString& workDir)
{
    return ktest::runProgram(QStringLiteral("python3"), QStringList{QStringLiteral("-c"), script} + args, workDir);
}

QString fixture(const QString& name)
{
    return ktest::sourcePath(QStringLiteral("zip/tests/data/") + name);
}

namespace {
QStringList collected;
QtMessageHandler previousHandler = nullptr;

void collect(QtMsgType type, const QMessageLogContext&, const QString& message)
{
    if (type == QtDebugMsg)
        collected << message;
}
}  // namespace

DebugLog::DebugLog()
{
    collected.clear();
    previousHandler = qInstallMessageHandler(collect);
}

DebugLog::~DebugLog()
{
    qInstallMessageHandler(previousHandler);
}

const QStringList& DebugLog::messages() const
{
    return collected;
}

}  // namespace ztest

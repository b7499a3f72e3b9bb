// Extracts any bytes as an archive into a fresh throw-away folder, then checks that nothing was written outside
// that folder: the folder sits at the bottom of a chain of fence folders made once per process, and each fence
// must hold nothing but the next. A symbolic link in the folder must not lead out of it, and a file that was in
// the folder before must still be there. The first byte picks the options and the password; the rest is the
// archive.
#include <QBuffer>
#include <QByteArray>
#include <QDir>
#include <QDirIterator>
#include <QFile>
#include <QFileInfo>
#include <QString>
#include <QtGlobal>

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>

#include "zip/UnZip.h"

namespace {

constexpr int fenceDepth = 4;
QString* base = nullptr;  // the outermost fence
QString* root = nullptr;  // the innermost fence: holds only the folder of the input being extracted

void discardMessages(QtMsgType, const QMessageLogContext&, const QString&) {}

[[noreturn]] void fail(const QString& what)
{
    std::fprintf(stderr, "zip extract fuzzer: %s\n", qPrintable(what));
    std::abort();
}

void removeBase()
{
    if (base)
        QDir(*base).removeRecursively();
}

void makeFences()
{
    std::string pattern = "/tmp/kestrune-unzip-fuzz-XXXXXX";
    if (!mkdtemp(&pattern[0]))
        fail(QStringLiteral("mkdtemp failed"));
    base = new QString(QFile::decodeName(pattern.c_str()));
    std::atexit(removeBase);
    QString fence = *base;
    for (int i = 1; i <= fenceDepth; ++i)
        fence += QStringLiteral("/f%1").arg(i);
    root = new QString(fence);
    if (!QDir().mkpath(*root))
        fail(QStringLiteral("cannot make ") + *root);
}

bool isWithin(const QString& path, const QString& folder)
{
    return path == folder || path.startsWith(folder + QLatin1Char('/'));
}

// Every fence holds exactly the next fence, and the last one exactly the input's folder.
void checkFences(const QString& target)
{
    QString fence = *base;
    for (int i = 1; i <= fenceDepth + 1; ++i) {
        const QString next = i <= fenceDepth ? QStringLiteral("f%1").arg(i) : QFileInfo(target).fileName();
        const QStringList names = QDir(fence).entryList(QDir::AllEntries | QDir::System | QDir::Hidden |
                                                        QDir::NoDotAndDotDot);
        if (names != QStringList{next})
            fail(QStringLiteral("written outside the extraction folder, in ") + fence + QStringLiteral(": ") +
                 names.join(QLatin1Char(' ')));
        fence += QLatin1Char('/') + next;
    }
}

void checkLinks(const QString& target)
{
    QDirIterator it(target, QDir::AllEntries | QDir::System | QDir::Hidden | QDir::NoDotAndDotDot,
                    QDirIterator::Subdirectories);
    while (it.hasNext()) {
        const QFileInfo info(it.next());
        if (!info.isSymLink())
            continue;
        const QString canonical = info.canonicalFilePath();
        const QString pointsTo = canonical.isEmpty() ? QDir::cleanPath(info.symLinkTarget()) : canonical;
        if (!isWithin(pointsTo, target))
            fail(QStringLiteral("a link leads out of the extraction folder: ") + info.filePath() +
                 QStringLiteral(" -> ") + pointsTo);
    }
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***)
{
    qInstallMessageHandler(discardMessages);
    makeFences();
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    if (size == 0)
        return 0;
    const std::uint8_t selector = data[0];
    QByteArray bytes = QByteArray::fromRawData(reinterpret_cast<const char*>(data + 1), static_cast<int>(size - 1));
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::ReadOnly);

    std::string pattern = QFile::encodeName(*root).toStdString() + "/in-XXXXXX";
    if (!mkdtemp(&pattern[0]))
        fail(QStringLiteral("mkdtemp failed"));
    const QString target = QDir(QFile::decodeName(pattern.c_str())).canonicalPath();
    const QString kept = target + QStringLiteral("/keep.txt");
    {
        QFile file(kept);
        if (!file.open(QIODevice::WriteOnly) || file.write("kept\n") != 5)
            fail(QStringLiteral("cannot write ") + kept);
    }

    UnZip::ExtractionOptions options = UnZip::KeepEntryPaths;
    if (selector & 1)
        options = UnZip::FlattenEntryPaths;
    if (selector & 2)
        options |= UnZip::TargetMustExist;
    UnZip unzip;
    if (selector & 4)
        unzip.setPassword(QStringLiteral("x"));
    const UnZip::ErrorCode ec = unzip.openArchive(&buffer);
    if (ec == UnZip::Ok || ec == UnZip::PartlyCorrupted)
        unzip.extractAll(QDir(target), options);

    checkFences(target);
    checkLinks(target);
    if (!QFileInfo(kept).isFile())
        fail(QStringLiteral("a file of the extraction folder was lost"));
    if (!QDir(target).removeRecursively())
        fail(QStringLiteral("cannot remove ") + target);
    return 0;
}

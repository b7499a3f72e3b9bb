#include "zip/EntryPath.h"

#include <QDir>
#include <QStringList>

namespace EntryPath {

QString withSlashes(const QString& name)
{
    QString path = name;
    path.replace(QLatin1Char('\\'), QLatin1Char('/'));
    return path;
}

bool isSafe(const QString& name, const QString& root)
{
    const QString path = withSlashes(name);
    if (path.isEmpty() || path.contains(QChar(0)) || path.startsWith(QLatin1Char('/')))
        return false;
    if (path.size() >= 2 && path.at(1) == QLatin1Char(':') && path.at(0).isLetter())
        return false;
    const QStringList segments = path.split(QLatin1Char('/'));
    if (segments.contains(QStringLiteral("..")))
        return false;
    const QString cleanRoot = QDir::cleanPath(root);
    return isWithin(QDir::cleanPath(cleanRoot + QLatin1Char('/') + path), cleanRoot);
}

bool isWithin(const QString& path, const QString& root)
{
    return path == root || path.startsWith(root.endsWith(QLatin1Char('/')) ? root : root + QLatin1Char('/'));
}

}  // namespace EntryPath

#include "ThrowAwayHome.h"

#include <QByteArray>
#include <QDir>
#include <QFile>

#include <cstdio>
#include <cstdlib>
#include <string>

namespace {
QString* home = nullptr;

void removeHome()
{
    if (home)
        QDir(*home).removeRecursively();
}

void setFolder(const char* variable, const QString& folder)
{
    QDir().mkpath(folder);
    setenv(variable, QFile::encodeName(folder).constData(), 1);
}
}  // namespace

const QString& ThrowAwayHome::path(const char* name)
{
    if (home)
        return *home;
    std::string pattern = std::string("/tmp/kestrune-") + name + "-XXXXXX";
    if (!mkdtemp(&pattern[0])) {
        std::perror("mkdtemp");
        std::abort();
    }
    home = new QString(QFile::decodeName(pattern.c_str()));
    setFolder("HOME", *home);
    setFolder("XDG_DATA_HOME", *home + QStringLiteral("/.local/share"));
    setFolder("XDG_CONFIG_HOME", *home + QStringLiteral("/.config"));
    setFolder("XDG_CACHE_HOME", *home + QStringLiteral("/.cache"));
    setFolder("APPDATA", *home + QStringLiteral("/AppData"));
    setFolder("KESTRUNE_REGISTRY_DIR", *home + QStringLiteral("/registry"));
    std::atexit(removeHome);
    return *home;
}

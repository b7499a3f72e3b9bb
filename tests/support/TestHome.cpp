#include "tests/support/TestHome.h"

#include <QDir>

namespace ktest {

namespace {
QString& homeRoot()
{
    static QString root;
    return root;
}

void pointAt(const char* variable, const QString& path)
{
    QDir().mkpath(path);
    qputenv(variable, QFile::encodeName(path));
}
}  // namespace

void setTestHome(const QString& root)
{
    homeRoot() = root;
    pointAt("HOME", root);
    pointAt("XDG_CONFIG_HOME", root + QStringLiteral("/config"));
    pointAt("XDG_DATA_HOME", root + QStringLiteral("/data"));
    pointAt("XDG_CACHE_HOME", root + QStringLiteral("/cache"));
    pointAt("TMPDIR", root + QStringLiteral("/tmp"));
    pointAt("KESTRUNE_REGISTRY_DIR", root + QStringLiteral("/registry"));
    qunsetenv("APPDATA");
}

QString testHome()
{
    return homeRoot();
}

}  // namespace ktest

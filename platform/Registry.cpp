#include "platform/Registry.h"

#include <QDir>
#include <QFileInfo>
#include <QSettings>
#include <QStandardPaths>

namespace platform {

namespace {

// Value name that marks a key created without values, so that it still exists. Escaped names never take this form
// ("K" is no hexadecimal digit).
const QString keyMarker = QStringLiteral("_KEY");
// Escaped form of the empty value name (the key's default value).
const QString defaultValueName = QStringLiteral("_");

bool passesUnescaped(char c)
{
    return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '-';
}

int hexValue(QChar c)
{
    const ushort u = c.unicode();
    if (u >= '0' && u <= '9')
        return u - '0';
    if (u >= 'A' && u <= 'F')
        return u - 'A' + 10;
    return -1;
}

}  // namespace

Registry::Registry(Hive hive, View view) : hive_(hive), view_(view) {}

QString Registry::directory()
{
    const QString fromEnv = QString::fromLocal8Bit(qgetenv("KESTRUNE_REGISTRY_DIR"));
    if (!fromEnv.isEmpty())
        return fromEnv;
    return QStandardPaths::writableLocation(QStandardPaths::GenericConfigLocation) +
           QStringLiteral("/Belmo Group/Kestrune/registry");
}

QString Registry::writeFile() const
{
    QString name;
    if (hive_ == Hive::CurrentUser)
        name = QStringLiteral("HKCU.ini");
    else if (view_ == View::Wide64)
        name = QStringLiteral("HKLM64.ini");
    else
        name = QStringLiteral("HKLM.ini");
    return QDir(directory()).filePath(name);
}

QString Registry::readFile() const
{
    const QString file = writeFile();
    if (hive_ == Hive::LocalMachine && view_ == View::Wide64 && !QFileInfo::exists(file))
        return Registry(Hive::LocalMachine, View::Default).writeFile();
    return file;
}

QString Registry::escapeName(const QString& name)
{
    if (name.isEmpty())
        return defaultValueName;
    QString out;
    const QByteArray utf8 = name.toUtf8();
    out.reserve(utf8.size());
    static const char digits[] = "0123456789ABCDEF";
    for (const char c : utf8) {
        if (passesUnescaped(c)) {
            out += QLatin1Char(c);
        } else {
            const auto byte = static_cast<unsigned char>(c);
            out += QLatin1Char('_');
            out += QLatin1Char(digits[byte >> 4]);
            out += QLatin1Char(digits[byte & 0xF]);
        }
    }
    return out;
}

std::optional<QString> Registry::unescapeName(const QString& escaped)
{
    if (escaped == defaultValueName)
        return QString();
    QByteArray utf8;
    for (int i = 0; i < escaped.size(); ++i) {
        const QChar c = escaped.at(i);
        if (c == QLatin1Char('_')) {
            if (i + 2 >= escaped.size())
                return std::nullopt;
            const int hi = hexValue(escaped.at(i + 1));
            const int lo = hexValue(escaped.at(i + 2));
            if (hi < 0 || lo < 0)
                return std::nullopt;
            utf8 += static_cast<char>(hi * 16 + lo);
            i += 2;
        } else if (c.unicode() < 0x80 && passesUnescaped(static_cast<char>(c.unicode()))) {
            utf8 += static_cast<char>(c.unicode());
        } else {
            return std::nullopt;
        }
    }
    if (utf8.isEmpty())
        return std::nullopt;
    return QString::fromUtf8(utf8);
}

std::optional<QString> Registry::groupOf(const QString& keyPath)
{
    if (keyPath.isEmpty())
        return QString();
    QStringList groups;
    for (const QString& part : keyPath.split(QLatin1Char('\\'))) {
        if (part.isEmpty())
            return std::nullopt;
        groups << escapeName(part);
    }
    return groups.join(QLatin1Char('/'));
}

bool Registry::keyExists(const QString& keyPath) const
{
    const auto group = groupOf(keyPath);
    if (!group)
        return false;
    if (group->isEmpty())
        return true;
    QSettings store(readFile(), QSettings::IniFormat);
    const int cut = group->lastIndexOf(QLatin1Char('/'));
    if (cut >= 0)
        store.beginGroup(group->left(cut));
    return store.childGroups().contains(group->mid(cut + 1));
}

QStringList Registry::subKeys(const QString& keyPath) const
{
    const auto group = groupOf(keyPath);
    if (!group)
        return {};
    QSettings store(readFile(), QSettings::IniFormat);
    store.beginGroup(*group);
    QStringList names;
    for (const QString& escaped : store.childGroups()) {
        if (const auto name = unescapeName(escaped); name && !name->isEmpty())
            names << *name;
    }
    names.sort();
    return names;
}

QStringList Registry::valueNames(const QString& keyPath) const
{
    const auto group = groupOf(keyPath);
    if (!group)
        return {};
    QSettings store(readFile(), QSettings::IniFormat);
    store.beginGroup(*group);
    QStringList names;
    for (const QString& escaped : store.childKeys()) {
        if (escaped == keyMarker)
            continue;
        if (const auto name = unescapeName(escaped))
            names << *name;
    }
    names.sort();
    return names;
}

std::optional<QString> Registry::value(const QString& keyPath, const QString& name) const
{
    const auto group = groupOf(keyPath);
    if (!group)
        return std::nullopt;
    QSettings store(readFile(), QSettings::IniFormat);
    store.beginGroup(*group);
    const QVariant data = store.value(escapeName(name));
    if (!data.isValid())
        return std::nullopt;
    // A value edited by hand as "a, b" reads as a list: keep its text.
    if (data.type() == QVariant::StringList)
        return data.toStringList().join(QStringLiteral(", "));
    return data.toString();
}

bool Registry::createKey(const QString& keyPath)
{
    const auto group = groupOf(keyPath);
    if (!group || group->isEmpty())
        return false;
    if (keyExists(keyPath) && readFile() == writeFile())
        return true;
    QSettings store(writeFile(), QSettings::IniFormat);
    store.beginGroup(*group);
    store.setValue(keyMarker, QString());
    store.endGroup();
    store.sync();
    return store.status() == QSettings::NoError;
}

bool Registry::setValue(const QString& keyPath, const QString& name, const QString& data)
{
    const auto group = groupOf(keyPath);
    if (!group || group->isEmpty())
        return false;
    QSettings store(writeFile(), QSettings::IniFormat);
    store.beginGroup(*group);
    store.setValue(escapeName(name), data);
    store.endGroup();
    store.sync();
    return store.status() == QSettings::NoError;
}

bool Registry::removeValue(const QString& keyPath, const QString& name)
{
    const auto group = groupOf(keyPath);
    if (!group || group->isEmpty())
        return false;
    QSettings store(writeFile(), QSettings::IniFormat);
    store.beginGroup(*group);
    const QString key = escapeName(name);
    if (!store.contains(key))
        return false;
    // Keep the key itself when its last value goes.
    store.setValue(keyMarker, QString());
    store.remove(key);
    store.endGroup();
    store.sync();
    return store.status() == QSettings::NoError;
}

bool Registry::removeKey(const QString& keyPath)
{
    const auto group = groupOf(keyPath);
    if (!group || group->isEmpty())
        return false;
    QSettings store(writeFile(), QSettings::IniFormat);
    store.remove(*group);
    store.sync();
    return store.status() == QSettings::NoError;
}

}  // namespace platform

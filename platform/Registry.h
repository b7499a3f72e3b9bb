#pragma once
// The system registry's keys and string values, kept in INI files below Registry::directory():
// HKLM.ini (machine keys, default view), HKLM64.ini (machine keys, 64-bit view; while it is absent the 64-bit view
// reads the default view, as on a 32-bit system) and HKCU.ini (the user's keys).
//
// A key path names keys from the hive's root down, separated by "\" ("SOFTWARE\Belmo Group\Product"). Key and value
// names are escaped before they reach the INI file, so any name (spaces, slashes, dots, non-ASCII text) reads back
// as written and none can step outside its key. Nothing from a name ever becomes a file path.

#include <QString>
#include <QStringList>

#include <optional>

namespace platform {

class Registry {
public:
    enum class Hive { LocalMachine, CurrentUser };
    enum class View { Default, Wide64 };

    explicit Registry(Hive hive, View view = View::Default);

    // $KESTRUNE_REGISTRY_DIR when set and non-empty, else a "registry" folder in the user's config location.
    static QString directory();
    // The INI file that reads go to (for the 64-bit view: HKLM64.ini, or HKLM.ini while that is absent).
    QString readFile() const;
    QString writeFile() const;

    bool keyExists(const QString& keyPath) const;
    QStringList subKeys(const QString& keyPath) const;   // names of the direct subkeys, in name order
    QStringList valueNames(const QString& keyPath) const;
    std::optional<QString> value(const QString& keyPath, const QString& name) const;

    // Writers return false when the path is malformed (an empty key name) or the file cannot be written.
    bool createKey(const QString& keyPath);
    bool setValue(const QString& keyPath, const QString& name, const QString& data);
    bool removeValue(const QString& keyPath, const QString& name);
    bool removeKey(const QString& keyPath);   // with all its subkeys and values

    // The escaped form of one key or value name in the INI file, and back. Exposed for tests.
    static QString escapeName(const QString& name);
    static std::optional<QString> unescapeName(const QString& escaped);

private:
    static std::optional<QString> groupOf(const QString& keyPath);

    Hive hive_;
    View view_;
};

}  // namespace platform

#include "storage/AppDataFolders.h"

#include <QDir>
#include <boost/filesystem/path.hpp>

#include "platform/UserDataFolder.h"

QString appDataPath()
{
    const QString path = platform::userDataBase() + QStringLiteral("/Belmo/Kestrune/");
    QDir().mkpath(path);
    return path;
}

std::wstring appDataFolder()
{
    const boost::filesystem::path base(platform::userDataBase().toStdWString());
    return (base / L"Belmo" / L"Kestrune").wstring();
}

std::wstring devicesFolder()
{
    return (boost::filesystem::path(appDataFolder()) / L"Devices").wstring();
}

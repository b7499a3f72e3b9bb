#include "scanners/DevicesFolderStore.h"

#include <QDir>
#include <QFileInfo>
#include <boost/property_tree/xml_parser.hpp>
#include <fstream>
#include <stdexcept>

#include "devices/DescriptionKeys.h"
#include "devices/iLog.h"
#include "scanners/ScannerSerial.h"

namespace {

const QString descriptionSuffix = QStringLiteral(".xml");

}  // namespace

DevicesFolderStore::DevicesFolderStore(iLog* log) : log(log)
{
}

void DevicesFolderStore::load(const std::wstring& folder)
{
    root = folder;
    serials.clear();
    const QDir dir(QString::fromStdWString(folder));
    loaded = dir.exists();
    if (!loaded)
        return;
    const QStringList names = dir.entryList(QDir::Dirs | QDir::NoDotAndDotDot | QDir::Hidden, QDir::Name);
    for (const QString& name : names) {
        if (!isSafeSerial(name) || QFileInfo(dir.filePath(name)).isSymLink())
            continue;
        const std::string serial = name.toStdString();
        serials[serial] = readSerialFolder(serial);
    }
}

void DevicesFolderStore::reload(const std::string& serial)
{
    const QString name = QString::fromStdString(serial);
    if (!loaded || !isSafeSerial(name))
        return;
    const QFileInfo info(QDir(QString::fromStdWString(root)).filePath(name));
    if (info.isDir() && !info.isSymLink())
        serials[serial] = readSerialFolder(serial);
    else
        serials.erase(serial);
}

std::vector<std::string> DevicesFolderStore::listSerials(const std::string&)
{
    std::vector<std::string> result;
    for (const auto& item : serials)
        result.push_back(item.first);
    return result;
}

std::vector<std::string> DevicesFolderStore::listEntries(const std::string& serial)
{
    std::vector<std::string> result;
    const auto found = serials.find(serial);
    if (found != serials.end())
        for (const auto& entry : found->second)
            result.push_back(entry.first);
    return result;
}

void DevicesFolderStore::readEntry(const std::string& serial, const std::string& entry, niTypes::niPtree& tree)
{
    const auto found = serials.find(serial);
    if (found == serials.end())
        throw std::runtime_error("No stored scanner " + serial);
    const auto description = found->second.find(entry);
    if (description == found->second.end())
        throw std::runtime_error("No description " + entry + " of scanner " + serial);
    tree = description->second;
}

DevicesFolderStore::Entries DevicesFolderStore::readSerialFolder(const std::string& serial) const
{
    Entries entries;
    const QDir dir(QDir(QString::fromStdWString(root)).filePath(QString::fromStdString(serial)));
    const QFileInfoList files =
        dir.entryInfoList({QStringLiteral("*") + descriptionSuffix}, QDir::Files | QDir::Hidden, QDir::Name);
    for (const QFileInfo& file : files) {
        if (!file.fileName().endsWith(descriptionSuffix))  // the name filter ignores case
            continue;
        std::ifstream in(QFile::encodeName(file.filePath()).toStdString(), std::ios::binary);
        niTypes::niPtree tree;
        try {
            // untrimmed: trimming would turn an empty text value "string : " into the malformed "string :"
            boost::property_tree::read_xml(in, tree);
        } catch (const std::exception& e) {
            if (log)
                log->warning("Skipping " + file.filePath().toStdString() + ": " + e.what());
            continue;
        }
        if (tree.find(devices::keys::belmo) == tree.not_found())
            continue;
        const QString name = file.fileName().chopped(descriptionSuffix.size());
        entries[name.toStdString()] = tree;
    }
    return entries;
}

// A stored scanner description from any bytes: the rest of the input after the first byte is written as
// Devices/<serial>/Device.xml of a throw-away per-user folder (the first byte picks the serial and whether a
// second, valid description sits beside it), read through the device store as the program reads it, listed and
// matched by the detector against two connected cameras, and every value of the tree is read as each type a
// description can hold. A value of another type may only be refused with std::runtime_error.
#include <QByteArray>
#include <QDir>
#include <QFile>
#include <QString>
#include <boost/make_shared.hpp>

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <stdexcept>
#include <string>
#include <vector>

#include "devices/ScannerDetector.h"
#include "kyb/fuzz/ThrowAwayHome.h"
#include "kyb/scanners/DevicesFolderStore.h"
#include "kyb/scanners/QtLogger.h"
#include "kyb/storage/AppDataFolders.h"
#include "nitypes/niPtree.h"

namespace {

const char* const serials[] = {"BS3-10001", "AVI-2-clip", "AVI", "bs.2_x"};

const QByteArray validDescription =
    "<Belmo><Device><Info><serial>string : BS2-20002</serial><camera>string : Pg grabber</camera>"
    "<camera_id>string : 14070001</camera_id><cid>string : 2</cid></Info></Device></Belmo>";

[[noreturn]] void fail(const char* what)
{
    std::fprintf(stderr, "device store fuzzer: %s\n", what);
    std::abort();
}

void writeFile(const QString& path, const QByteArray& content)
{
    QDir().mkpath(path.left(path.lastIndexOf(QLatin1Char('/'))));
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate) || file.write(content) != content.size())
        fail("cannot write a description");
}

template <class T>
void readAs(const niTypes::niPtree& node)
{
    try {
        (void)node.get_value<T>();
    } catch (const std::runtime_error&) {
    }
}

void readEveryValue(const niTypes::niPtree& tree)
{
    readAs<int>(tree);
    readAs<float>(tree);
    readAs<double>(tree);
    readAs<bool>(tree);
    readAs<niTypes::niString>(tree);
    readAs<niTypes::niColor>(tree);
    readAs<niTypes::niStringIntEnumeration>(tree);
    readAs<std::vector<int>>(tree);
    readAs<std::vector<float>>(tree);
    readAs<std::vector<double>>(tree);
    readAs<std::vector<char>>(tree);
    readAs<std::vector<niTypes::niString>>(tree);
    for (const auto& child : tree)
        readEveryValue(child.second);
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***)
{
    ThrowAwayHome::path("devices-fuzz");
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    if (size == 0)
        return 0;
    const std::string serial = serials[data[0] % 4];
    const bool withNeighbour = (data[0] & 4) != 0;
    const std::wstring folder = devicesFolder();
    const QString devices = QString::fromStdWString(folder);
    QDir(devices).removeRecursively();
    writeFile(devices + QLatin1Char('/') + QString::fromStdString(serial) + QStringLiteral("/Device.xml"),
              QByteArray(reinterpret_cast<const char*>(data + 1), static_cast<int>(size - 1)));
    if (withNeighbour)
        writeFile(devices + QStringLiteral("/BS2-20002/Device.xml"), validDescription);

    QtLogger log;
    auto store = boost::make_shared<DevicesFolderStore>(&log);
    store->load(folder);
    const std::vector<std::string> stored = store->listSerials(std::string());
    if (withNeighbour && std::find(stored.begin(), stored.end(), "BS2-20002") == stored.end())
        fail("a broken description hid a valid one");

    ScannerDetector detector({"Lumenera camera", "Pg grabber"}, &log,
                             [](const std::vector<std::string>&, std::vector<CameraDescriptor>& out, const std::wstring&) {
                                 out.push_back({"Lumenera camera", "30001234", "LuCam#30001234"});
                                 out.push_back({"Pg grabber", "14070001", "Pg#14070001"});
                             });
    if (!detector.update(store))
        fail("a loaded store was not used");
    std::vector<DetectedScanner> listed;
    detector.listDevices(listed);
    if (withNeighbour && detector.connected().empty())
        fail("the valid description's camera did not match");

    store->reload(serial);
    detector.update(store);
    detector.listDevices(listed);
    for (const std::string& entry : store->listEntries(serial)) {
        niTypes::niPtree tree;
        store->readEntry(serial, entry, tree);
        readEveryValue(tree);
    }
    return 0;
}

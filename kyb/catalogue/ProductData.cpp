#include "catalogue/ProductData.h"

#include "account/AccountState.h"
#include "account/ServerAPI.h"
#include "catalogue/VersionNumbers.h"
#include "signin/SignIn.h"
#include "platform/UserDataFolder.h"
#include "storage/CacheFile.h"

#include <QDir>
#include <QString>

#include <ios>

namespace {

const QString productsRoot = QStringLiteral("SOFTWARE\\Belmo Group");
// The registry reads go through buffers of 261 characters, the last one for the terminating NUL.
const int registryTextLimit = 260;

// The product's per-user data folder: "<user data base>/Belmo/<product>", taken only when the registry's product
// name is one plain folder name; otherwise the product has none.
std::wstring productDataFolder(const std::string& productName)
{
    const QString name = QString::fromStdString(productName);
    if (name.isEmpty() || name == QLatin1String(".") || name == QLatin1String("..") || name.contains(QLatin1Char('/')) ||
        name.contains(QLatin1Char('\\')) || name.contains(QChar(0)))
        return std::wstring();
    return QDir::toNativeSeparators(platform::userDataBase() + QStringLiteral("/Belmo/") + name).toStdWString();
}

}  // namespace

bool ProductData::refresh(bool rescan)
{
    if (accountState.offlineMode) {
        loadCache();
    } else {
        try {
            if (!fetchApplications()) {
                // Refused (token or reply): one new sign-in, then one more try.
                if (signIn(2) == 0)
                    return false;
                if (!fetchApplications())
                    return false;
            }
            // The service answered this list, whatever failed before it (the answer has cleared the offline mark).
            saveCache();
        } catch (const std::ios_base::failure&) {   // time-out or network failure: work from the cache
            loadCache();
        }
    }
    if (rescan)
        rescanInstalled();
    return true;
}

bool ProductData::fetchApplications()
{
    // Emptied before every attempt, so a retry never keeps what a refused reply appended.
    applications.clear();
    return ServerAPI::instance()->applications(QString::fromStdString(accountState.authToken), &applications);
}

void ProductData::saveCache() const
{
    CacheFile().writeProducts(applications);
}

void ProductData::loadCache()
{
    applications = CacheFile().readProducts();
}

void ProductData::rescanInstalled()
{
    installed.clear();
    scanRegistryView(platform::Registry::View::Default);
    scanRegistryView(platform::Registry::View::Wide64);
}

void ProductData::scanRegistryView(platform::Registry::View view)
{
    const platform::Registry registry(platform::Registry::Hive::LocalMachine, view);
    if (!registry.keyExists(productsRoot))
        return;
    for (const QString& product : registry.subKeys(productsRoot)) {
        const QString productKey = productsRoot + QLatin1Char('\\') + product;
        for (const QString& versionKeyName : registry.subKeys(productKey)) {
            const QString versionKey = productKey + QLatin1Char('\\') + versionKeyName;
            const auto version = registry.value(versionKey, QStringLiteral("Version"));
            if (!version)
                continue;
            InstalledProduct found;
            found.productName = product.toStdString();
            found.version = version->toStdString();
            found.version = found.version.substr(0, found.version.find('\0'));   // text up to the first NUL
            if (found.version.size() > static_cast<std::size_t>(registryTextLimit))
                continue;   // does not fit the value buffer: read as absent
            const auto installDir = registry.value(versionKey, QStringLiteral("Install_Dir"));
            if (installDir && installDir->size() <= registryTextLimit)
                found.installDir = installDir->toStdWString();
            found.dataFolder = productDataFolder(found.productName);

            bool known = false;
            for (InstalledProduct& entry : installed) {
                if (entry.productName != found.productName)
                    continue;
                known = true;
                // Registry versions that do not convert count 0 part by part, so no stored text ends the scan.
                if (compareVersions(splitVersionLeniently(found.version), splitVersionLeniently(entry.version)) > 0)
                    entry = found;
            }
            if (!known)
                installed.push_back(found);
        }
    }
}

InstalledProduct* ProductData::findInstalled(const ApplicationInfo* application, bool nameOnly)
{
    if (!application)
        return nullptr;
    for (InstalledProduct& entry : installed) {
        if (entry.productName == application->productName && (nameOnly || entry.version == application->versionName))
            return &entry;
    }
    return nullptr;
}

InstalledProduct* ProductData::findInstalledProduct(const std::string& productName, const std::string& version)
{
    ApplicationInfo wanted;
    wanted.productName = productName;
    wanted.versionName = version;
    return findInstalled(&wanted, false);
}

int ProductData::applicationStatus(const ApplicationInfo* application, const InstalledProduct* installed)
{
    if (!application || !installed)
        return NotInstalled;
    return installed->version == application->versionName ? Current : OtherVersion;
}

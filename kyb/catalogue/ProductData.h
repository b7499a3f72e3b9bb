#pragma once
// The catalogue of the maker's software: the account's applications (from the service, or cache.ini while the
// service cannot be reached) and the products installed on this computer (from the registry).

#include "catalogue/ApplicationInfo.h"
#include "catalogue/InstalledProduct.h"
#include "platform/Registry.h"

#include <string>
#include <vector>

class ProductData {
public:
    // Application status: not installed, installed in another version, installed in exactly the offered version.
    enum Status { NotInstalled = 0, OtherVersion = 1, Current = 4 };

    // Fills applications from the service (with one new sign-in when it refuses), or from cache.ini while offline or
    // after a time-out or network failure; then rescans the registry when asked. false when the user cancelled the
    // new sign-in or the service refused twice.
    bool refresh(bool rescanInstalled);

    // Empties installed, then scans the registry's default view and then its 64-bit view.
    void rescanInstalled();
    // Adds the products of one registry view to installed: a product met again keeps its greater version.
    void scanRegistryView(platform::Registry::View view);

    // The array "products" of cache.ini.
    void saveCache() const;
    void loadCache();

    // The first installed product with the application's product name and, unless nameOnly, its version name.
    // Exact comparisons. Null when none (or when application is null).
    InstalledProduct* findInstalled(const ApplicationInfo* application, bool nameOnly);
    InstalledProduct* findInstalledProduct(const std::string& productName, const std::string& version);

    static int applicationStatus(const ApplicationInfo* application, const InstalledProduct* installed);

private:
    bool fetchApplications();

public:
    // Pointers handed out by the lookups stay valid until the next refresh or rescan.
    std::vector<InstalledProduct> installed;
    std::vector<ApplicationInfo> applications;
};

#pragma once
#include <string>

// One application of the account, or the program's own update offer.
struct ApplicationInfo {
    std::string id;            // the service's record id
    std::string versionName;   // the offered version's name
    std::string downloadLink;  // installer URL for this computer; empty when read from the cache
    std::string productName;
    std::string upgradeUrl;    // web page of the product; empty when read from the cache
    int productType = 0;       // 2 marks a subscription
};

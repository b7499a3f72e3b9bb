#pragma once
// The answer to "is the product named on the command line installed and current?" for the silent modes.

#include "catalogue/ProductData.h"

#include <QString>

struct RequestedProduct {
    ApplicationInfo* application = nullptr;   // set only together with status 1
    InstalledProduct* installed = nullptr;    // set only together with status 1
    int status = ProductData::NotInstalled;
};

// Looks through the account's applications named product (every application when product is empty); the last
// match decides the status. version and processId are accepted from the command line and play no part.
RequestedProduct findRequestedProduct(ProductData& data, const QString& product, const QString& version = QString(),
                                      const QString& processId = QString());

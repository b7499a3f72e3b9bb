#include "catalogue/RequestedProduct.h"

RequestedProduct findRequestedProduct(ProductData& data, const QString& product, const QString&, const QString&)
{
    RequestedProduct result;
    for (ApplicationInfo& application : data.applications) {
        if (!product.isEmpty() && QString::fromStdString(application.productName) != product)
            continue;
        InstalledProduct* installed = data.findInstalled(&application, false);
        if (!installed)
            installed = data.findInstalled(&application, true);
        result.status = ProductData::applicationStatus(&application, installed);
        if (result.status == ProductData::OtherVersion) {
            result.application = &application;
            result.installed = installed;
        }
    }
    return result;
}

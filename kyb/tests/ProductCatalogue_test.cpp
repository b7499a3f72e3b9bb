// The installed-product scan over both registry views, the lookups and the requested-product answer.
#include "catalogue/ProductData.h"
#include "catalogue/RequestedProduct.h"
#include "tests/support/TemporaryRegistry.h"

#include <gtest/gtest.h>

using platform::Registry;

namespace {

const QString root = "SOFTWARE\\Belmo Group\\";

class Catalogue : public ::testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_TRUE(dir_.isValid());
    }

    static void put(Registry::View view, const QString& product, const QString& versionKey, const QString& version,
                    const QString& installDir = QString())
    {
        Registry registry(Registry::Hive::LocalMachine, view);
        const QString key = root + product + "\\" + versionKey;
        if (!version.isNull()) {
            ASSERT_TRUE(registry.setValue(key, "Version", version));
        } else {
            ASSERT_TRUE(registry.createKey(key));
        }
        if (!installDir.isNull()) {
            ASSERT_TRUE(registry.setValue(key, "Install_Dir", installDir));
        }
    }

    ProductData scanned()
    {
        ProductData data;
        data.rescanInstalled();
        return data;
    }

    ktest::TemporaryRegistry dir_;
};

TEST_F(Catalogue, OneRecordPerProductKeepsTheGreaterVersion)
{
    const auto D = Registry::View::Default;
    put(D, "Studio", "a", "1.2", "C:\\Studio12");
    put(D, "Studio", "b", "1.10", "C:\\Studio110");
    put(D, "Measure", "a", "2.0", "C:\\M20");
    put(D, "Measure", "b", "2.0.0", "C:\\M200");
    put(D, "Bad", "a", "x", "C:\\Bx");     // does not convert: counts 0, the scan goes on
    put(D, "Bad", "b", "0.1", "C:\\B01");
    put(D, "Letters", "a", "4", "C:\\L4");
    put(D, "Letters", "b", "4b", "C:\\L4b");   // reads as 4: a tie keeps the first record

    ProductData data = scanned();
    ASSERT_EQ(data.installed.size(), 4u);
    auto find = [&](const std::string& name) -> const InstalledProduct& {
        for (const auto& p : data.installed)
            if (p.productName == name)
                return p;
        ADD_FAILURE() << name;
        static InstalledProduct none;
        return none;
    };
    EXPECT_EQ(find("Studio").version, "1.10");
    EXPECT_EQ(find("Studio").installDir, L"C:\\Studio110");
    EXPECT_EQ(find("Measure").version, "2.0.0");
    EXPECT_EQ(find("Bad").version, "0.1");
    EXPECT_EQ(find("Letters").version, "4");
    EXPECT_EQ(find("Letters").installDir, L"C:\\L4");
}

TEST_F(Catalogue, BothViewsMergeWithTheDefaultViewWinningTies)
{
    put(Registry::View::Default, "Studio", "3", "3.0", "C:\\x86\\Studio");
    put(Registry::View::Wide64, "Studio", "3", "3.0", "C:\\x64\\Studio");
    put(Registry::View::Default, "Measure", "1", "1.0", "C:\\x86\\Measure");
    put(Registry::View::Wide64, "Measure", "1", "1.1", "C:\\x64\\Measure");
    put(Registry::View::Wide64, "Only64", "1", "5", "C:\\x64\\Only");

    ProductData data = scanned();
    ASSERT_EQ(data.installed.size(), 3u);
    EXPECT_EQ(data.installed[0].productName, "Measure");
    EXPECT_EQ(data.installed[0].installDir, L"C:\\x64\\Measure");
    EXPECT_EQ(data.installed[1].productName, "Studio");
    EXPECT_EQ(data.installed[1].installDir, L"C:\\x86\\Studio");
    EXPECT_EQ(data.installed[2].productName, "Only64");

    // A rescan starts afresh.
    data.rescanInstalled();
    EXPECT_EQ(data.installed.size(), 3u);
}

TEST_F(Catalogue, KeysWithoutVersionAreSkippedAndOverlongTextsReadAsAbsent)
{
    const auto D = Registry::View::Default;
    put(D, "Studio", "1 no version", QString(), "C:\\none");
    put(D, "Studio", "2", "2.5", QString(200, 'd'));
    put(D, "Long", "1", "1.0", QString(261, 'd'));
    put(D, "Edge", "1", "1.0", QString(260, 'd'));
    put(D, "Huge", "1", QString(261, '1'));
    put(D, "NoDir", "1", "1.0");

    ProductData data = scanned();
    std::map<std::string, InstalledProduct> byName;
    for (const auto& p : data.installed)
        byName[p.productName] = p;
    ASSERT_EQ(byName.size(), 4u);
    EXPECT_EQ(byName["Studio"].version, "2.5");
    EXPECT_EQ(byName["Studio"].installDir, std::wstring(200, L'd'));
    EXPECT_EQ(byName["Long"].installDir, L"");
    EXPECT_EQ(byName["Edge"].installDir, std::wstring(260, L'd'));
    EXPECT_EQ(byName["NoDir"].installDir, L"");
    EXPECT_EQ(byName.count("Huge"), 0u);
    // The per-user data folder is named after the product.
    EXPECT_TRUE(QString::fromStdWString(byName["Studio"].dataFolder).endsWith("/Belmo/Studio"));
}

TEST_F(Catalogue, NoProductsKeyMeansNoProducts)
{
    Registry(Registry::Hive::LocalMachine).setValue("SOFTWARE\\Other\\X\\1", "Version", "1");
    EXPECT_TRUE(scanned().installed.empty());
}

ApplicationInfo application(const std::string& product, const std::string& version)
{
    ApplicationInfo a;
    a.productName = product;
    a.versionName = version;
    return a;
}

InstalledProduct product(const std::string& name, const std::string& version)
{
    InstalledProduct p;
    p.productName = name;
    p.version = version;
    return p;
}

TEST(CatalogueLookups, FindInstalledComparesExactlyAndStatusFollows)
{
    ProductData data;
    data.installed = {product("Studio", "2.0.0"), product("studio", "2.0")};
    const ApplicationInfo studio = application("Studio", "2.0");
    EXPECT_EQ(data.findInstalled(&studio, false), nullptr);
    ASSERT_EQ(data.findInstalled(&studio, true), &data.installed[0]);
    EXPECT_EQ(data.findInstalled(nullptr, true), nullptr);
    EXPECT_EQ(data.findInstalledProduct("Studio", "2.0.0"), &data.installed[0]);
    EXPECT_EQ(data.findInstalledProduct("Studio", "2.0"), nullptr);

    EXPECT_EQ(ProductData::applicationStatus(&studio, nullptr), 0);
    EXPECT_EQ(ProductData::applicationStatus(&studio, &data.installed[0]), 1);
    EXPECT_EQ(ProductData::applicationStatus(&studio, &data.installed[1]), 4);
}

struct RequestCase {
    const char* name;
    QString product;
    int status;
    int application;   // index of the application in the result, -1 for none
};

class RequestedProductTable : public ::testing::TestWithParam<RequestCase> {};

TEST_P(RequestedProductTable, LastMatchingApplicationDecides)
{
    ProductData data;
    data.applications = {application("Studio", "3.0"), application("Measure", "2.0"), application("Studio", "3.1"),
                         application("Viewer", "1.0")};
    data.installed = {product("Studio", "3.0"), product("Measure", "1.9")};
    const RequestedProduct result = findRequestedProduct(data, GetParam().product, "ignored", "4711");
    EXPECT_EQ(result.status, GetParam().status);
    if (GetParam().application < 0) {
        EXPECT_EQ(result.application, nullptr);
        EXPECT_EQ(result.installed, nullptr);
    } else {
        EXPECT_EQ(result.application, &data.applications[GetParam().application]);
        ASSERT_NE(result.installed, nullptr);
        EXPECT_EQ(result.installed->productName, data.applications[GetParam().application].productName);
    }
}

INSTANTIATE_TEST_SUITE_P(
    Cases, RequestedProductTable,
    ::testing::Values(
        // Studio 3.0 is current (4), then Studio 3.1 is another version than installed (1): the last decides.
        RequestCase{"SameThenOtherVersion", "Studio", 1, 2},
        RequestCase{"OtherVersion", "Measure", 1, 1},
        RequestCase{"NotInstalled", "Viewer", 0, -1},
        RequestCase{"NoSuchApplication", "Nothing", 0, -1},
        RequestCase{"NameIsCaseSensitive", "studio", 0, -1},
        // Empty: every application matches and the last (Viewer, not installed) sets the status; the earlier
        // match of status 1 stays recorded.
        RequestCase{"EmptyProduct", "", 0, 2}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(RequestedProductCurrent, InstalledInExactlyTheOfferedVersionIsFour)
{
    ProductData data;
    data.applications = {application("Studio", "3.0")};
    data.installed = {product("Studio", "3.0")};
    const RequestedProduct result = findRequestedProduct(data, "Studio");
    EXPECT_EQ(result.status, 4);
    EXPECT_EQ(result.application, nullptr);
}

}  // namespace

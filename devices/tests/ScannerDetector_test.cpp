#include <gtest/gtest.h>

#include <algorithm>
#include <boost/make_shared.hpp>
#include <utility>
#include <map>
#include <stdexcept>
#include <string>
#include <vector>

#include "devices/ScannerDetector.h"

namespace {

// Descriptions kept in memory, in the order they were added.
class MemoryStore : public DeviceStore {
public:
    void load(const std::wstring&) override { loaded = true; }
    void reload(const std::string&) override {}
    bool isLoaded() const override { return loaded; }
    std::vector<std::string> listSerials(const std::string&) override { return serials; }
    std::vector<std::string> listEntries(const std::string& serial) override
    {
        std::vector<std::string> names;
        for (const auto& e : entries[serial])
            names.push_back(e.first);
        return names;
    }
    void readEntry(const std::string& serial, const std::string& entry, niTypes::niPtree& tree) override
    {
        ++reads;
        if (serial == failingSerial)
            throw std::runtime_error("store broken");
        for (const auto& e : entries[serial])
            if (e.first == entry)
                tree = e.second;
    }

    void add(const std::string& serial, const std::string& entry, const niTypes::niPtree& tree)
    {
        if (entries.find(serial) == entries.end())
            serials.push_back(serial);
        entries[serial].emplace_back(entry, tree);
    }
    void addSerial(const std::string& serial)
    {
        serials.push_back(serial);
        entries[serial];
    }

    bool loaded = true;
    int reads = 0;
    std::string failingSerial;

private:
    std::vector<std::string> serials;
    std::map<std::string, std::vector<std::pair<std::string, niTypes::niPtree>>> entries;
};

niTypes::niPtree description(const std::string& serial, const std::string& camera, const std::string& cameraId,
                             const std::string& clrId = "", const std::string& cid = "", const std::string& version = "")
{
    niTypes::niPtree tree;
    const std::string info = "Belmo.Device.Info.";
    tree.put(info + "serial", niTypes::niString(serial));
    tree.put(info + "camera", niTypes::niString(camera));
    tree.put(info + "camera_id", niTypes::niString(cameraId));
    tree.put(info + "camera_clr_id", niTypes::niString(clrId));
    tree.put(info + "cid", niTypes::niString(cid));
    tree.put(info + "version", niTypes::niString(version));
    return tree;
}

std::string text(const DetectedScanner& r)
{
    return r.serial + "/" + r.entry + "/" + r.kind + "/" + (r.composite ? "composite" : "single") + "/" + r.name +
           "/" + r.cid + "/" + r.version;
}

std::string text(const MatchedScanner& r)
{
    return text(static_cast<const DetectedScanner&>(r)) + "/" + r.cameraId;
}

template <class T>
std::vector<std::string> texts(const std::vector<T>& records)
{
    std::vector<std::string> out;
    for (const T& r : records)
        out.push_back(text(r));
    return out;
}

std::vector<std::string> names(const std::vector<CameraDescriptor>& cameras)
{
    std::vector<std::string> out;
    for (const CameraDescriptor& c : cameras)
        out.push_back(c.kind + ":" + c.id);
    return out;
}

// Serials in store order S2, S1, AVI-0012-X, S3; the detector visits them sorted.
boost::shared_ptr<MemoryStore> standardStore()
{
    auto store = boost::make_shared<MemoryStore>();
    store->add("S2", "main", description("S2 text", "LUM", "55", "", "4", "2.1"));
    store->add("S1", "a", description("S1 text", "Pg grabber", "55", "77", "9", "1.0"));
    store->add("S1", "b", description("S1 b", "LUM", "66"));
    store->add("AVI-0012-X", "clip", description("ignored", "", "55"));
    niTypes::niPtree unreadable = description("x", "LUM", "99");
    unreadable.put("Belmo.Device.Info.serial", 5);  // an int where text belongs
    store->add("S3", "bad", unreadable);
    return store;
}

// A camera lister that reports what connected holds at each call.
auto reporting(const std::vector<CameraDescriptor>& connected)
{
    return [&connected](const std::vector<std::string>&, std::vector<CameraDescriptor>& out, const std::wstring&) {
        out = connected;
    };
}

struct UpdateCase {
    const char* name;
    std::vector<CameraDescriptor> cameras;
    std::vector<std::string> matched;
    std::vector<std::string> unmatched;
    std::string selected;
};

void PrintTo(const UpdateCase& c, std::ostream* out)
{
    *out << c.name;
}

class DetectorUpdate : public ::testing::TestWithParam<UpdateCase> {};

TEST_P(DetectorUpdate, MatchesCamerasByIdAgainstStoredDescriptions)
{
    const UpdateCase& c = GetParam();
    std::vector<std::string> askedKinds;
    ScannerDetector detector({"Lumenera camera", "Pg grabber"}, nullptr,
                             [&](const std::vector<std::string>& kinds, std::vector<CameraDescriptor>& out,
                                 const std::wstring& option) {
                                 askedKinds = kinds;
                                 EXPECT_TRUE(option.empty());
                                 out = c.cameras;
                             });
    auto store = standardStore();
    ASSERT_TRUE(detector.update(store));
    EXPECT_EQ((std::vector<std::string>{"Lumenera camera", "Pg grabber"}), askedKinds);
    EXPECT_EQ(c.matched, texts(detector.connected()));
    EXPECT_EQ(c.unmatched, names(detector.unmatchedCameras()));
    EXPECT_EQ(c.selected, detector.selected());
    EXPECT_EQ(c.cameras.size(), detector.listedCameras().size());
}

INSTANTIATE_TEST_SUITE_P(
    Cases, DetectorUpdate,
    ::testing::Values(
        UpdateCase{"no_cameras", {}, {}, {}, ""},
        UpdateCase{"one_camera_two_serials",
                   {{"Pg grabber", "55", "55"}},
                   {"S1/a/Pg grabber/composite/S1 text/9/1.0/55", "S2/main/Lumenera camera/single/S2 text/4/2.1/55"},
                   {},
                   "S1"},
        UpdateCase{"empty_id_is_unmatched", {{"Lumenera camera", "", "Lumenera X #"}}, {}, {"Lumenera camera:"}, ""},
        UpdateCase{"avi_serial_prefixes_the_ids",
                   {{"Pg grabber", "AVI-55", "AVI-55"}},
                   {"AVI-0012-X/clip/Avi file/composite/AVI-0012-X///AVI-55"},
                   {},
                   "AVI-0012-X"},
        UpdateCase{"kinds_are_not_compared",
                   {{"Pg grabber", "66", "66"}},
                   {"S1/b/Lumenera camera/single/S1 b///66"},
                   {},
                   "S1"},
        UpdateCase{"unreadable_and_kindless_are_unmatched",
                   {{"Lumenera camera", "99", "Lumenera X #99"}, {"", "55", "55"}},
                   {},
                   {"Lumenera camera:99", ":55"},
                   ""},
        UpdateCase{"camera_order_then_sorted_serials",
                   {{"Lumenera camera", "66", "Lumenera Y #66"}, {"Pg grabber", "55", "55"}, {"Pg grabber", "1", "1"}},
                   {"S1/b/Lumenera camera/single/S1 b///66", "S1/a/Pg grabber/composite/S1 text/9/1.0/55",
                    "S2/main/Lumenera camera/single/S2 text/4/2.1/55"},
                   {"Pg grabber:1"},
                   "S1"}),
    [](const ::testing::TestParamInfo<UpdateCase>& info) { return std::string(info.param.name); });

TEST(ScannerDetector, EmptyCameraIdReadsNoDescription)
{
    ScannerDetector detector({"Lumenera camera"}, nullptr,
                             [](const std::vector<std::string>&, std::vector<CameraDescriptor>& out,
                                const std::wstring&) { out = {{"Lumenera camera", "", "Lumenera X #"}}; });
    auto store = standardStore();
    ASSERT_TRUE(detector.update(store));
    EXPECT_EQ(0, store->reads);
}

TEST(ScannerDetector, ListDevicesGivesOneRecordPerEntryInStoreOrder)
{
    auto store = boost::make_shared<MemoryStore>();
    store->add("B", "one", description("B1", "LUM", "1", "", "3", "v1"));
    store->add("B", "two", description("B2", "lum", "2"));
    store->add("B", "three", description("B3", "Pg grabber", "3", "4"));
    store->addSerial("A");  // no entries
    niTypes::niPtree noInfo;
    noInfo.put("Belmo.Device.Other", niTypes::niString("x"));
    store->add("C", "bare", noInfo);
    niTypes::niPtree intSerial = description("x", "LUM", "5", "", "7", "v");
    intSerial.put("Belmo.Device.Info.serial", 12);
    store->add("D", "int", intSerial);

    ScannerDetector detector({"Lumenera camera"}, nullptr,
                             [](const std::vector<std::string>&, std::vector<CameraDescriptor>& out,
                                const std::wstring&) { out.clear(); });
    std::vector<DetectedScanner> out(1);
    EXPECT_EQ(0, detector.listDevices(out));  // no store yet
    EXPECT_TRUE(out.empty());

    ASSERT_TRUE(detector.update(store));
    ASSERT_EQ(5, detector.listDevices(out));
    EXPECT_EQ((std::vector<std::string>{"B/one/Lumenera camera/single/B1/3/v1", "B/two//composite/B2//",
                                        "B/three/Pg grabber/composite/B3//", "C/bare//composite///",
                                        "D/int//composite///"}),
              texts(out));
}

TEST(ScannerDetector, ModelLabelsNameTheirDescriptions)
{
    auto store = standardStore();
    std::vector<std::pair<std::string, std::string>> asked;
    ScannerDetector detector({"Pg grabber"}, nullptr,
                             [](const std::vector<std::string>&, std::vector<CameraDescriptor>& out,
                                const std::wstring&) { out = {{"Pg grabber", "55", "55"}}; });
    detector.setModelLabels([&](const std::string& serial, const std::string& entry) {
        asked.emplace_back(serial, entry);
        return serial == "S1" && entry == "a" ? std::string("Belmo Duo") : std::string();
    });
    ASSERT_TRUE(detector.update(store));
    EXPECT_EQ((std::vector<std::string>{"S1/a/Pg grabber/composite/Belmo Duo [S1 text]/9/1.0/55",
                                        "S2/main/Lumenera camera/single/S2 text/4/2.1/55"}),
              texts(detector.connected()));

    std::vector<DetectedScanner> out;
    ASSERT_EQ(5, detector.listDevices(out));
    EXPECT_EQ("Belmo Duo [S1 text]", out[1].name);
    EXPECT_EQ("S1 b", out[2].name);
    EXPECT_EQ("AVI-0012-X", out[3].name);
    EXPECT_EQ("", out[4].name);  // unreadable: no serial value, no label
    EXPECT_NE(asked.end(), std::find(asked.begin(), asked.end(), std::make_pair(std::string("S3"), std::string("bad"))));

    EXPECT_EQ("Belmo One []", scannerDisplayName("", "Belmo One"));
    EXPECT_EQ("SN 7", scannerDisplayName("SN 7", ""));
}

TEST(ScannerDetector, UpdateWithoutALoadedStoreKeepsTheLastResults)
{
    std::vector<CameraDescriptor> connected = {{"Pg grabber", "55", "55"}, {"Pg grabber", "8", "8"}};
    ScannerDetector detector({"Pg grabber"}, nullptr, reporting(connected));
    auto store = standardStore();
    ASSERT_TRUE(detector.update(store));
    ASSERT_EQ(2u, detector.connected().size());

    auto unloaded = boost::make_shared<MemoryStore>();
    unloaded->loaded = false;
    EXPECT_FALSE(detector.update(unloaded));
    EXPECT_FALSE(detector.update(boost::shared_ptr<DeviceStore>()));
    EXPECT_EQ(2u, detector.connected().size());
    EXPECT_EQ(std::vector<std::string>{"Pg grabber:8"}, names(detector.unmatchedCameras()));
    std::vector<DetectedScanner> out(2);
    EXPECT_EQ(0, detector.listDevices(out));  // the null store was kept
    std::vector<MatchedScanner> described;
    EXPECT_FALSE(detector.describeDevice(described, "S1", "a", "", nullptr));
}

TEST(ScannerDetector, SelectionStaysWhileItsSerialMatches)
{
    std::vector<CameraDescriptor> connected = {{"Pg grabber", "55", "55"}};
    ScannerDetector detector({"Pg grabber"}, nullptr, reporting(connected));
    auto store = standardStore();
    ASSERT_TRUE(detector.update(store));
    EXPECT_EQ("S1", detector.selected());
    connected = {{"Lumenera camera", "66", "Lumenera #66"}};  // S1 again, another entry
    ASSERT_TRUE(detector.update(store));
    EXPECT_EQ("S1", detector.selected());
    connected = {{"Pg grabber", "AVI-55", "AVI-55"}};
    ASSERT_TRUE(detector.update(store));
    EXPECT_EQ("AVI-0012-X", detector.selected());
    connected.clear();  // nothing matched: kept
    ASSERT_TRUE(detector.update(store));
    EXPECT_EQ("AVI-0012-X", detector.selected());
    EXPECT_TRUE(detector.connected().empty());
}

TEST(ScannerDetector, StoreErrorsPassAndLeaveTheMatchedRecords)
{
    std::vector<CameraDescriptor> connected = {{"Pg grabber", "55", "55"}};
    ScannerDetector detector({"Pg grabber"}, nullptr, reporting(connected));
    auto store = standardStore();
    ASSERT_TRUE(detector.update(store));
    store->failingSerial = "S2";
    EXPECT_THROW(detector.update(store), std::runtime_error);
    EXPECT_EQ(2u, detector.connected().size());
    EXPECT_EQ("S1", detector.selected());
    std::vector<DetectedScanner> out(1);
    EXPECT_THROW(detector.listDevices(out), std::runtime_error);
    EXPECT_TRUE(out.empty());
}

}  // namespace

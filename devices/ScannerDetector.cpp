#include "devices/ScannerDetector.h"

#include <algorithm>
#include <exception>

#include "capture/DeviceKeys.h"
#include "devices/CameraLibraryTable.h"
#include "devices/DescriptionKeys.h"

namespace {

const std::string lumeneraCode = "LUM";
const std::string pgCode = "Pg grabber";
const std::string lumeneraKind = "Lumenera camera";
const std::string pgKind = "Pg grabber";
const std::string aviKind = "Avi file";

struct DescriptionValues {
    std::string serial, camera, cameraId, cameraClrId, cid, version;
};

std::string readText(const niTypes::niPtree& info, const std::string& key)
{
    return info.get<niTypes::niString>(key, niTypes::niString()).str();
}

// Reads the values in order; the first failure leaves it and every later value empty.
DescriptionValues readDescription(const niTypes::niPtree& tree, const std::string& storeSerial)
{
    DescriptionValues v;
    try {
        const niTypes::niPtree& info =
            tree.get_child(niTypes::niPtree::path_type(devices::keys::belmo + "." + capture::keys::deviceInfo));
        v.serial = readText(info, devices::keys::serial);
        v.camera = readText(info, capture::keys::camera);
        v.cameraId = readText(info, capture::keys::cameraId);
        v.cameraClrId = readText(info, capture::keys::cameraClrId);
        v.cid = readText(info, capture::keys::cid);
        v.version = readText(info, capture::keys::version);
        if (storeSerial.compare(0, 3, "AVI") == 0) {
            const std::string prefix = storeSerial.substr(0, storeSerial.find('-')) + "-";
            v.serial = storeSerial;
            v.cameraId = prefix + v.cameraId;
            v.cameraClrId = prefix + v.cameraClrId;
        }
    } catch (const std::exception&) {
    }
    return v;
}

}  // namespace

ScannerDetector::ScannerDetector(const std::vector<std::string>& cameraKinds, iLog* log, CameraLister lister)
    : log(log), cameraKinds(cameraKinds), lister(lister ? std::move(lister) : CameraLister(listCamerasOfKinds))
{
}

bool ScannerDetector::describeDevice(std::vector<MatchedScanner>& out, const std::string& serial,
                                     const std::string& entry, const std::string& cameraIdText,
                                     const CameraDescriptor* camera)
{
    if (!store)
        return false;
    niTypes::niPtree tree;
    store->readEntry(serial, entry, tree);  // store errors pass on
    const DescriptionValues v = readDescription(tree, serial);
    if (camera && v.cameraId != camera->id)
        return false;

    MatchedScanner record;
    if (v.camera == lumeneraCode || v.camera == pgCode) {
        record.kind = v.camera == lumeneraCode ? lumeneraKind : pgKind;
        record.composite = !v.cameraClrId.empty();
    } else {
        record.composite = true;
    }
    if (serial.compare(0, 3, "AVI") == 0)
        record.kind = aviKind;
    record.name = v.serial;
    record.cameraId = cameraIdText;
    record.serial = serial;
    record.entry = entry;
    record.version = v.version;
    record.cid = v.cid;
    out.push_back(record);
    return true;
}

bool ScannerDetector::update(boost::shared_ptr<DeviceStore> newStore)
{
    store = newStore;
    if (!store || !store->isLoaded())
        return false;
    std::vector<std::string> serials = store->listSerials(std::string());
    std::sort(serials.begin(), serials.end());

    cameras.clear();
    unmatched.clear();
    lister(cameraKinds, cameras, std::wstring());

    std::vector<MatchedScanner> matched;
    for (const CameraDescriptor& camera : cameras) {
        if (camera.kind.empty() || camera.id.empty()) {
            unmatched.push_back(camera);
            continue;
        }
        bool found = false;
        for (const std::string& serial : serials)
            for (const std::string& entry : store->listEntries(serial))
                found = describeDevice(matched, serial, entry, camera.id, &camera) || found;
        if (!found)
            unmatched.push_back(camera);
    }

    if (!matched.empty() && std::none_of(matched.begin(), matched.end(), [this](const MatchedScanner& m) {
            return m.serial == selectedSerial;
        }))
        selectedSerial = matched.front().serial;
    connectedScanners = std::move(matched);
    return true;
}

int ScannerDetector::listDevices(std::vector<DetectedScanner>& out)
{
    out.clear();
    if (!store)
        return 0;
    std::vector<MatchedScanner> records;
    for (const std::string& serial : store->listSerials(std::string()))
        for (const std::string& entry : store->listEntries(serial))
            describeDevice(records, serial, entry, std::string(), nullptr);
    out.assign(records.begin(), records.end());
    return static_cast<int>(out.size());
}

void deleteScannerDetector(ScannerDetector* detector)
{
    delete detector;
}

#pragma once
// Brings together the scanner descriptions stored on the computer and the cameras connected now: which
// descriptions exist, and which connected cameras belong to none of them.
#include <functional>
#include <string>
#include <vector>

#include <boost/shared_ptr.hpp>

#include "devices/CameraDescriptor.h"
#include "devices/DetectedScanner.h"
#include "devices/DeviceStore.h"

class iLog;

class ScannerDetector {
public:
    // Lists the connected cameras of the wanted kinds; listCamerasOfKinds unless a test gives its own.
    using CameraLister = std::function<void(const std::vector<std::string>& kinds, std::vector<CameraDescriptor>& out,
                                            const std::wstring& option)>;

    explicit ScannerDetector(const std::vector<std::string>& cameraKinds, iLog* log = nullptr,
                             CameraLister lister = CameraLister());

    // Keeps store; with a loaded store lists the cameras and matches them by camera id. False, with the earlier
    // results kept, when the store is null or not loaded. Store errors pass on.
    bool update(boost::shared_ptr<DeviceStore> store);
    // One record per (serial, entry) of the store, in the store's order; empty without a store.
    int listDevices(std::vector<DetectedScanner>& out);
    // The cameras of the last update that matched no description.
    const std::vector<CameraDescriptor>& unmatchedCameras() const { return unmatched; }
    // Appends the description's record; with a camera only when its camera_id equals the camera's id.
    bool describeDevice(std::vector<MatchedScanner>& out, const std::string& serial, const std::string& entry,
                        const std::string& cameraIdText, const CameraDescriptor* camera);

    const std::string& selected() const { return selectedSerial; }
    const std::vector<MatchedScanner>& connected() const { return connectedScanners; }
    const std::vector<CameraDescriptor>& listedCameras() const { return cameras; }
    iLog* logger() const { return log; }

private:
    boost::shared_ptr<DeviceStore> store;
    std::string selectedSerial;
    std::vector<MatchedScanner> connectedScanners;
    iLog* log;
    std::vector<std::string> cameraKinds;
    std::vector<CameraDescriptor> cameras;
    std::vector<CameraDescriptor> unmatched;
    CameraLister lister;
};

// Deletes an owned detector when the pointer is not null.
void deleteScannerDetector(ScannerDetector* detector);

#pragma once
#include <string>

// One stored scanner description as the detector reports it.
struct DetectedScanner {
    bool composite = false;  // names a second (colour) camera, or no known camera kind
    std::string name;        // display name
    std::string serial;      // the serial under which the store keeps the description
    std::string entry;       // the entry name under that serial
    std::string version;
    std::string cid;         // local calibration revision, as text
    std::string kind;        // "Lumenera camera", "Pg grabber", "Avi file" or empty
};

// A description matched to a connected camera.
struct MatchedScanner : DetectedScanner {
    std::string cameraId;  // empty when described without a camera
};

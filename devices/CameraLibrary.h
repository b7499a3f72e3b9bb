#pragma once
// One camera library loaded at run time by file name; only cwAvailableCameras and cwDeinitialize are bound.
#include <string>
#include <vector>

#include "capture/cwInterface.h"
#include "platform/DynamicLibrary.h"

class CameraLibrary {
public:
    // Throws std::runtime_error "Load '<file>' failed: error code = <n>" when the library cannot be loaded.
    explicit CameraLibrary(const char* fileName);
    CameraLibrary(const CameraLibrary&) = delete;
    CameraLibrary& operator=(const CameraLibrary&) = delete;
    // Releases every camera of the library (cwDeinitialize with 0, when exported) and unloads it.
    ~CameraLibrary();

    // Throws std::runtime_error "GetProcAddress 'availableCameras' failed: error code = <n>" without the export;
    // what the library throws passes on.
    void availableCameras(std::vector<std::string>* names, const std::wstring* option);

    const std::string& fileName() const { return fileName_; }

private:
    platform::DynamicLibrary module_;
    std::string fileName_;
    cwAvailableCamerasFunction availableCameras_ = nullptr;
    cwDeinitializeFunction deinitialize_ = nullptr;
};

// "error code = " followed by the code in decimal.
std::string errorCodeText(unsigned long code);

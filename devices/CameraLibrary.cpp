#include "devices/CameraLibrary.h"

#include <stdexcept>

#include "capture/CaptureErrors.h"

std::string errorCodeText(unsigned long code)
{
    return capture::formatErrorCode(code);
}

CameraLibrary::CameraLibrary(const char* fileName) : fileName_(fileName)
{
    if (!module_.open(fileName_))
        throw std::runtime_error("Load '" + fileName_ + "' failed: " + errorCodeText(module_.errorCode()));
}

CameraLibrary::~CameraLibrary()
{
    if (!module_.isOpen())
        return;
    if (!deinitialize_)
        deinitialize_ = reinterpret_cast<cwDeinitializeFunction>(module_.symbol("cwDeinitialize"));
    if (deinitialize_) {
        try {
            deinitialize_(0);
        } catch (...) {  // a library's failure at release must not end the program
        }
    }
    module_.close();
}

void CameraLibrary::availableCameras(std::vector<std::string>* names, const std::wstring* option)
{
    if (!availableCameras_) {
        availableCameras_ = reinterpret_cast<cwAvailableCamerasFunction>(module_.symbol("cwAvailableCameras"));
        if (!availableCameras_)
            throw std::runtime_error("GetProcAddress 'availableCameras' failed: " +
                                     errorCodeText(module_.errorCode()));
    }
    availableCameras_(names, option);
}

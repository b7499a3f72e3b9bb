// A host that returns from main with a camera open and capturing, leaving the clean-up to process exit. Built
// twice: linked to the library, and (with PGGRABBER_LIBRARY) loading it with dlopen and never closing it.
// Exits 0 when the camera was open; any crash at exit shows in the exit status.
#include <cstdio>
#include <cstring>

#include "capture/cwInterface.h"
#include "platform/flycapture2/FlyCapture2Sim.h"

#ifdef PGGRABBER_LIBRARY
#include <dlfcn.h>
#endif

int main(int argc, char** argv)
{
#ifdef PGGRABBER_LIBRARY
    void* library = dlopen(PGGRABBER_LIBRARY, RTLD_NOW | RTLD_LOCAL);
    if (!library) {
        std::fprintf(stderr, "%s\n", dlerror());
        return 2;
    }
    const auto initialize = reinterpret_cast<decltype(&cwInitialize)>(dlsym(library, "cwInitialize"));
    if (!initialize)
        return 2;
#else
    const auto initialize = &cwInitialize;
#endif
    // the simulated bus is first used after the library's statics are built
    const unsigned int serial = 61;
    fc2sim::addCamera(fc2sim::defaultCamera(serial));
    niTypes::niPtree config;
    config.put("Device.Camera.PgGrabber.shutter_speed", 5.0f);
    CameraSettings settings;
    settings.callbackMode = argc > 1 && std::strcmp(argv[1], "callback") == 0;  // an SDK thread runs at exit
    try {
        if (initialize("61", nullptr, &config, &settings, nullptr, nullptr) == 0)
            return 3;
    } catch (const std::exception& e) {
        std::fprintf(stderr, "%s\n", e.what());
        return 4;
    }
    return fc2sim::isCapturing(serial) ? 0 : 5;
}

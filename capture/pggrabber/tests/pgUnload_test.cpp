// The library loaded at run time, as a host loads it: unloading it releases what it holds.
#include <gtest/gtest.h>

#include <dlfcn.h>
#include <sys/wait.h>

#include <cstdlib>
#include <stdexcept>
#include <string>

#include "capture/cwInterface.h"
#include "platform/flycapture2/FlyCapture2Sim.h"
#include "tests/support/LibrarySymbol.h"

namespace {

using ktest::librarySymbol;

TEST(PgGrabberUnload, UnloadingReleasesCamerasAndTheBusManager)
{
    fc2sim::reset();
    fc2sim::addCamera(fc2sim::defaultCamera(31));
    void* library = dlopen(PGGRABBER_LIBRARY, RTLD_NOW | RTLD_LOCAL);
    ASSERT_NE(nullptr, library) << dlerror();
    const auto initialize = librarySymbol<decltype(&cwInitialize)>(library, "cwInitialize");
    ASSERT_NE(nullptr, initialize);
    niTypes::niPtree config;
    config.put("Device.Camera.PgGrabber.shutter_speed", 5.0f);
    CameraSettings settings;
    const cwHandle handle = initialize("31", nullptr, &config, &settings, nullptr, nullptr);
    EXPECT_NE(0, handle);
    EXPECT_TRUE(fc2sim::isCapturing(31));
    EXPECT_EQ(1, fc2sim::busManagerCount());

    ASSERT_EQ(0, dlclose(library));
    EXPECT_FALSE(fc2sim::isConnected(31));
    EXPECT_EQ(0, fc2sim::busManagerCount());

    // loaded again, the library knows no camera
    library = dlopen(PGGRABBER_LIBRARY, RTLD_NOW | RTLD_LOCAL);
    ASSERT_NE(nullptr, library) << dlerror();
    const auto capture = librarySymbol<decltype(&cwCapture)>(library, "cwCapture");
    ASSERT_NE(nullptr, capture);
    EXPECT_THROW(capture(handle, true, false), std::runtime_error);
    const auto available = librarySymbol<decltype(&cwAvailableCameras)>(library, "cwAvailableCameras");
    std::vector<std::string> names;
    EXPECT_EQ(1, available(&names, nullptr));
    librarySymbol<decltype(&cwDeinitialize)>(library, "cwDeinitialize")(0);
    EXPECT_EQ(0, dlclose(library));
}

// Hosts that return from main with a camera open (capturing, with and without the SDK's image thread) leave the
// clean-up to process exit; the library releases its cameras there while the simulated bus still exists.
TEST(PgGrabberUnload, AHostMayExitWithACameraOpen)
{
    for (const char* host : {EXIT_HOST, EXIT_HOST_DLOPEN}) {
        for (const char* mode : {"plain", "callback"}) {
            const std::string command = std::string("'") + host + "' " + mode;
            const int status = std::system(command.c_str());
            ASSERT_TRUE(WIFEXITED(status)) << command << " ended by signal " << WTERMSIG(status);
            EXPECT_EQ(0, WEXITSTATUS(status)) << command;
        }
    }
}

}  // namespace

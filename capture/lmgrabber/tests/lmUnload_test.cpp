// The library loaded at run time, as a host loads it: unloading it without cwDeinitialize releases its cameras.
#include <gtest/gtest.h>

#include <dlfcn.h>

#include <stdexcept>

#include "capture/cwInterface.h"
#include "capture/lmgrabber/tests/LumeneraTestCameras.h"
#include "tests/support/LibrarySymbol.h"

namespace {

using ktest::librarySymbol;

TEST(LmGrabberUnload, UnloadingReleasesCamerasAndTheirCallbacks)
{
    lmtest::connectScanner();
    void* library = dlopen(LMGRABBER_LIBRARY, RTLD_NOW | RTLD_LOCAL);
    ASSERT_NE(nullptr, library) << dlerror();
    const auto initialize = librarySymbol<decltype(&cwInitialize)>(library, "cwInitialize");
    ASSERT_NE(nullptr, initialize);
    const niTypes::niPtree config = lmtest::scannerConfig();
    CameraSettings mainSettings, textureSettings;
    const cwHandle handle = initialize("#1001", nullptr, &config, &mainSettings, &textureSettings, nullptr);
    ASSERT_NE(0, handle);
    for (uint32_t serial : {lmtest::mainSerial, lmtest::textureSerial}) {
        EXPECT_TRUE(lucamsim::cameraState(serial).open) << serial;
        EXPECT_GT(lucamsim::cameraState(serial).callbacks, 0) << serial;
    }

    ASSERT_EQ(0, dlclose(library));
    void* stillLoaded = dlopen(LMGRABBER_LIBRARY, RTLD_NOW | RTLD_NOLOAD);
    EXPECT_EQ(nullptr, stillLoaded) << "the library stayed in the process";
    if (stillLoaded)
        dlclose(stillLoaded);
    for (uint32_t serial : {lmtest::mainSerial, lmtest::textureSerial}) {
        EXPECT_FALSE(lucamsim::cameraState(serial).open) << serial;
        EXPECT_EQ(0, lucamsim::cameraState(serial).callbacks) << serial;
    }

    // loaded again, the library knows no camera
    library = dlopen(LMGRABBER_LIBRARY, RTLD_NOW | RTLD_LOCAL);
    ASSERT_NE(nullptr, library) << dlerror();
    const auto capture = librarySymbol<decltype(&cwCapture)>(library, "cwCapture");
    ASSERT_NE(nullptr, capture);
    EXPECT_EQ("cwCapture: camera hasn't been initialized!", lmtest::errorOf([&] { capture(handle, true, false); }));
    librarySymbol<decltype(&cwDeinitialize)>(library, "cwDeinitialize")(0);
    EXPECT_EQ(0, dlclose(library));
    lucamsim::reset();
}

}  // namespace

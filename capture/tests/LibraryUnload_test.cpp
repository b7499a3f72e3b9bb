// Both camera libraries in a host arranged as kyb is: it links neither them nor their SDKs, loads pgGrabber and
// then lmGrabber by path, and closes them without releasing their cameras first. Closing must unload each library
// and its SDK, in either order, so nothing a library held outlives it.
#include <gtest/gtest.h>

#include <dlfcn.h>

#include <fstream>
#include <set>
#include <string>
#include <vector>

#include "capture/cwInterface.h"
#include "tests/support/LibrarySymbol.h"

namespace {

using ktest::librarySymbol;

const char* const libraries[] = {PGGRABBER_LIBRARY, LMGRABBER_LIBRARY, FLYCAPTURE_LIBRARY, LUCAM_LIBRARY};

// The libraries of `libraries` mapped into this process now.
std::set<std::string> mappedLibraries()
{
    std::ifstream maps("/proc/self/maps");
    std::set<std::string> found;
    for (std::string line; std::getline(maps, line);)
        for (const std::string path : libraries)
            if (line.size() > path.size() && line.compare(line.size() - path.size(), path.size(), path) == 0 &&
                line[line.size() - path.size() - 1] == ' ')
                found.insert(path);
    return found;
}

struct CameraLibrary {
    void* module = nullptr;
    cwHandle camera = 0;
};

// Opens the library and one camera in it; the camera stays open.
CameraLibrary openWithCamera(const char* path, const char* cameraId, const niTypes::niPtree& config)
{
    CameraLibrary library;
    library.module = dlopen(path, RTLD_NOW | RTLD_LOCAL);
    if (!library.module)
        ADD_FAILURE() << dlerror();
    if (!library.module)
        return library;
    const auto available = librarySymbol<decltype(&cwAvailableCameras)>(library.module, "cwAvailableCameras");
    const auto initialize = librarySymbol<decltype(&cwInitialize)>(library.module, "cwInitialize");
    if (!available || !initialize) {
        ADD_FAILURE() << path << ": cw exports missing";
        return library;
    }
    std::vector<std::string> names;
    const std::wstring option;
    try {
        EXPECT_GT(available(&names, &option), 0) << path;
        CameraSettings main, texture;
        library.camera = initialize(cameraId, nullptr, &config, &main, &texture, nullptr);
    } catch (const std::exception& e) {
        ADD_FAILURE() << path << ": " << e.what();
    }
    EXPECT_NE(0, library.camera) << path;
    return library;
}

struct CloseOrder {
    const char* name;
    bool pgGrabberFirst;
};

class CameraLibrariesInAHost : public ::testing::TestWithParam<CloseOrder> {};

TEST_P(CameraLibrariesInAHost, ClosingUnloadsEachLibraryAndItsSdk)
{
    ASSERT_TRUE(mappedLibraries().empty());
    niTypes::niPtree pgConfig;
    pgConfig.put("Device.Camera.PgGrabber.shutter_speed", 5.0f);
    niTypes::niPtree lmConfig;
    lmConfig.put("Device.Camera.Lumenera.gain", 4.0f);
    for (int round = 0; round < 2; ++round) {  // the second finds the cameras the first left open released
        SCOPED_TRACE("round " + std::to_string(round));
        CameraLibrary pg = openWithCamera(PGGRABBER_LIBRARY, "14070001", pgConfig);
        CameraLibrary lm = openWithCamera(LMGRABBER_LIBRARY, "Lumenera Lu070 #30001234", lmConfig);
        ASSERT_TRUE(pg.module && lm.module);
        EXPECT_EQ(4u, mappedLibraries().size());
        for (void* module : GetParam().pgGrabberFirst ? std::vector<void*>{pg.module, lm.module}
                                                       : std::vector<void*>{lm.module, pg.module})
            EXPECT_EQ(0, dlclose(module)) << dlerror();
        std::string left;
        for (const std::string& path : mappedLibraries())
            left += "\n  " + path;
        EXPECT_TRUE(left.empty()) << "still in the process:" << left;
        if (!left.empty())
            return;
    }
}

INSTANTIATE_TEST_SUITE_P(Orders, CameraLibrariesInAHost,
                         ::testing::Values(CloseOrder{"PgGrabberFirst", true}, CloseOrder{"LmGrabberFirst", false}),
                         [](const ::testing::TestParamInfo<CloseOrder>& info) { return std::string(info.param.name); });

}  // namespace

// liblmGrabber.so loaded the way kyb loads it: by file name from the program's folder, through the library table,
// over the cameras of the description file named in KESTRUNE_LUCAM_SIM.
#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "capture/cwInterface.h"
#include "devices/CameraLibrary.h"
#include "devices/CameraLibraryTable.h"
#include "platform/DynamicLibrary.h"
#include "platform/lucam/LucamSimulator.h"

namespace {

TEST(LumeneraLibraryLoad, ListsTheDescribedCameras)
{
    std::vector<CameraDescriptor> cameras;
    listCamerasOfKinds({"Lumenera camera"}, cameras, std::wstring());
    ASSERT_EQ(3u, cameras.size());
    EXPECT_EQ("Lumenera camera", cameras[0].kind);
    EXPECT_EQ("30001234", cameras[0].id);
    EXPECT_EQ("Lumenera Lu070 #30001234", cameras[0].name);
    EXPECT_EQ("Lumenera Lu050C #30001235", cameras[1].name);
    EXPECT_EQ("Lumenera Lw070 #30009999", cameras[2].name);
}

TEST(LumeneraLibraryLoad, ReleaseBeforeUnloadClosesEveryCamera)
{
    auto library = std::make_unique<CameraLibrary>("lmGrabber.dll");
    std::vector<std::string> names;
    const std::wstring option;
    library->availableCameras(&names, &option);
    ASSERT_EQ(3u, names.size());

    platform::DynamicLibrary second;  // the same loaded module, for the export kyb does not bind
    ASSERT_TRUE(second.open("lmGrabber.dll")) << second.errorText();
    auto initialize = reinterpret_cast<decltype(&cwInitialize)>(second.symbol("cwInitialize"));
    ASSERT_NE(nullptr, initialize);
    niTypes::niPtree config;
    config.put("Device.Camera.Lumenera.gain", 4.0f);
    CameraSettings mainSettings, textureSettings;
    ASSERT_NE(0, initialize(names[0].c_str(), nullptr, &config, &mainSettings, &textureSettings, nullptr));
    second.close();
    EXPECT_TRUE(lucamsim::cameraState(30001234).open);

    library.reset();  // cwDeinitialize(0), then unloading
    EXPECT_FALSE(lucamsim::cameraState(30001234).open);
}

}  // namespace

#include <gtest/gtest.h>

#include <stdexcept>

#include "capture/CameraConfig.h"

namespace {

niTypes::niPtree config()
{
    niTypes::niPtree tree;
    tree.put("Device.Info.camera_clr_id", niTypes::niString("4711"));
    tree.put("Device.Camera.Lumenera.gain", 6.0f);
    tree.put("Device.Camera.Lumenera.mirror_y", true);
    tree.put("Device.Camera2.Lumenera.mirror_x", true);
    return tree;
}

TEST(CameraConfig, TextureCameraNeedsItsIdAndItsSection)
{
    const niTypes::niPtree full = config();
    const capture::TextureCameraConfig texture = capture::readTextureCameraConfig(&full, "Lumenera");
    EXPECT_EQ("4711", texture.id);
    ASSERT_NE(nullptr, texture.section);
    EXPECT_TRUE(texture.section->get<bool>("mirror_x", false));

    niTypes::niPtree wrongType = full;
    wrongType.put("Device.Info.camera_clr_id", 4711);
    niTypes::niPtree noInfo = full;
    noInfo.erase("Device");
    const niTypes::niPtree* cases[] = {nullptr, &wrongType, &noInfo};
    for (const niTypes::niPtree* tree : cases) {
        const capture::TextureCameraConfig none = capture::readTextureCameraConfig(tree, "Lumenera");
        EXPECT_TRUE(none.id.empty());
        EXPECT_EQ(nullptr, none.section);
    }
    const capture::TextureCameraConfig otherKind = capture::readTextureCameraConfig(&full, "PgGrabber");
    EXPECT_TRUE(otherKind.id.empty());  // no Device.Camera2.PgGrabber section
    EXPECT_EQ(nullptr, otherKind.section);
}

TEST(CameraConfig, SectionsAndMirrorFlags)
{
    const niTypes::niPtree tree = config();
    EXPECT_EQ("Device.Camera.PgGrabber", capture::mainCameraSection("PgGrabber"));
    EXPECT_EQ("Device.Camera2.Lumenera", capture::textureCameraSection("Lumenera"));
    const niTypes::niPtree& main = capture::mainCameraConfig(tree, "Lumenera");
    bool x = true, y = false;
    capture::readMirrorFlags(main, x, y);
    EXPECT_FALSE(x);  // missing: false
    EXPECT_TRUE(y);
    EXPECT_THROW(capture::mainCameraConfig(tree, "PgGrabber"), std::exception);

    niTypes::niPtree bad;
    bad.put("mirror_x", 1);  // an int, not a bool
    EXPECT_THROW(capture::readMirrorFlags(bad, x, y), std::runtime_error);
}

}  // namespace

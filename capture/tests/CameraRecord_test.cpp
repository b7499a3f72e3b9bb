#include <gtest/gtest.h>

#include <stdexcept>
#include <string>
#include <vector>

#include "capture/CameraRecord.h"

namespace {

std::vector<std::string> closed;  // ids of deleted cameras, in order

struct FakeCamera {
    explicit FakeCamera(std::string id) : id(std::move(id)) {}
    ~FakeCamera() { closed.push_back(id); }
    std::string id;
};

struct Parameters {
    int gain = 0;
};

struct Record : capture::CameraRecordFields<FakeCamera, Parameters> {
    int ownField = 7;
};

using Map = capture::CameraMap<Record>;

FakeCamera* make(const std::string& id)
{
    if (id == "broken")
        throw std::runtime_error("camera broken is not connected");
    return new FakeCamera(id);
}

class CameraRecordTest : public ::testing::Test {
protected:
    void SetUp() override { closed.clear(); }
    void TearDown() override { capture::clearCameraRecords(map); }
    Record& create(const std::string& id, const std::string& texture = std::string(), bool useTexture = true)
    {
        return capture::createCameraRecord(map, id, texture, useTexture, make, make);
    }
    Map map;
};

TEST_F(CameraRecordTest, CreateEntersTheRecordUnderTheCamerasAddress)
{
    Record& record = create("#1", "77");
    const cwHandle handle = capture::handleOf(record.mainCamera);
    ASSERT_EQ(1u, map.count(handle));
    EXPECT_EQ("#1", record.mainCameraId);
    EXPECT_EQ("77", record.textureCameraId);
    ASSERT_NE(nullptr, record.textureCamera);
    EXPECT_EQ("77", record.textureCamera->id);
    EXPECT_EQ(map.begin(), capture::findCameraRecordById(map, "#1"));
    EXPECT_EQ(map.end(), capture::findCameraRecordById(map, "77"));

    Record& plain = create("#2", "88", false);
    EXPECT_EQ(nullptr, plain.textureCamera);
    EXPECT_TRUE(plain.textureCameraId.empty());
}

TEST_F(CameraRecordTest, FailuresLeaveNoRecord)
{
    EXPECT_THROW(create("broken"), std::runtime_error);
    EXPECT_TRUE(map.empty());
    EXPECT_THROW(create("#1", "broken"), std::runtime_error);
    EXPECT_TRUE(map.empty());
    EXPECT_EQ(std::vector<std::string>{"#1"}, closed);  // the main camera was closed again
}

TEST_F(CameraRecordTest, EraseDeletesEachCameraOnce)
{
    Record& composite = create("#1", "77");
    const cwHandle first = capture::handleOf(composite.mainCamera);
    Record& self = create("#2");
    self.textureCamera = self.mainCamera;  // a camera that is its own texture camera
    const cwHandle second = capture::handleOf(self.mainCamera);

    EXPECT_FALSE(capture::eraseCameraRecord(map, 12345));
    EXPECT_TRUE(capture::eraseCameraRecord(map, first));
    EXPECT_EQ((std::vector<std::string>{"77", "#1"}), closed);  // texture first, then main
    EXPECT_FALSE(capture::eraseCameraRecord(map, first));
    closed.clear();
    capture::clearCameraRecords(map);
    EXPECT_EQ(std::vector<std::string>{"#2"}, closed);
    EXPECT_TRUE(map.empty());
    EXPECT_EQ(0u, map.count(second));
}

TEST_F(CameraRecordTest, LookupRaisesTheExportsText)
{
    Record& plain = create("#1");
    const cwHandle handle = capture::handleOf(plain.mainCamera);
    EXPECT_EQ(&plain, &capture::lookupCameraRecord(map, handle, capture::LookupForm::Short, "cwCapture"));

    struct Case {
        cwHandle handle;
        capture::LookupForm form;
        const char* name;
        const char* text;
    } cases[] = {
        {1, capture::LookupForm::Short, "cwGetFrame", "cwGetFrame: camera hasn't been initialized!"},
        {1, capture::LookupForm::ErrorAt, "cwSetGain", "Error at cwSetGain - camera hasn't been initialized!"},
        {1, capture::LookupForm::Texture, "cwGetRawFrameTexture", "cwGetFrameTexture: device hasn't been initialized!"},
        {handle, capture::LookupForm::Texture, "cwGetFrameTexture",
         "cwGetFrameTexture: texture camera hasn't been initialized!"},
    };
    for (const Case& c : cases) {
        try {
            capture::lookupCameraRecord(map, c.handle, c.form, c.name);
            ADD_FAILURE() << c.name << ": nothing thrown";
        } catch (const std::runtime_error& e) {
            EXPECT_STREQ(c.text, e.what());
        }
    }
    EXPECT_EQ(1u, map.size());
    EXPECT_EQ("Error at cwGetGainG - camera hasn't support this property.",
              capture::propertyNotSupportedText("cwGetGainG"));
}

}  // namespace

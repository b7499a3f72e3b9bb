// The cw functions of liblmGrabber.so over the simulated SDK, which delivers triggered frames on its own thread.
#include <gtest/gtest.h>

#include <chrono>
#include <cmath>
#include <functional>
#include <limits>
#include <stdexcept>
#include <string>
#include <thread>
#include <utility>
#include <vector>

#include "capture/CaptureErrors.h"
#include "capture/cwInterface.h"
#include "capture/lmgrabber/lmGrabber.h"
#include "capture/lmgrabber/tests/LumeneraTestCameras.h"

namespace {

using lmtest::errorOf;

using Image = niTypes::niImage<unsigned char>;
using Clock = std::chrono::steady_clock;

const char* const mainId = "Lumenera Lu070 #1001";

niTypes::niPtree mainOnlyConfig()
{
    niTypes::niPtree tree;
    tree.put("Device.Camera.Lumenera.gain", 4.0f);
    return tree;
}

class CwLumenera : public ::testing::Test {
protected:
    void SetUp() override { lmtest::connectScanner(); }
    void TearDown() override
    {
        cwDeinitialize(0);
        lucamsim::reset();
    }

    cwHandle initialize(const niTypes::niPtree& tree, const char* id = mainId)
    {
        return cwInitialize(id, nullptr, &tree, &mainSettings, &textureSettings, nullptr);
    }

    CameraSettings mainSettings;
    CameraSettings textureSettings;
};

TEST_F(CwLumenera, AvailableCamerasNamesEveryCamera)
{
    std::vector<std::string> names{"stale"};
    const std::wstring option;
    EXPECT_EQ(2, cwAvailableCameras(&names, &option));
    EXPECT_EQ((std::vector<std::string>{"Lumenera Lu070 #1001", "Lumenera Lu050C #1002"}), names);
    lucamsim::reset();
    EXPECT_EQ(0, cwAvailableCameras(&names, &option));
    EXPECT_TRUE(names.empty());
}

TEST_F(CwLumenera, InitializeOpensMainAndTextureCameras)
{
    const cwHandle handle = initialize(lmtest::scannerConfig());
    ASSERT_NE(0, handle);
    EXPECT_TRUE(cwIsComposite(handle));
    EXPECT_EQ(reinterpret_cast<void*>(handle), cwGetDeviceInterface(handle));
    ASSERT_NE(nullptr, cwGetTextureDeviceInterface(handle));

    EXPECT_EQ(lmtest::frameWidth, mainSettings.width);
    EXPECT_EQ(lmtest::frameHeight, mainSettings.height);
    EXPECT_EQ(1, mainSettings.channels);
    EXPECT_TRUE(mainSettings.strobeEnable);  // filled from the strobe-on set
    EXPECT_FLOAT_EQ(20, mainSettings.shutterSpeedValue);
    EXPECT_FLOAT_EQ(0.01f, mainSettings.shutterSpeedMin);
    EXPECT_FLOAT_EQ(4, mainSettings.gainValue);
    EXPECT_FALSE(mainSettings.rgb);
    EXPECT_FALSE(mainSettings.exposurePresent);
    EXPECT_TRUE(mainSettings.colorCorrectionAvailable);

    EXPECT_EQ(3, textureSettings.channels);
    EXPECT_TRUE(textureSettings.rgb);
    EXPECT_EQ(2, textureSettings.whiteBalance);
    EXPECT_FLOAT_EQ(1.5f, textureSettings.gainRValue);
    EXPECT_TRUE(cwGetTextureHwTrigger(handle));  // the texture camera waits for the trigger

    EXPECT_FLOAT_EQ(20, lucamsim::cameraState(lmtest::mainSerial).snapshot.exposure);
    EXPECT_TRUE(lucamsim::cameraState(lmtest::textureSerial).hwTrigger);
    EXPECT_EQ("1", cwGetSerialNumber(handle));
    EXPECT_EQ("2", cwGetTextureSerialNumber(handle));
}

TEST_F(CwLumenera, TextureCameraOnlyWhenConfiguredAndWanted)
{
    niTypes::niPtree noSection = lmtest::scannerConfig();
    noSection.get_child("Device").erase("Camera2");
    EXPECT_FALSE(cwIsComposite(initialize(noSection)));

    mainSettings.useTextureCamera = false;
    EXPECT_FALSE(cwIsComposite(initialize(lmtest::scannerConfig())));
    EXPECT_FALSE(lucamsim::cameraState(lmtest::textureSerial).open);
}

struct FailedInitialization {
    const char* name;
    std::function<void(niTypes::niPtree&)> change;
    std::string text;
};

class CwLumeneraFailure : public CwLumenera, public ::testing::WithParamInterface<FailedInitialization> {};

TEST_P(CwLumeneraFailure, LeavesNoRecordBehind)
{
    niTypes::niPtree tree = lmtest::scannerConfig();
    GetParam().change(tree);
    EXPECT_EQ(GetParam().text, errorOf([&] { initialize(tree); }));
    EXPECT_FALSE(lmtest::anyCameraOpen());  // every camera of the failed record was closed
    const cwHandle handle = initialize(lmtest::scannerConfig());  // the cameras can be opened again
    EXPECT_TRUE(cwIsComposite(handle));
}

INSTANTIATE_TEST_SUITE_P(
    Cases, CwLumeneraFailure,
    ::testing::Values(
        FailedInitialization{"GainOutOfRange",
                             [](niTypes::niPtree& t) { t.put("Device.Camera.Lumenera.gain", 30.0f); },
                             "Error at 'Invalid property value 30, available diapason 0.25..25': daZavizev don't "
                             "initialized."},
        FailedInitialization{"HueOutOfRange", [](niTypes::niPtree& t) { t.put("Device.Camera2.Lumenera.hue", 200); },
                             "Error at 'Invalid property value 200, available diapason -180..180': daZavizev don't "
                             "initialized."},
        FailedInitialization{"WhiteBalanceMissing",
                             [](niTypes::niPtree& t) { t.get_child("Device.Camera2.Lumenera").erase("white_balance"); },
                             "Error at 'No such node (white_balance)': daZavizev don't initialized."},
        FailedInitialization{"TextureCameraNotConnected",
                             [](niTypes::niPtree& t) { t.put("Device.Info.camera_clr_id", niTypes::niString("7")); },
                             "camera #7 is not connected"},
        FailedInitialization{"NoMainSection", [](niTypes::niPtree& t) { t.get_child("Device").erase("Camera"); },
                             "Error at 'No such node (Device.Camera.Lumenera)': daZavizev don't initialized."}),
    [](const ::testing::TestParamInfo<FailedInitialization>& info) { return std::string(info.param.name); });

TEST_F(CwLumenera, StrobeOffRangeCheckLeavesNoRecord)
{
    lucamsim::setProperty(lmtest::mainSerial, lucamsim::exposureRange, lucamsim::Property{10, 0, 50, 10, 0});
    EXPECT_THROW(initialize(lmtest::scannerConfig()), capture::InvalidProperty);
    EXPECT_FALSE(lmtest::anyCameraOpen());
}

TEST_F(CwLumenera, UnknownMainCameraPropagatesTheLookupError)
{
    EXPECT_EQ("camera #9 is not connected", errorOf([&] { initialize(lmtest::scannerConfig(), "#9"); }));
    EXPECT_EQ("wrong camera name", errorOf([&] { initialize(lmtest::scannerConfig(), "1001"); }));
}

TEST_F(CwLumenera, SecondInitializeOfOneCameraReleasesTheFirst)
{
    const cwHandle first = initialize(lmtest::scannerConfig());
    const cwHandle second = initialize(lmtest::scannerConfig());  // would fail if the first still held the cameras
    EXPECT_TRUE(cwIsComposite(second));
    if (first != second) {
        EXPECT_THROW(cwIsComposite(first), std::runtime_error);
    }
}

TEST_F(CwLumenera, HardwareTriggeredFrameComesFromTheSdkThread)
{
    const cwHandle handle = initialize(lmtest::scannerConfig());
    cwCapture(handle, true, false);
    EXPECT_TRUE(cwGetHwTrigger(handle));
    ASSERT_TRUE(lucamsim::triggerPulse(lmtest::mainSerial));
    lucamsim::waitIdle();  // delivered before cwGetFrame's short wait begins
    Image frame;
    cwGetFrame(handle, &frame);
    EXPECT_NE(std::this_thread::get_id(), lucamsim::sdkThreadId());
    ASSERT_EQ(lmtest::frameWidth, frame.width);
    ASSERT_EQ(lmtest::frameHeight, frame.height);
    EXPECT_EQ(1, frame.channels);
    EXPECT_TRUE(frame.ownsData);  // moved out of the record
    EXPECT_EQ(lmtest::rowFrame(), std::vector<unsigned char>(frame.data, frame.data + frame.dataSize));

    Image second;
    cwGetFrame(handle, &second);  // the event stays set until the next capture; the frame was taken already
    EXPECT_EQ(nullptr, second.data);
}

TEST_F(CwLumenera, MirrorFlagsApplyToDeliveredFrames)
{
    niTypes::niPtree tree = lmtest::scannerConfig();
    tree.put("Device.Camera.Lumenera.mirror_x", true);
    const cwHandle handle = initialize(tree);
    cwCapture(handle, true, false);
    ASSERT_TRUE(lucamsim::triggerPulse(lmtest::mainSerial));
    lucamsim::waitIdle();
    Image frame;
    cwGetFrame(handle, &frame);
    EXPECT_EQ(71, frame.data[0]);  // the last row first
    EXPECT_EQ(1, frame.data[frame.dataSize - 1]);
}

TEST_F(CwLumenera, MissingOrLostTriggerTimesOutAfter300Ms)
{
    const cwHandle handle = initialize(lmtest::scannerConfig());
    cwCapture(handle, true, false);
    lucamsim::dropFrames(lmtest::mainSerial, 1);
    ASSERT_TRUE(lucamsim::triggerPulse(lmtest::mainSerial));  // lost
    lucamsim::waitIdle();
    Image frame;
    const auto start = Clock::now();
    EXPECT_EQ("Frame capture timeout expired", errorOf([&] { cwGetFrame(handle, &frame); }));
    EXPECT_GE(Clock::now() - start, std::chrono::milliseconds(290));

    ASSERT_TRUE(lucamsim::triggerPulse(lmtest::mainSerial));  // the capture is still armed
    lucamsim::waitIdle();
    cwGetFrame(handle, &frame);
    EXPECT_EQ(lmtest::rowFrame(), std::vector<unsigned char>(frame.data, frame.data + frame.dataSize));
}

TEST_F(CwLumenera, OversizedFrameIsCutToTheArmedBuffer)
{
    const cwHandle handle = initialize(lmtest::scannerConfig());
    lucamsim::corruptFrames(lmtest::mainSerial, 1, 4096);
    cwCapture(handle, true, false);
    ASSERT_TRUE(lucamsim::triggerPulse(lmtest::mainSerial));
    lucamsim::waitIdle();
    Image frame;
    cwGetFrame(handle, &frame);
    ASSERT_EQ(lmtest::frameWidth * lmtest::frameHeight, frame.dataSize);
    EXPECT_EQ(lmtest::rowFrame(), std::vector<unsigned char>(frame.data, frame.data + frame.dataSize));
}

TEST_F(CwLumenera, SixteenBitFramesFillTheirWholeBuffer)
{
    niTypes::niPtree tree = lmtest::scannerConfig();
    tree.put("Device.Camera.Lumenera.bpp", 16);
    const cwHandle handle = initialize(tree);
    EXPECT_EQ(1u, lucamsim::cameraState(lmtest::mainSerial).pixelFormat);
    cwCapture(handle, true, false);
    ASSERT_TRUE(lucamsim::triggerPulse(lmtest::mainSerial));
    lucamsim::waitIdle();
    Image frame;
    cwGetFrame(handle, &frame);
    EXPECT_EQ(2 * lmtest::frameWidth * lmtest::frameHeight, frame.dataSize);
    EXPECT_EQ(71, frame.data[frame.dataSize - 1]);
}

TEST_F(CwLumenera, StrobeSwitchesKeepTheSixteenBitLayout)
{
    niTypes::niPtree tree = lmtest::scannerConfig();
    tree.put("Device.Camera.Lumenera.bpp", 16);
    const cwHandle handle = initialize(tree);
    const int size = 2 * lmtest::frameWidth * lmtest::frameHeight;
    for (auto strobeSwitch : {cwDisableStrobe, cwEnableStrobe, cwDisableStrobe}) {
        strobeSwitch(handle);
        EXPECT_EQ(1u, lucamsim::cameraState(lmtest::mainSerial).pixelFormat);
        Image frame;
        cwCapture(handle, true, false);
        ASSERT_TRUE(lucamsim::triggerPulse(lmtest::mainSerial));
        cwGetFrame(handle, &frame);
        EXPECT_EQ(size, frame.dataSize);
        EXPECT_EQ(71, frame.data[size - 1]);
        cwCapture(handle, false, false);
        cwGetFrame(handle, &frame);  // taken at once, over the camera's own buffer
        EXPECT_EQ(size, frame.dataSize);
        EXPECT_EQ(71, frame.data[size - 1]);
    }
}

TEST_F(CwLumenera, SecondFrameAfterADeliveryGoesNowhere)
{
    const cwHandle handle = initialize(lmtest::scannerConfig());
    cwCapture(handle, true, false);
    ASSERT_TRUE(lucamsim::triggerPulse(lmtest::mainSerial));
    Image frame;
    cwGetFrame(handle, &frame);  // the host now owns the buffer the frame was delivered into
    const int delivered = lucamsim::cameraState(lmtest::mainSerial).framesDelivered;
    lucamsim::setFrameContent(lmtest::mainSerial, std::vector<unsigned char>(1, 200));
    ASSERT_TRUE(lucamsim::triggerPulse(lmtest::mainSerial));
    lucamsim::waitIdle();
    EXPECT_EQ(delivered + 1, lucamsim::cameraState(lmtest::mainSerial).framesDelivered);
    EXPECT_EQ(lmtest::rowFrame(), std::vector<unsigned char>(frame.data, frame.data + frame.dataSize));

    cwCapture(handle, true, false);  // armed again: the next frame comes
    ASSERT_TRUE(lucamsim::triggerPulse(lmtest::mainSerial));
    Image next;
    cwGetFrame(handle, &next);
    EXPECT_EQ(200, next.data[0]);
}

TEST_F(CwLumenera, WithoutTriggerTheFrameIsTakenAtOnce)
{
    const cwHandle handle = initialize(lmtest::scannerConfig());
    cwCapture(handle, false, false);
    EXPECT_FALSE(cwGetHwTrigger(handle));
    Image frame;
    cwGetFrame(handle, &frame);
    EXPECT_FALSE(frame.ownsData);  // the camera's own buffer
    EXPECT_EQ(lmtest::rowFrame(), std::vector<unsigned char>(frame.data, frame.data + frame.dataSize));
}

TEST_F(CwLumenera, ColourMainCameraFrames)
{
    niTypes::niPtree tree;
    tree.put("Device.Camera.Lumenera.rgb", true);
    tree.put("Device.Camera.Lumenera.white_balance", 1);
    const cwHandle handle = initialize(tree, "#1002");
    EXPECT_EQ(3, mainSettings.channels);
    Image frame;
    cwCapture(handle, false, false);
    cwGetFrame(handle, &frame);
    ASSERT_EQ(3, frame.channels);
    const unsigned char firstRow[3] = {71, 35, 184};  // the last raw row (71), converted, turned upside down
    EXPECT_EQ(std::vector<unsigned char>(firstRow, firstRow + 3), std::vector<unsigned char>(frame.data, frame.data + 3));

    cwCapture(handle, true, false);
    ASSERT_TRUE(lucamsim::triggerPulse(lmtest::textureSerial));
    lucamsim::waitIdle();
    cwGetFrame(handle, &frame);
    EXPECT_EQ(1, frame.channels);  // the raw Bayer frame
    EXPECT_EQ(1, frame.data[0]);
}

TEST_F(CwLumenera, TextureFramesConvertRawAndMoveOnce)
{
    const cwHandle handle = initialize(lmtest::scannerConfig());
    cwCapture(handle, false, true);
    ASSERT_TRUE(lucamsim::triggerPulse(lmtest::textureSerial));
    lucamsim::waitIdle();
    Image rgb;
    cwGetFrameTexture(handle, &rgb);
    ASSERT_EQ(3, rgb.channels);
    EXPECT_EQ(1, rgb.data[0]);
    EXPECT_EQ(0, rgb.data[1]);
    EXPECT_EQ(254, rgb.data[2]);
    Image again;
    cwGetFrameTexture(handle, &again);  // converted, not moved: still there
    EXPECT_EQ(rgb.dataSize, again.dataSize);

    Image raw;
    cwGetRawFrameTexture(handle, &raw);
    EXPECT_EQ(1, raw.channels);
    EXPECT_EQ(6, raw.format);  // colour format 8
    EXPECT_EQ("cwGetFrameTexture: captured texture is empty. May be already moved?",
              errorOf([&] { cwGetFrameTexture(handle, &again); }));

    Image converted;
    cwConvertTextureRawToRgb(handle, &raw, &converted);
    EXPECT_EQ(lmtest::frameHeight, converted.width);  // turned by 90 degrees
    EXPECT_EQ(lmtest::frameWidth, converted.height);
}

TEST_F(CwLumenera, MonochromeTextureConvertsToGreyRgb)
{
    niTypes::niPtree tree = mainOnlyConfig();
    tree.put("Device.Info.camera_clr_id", niTypes::niString("1002"));
    tree.put("Device.Camera2.Lumenera.gain", 2.0f);
    const cwHandle handle = initialize(tree);
    EXPECT_EQ(1, textureSettings.channels);
    cwCapture(handle, false, true);
    ASSERT_TRUE(lucamsim::triggerPulse(lmtest::textureSerial));
    Image raw;
    cwGetRawFrameTexture(handle, &raw);
    Image rgb;
    cwConvertTextureRawToRgb(handle, &raw, &rgb);
    ASSERT_EQ(3, rgb.channels);
    ASSERT_EQ(lmtest::frameHeight, rgb.width);  // turned by 90 degrees, then mirrored within rows
    ASSERT_EQ(lmtest::frameWidth, rgb.height);
    for (int row = 0; row < rgb.height; ++row)
        for (int column = 0; column < rgb.width; ++column)
            for (int channel = 0; channel < 3; ++channel)
                ASSERT_EQ(10 * column + 1, rgb.data[row * rgb.step + 3 * column + channel])
                    << row << " " << column << " " << channel;
}

// The raw sample of pixel (x, y): every byte tells the position, and 16-bit samples use both bytes.
uint16_t positionSample(int x, int y, int bits)
{
    return static_cast<uint16_t>(bits == 8 ? y * lmtest::frameWidth + x : 0x8000 + (x << 8) + (y << 4) + 5);
}

std::vector<unsigned char> positionFrame(int bits)
{
    std::vector<unsigned char> frame;
    for (int y = 0; y < lmtest::frameHeight; ++y)
        for (int x = 0; x < lmtest::frameWidth; ++x) {
            const uint16_t v = positionSample(x, y, bits);
            frame.push_back(static_cast<unsigned char>(v & 0xFF));
            if (bits == 16)
                frame.push_back(static_cast<unsigned char>(v >> 8));
        }
    return frame;
}

using Place = std::function<std::pair<int, int>(int, int)>;

// Samples of image that differ from the pattern, raw pixel (x, y) being expected at place(x, y): one raw or
// grey sample a pixel, or the three a colour conversion makes (grey ones are copied to all three).
int misplacedSamples(const Image& image, bool colour, int bits, int samples, const Place& place)
{
    const int bytes = bits / 8;
    const uint32_t full = bits == 8 ? 0xFF : 0xFFFF;
    int misplaced = 0;
    for (int y = 0; y < lmtest::frameHeight; ++y)
        for (int x = 0; x < lmtest::frameWidth; ++x) {
            const uint16_t v = positionSample(x, y, bits);
            const uint32_t want[3] = {v, colour ? v / 2u : v, colour ? full - v : v};
            const auto [column, row] = place(x, y);
            const unsigned char* p = image.data + row * image.step + column * image.channels;
            for (int sample = 0; sample < samples; ++sample) {
                uint32_t got = p[sample * bytes];
                if (bytes == 2)
                    got |= uint32_t(p[sample * bytes + 1]) << 8;
                if (got != want[sample])
                    ++misplaced;
            }
        }
    return misplaced;
}

// Where a frame of samples (1 raw or grey, 3 colour) of that depth is expected, checked whole.
void expectPlaced(const Image& image, bool colour, int bits, int samples, int width, int height, const Place& place,
                  const char* what)
{
    SCOPED_TRACE(what);
    ASSERT_EQ(samples * bits / 8, image.channels);
    ASSERT_EQ(width, image.width);
    ASSERT_EQ(height, image.height);
    ASSERT_GE(image.dataSize, image.step * image.height);
    EXPECT_EQ(0, misplacedSamples(image, colour, bits, samples, place))
        << "samples out of place, of " << samples * width * height;
}

enum class Road { MainTriggered, MainDirect, TextureTriggered, TextureDirect };

struct FrameRoad {
    std::string name;
    Road road;
    bool colour;
    int bits;
    bool mirrorX, mirrorY;
    bool initialColour;  // the layout at initialisation; the camera object changes it before the capture
    int initialBits;
};

std::vector<FrameRoad> frameRoads(bool layoutChanges)
{
    const std::pair<Road, const char*> roads[] = {{Road::MainTriggered, "MainTriggered"},
                                                  {Road::MainDirect, "MainDirect"},
                                                  {Road::TextureTriggered, "TextureTriggered"},
                                                  {Road::TextureDirect, "TextureDirect"}};
    std::vector<FrameRoad> cases;
    for (const auto& [road, roadName] : roads)
        for (bool colour : {false, true})
            for (int bits : {8, 16}) {
                const std::string name = std::string(roadName) + (colour ? "Colour" : "Grey") + std::to_string(bits);
                if (layoutChanges) {  // the other depth, then the other colour, at initialisation
                    cases.push_back({name + "WasBits" + std::to_string(24 - bits), road, colour, bits, true, true,
                                     colour, 24 - bits});
                    cases.push_back({name + (colour ? "WasGrey" : "WasColour"), road, colour, bits, false, true,
                                     !colour, bits});
                    continue;
                }
                for (int mirror = 0; mirror < 4; ++mirror) {
                    const bool x = mirror & 1, y = mirror & 2;
                    cases.push_back({name + "Mirror" + (x ? "X" : "") + (y ? "Y" : "") + (mirror ? "" : "None"), road,
                                     colour, bits, x, y, colour, bits});
                }
            }
    return cases;
}

class CwLumeneraFrameRoad : public CwLumenera, public ::testing::WithParamInterface<FrameRoad> {};

TEST_P(CwLumeneraFrameRoad, EveryPixelLandsWholeInItsPlace)
{
    const FrameRoad& c = GetParam();
    const bool texture = c.road == Road::TextureTriggered || c.road == Road::TextureDirect;
    const char* const section = texture ? "Device.Camera2.Lumenera." : "Device.Camera.Lumenera.";
    niTypes::niPtree tree = texture ? lmtest::scannerConfig() : mainOnlyConfig();
    tree.put(std::string(section) + "rgb", c.initialColour);
    tree.put(std::string(section) + "white_balance", 1);
    tree.put(std::string(section) + "bpp", c.initialBits);
    tree.put(std::string(section) + "mirror_x", c.mirrorX);
    tree.put(std::string(section) + "mirror_y", c.mirrorY);
    // the camera of serial 1002 (a colour sensor) on both roads: as main camera alone, or as texture camera
    const cwHandle handle = initialize(tree, texture ? mainId : "#1002");
    auto* camera = static_cast<lmGrabber*>(texture ? cwGetTextureDeviceInterface(handle) : cwGetDeviceInterface(handle));
    ASSERT_NE(nullptr, camera);
    if (c.initialColour != c.colour || c.initialBits != c.bits) {
        lmGrabber::lmParameters p = camera->getParameters();
        p.rgb = c.colour;
        p.depth = c.bits == 16 ? lmGrabber::depth16 : lmGrabber::depth8;
        camera->setParameters(p);
    }
    lucamsim::setFrameContent(lmtest::textureSerial, positionFrame(c.bits));
    const int width = lmtest::frameWidth, height = lmtest::frameHeight;
    const bool turned = c.road == Road::MainDirect && c.colour;  // a colour main frame comes upside down
    const Place mirrored = [&](int x, int y) {
        if (turned != c.mirrorX)
            y = height - 1 - y;
        if (c.mirrorY)
            x = width - 1 - x;
        return std::make_pair(x, y);
    };

    Image frame;
    switch (c.road) {
    case Road::MainTriggered:
        cwCapture(handle, true, false);
        ASSERT_TRUE(lucamsim::triggerPulse(lmtest::textureSerial));
        lucamsim::waitIdle();  // delivered before the short frame wait begins
        cwGetFrame(handle, &frame);
        return expectPlaced(frame, c.colour, c.bits, 1, width, height, mirrored, "raw frame");
    case Road::MainDirect:
        cwCapture(handle, false, false);
        cwGetFrame(handle, &frame);
        return expectPlaced(frame, c.colour, c.bits, c.colour ? 3 : 1, width, height, mirrored, "frame");
    case Road::TextureDirect:
        cwSetTextureHwTrigger(handle, false);
        cwGetFrameTexture(handle, &frame);
        return expectPlaced(frame, c.colour, c.bits, c.colour ? 3 : 1, width, height, mirrored, "frame");
    case Road::TextureTriggered:
        break;
    }
    cwCapture(handle, false, true);
    ASSERT_TRUE(lucamsim::triggerPulse(lmtest::textureSerial));
    lucamsim::waitIdle();
    cwGetFrameTexture(handle, &frame);
    expectPlaced(frame, c.colour, c.bits, c.colour ? 3 : 1, width, height, mirrored, "converted frame");

    Image raw;
    cwGetRawFrameTexture(handle, &raw);
    const Place same = [](int x, int y) { return std::make_pair(x, y); };
    expectPlaced(raw, c.colour, c.bits, 1, width, height, same, "raw frame");
    // turned clockwise and mirrored within rows, whatever the mirror flags: a transposition
    const Place transposed = [](int x, int y) { return std::make_pair(y, x); };
    Image rgb;
    cwConvertTextureRawToRgb(handle, &raw, &rgb);
    expectPlaced(rgb, c.colour, c.bits, 3, height, width, transposed, "raw frame converted");
    cwConvertTextureRawToRgb(handle, &raw, &raw);  // converted in place
    expectPlaced(raw, c.colour, c.bits, 3, height, width, transposed, "raw frame converted in place");
}

std::string frameRoadName(const ::testing::TestParamInfo<FrameRoad>& info)
{
    return info.param.name;
}

INSTANTIATE_TEST_SUITE_P(Roads, CwLumeneraFrameRoad, ::testing::ValuesIn(frameRoads(false)), frameRoadName);
INSTANTIATE_TEST_SUITE_P(LayoutChanged, CwLumeneraFrameRoad, ::testing::ValuesIn(frameRoads(true)), frameRoadName);

TEST_F(CwLumenera, RawFrameOfAnEarlierLayoutIsRefused)
{
    niTypes::niPtree tree = lmtest::scannerConfig();
    tree.put("Device.Camera2.Lumenera.bpp", 16);
    const cwHandle handle = initialize(tree);
    cwCapture(handle, false, true);
    ASSERT_TRUE(lucamsim::triggerPulse(lmtest::textureSerial));
    lucamsim::waitIdle();
    auto* camera = static_cast<lmGrabber*>(cwGetTextureDeviceInterface(handle));
    camera->setDepthBits(lmGrabber::depth8);  // after the 16-bit frame came
    Image frame;
    EXPECT_EQ("cwGetFrameTexture: the camera's frame layout changed since the capture",
              errorOf([&] { cwGetFrameTexture(handle, &frame); }));
    Image raw;
    cwGetRawFrameTexture(handle, &raw);
    EXPECT_EQ(2, raw.channels);
    Image rgb;
    EXPECT_EQ("cwConvertTextureRawToRgb: raw frame not in the camera's frame layout",
              errorOf([&] { cwConvertTextureRawToRgb(handle, &raw, &rgb); }));
    EXPECT_EQ(nullptr, rgb.data);
}

TEST_F(CwLumenera, TextureTimeoutsAfter100Ms)
{
    const cwHandle handle = initialize(lmtest::scannerConfig());
    cwCapture(handle, false, true);
    Image frame;
    const auto start = Clock::now();
    try {
        cwGetFrameTexture(handle, &frame);
        FAIL() << "no exception";
    } catch (const capture::FrameTextureCaptureTimeout& e) {
        EXPECT_STREQ("Texture frame capture timeout: Texture frame capture timeout", e.what());
    }
    EXPECT_GE(Clock::now() - start, std::chrono::milliseconds(95));
    EXPECT_LT(Clock::now() - start, std::chrono::milliseconds(3000));  // not the SDK's 3000 ms frame time-out
    EXPECT_EQ("Texture frame capture timeout", errorOf([&] { cwGetRawFrameTexture(handle, &frame); }));
}

struct TextureFlash {
    const char* name;
    bool colour;   // a colour texture camera is rebuilt at initialisation, with a manual-reset flash event
    int interval;  // ms
};

class CwLumeneraTextureFlash : public CwLumenera, public ::testing::WithParamInterface<TextureFlash> {};

TEST_P(CwLumeneraTextureFlash, EveryTextureCaptureKeepsTheInterval)
{
    const TextureFlash& c = GetParam();
    niTypes::niPtree tree = mainOnlyConfig();
    tree.put("Device.Info.camera_clr_id", niTypes::niString("1002"));
    tree.put("Device.Camera2.Lumenera.has_flash", true);
    tree.put("Device.Camera2.Lumenera.min_flash_strobe_interval", c.interval);
    if (c.colour) {
        tree.put("Device.Camera2.Lumenera.rgb", true);
        tree.put("Device.Camera2.Lumenera.white_balance", 1);
    }
    const cwHandle handle = initialize(tree);
    ASSERT_TRUE(cwIsComposite(handle));
    auto previous = Clock::now();
    cwCapture(handle, false, true);  // the first passes at once
    for (int i = 1; i < 4; ++i) {
        const auto started = Clock::now();
        ASSERT_NO_THROW(cwCapture(handle, false, true)) << "capture " << i;
        // the interval started inside the previous call, after `previous`
        EXPECT_GE(Clock::now() - previous, std::chrono::milliseconds(c.interval)) << "capture " << i;
        previous = started;
    }
    ASSERT_TRUE(lucamsim::triggerPulse(lmtest::textureSerial));  // the last capture is armed as usual
    Image frame;
    cwGetRawFrameTexture(handle, &frame);
    EXPECT_EQ(lmtest::rowFrame(), std::vector<unsigned char>(frame.data, frame.data + frame.dataSize));
}

INSTANTIATE_TEST_SUITE_P(Cases, CwLumeneraTextureFlash,
                         ::testing::Values(TextureFlash{"Monochrome", false, 250}, TextureFlash{"Colour", true, 250},
                                           TextureFlash{"MonochromeWithoutInterval", false, 0}),
                         [](const ::testing::TestParamInfo<TextureFlash>& info) { return std::string(info.param.name); });

class CwLumeneraFlashToFlash : public CwLumenera, public ::testing::WithParamInterface<TextureFlash> {};

// The flash fires at the trigger pulse, when the frame comes: the interval counts from there, however late the
// pulse comes after the arming.
TEST_P(CwLumeneraFlashToFlash, PulsesKeepTheIntervalHoweverLateTheyCome)
{
    const TextureFlash& c = GetParam();
    niTypes::niPtree tree = mainOnlyConfig();
    tree.put("Device.Info.camera_clr_id", niTypes::niString("1002"));
    tree.put("Device.Camera2.Lumenera.has_flash", true);
    tree.put("Device.Camera2.Lumenera.min_flash_strobe_interval", c.interval);
    tree.put("Device.Camera2.Lumenera.rgb", c.colour);
    tree.put("Device.Camera2.Lumenera.white_balance", 1);
    const cwHandle handle = initialize(tree);
    Clock::time_point lastPulse;
    for (int take = 0; take < 4; ++take) {
        ASSERT_NO_THROW(cwCapture(handle, false, true)) << "take " << take;
        if (take % 2 == 0)  // late, then at once
            std::this_thread::sleep_for(std::chrono::milliseconds(c.interval - 50));
        const Clock::time_point pulse = Clock::now();  // the frame, and with it the flash, comes after this
        ASSERT_TRUE(lucamsim::triggerPulse(lmtest::textureSerial));
        lucamsim::waitIdle();
        if (take > 0) {
            const double apart = std::chrono::duration<double, std::milli>(pulse - lastPulse).count();
            EXPECT_GE(apart, c.interval) << "ms from the last pulse, take " << take;
        }
        lastPulse = pulse;
        Image frame;
        cwGetRawFrameTexture(handle, &frame);
        EXPECT_EQ(lmtest::rowFrame(), std::vector<unsigned char>(frame.data, frame.data + frame.dataSize));
    }

    lucamsim::dropFrames(lmtest::textureSerial, 2);
    for (int lost = 0; lost < 2; ++lost) {  // a lost frame ends its take: the next capture still comes
        ASSERT_NO_THROW(cwCapture(handle, false, true)) << "after " << lost << " lost";
        ASSERT_TRUE(lucamsim::triggerPulse(lmtest::textureSerial));
        lucamsim::waitIdle();
    }
    Image frame;
    EXPECT_THROW(cwGetRawFrameTexture(handle, &frame), capture::FrameTextureCaptureTimeout);
    ASSERT_NO_THROW(cwCapture(handle, false, true));
    ASSERT_TRUE(lucamsim::triggerPulse(lmtest::textureSerial));
    lucamsim::waitIdle();
    cwGetRawFrameTexture(handle, &frame);
    EXPECT_EQ(lmtest::rowFrame(), std::vector<unsigned char>(frame.data, frame.data + frame.dataSize));
}

INSTANTIATE_TEST_SUITE_P(Cases, CwLumeneraFlashToFlash,
                         ::testing::Values(TextureFlash{"Monochrome", false, 300}, TextureFlash{"Colour", true, 300}),
                         [](const ::testing::TestParamInfo<TextureFlash>& info) { return std::string(info.param.name); });

struct FloatProperty {
    const char* name;
    void (*set)(cwHandle, float);
    float (*get)(cwHandle);
    uint32_t property;
    uint32_t serial;
    float value;
};

class CwLumeneraProperty : public CwLumenera, public ::testing::WithParamInterface<FloatProperty> {};

TEST_P(CwLumeneraProperty, SetWritesTheCameraAndReadsBack)
{
    const FloatProperty& p = GetParam();
    const cwHandle handle = initialize(lmtest::scannerConfig());
    p.set(handle, p.value);
    EXPECT_FLOAT_EQ(p.value, p.get(handle));
    EXPECT_FLOAT_EQ(p.value, lucamsim::propertyValue(p.serial, p.property));
}

INSTANTIATE_TEST_SUITE_P(
    Properties, CwLumeneraProperty,
    ::testing::Values(FloatProperty{"Gamma", cwSetGamma, cwGetGamma, lucamsim::gamma, 1001, 2.5f},
                      FloatProperty{"Brightness", cwSetBrightness, cwGetBrightness, lucamsim::brightness, 1001, -12},
                      FloatProperty{"Contrast", cwSetContrast, cwGetContrast, lucamsim::contrast, 1001, 3},
                      FloatProperty{"Shutter", cwSetShutterSpeed, cwGetShutterSpeed, lucamsim::exposure, 1001, 33},
                      FloatProperty{"Gain", cwSetGain, cwGetGain, lucamsim::gain, 1001, 7},
                      FloatProperty{"Saturation", cwSetSaturation, cwGetSaturation, lucamsim::saturation, 1001, 1.5f},
                      FloatProperty{"GainR", cwSetGainR, cwGetGainR, lucamsim::gainRed, 1001, 1.25f},
                      FloatProperty{"GainB", cwSetGainB, cwGetGainB, lucamsim::gainBlue, 1001, 2},
                      FloatProperty{"StrobeDuration", cwSetStrobeDuration, cwGetStrobeDuration,
                                    lucamsim::strobeDuration, 1001, 4},
                      FloatProperty{"FrameRate", cwSetFrameRate, [](cwHandle h) {
                                        return static_cast<lmGrabber*>(cwGetDeviceInterface(h))->getClockSpeed();
                                    }, lucamsim::snapshotClock, 1001, 24},
                      FloatProperty{"TextureGamma", cwSetTextureGamma, cwGetTextureGamma, lucamsim::gamma, 1002, 3},
                      FloatProperty{"TextureGain", cwSetTextureGain, cwGetTextureGain, lucamsim::gain, 1002, 5},
                      FloatProperty{"TextureGainR", cwSetTextureGainR, cwGetTextureGainR, lucamsim::gainRed, 1002,
                                    1.75f}),
    [](const ::testing::TestParamInfo<FloatProperty>& info) { return std::string(info.param.name); });

TEST_F(CwLumenera, PropertyConversionsAndRefusals)
{
    const cwHandle handle = initialize(lmtest::scannerConfig());
    cwSetHue(handle, -3.7f);
    EXPECT_FLOAT_EQ(-3, cwGetHue(handle));
    EXPECT_FLOAT_EQ(-3, lucamsim::propertyValue(lmtest::mainSerial, lucamsim::hue));
    EXPECT_THROW(cwSetHue(handle, std::numeric_limits<float>::quiet_NaN()), capture::InvalidProperty);

    cwSetGainG(handle, 1.5f);
    EXPECT_FLOAT_EQ(1.5f, cwGetGainG(handle));
    EXPECT_FLOAT_EQ(1.5f, lucamsim::propertyValue(lmtest::mainSerial, lucamsim::gainGreen1));
    EXPECT_FLOAT_EQ(1.5f, lucamsim::propertyValue(lmtest::mainSerial, lucamsim::gainGreen2));

    cwSetColorCorrection(handle, 6);
    EXPECT_EQ(0, cwGetColorCorrection(handle));
    cwSetTextureColorCorrection(handle, 3);
    EXPECT_EQ(3, cwGetTextureColorCorrection(handle));

    cwSetShutterSpeedAuto(handle, true);
    EXPECT_TRUE(cwGetShutterSpeedAuto(handle));
    cwSetTextureGainAuto(handle, true);
    EXPECT_TRUE(cwGetTextureGainAuto(handle));

    EXPECT_EQ("Error code 32. A parameter representing a quantity is outside the allowed boundaries.",
              errorOf([&] { cwSetGain(handle, 30); }));
    EXPECT_EQ("Error code 32. A parameter representing a quantity is outside the allowed boundaries.",
              errorOf([&] { cwSetGamma(handle, std::numeric_limits<float>::quiet_NaN()); }));
    EXPECT_EQ("Property 'exposure' is not available.", errorOf([&] { cwSetExposure(handle, 1); }));
    EXPECT_THROW(cwGetExposureAuto(handle), capture::PropertyNotAvailable);
    EXPECT_EQ(0u, errorOf([&] { cwSetTriggerDelay(handle, 1); }).find("SetProcAddress 'cwSetTriggerDelay' failed: "));
    EXPECT_TRUE(cwCheckFirmware(handle, nullptr, nullptr));
    EXPECT_FALSE(cwStart(handle));

    std::vector<float> rates{99};
    cwGetAvailableFrameRates(handle, &rates);
    EXPECT_EQ((std::vector<float>{7.5f, 15.0f, 30.0f}), rates);
    EXPECT_EQ(1, cwGetTextureBayerTileFormat(handle));  // colour format 8
}

TEST_F(CwLumenera, ButtonIsBitZeroOfTheInputs)
{
    const cwHandle handle = initialize(lmtest::scannerConfig());
    lucamsim::setGpioInputs(lmtest::mainSerial, 0xF1);
    EXPECT_TRUE(cwIsButtonPressed(handle));
    lucamsim::setGpioInputs(lmtest::mainSerial, 0xFE);
    EXPECT_FALSE(cwIsButtonPressed(handle));
    lucamsim::failCall("LucamGpioRead", 49);
    EXPECT_THROW(cwIsButtonPressed(handle), capture::BaseError);
}

TEST_F(CwLumenera, SettingsRoundTripAndRangeErrors)
{
    const cwHandle handle = initialize(lmtest::scannerConfig());
    CameraSettings settings;
    cwGetSettings(handle, &settings);
    settings.gainValue = 8;
    settings.shutterSpeedValue = 42;
    cwSetSettings(handle, &settings);
    EXPECT_FLOAT_EQ(8, cwGetGain(handle));
    EXPECT_FLOAT_EQ(42, lucamsim::cameraState(lmtest::mainSerial).snapshot.exposure);

    settings.gainValue = 2;
    settings.shutterSpeedValue = 5000;  // beyond the camera's range: nothing is applied
    EXPECT_EQ("Invalid property value 5000, available diapason 0.01..1000",
              errorOf([&] { cwSetSettings(handle, &settings); }));
    EXPECT_FLOAT_EQ(8, cwGetGain(handle));
    settings.shutterSpeedValue = std::numeric_limits<float>::quiet_NaN();
    EXPECT_THROW(cwSetSettings(handle, &settings), capture::InvalidProperty);
}

struct SettingsError {
    const char* name;
    void (*change)(CameraSettings&);
    const char* text;  // the range error; values are checked against the camera's ranges
};

class CwLumeneraSettingsError : public CwLumenera, public ::testing::WithParamInterface<SettingsError> {};

TEST_P(CwLumeneraSettingsError, AppliesNothing)
{
    const cwHandle handle = initialize(lmtest::scannerConfig());
    CameraSettings settings;
    cwGetSettings(handle, &settings);
    settings.gainValue = 8;
    GetParam().change(settings);
    EXPECT_EQ(GetParam().text, errorOf([&] { cwSetSettings(handle, &settings); }));
    EXPECT_FLOAT_EQ(4, cwGetGain(handle));
}

INSTANTIATE_TEST_SUITE_P(
    Cases, CwLumeneraSettingsError,
    ::testing::Values(
        SettingsError{"Saturation", [](CameraSettings& s) { s.saturationValue = 2.5f; },
                      "Invalid property value 2.5, available diapason 0..2"},
        // the hue is truncated toward zero first, then checked in the int form
        SettingsError{"HueAbove", [](CameraSettings& s) { s.hueValue = 200.5f; },
                      "Invalid property value 200, available diapason -180..180"},
        SettingsError{"HueBelow", [](CameraSettings& s) { s.hueValue = -181.9f; },
                      "Invalid property value -181, available diapason -180..180"},
        SettingsError{"HueBeyondInt", [](CameraSettings& s) { s.hueValue = 3e9f; },
                      "Invalid property value 3e+09, available diapason -180..180"}),
    [](const ::testing::TestParamInfo<SettingsError>& info) { return std::string(info.param.name); });

TEST_F(CwLumenera, SettingsHueTruncatesIntoTheRange)
{
    const cwHandle handle = initialize(lmtest::scannerConfig());
    CameraSettings settings;
    cwGetSettings(handle, &settings);
    settings.hueValue = -180.9f;
    cwSetSettings(handle, &settings);
    EXPECT_FLOAT_EQ(-180, cwGetHue(handle));
}

TEST_F(CwLumenera, StrobeSwitchesBetweenTheTwoParameterSets)
{
    const cwHandle handle = initialize(lmtest::scannerConfig());
    cwDisableStrobe(handle);
    lmGrabber* camera = static_cast<lmGrabber*>(cwGetDeviceInterface(handle));
    EXPECT_FALSE(camera->getStrobeEnable());
    EXPECT_FLOAT_EQ(60, camera->getShutterSpeed());
    EXPECT_TRUE(camera->isAutoExposure());
    EXPECT_FLOAT_EQ(6, camera->getGain());
    cwEnableStrobe(handle);
    EXPECT_TRUE(camera->getStrobeEnable());
    EXPECT_FLOAT_EQ(20, camera->getShutterSpeed());
    EXPECT_FLOAT_EQ(4, camera->getGain());
    EXPECT_EQ(1, lucamsim::cameraState(lmtest::mainSerial).snapshot.useStrobe);

    cwEnableTextureFlash(handle, false);
    EXPECT_FALSE(static_cast<lmGrabber*>(cwGetTextureDeviceInterface(handle))->getStrobeEnable());
}

TEST_F(CwLumenera, StrobeSwitchesCarryTheColourGains)
{
    niTypes::niPtree tree;
    tree.put("Device.Camera.Lumenera.rgb", true);
    tree.put("Device.Camera.Lumenera.white_balance", 1);
    tree.put("Device.Camera.Lumenera.exposure", 20.0f);
    const cwHandle handle = initialize(tree, "#1002");
    lmGrabber* camera = static_cast<lmGrabber*>(cwGetDeviceInterface(handle));
    auto expectGains = [&](float red, float blue, float green) {
        EXPECT_FLOAT_EQ(red, cwGetGainR(handle));
        EXPECT_FLOAT_EQ(blue, cwGetGainB(handle));
        EXPECT_FLOAT_EQ(green, camera->getGainG1());
        EXPECT_FLOAT_EQ(green, camera->getGainG2());
        EXPECT_FLOAT_EQ(red, lucamsim::propertyValue(lmtest::textureSerial, lucamsim::gainRed));
        EXPECT_FLOAT_EQ(blue, lucamsim::propertyValue(lmtest::textureSerial, lucamsim::gainBlue));
        EXPECT_FLOAT_EQ(green, lucamsim::propertyValue(lmtest::textureSerial, lucamsim::gainGreen1));
        EXPECT_FLOAT_EQ(green, lucamsim::propertyValue(lmtest::textureSerial, lucamsim::gainGreen2));
    };
    cwSetGainR(handle, 2);
    cwSetGainB(handle, 2.5f);
    cwSetGainG(handle, 1.75f);
    cwDisableStrobe(handle);
    EXPECT_FLOAT_EQ(60, camera->getShutterSpeed());  // the strobe-off set, with the gains set under the strobe
    expectGains(2, 2.5f, 1.75f);

    cwSetGainR(handle, 3);
    cwSetGainB(handle, 1.25f);
    cwSetGainG(handle, 0.5f);
    cwEnableStrobe(handle);
    EXPECT_FLOAT_EQ(20, camera->getShutterSpeed());
    expectGains(3, 1.25f, 0.5f);
}

struct NotInitializedCase {
    const char* name;
    std::function<void(cwHandle)> call;
    const char* text;
};

class CwLumeneraUnknownHandle : public CwLumenera, public ::testing::WithParamInterface<NotInitializedCase> {};

TEST_P(CwLumeneraUnknownHandle, RaisesTheFunctionsText)
{
    const cwHandle known = initialize(lmtest::scannerConfig());
    EXPECT_EQ(GetParam().text, errorOf([&] { GetParam().call(known + 1); }));
    EXPECT_TRUE(cwIsComposite(known));  // the map is unchanged
}

Image scratch;
CameraSettings scratchSettings;

INSTANTIATE_TEST_SUITE_P(
    Calls, CwLumeneraUnknownHandle,
    ::testing::Values(
        NotInitializedCase{"Capture", [](cwHandle h) { cwCapture(h, true, true); },
                           "cwCapture: camera hasn't been initialized!"},
        NotInitializedCase{"GetFrame", [](cwHandle h) { cwGetFrame(h, &scratch); },
                           "cwGetFrame: camera hasn't been initialized!"},
        NotInitializedCase{"IsComposite", [](cwHandle h) { cwIsComposite(h); },
                           "cwIsComposite: camera hasn't been initialized!"},
        NotInitializedCase{"EnableStrobe", [](cwHandle h) { cwEnableStrobe(h); },
                           "cwEnableStrobe: camera hasn't been initialized!"},
        NotInitializedCase{"DisableStrobe", [](cwHandle h) { cwDisableStrobe(h); },
                           "cwDisableStrobe: camera hasn't been initialized!"},
        NotInitializedCase{"EnableTextureFlash", [](cwHandle h) { cwEnableTextureFlash(h, true); },
                           "cwEnableTextureFlash: camera hasn't been initialized!"},
        NotInitializedCase{"GetFrameTexture", [](cwHandle h) { cwGetFrameTexture(h, &scratch); },
                           "cwGetFrameTexture: device hasn't been initialized!"},
        NotInitializedCase{"GetRawFrameTexture", [](cwHandle h) { cwGetRawFrameTexture(h, &scratch); },
                           "cwGetFrameTexture: device hasn't been initialized!"},
        NotInitializedCase{"ConvertTextureRawToRgb", [](cwHandle h) { cwConvertTextureRawToRgb(h, &scratch, &scratch); },
                           "cwGetFrameTexture: device hasn't been initialized!"},
        NotInitializedCase{"SetGamma", [](cwHandle h) { cwSetGamma(h, 1); },
                           "Error at cwSetGamma - camera hasn't been initialized!"},
        NotInitializedCase{"GetTextureHue", [](cwHandle h) { cwGetTextureHue(h); },
                           "Error at cwGetTextureHue - camera hasn't been initialized!"},
        NotInitializedCase{"GetSettings", [](cwHandle h) { cwGetSettings(h, &scratchSettings); },
                           "Error at cwGetSettings - camera hasn't been initialized!"},
        NotInitializedCase{"IsButtonPressed", [](cwHandle h) { cwIsButtonPressed(h); },
                           "Error at cwIsButtonPressed - camera hasn't been initialized!"},
        NotInitializedCase{"GetSerialNumber", [](cwHandle h) { cwGetSerialNumber(h); },
                           "Error at cwGetSerialNumber - camera hasn't been initialized!"}),
    [](const ::testing::TestParamInfo<NotInitializedCase>& info) { return std::string(info.param.name); });

TEST_F(CwLumenera, RecordWithoutTextureCamera)
{
    mainSettings.useTextureCamera = false;
    const cwHandle handle = initialize(lmtest::scannerConfig());
    const char* const text = "cwGetFrameTexture: texture camera hasn't been initialized!";
    EXPECT_EQ(text, errorOf([&] { cwGetFrameTexture(handle, &scratch); }));
    EXPECT_EQ(text, errorOf([&] { cwCapture(handle, false, true); }));
    EXPECT_EQ(nullptr, cwGetTextureDeviceInterface(handle));
    EXPECT_EQ(nullptr, cwGetTextureDeviceInterface(handle + 1));
}

TEST_F(CwLumenera, DeinitializeReleasesOneOrAll)
{
    lucamsim::addCamera(lmtest::camera(3003, 140, 0));
    const cwHandle scanner = initialize(lmtest::scannerConfig());
    const cwHandle other = initialize(mainOnlyConfig(), "#3003");
    ASSERT_TRUE(lucamsim::cameraState(3003).open);
    cwDeinitialize(other + 1);  // unknown: nothing
    cwDeinitialize(other);
    EXPECT_FALSE(lucamsim::cameraState(3003).open);
    EXPECT_TRUE(lmtest::anyCameraOpen());

    initialize(mainOnlyConfig(), "#3003");
    cwDeinitialize(0);
    EXPECT_FALSE(lmtest::anyCameraOpen());
    EXPECT_FALSE(lucamsim::cameraState(3003).open);
    EXPECT_THROW(cwIsComposite(scanner), std::runtime_error);
    cwDeinitialize(0);  // empty map: nothing
}

}  // namespace

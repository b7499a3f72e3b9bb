#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <functional>
#include <limits>
#include <stdexcept>
#include <thread>

#include "capture/CaptureErrors.h"
#include "capture/cwInterface.h"
#include "capture/pggrabber/pgGrabber.h"
#include "capture/pggrabber/tests/MessageOf.h"
#include "capture/pggrabber/tests/SimCameras.h"

namespace {

using namespace FlyCapture2;
using pgtest::countCalls;
using pgtest::messageOf;

std::string notInitialized(const std::string& where)
{
    return "Error at '" + where + "': daZavizev don't initialized.";
}

niTypes::niPtree scannerConfig(const char* textureId = nullptr)
{
    niTypes::niPtree tree;
    tree.put("Device.Camera.PgGrabber.shutter_speed", 5.0f);
    tree.put("Device.Camera.PgGrabber.gain", 2.0f);
    tree.put("Device.Camera.PgGrabber.mirror_x", true);
    tree.put("Device.Camera.PgGrabber.rotate", 90);
    if (textureId) {
        tree.put("Device.Info.camera_clr_id", niTypes::niString(textureId));
        tree.put("Device.Camera2.PgGrabber.shutter_speed", 4.0f);
        tree.put("Device.Camera2.PgGrabber.mirror_y", true);
    }
    return tree;
}

class PgCw : public testing::Test {
protected:
    void SetUp() override { fc2sim::reset(); }
    void TearDown() override
    {
        cwDeinitialize(0);
        fc2sim::reset();
    }

    cwHandle init(const std::string& id, const niTypes::niPtree& config)
    {
        return cwInitialize(id.c_str(), nullptr, &config, &mainSettings, &textureSettings, nullptr);
    }

    CameraSettings mainSettings;
    CameraSettings textureSettings;
};

TEST_F(PgCw, AvailableCamerasAreBareSerials)
{
    std::vector<std::string> names = {"stale"};
    EXPECT_EQ(0, cwAvailableCameras(&names, nullptr));
    EXPECT_TRUE(names.empty());
    fc2sim::addCamera(fc2sim::defaultCamera(14070001));
    fc2sim::addCamera(fc2sim::defaultCamera(678, INTERFACE_GIGE));
    const std::wstring option;
    EXPECT_EQ(2, cwAvailableCameras(&names, &option));
    EXPECT_EQ((std::vector<std::string>{"14070001", "678"}), names);
    EXPECT_EQ(1, fc2sim::busManagerCount());
    cwDeinitialize(0);
    EXPECT_EQ(0, fc2sim::busManagerCount());
}

TEST_F(PgCw, InitializeOneCamera)
{
    fc2sim::addCamera(fc2sim::defaultCamera(1001));
    mainSettings.width = 800;
    mainSettings.height = 600;
    const cwHandle handle = init("1001", scannerConfig());
    EXPECT_EQ(reinterpret_cast<void*>(handle), cwGetDeviceInterface(handle));
    EXPECT_EQ(1, countCalls(1001, "SetVideoModeAndFrameRate 17 3"));  // own mode 10
    EXPECT_EQ(1280, mainSettings.width);
    EXPECT_EQ(960, mainSettings.height);
    EXPECT_EQ(1, mainSettings.channels);
    EXPECT_TRUE(mainSettings.shutterSpeedPresent);
    EXPECT_FLOAT_EQ(5.0f, mainSettings.shutterSpeedValue);
    EXPECT_FLOAT_EQ(66.0f, mainSettings.shutterSpeedMax);
    EXPECT_TRUE(mainSettings.strobeEnable);  // the strobe-on set
    EXPECT_FALSE(mainSettings.gainRPresent);
    EXPECT_FALSE(cwIsComposite(handle));
    EXPECT_EQ(nullptr, cwGetTextureDeviceInterface(handle));
    EXPECT_TRUE(fc2sim::isCapturing(1001));
    EXPECT_FLOAT_EQ(5.0f, fc2sim::property(1001, SHUTTER).absValue);
    EXPECT_EQ("1001", cwGetSerialNumber(handle));
    EXPECT_FALSE(cwStart(handle));
    EXPECT_FALSE(cwStop(handle));

    // mirror_x swaps the rows of each delivered frame
    std::vector<unsigned char> pixels(960 * 1280, 1);
    std::fill(pixels.end() - 1280, pixels.end(), 9);
    fc2sim::queueFrame(1001, pixels);
    cwCapture(handle, true, false);
    niTypes::niImage<unsigned char> frame;
    cwGetFrame(handle, &frame);
    EXPECT_EQ(9, frame.data[0]);
    EXPECT_EQ(1, frame.data[frame.dataSize - 1]);

    fc2sim::addCamera(fc2sim::defaultCamera(1002));
    CameraSettings vga;
    vga.width = 640;
    vga.height = 480;
    const niTypes::niPtree config = scannerConfig();
    cwInitialize("1002", nullptr, &config, &vga, nullptr, nullptr);
    EXPECT_EQ(1, countCalls(1002, "SetVideoModeAndFrameRate 5 3"));
}

TEST_F(PgCw, InitializeWithTextureCamera)
{
    fc2sim::addCamera(fc2sim::defaultCamera(2001));
    fc2sim::addCamera(fc2sim::defaultCamera(2002, INTERFACE_USB2, true));
    const cwHandle handle = init("2001", scannerConfig("2002"));
    EXPECT_TRUE(cwIsComposite(handle));
    EXPECT_NE(nullptr, cwGetTextureDeviceInterface(handle));
    EXPECT_TRUE(cwGetTextureHwTrigger(handle));
    EXPECT_EQ(0u, fc2sim::triggerMode(2002).source);
    EXPECT_EQ(3, textureSettings.channels);
    EXPECT_TRUE(textureSettings.gainRPresent);
    EXPECT_FLOAT_EQ(4.0f, cwGetTextureShutterSpeed(handle));
    EXPECT_TRUE(fc2sim::isCapturing(2002));
    EXPECT_EQ(1, cwGetTextureBayerTileFormat(handle));
    EXPECT_EQ("2002", cwGetTextureSerialNumber(handle));

    std::thread pulse([] {
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
        fc2sim::pulseHardwareTrigger(2002);
    });
    niTypes::niImage<unsigned char> raw, rgb;
    cwGetRawFrameTexture(handle, &raw);
    pulse.join();
    EXPECT_EQ(6, raw.format);
    EXPECT_EQ(1280, raw.width);

    niTypes::niImage<unsigned char> small;
    small.create(4, 2, 1, 4, 7);
    cwConvertTextureRawToRgb(handle, &small, &rgb);
    EXPECT_EQ(2, rgb.width);  // rotated a quarter turn
    EXPECT_EQ(4, rgb.height);
    EXPECT_EQ(3, rgb.channels);

    // without useTextureCamera no texture camera is opened
    CameraSettings noTexture;
    noTexture.useTextureCamera = false;
    const niTypes::niPtree config = scannerConfig("2002");
    cwDeinitialize(handle);
    const cwHandle single = cwInitialize("2001", nullptr, &config, &noTexture, nullptr, nullptr);
    EXPECT_FALSE(cwIsComposite(single));
    EXPECT_FALSE(fc2sim::isConnected(2002));
}

TEST_F(PgCw, TextureFramesFollowTheTextureMirrorFlags)
{
    fc2sim::addCamera(fc2sim::defaultCamera(2101));
    fc2sim::addCamera(fc2sim::defaultCamera(2102, INTERFACE_USB2, true));
    niTypes::niPtree config = scannerConfig("2102");
    config.put("Device.Camera2.PgGrabber.mirror_x", true);  // mirror_y is set too
    const cwHandle h = init("2101", config);

    // a delivered frame: one bright 2 x 2 cell in the top left corner ends in the bottom right one
    std::vector<unsigned char> pixels = pgtest::flatFrame(960, 1280, 10);
    pixels[0] = pixels[1] = pixels[1280] = pixels[1281] = 200;
    fc2sim::queueFrame(2102, pixels);
    fc2sim::pulseHardwareTrigger(2102);  // the texture camera waits for the hardware trigger
    niTypes::niImage<unsigned char> frame;
    cwGetFrameTexture(h, &frame);
    ASSERT_EQ(1280, frame.width);
    ASSERT_EQ(960, frame.height);
    ASSERT_EQ(3, frame.channels);
    const auto pixel = [](const niTypes::niImage<unsigned char>& image, int x, int y) {
        return image.data[y * image.step + x * image.channels];
    };
    EXPECT_EQ(200, pixel(frame, 1279, 959));
    EXPECT_EQ(10, pixel(frame, 0, 0));
    EXPECT_EQ(10, pixel(frame, 1279, 0));
    EXPECT_EQ(10, pixel(frame, 0, 959));

    // a converted image is mirrored both ways, then turned a quarter clockwise
    niTypes::niImage<unsigned char> raw, rgb;
    raw.create(4, 4, 1, 4, 6);
    const unsigned char cells[2][2] = {{10, 60}, {110, 160}};  // [top, bottom][left, right]
    for (int y = 0; y < 4; ++y)
        for (int x = 0; x < 4; ++x)
            raw.data[y * 4 + x] = cells[y / 2][x / 2];
    cwConvertTextureRawToRgb(h, &raw, &rgb);
    ASSERT_EQ(4, rgb.width);
    ASSERT_EQ(3, rgb.channels);
    EXPECT_EQ(60, pixel(rgb, 0, 0));   // top right of the raw image
    EXPECT_EQ(160, pixel(rgb, 3, 0));  // bottom right
    EXPECT_EQ(10, pixel(rgb, 0, 3));   // top left
    EXPECT_EQ(110, pixel(rgb, 3, 3));  // bottom left

    // a raw frame of 16-bit samples is refused, not converted as bytes
    niTypes::niImage<unsigned char> deep;
    deep.create(4, 4, 2, 8, 6);
    std::memset(deep.data, 0, 32);
    EXPECT_EQ("Failed convert row data to RGB", messageOf([&] { cwConvertTextureRawToRgb(h, &deep, &rgb); }));
    EXPECT_EQ(160, pixel(rgb, 3, 0));  // the earlier image stays

    // the texture flash switches the texture camera's strobe alone
    EXPECT_TRUE(fc2sim::strobe(2102, 1).onOff);
    const bool mainStrobe = fc2sim::strobe(2101, 1).onOff;
    cwEnableTextureFlash(h, false);
    EXPECT_FALSE(fc2sim::strobe(2102, 1).onOff);
    EXPECT_EQ(mainStrobe, fc2sim::strobe(2101, 1).onOff);
    cwEnableTextureFlash(h, true);
    EXPECT_TRUE(fc2sim::strobe(2102, 1).onOff);
    EXPECT_TRUE(cwGetTextureHwTrigger(h));

    const cwHandle single = init("2101", scannerConfig());
    EXPECT_EQ("cwEnableTextureFlash: camera hasn't been initialized!",
              messageOf([&] { cwEnableTextureFlash(single, true); }));
}

// Frames whose 2 x 2 cells (one Bayer tile each, so a colour conversion keeps them whole) tell their position.
// Frames taken one after the other differ by shift (a repeated last row is refused as a corrupted frame).
unsigned char cellValue(unsigned int x, unsigned int y, int shift)
{
    return static_cast<unsigned char>((x / 2 + 3 * (y / 2) + shift) % 256);
}

const unsigned int frameCols = 1280, frameRows = 960;

std::vector<unsigned char> positionFrame(int shift)
{
    std::vector<unsigned char> frame(size_t(frameRows) * frameCols);
    for (unsigned int y = 0; y < frameRows; ++y)
        for (unsigned int x = 0; x < frameCols; ++x)
            frame[size_t(y) * frameCols + x] = cellValue(x, y, shift);
    return frame;
}

using Place = std::function<std::pair<unsigned int, unsigned int>(unsigned int, unsigned int)>;

// Samples of image (channels of one byte each) that differ from the frame's pixel (x, y) expected at place(x, y).
long misplacedSamples(const niTypes::niImage<unsigned char>& image, int shift, const Place& place)
{
    long misplaced = 0;
    for (unsigned int y = 0; y < frameRows; ++y)
        for (unsigned int x = 0; x < frameCols; ++x) {
            const auto [column, row] = place(x, y);
            const unsigned char* p = image.data + size_t(row) * image.step + size_t(column) * image.channels;
            for (int c = 0; c < image.channels; ++c)
                misplaced += p[c] != cellValue(x, y, shift);
        }
    return misplaced;
}

void expectPlaced(const niTypes::niImage<unsigned char>& image, int shift, int channels, unsigned int width,
                  unsigned int height, const Place& place, const char* what)
{
    SCOPED_TRACE(what);
    ASSERT_EQ(channels, image.channels);
    ASSERT_EQ(int(width), image.width);
    ASSERT_EQ(int(height), image.height);
    ASSERT_GE(image.dataSize, image.step * image.height);
    EXPECT_EQ(0, misplacedSamples(image, shift, place));
}

struct PgFrameRoad {
    const char* name;
    bool texture;
    bool colour;
    bool mirrorX, mirrorY;
};

class PgCwFrameRoad : public PgCw, public testing::WithParamInterface<PgFrameRoad> {};

TEST_P(PgCwFrameRoad, EveryPixelLandsInItsPlace)
{
    const PgFrameRoad& c = GetParam();
    const unsigned int serial = c.texture ? 2202 : 2201;
    fc2sim::addCamera(fc2sim::defaultCamera(2201, INTERFACE_USB2, c.colour && !c.texture));
    fc2sim::addCamera(fc2sim::defaultCamera(2202, INTERFACE_USB2, c.colour));
    niTypes::niPtree config = scannerConfig("2202");
    for (const char* section : {"Device.Camera.PgGrabber.", "Device.Camera2.PgGrabber."}) {
        config.put(std::string(section) + "mirror_x", c.mirrorX);
        config.put(std::string(section) + "mirror_y", c.mirrorY);
    }
    const cwHandle h = init("2201", config);
    fc2sim::queueFrame(serial, positionFrame(0));
    const Place mirrored = [&](unsigned int x, unsigned int y) {
        return std::make_pair(c.mirrorY ? frameCols - 1 - x : x, c.mirrorX ? frameRows - 1 - y : y);
    };
    niTypes::niImage<unsigned char> frame;
    if (!c.texture) {
        cwGetFrame(h, &frame);
        return expectPlaced(frame, 0, c.colour ? 3 : 1, frameCols, frameRows, mirrored, "frame");
    }
    fc2sim::pulseHardwareTrigger(serial);  // the texture camera waits for the hardware trigger
    cwGetFrameTexture(h, &frame);
    expectPlaced(frame, 0, c.colour ? 3 : 1, frameCols, frameRows, mirrored, "texture frame");
    if (!c.colour)
        return;

    niTypes::niImage<unsigned char> raw;
    fc2sim::queueFrame(serial, positionFrame(1));
    fc2sim::pulseHardwareTrigger(serial);
    cwGetRawFrameTexture(h, &raw);
    expectPlaced(raw, 1, 1, frameCols, frameRows, [](unsigned int x, unsigned int y) { return std::make_pair(x, y); },
                 "raw frame");
    // mirrored, then turned a quarter clockwise
    const Place turned = [&](unsigned int x, unsigned int y) {
        const auto [mx, my] = mirrored(x, y);
        return std::make_pair(frameRows - 1 - my, mx);
    };
    niTypes::niImage<unsigned char> rgb;
    cwConvertTextureRawToRgb(h, &raw, &rgb);
    expectPlaced(rgb, 1, 3, frameRows, frameCols, turned, "raw frame converted");
    cwConvertTextureRawToRgb(h, &raw, &raw);  // converted in place
    expectPlaced(raw, 1, 3, frameRows, frameCols, turned, "raw frame converted in place");
}

INSTANTIATE_TEST_SUITE_P(
    Roads, PgCwFrameRoad,
    testing::Values(PgFrameRoad{"GreyFrame", false, false, false, false},
                    PgFrameRoad{"GreyFrameMirrorX", false, false, true, false},
                    PgFrameRoad{"GreyFrameMirrorY", false, false, false, true},
                    PgFrameRoad{"GreyFrameMirrorXY", false, false, true, true},
                    PgFrameRoad{"ColourFrame", false, true, false, false},
                    PgFrameRoad{"ColourFrameMirrorX", false, true, true, false},
                    PgFrameRoad{"ColourFrameMirrorY", false, true, false, true},
                    PgFrameRoad{"ColourFrameMirrorXY", false, true, true, true},
                    PgFrameRoad{"GreyTexture", true, false, false, false},
                    PgFrameRoad{"GreyTextureMirrorX", true, false, true, false},
                    PgFrameRoad{"GreyTextureMirrorY", true, false, false, true},
                    PgFrameRoad{"GreyTextureMirrorXY", true, false, true, true},
                    PgFrameRoad{"ColourTexture", true, true, false, false},
                    PgFrameRoad{"ColourTextureMirrorX", true, true, true, false},
                    PgFrameRoad{"ColourTextureMirrorY", true, true, false, true},
                    PgFrameRoad{"ColourTextureMirrorXY", true, true, true, true}),
    [](const testing::TestParamInfo<PgFrameRoad>& info) { return std::string(info.param.name); });

TEST_F(PgCw, ASecondInitializeOfTheSameIdReleasesTheFirst)
{
    fc2sim::addCamera(fc2sim::defaultCamera(3001));
    init("3001", scannerConfig());
    const cwHandle second = init("3001", scannerConfig());
    EXPECT_EQ(1, countCalls(3001, "StopCapture"));  // the first record's camera was released
    EXPECT_TRUE(fc2sim::isConnected(3001));
    EXPECT_FALSE(cwIsComposite(second));
}

TEST_F(PgCw, FailedInitializationsLeaveNoRecord)
{
    fc2sim::addCamera(fc2sim::defaultCamera(4001));
    fc2sim::CameraSpec narrow = fc2sim::defaultCamera(4002);
    narrow.properties[AUTO_EXPOSURE].absMin = 2.0f;  // the strobe-off exposure 1 lies outside
    fc2sim::addCamera(narrow);

    niTypes::niPtree outOfRange = scannerConfig();
    outOfRange.put("Device.Camera.PgGrabber.shutter_speed", 100.0f);
    niTypes::niPtree noSection;
    noSection.put("Device.Info.camera_clr_id", niTypes::niString(""));
    struct Case {
        const char* id;
        niTypes::niPtree config;
        std::string message;
    };
    const Case cases[] = {
        {"4001", outOfRange, notInitialized("Invalid property value 100, available diapason 0.01..66")},
        {"4001", noSection, notInitialized("No such node (Device.Camera.PgGrabber)")},
        {"4001", scannerConfig("4999"), "Camera not found"},  // texture camera not on the bus
        {"4999", scannerConfig(), "Camera not found"},
        {"4002", scannerConfig(), "Invalid property value 1, available diapason 2..2.4"},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(c.message, messageOf([&] { init(c.id, c.config); })) << c.id;
        EXPECT_FALSE(fc2sim::isConnected(4001));
        EXPECT_FALSE(fc2sim::isConnected(4002));
    }
    try {
        init("4001", outOfRange);
    } catch (const capture::NotInitialized&) {
    }
}

TEST_F(PgCw, InitializeManyCameras)
{
    for (unsigned int serial : {5001u, 5002u})
        fc2sim::addCamera(fc2sim::defaultCamera(serial));
    const auto config = [](int count, int textureIndex, const char* secondSerial = "5002") {
        niTypes::niPtree tree;
        tree.put("Device.how_many_cams", count);
        tree.put("Device.texture_cam_indx", textureIndex);
        tree.put("Device.Camera0.PgGrabber.sn", niTypes::niString("5001"));
        tree.put("Device.Camera0.PgGrabber.shutter_speed", 3.0f);
        tree.put("Device.Camera1.PgGrabber.sn", niTypes::niString(secondSerial));
        return tree;
    };
    std::vector<CameraSettings> settings;
    std::vector<cwHandle> handles;
    for (int count : {0, 11}) {
        const niTypes::niPtree tree = config(count, 0);
        EXPECT_EQ(notInitialized("Incorrect amount of cameras!"),
                  messageOf([&] { cwInitialize_many_pg_grabbers(&settings, &handles, &tree); }));
        EXPECT_TRUE(handles.empty());
    }
    EXPECT_FALSE(fc2sim::isConnected(5001));

    const niTypes::niPtree two = config(2, 1);
    cwInitialize_many_pg_grabbers(&settings, &handles, &two);
    ASSERT_EQ(2u, handles.size());
    ASSERT_EQ(2u, settings.size());
    EXPECT_FALSE(cwIsComposite(handles[0]));
    EXPECT_TRUE(cwIsComposite(handles[1]));
    EXPECT_EQ(reinterpret_cast<void*>(handles[1]), cwGetTextureDeviceInterface(handles[1]));
    EXPECT_FLOAT_EQ(3.0f, settings[0].shutterSpeedValue);
    EXPECT_EQ(768, settings[0].width);  // sizes are not written
    EXPECT_TRUE(fc2sim::isCapturing(5002));
    cwDeinitialize(handles[1]);  // its texture camera is its main camera: released once
    EXPECT_FALSE(fc2sim::isConnected(5002));
    cwDeinitialize(0);

    const niTypes::niPtree outside = config(2, 5);
    cwInitialize_many_pg_grabbers(&settings, &handles, &outside);
    EXPECT_FALSE(cwIsComposite(handles[0]) || cwIsComposite(handles[1]));
    cwDeinitialize(0);

    std::vector<cwHandle> partial;
    const niTypes::niPtree missing = config(2, 0, "5999");
    EXPECT_EQ(notInitialized("Camera not found"),
              messageOf([&] { cwInitialize_many_pg_grabbers(&settings, &partial, &missing); }));
    ASSERT_EQ(2u, partial.size());
    EXPECT_TRUE(cwIsComposite(partial[0]));  // the earlier record stays
    EXPECT_EQ(0, partial[1]);
    cwDeinitialize(0);

    // a record created and then failed is erased: its camera is released, the earlier one stays open
    niTypes::niPtree outOfRange = config(2, 0);
    outOfRange.put("Device.Camera1.PgGrabber.shutter_speed", 100.0f);
    std::vector<cwHandle> failed;
    EXPECT_EQ(notInitialized("Invalid property value 100, available diapason 0.01..66"),
              messageOf([&] { cwInitialize_many_pg_grabbers(&settings, &failed, &outOfRange); }));
    EXPECT_EQ(0, failed[1]);
    EXPECT_FALSE(fc2sim::isConnected(5002));
    EXPECT_TRUE(fc2sim::isCapturing(5001));
    fc2sim::failNext(5002, "StartCapture", PGRERROR_FAILED, 1, "No bandwidth.");
    EXPECT_EQ(notInitialized("Capture module, StartCapture error. Description: No bandwidth.Error code: 1"),
              messageOf([&] { cwInitialize_many_pg_grabbers(&settings, &failed, &two); }));
    EXPECT_EQ(0, failed[1]);
    EXPECT_FALSE(fc2sim::isConnected(5002));
    cwInitialize_many_pg_grabbers(&settings, &failed, &two);  // nothing stale stands in the way
    EXPECT_TRUE(fc2sim::isCapturing(5002));
}

TEST_F(PgCw, PropertiesAreSetAndReadBack)
{
    fc2sim::addCamera(fc2sim::defaultCamera(6001, INTERFACE_USB2, true));
    const cwHandle h = init("6001", scannerConfig());
    cwSetGainR(h, 700.9f);
    EXPECT_FLOAT_EQ(700.0f, cwGetGainR(h));
    EXPECT_EQ(700u, fc2sim::property(6001, WHITE_BALANCE).valueA);
    for (float bad : {5000.0f, std::numeric_limits<float>::quiet_NaN(), 3e9f})
        EXPECT_THROW(cwSetGainB(h, bad), std::runtime_error) << bad;
    EXPECT_FLOAT_EQ(810.0f, cwGetGainB(h));  // the record's blue, not the camera's

    EXPECT_EQ("Invalid property value 99, available diapason 0..24", messageOf([&] { cwSetGain(h, 99.0f); }));
    EXPECT_THROW(cwSetGain(h, std::numeric_limits<float>::quiet_NaN()), std::runtime_error);
    cwSetGain(h, 6.0f);
    EXPECT_FLOAT_EQ(6.0f, cwGetGain(h));
    cwSetBrightness(h, 2.0f);
    cwSetGamma(h, 1.5f);
    cwSetContrast(h, 10.0f);
    cwSetHue(h, 12.5f);
    EXPECT_FLOAT_EQ(2.0f, cwGetBrightness(h));
    EXPECT_FLOAT_EQ(1.5f, cwGetGamma(h));
    EXPECT_FLOAT_EQ(10.0f, cwGetContrast(h));
    EXPECT_FLOAT_EQ(12.5f, cwGetHue(h));
    EXPECT_FLOAT_EQ(10.0f, fc2sim::property(6001, SHARPNESS).absValue);

    cwSetShutterSpeedAuto(h, true);
    EXPECT_TRUE(cwGetShutterSpeedAuto(h));
    fc2sim::setPropertyValue(6001, SHUTTER, 22.0f);
    EXPECT_FLOAT_EQ(22.0f, cwGetShutterSpeed(h));  // live in auto mode
    cwSetExposureAuto(h, true);
    fc2sim::setPropertyValue(6001, AUTO_EXPOSURE, 1.25f);
    EXPECT_FLOAT_EQ(1.25f, cwGetExposure(h));

    cwSetTriggerDelay(h, 3.0f);
    EXPECT_FLOAT_EQ(3.0f, fc2sim::property(6001, TRIGGER_DELAY).absValue);
    cwSetFrameRate(h, 30.0f);
    EXPECT_FLOAT_EQ(30.0f, fc2sim::property(6001, FRAME_RATE).absValue);
    cwSetStrobeDelay(h, 1.5f);
    EXPECT_FLOAT_EQ(1.5f, cwGetStrobeDelay(h));
    cwSetStrobeDuration(h, 2.5f);
    EXPECT_FLOAT_EQ(2.5f, cwGetStrobeDuration(h));
    fc2sim::setButtonPressed(6001, true);
    EXPECT_TRUE(cwIsButtonPressed(h));
    cwSetCameraPower(h, false);
    EXPECT_EQ(0u, fc2sim::registerValue(6001, 0x610));

    std::vector<float> rates = {1.0f};
    EXPECT_EQ(0, cwGetAvailableFrameRates(h, &rates));
    EXPECT_EQ((std::vector<float>{15.0f, 30.0f}), rates);

    CameraSettings settings;
    cwGetSettings(h, &settings);
    EXPECT_FLOAT_EQ(6.0f, settings.gainValue);
    settings.gainValue = 3.0f;
    settings.gainRValue = 600.0f;
    cwSetSettings(h, &settings);
    EXPECT_FLOAT_EQ(3.0f, fc2sim::property(6001, GAIN).absValue);
    EXPECT_FLOAT_EQ(600.0f, cwGetGainR(h));
    settings.gainValue = 30.0f;
    EXPECT_THROW(cwSetSettings(h, &settings), std::runtime_error);

    for (const auto& [call, name] : std::vector<std::pair<std::function<void()>, const char*>>{
             {[&] { cwSetGainG(h, 1.0f); }, "cwSetGainG"}, {[&] { cwGetGainG(h); }, "cwGetGainG"},
             {[&] { cwSetTextureGainG(h, 1.0f); }, "cwSetTextureGainG"},
             {[&] { cwGetTextureGainG(h); }, "cwGetTextureGainG"}})
        EXPECT_EQ(std::string("Error at ") + name + " - camera hasn't support this property.", messageOf(call));
    EXPECT_THROW(cwSetColorCorrection(h, 1), capture::PropertyNotAvailable);
    EXPECT_EQ("Property 'color correction' is not available.", messageOf([&] { cwGetTextureColorCorrection(h); }));
}

TEST_F(PgCw, StrobeSetsSwitchWithWhiteBalanceCarriedOver)
{
    fc2sim::addCamera(fc2sim::defaultCamera(7001, INTERFACE_USB2, true));
    const cwHandle h = init("7001", scannerConfig());
    EXPECT_TRUE(fc2sim::strobe(7001, 1).onOff);  // initialised with the set for working with flash
    EXPECT_FALSE(cwGetExposureAuto(h));
    cwSetGainR(h, 400.0f);
    cwDisableStrobe(h);
    EXPECT_FALSE(fc2sim::strobe(7001, 1).onOff);
    EXPECT_FLOAT_EQ(400.0f, cwGetGainR(h));
    EXPECT_TRUE(cwGetExposureAuto(h));  // the set for working without flash
    EXPECT_FLOAT_EQ(1.0f, fc2sim::property(7001, AUTO_EXPOSURE).absValue);
    fc2sim::clearCalls();
    cwDisableStrobe(h);
    EXPECT_EQ(0, countCalls(7001, "Set"));

    // back from the strobe-off set: the flash set returns with the white balance set meanwhile
    cwSetGainR(h, 600.0f);
    cwSetGainB(h, 300.0f);
    cwEnableStrobe(h);
    EXPECT_TRUE(fc2sim::strobe(7001, 1).onOff);
    EXPECT_FLOAT_EQ(600.0f, cwGetGainR(h));
    EXPECT_FLOAT_EQ(300.0f, cwGetGainB(h));
    EXPECT_FALSE(cwGetExposureAuto(h));
    EXPECT_FLOAT_EQ(5.0f, cwGetShutterSpeed(h));
    fc2sim::clearCalls();
    cwEnableStrobe(h);
    EXPECT_EQ(0, countCalls(7001, "Set"));
    cwDisableStrobe(h);  // the strobe-off set was saved on the way in
    EXPECT_TRUE(cwGetExposureAuto(h));
    EXPECT_FLOAT_EQ(600.0f, cwGetGainR(h));

    fc2sim::CameraSpec plain = fc2sim::defaultCamera(7002);
    plain.strobe = false;
    fc2sim::addCamera(plain);
    const cwHandle noStrobe = init("7002", scannerConfig());
    EXPECT_EQ("Property 'strobe' is not available.", messageOf([&] { cwEnableStrobe(noStrobe); }));
}

TEST_F(PgCw, FirmwareCheck)
{
    fc2sim::CameraSpec old = fc2sim::defaultCamera(8001);
    old.firmwareRegister = 0x02000000;
    fc2sim::addCamera(old);
    fc2sim::addCamera(fc2sim::defaultCamera(8002));
    std::string current, required;
    EXPECT_FALSE(cwCheckFirmware(init("8001", scannerConfig()), &current, &required));
    EXPECT_EQ("2.0.0", current);
    EXPECT_EQ("1.4.3", required);
    EXPECT_TRUE(cwCheckFirmware(init("8002", scannerConfig()), &current, &required));
    EXPECT_EQ("1.4.3", current);
}

TEST_F(PgCw, UnknownHandlesRaiseTheirNotInitialisedTexts)
{
    fc2sim::addCamera(fc2sim::defaultCamera(9001));
    const cwHandle known = init("9001", scannerConfig());
    const cwHandle unknown = known + 8;
    niTypes::niImage<unsigned char> frame;
    const std::vector<std::pair<std::function<void()>, std::string>> cases = {
        {[&] { cwCapture(unknown, true, true); }, "cwCapture: camera hasn't been initialized!"},
        {[&] { cwGetFrame(unknown, &frame); }, "cwGetFrame: camera hasn't been initialized!"},
        {[&] { cwStart(unknown); }, "cwStart: camera hasn't been initialized!"},
        {[&] { cwSetGamma(unknown, 1.0f); }, "cwSetGamma: camera hasn't been initialized!"},
        {[&] { cwSetContrast(unknown, 1.0f); }, "cwSetContrast: camera hasn't been initialized!"},
        {[&] { cwIsComposite(unknown); }, "cwIsComposite: camera hasn't been initialized!"},
        {[&] { cwEnableStrobe(unknown); }, "cwEnableStrobe: camera hasn't been initialized!"},
        {[&] { cwGetContrast(unknown); }, "Error at cwGetContrast - camera hasn't been initialized!"},
        {[&] { cwSetTriggerDelay(unknown, 1.0f); }, "Error at cwSetTriggerDelay - camera hasn't been initialized!"},
        {[&] { cwGetSerialNumber(unknown); }, "Error at cwGetSerialNumber - camera hasn't been initialized!"},
        {[&] { cwGetFrameTexture(unknown, &frame); }, "cwGetFrameTexture: device hasn't been initialized!"},
        {[&] { cwGetRawFrameTexture(known, &frame); }, "cwGetFrameTexture: texture camera hasn't been initialized!"},
        {[&] { cwGetTextureGain(known); }, "Error at cwGetTextureGain - camera hasn't been initialized!"},
    };
    for (const auto& [call, text] : cases)
        EXPECT_EQ(text, messageOf(call));
    EXPECT_EQ(nullptr, cwGetTextureDeviceInterface(unknown));
    cwDeinitialize(unknown);  // ignored
    EXPECT_TRUE(fc2sim::isConnected(9001));
    cwDeinitialize(known);
    EXPECT_EQ("cwCapture: camera hasn't been initialized!", messageOf([&] { cwCapture(known, true, false); }));
    cwDeinitialize(0);
    cwDeinitialize(0);
}

TEST_F(PgCw, CallbackModeFramesComeFromTheQueue)
{
    fc2sim::addCamera(fc2sim::defaultCamera(9101));
    niTypes::niPtree config = scannerConfig();
    config.put("Device.Camera.PgGrabber.use_hw_trigger", true);
    config.put("Device.Camera.PgGrabber.mirror_x", false);
    mainSettings.callbackMode = true;
    const cwHandle h = init("9101", config);
    EXPECT_EQ(1, countCalls(9101, "StartCapture callback"));
    for (unsigned char i = 1; i <= 7; ++i)
        fc2sim::queueFrame(9101, pgtest::flatFrame(960, 1280, i));
    fc2sim::pulseHardwareTrigger(9101, 7);
    ASSERT_TRUE(fc2sim::waitCallbackFrames(9101, 7, std::chrono::seconds(10)));
    niTypes::niImage<unsigned char> frame;
    for (unsigned char expected = 3; expected <= 7; ++expected) {
        cwGetFrame(h, &frame);
        EXPECT_EQ(expected, frame.data[0]);
    }
    EXPECT_THROW(cwGetFrame(h, &frame), capture::FrameCaptureTimeout);
}

TEST_F(PgCw, HardwareTriggerCapture)
{
    fc2sim::addCamera(fc2sim::defaultCamera(9201));
    const cwHandle h = init("9201", scannerConfig());
    cwSetHwTrigger(h, true);
    EXPECT_TRUE(cwGetHwTrigger(h));
    std::thread pulse([] {
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
        fc2sim::pulseHardwareTrigger(9201);
    });
    niTypes::niImage<unsigned char> frame;
    cwGetFrame(h, &frame);
    pulse.join();
    EXPECT_EQ(1280, frame.width);
    cwSetHwTrigger(h, false);
    cwTriggerOnOff(h, false);
    EXPECT_FALSE(fc2sim::triggerMode(9201).onOff);
}

TEST_F(PgCw, TheLoaderListsTheCamerasOfTheSimulationFile)
{
    namespace fs = std::filesystem;
    const fs::path folder = fs::temp_directory_path() / ("pggrabber-probe-" + std::to_string(::getpid()));
    fs::create_directories(folder);
    fs::copy_file(CAMERA_LIST_PROBE, folder / "probe", fs::copy_options::overwrite_existing);
    fs::copy_file(PGGRABBER_LIBRARY, folder / "libpgGrabber.so", fs::copy_options::overwrite_existing);
    const std::string command = "KESTRUNE_FLYCAPTURE_SIM='" + std::string(DEMO_CAMERAS) + "' '" +
                                (folder / "probe").string() + "' 'list:Pg grabber'";
    FILE* pipe = ::popen(command.c_str(), "r");
    ASSERT_NE(nullptr, pipe);
    std::string output;
    char buffer[256];
    while (std::fgets(buffer, sizeof buffer, pipe))
        output += buffer;
    EXPECT_EQ(0, ::pclose(pipe));
    fs::remove_all(folder);
    EXPECT_NE(std::string::npos, output.find("|14070001")) << output;
}

}  // namespace

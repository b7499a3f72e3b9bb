#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <fstream>
#include <functional>
#include <memory>
#include <stdexcept>
#include <string>
#include <thread>
#include <vector>

#include "capture/CaptureErrors.h"
#include "capture/lmgrabber/LucamError.h"
#include "capture/lmgrabber/lmGrabber.h"
#include "capture/lmgrabber/tests/LumeneraTestCameras.h"

namespace {

using lmtest::errorOf;

std::string errorOf(const std::string& name)
{
    try {
        lmGrabber camera(name, false);
    } catch (const std::exception& e) {
        return e.what();
    }
    return "no exception";
}

class lmGrabberClass : public ::testing::Test {
protected:
    void SetUp() override
    {
        lucamsim::reset();
        lucamsim::addCamera(lmtest::camera(1001, 140, 0));
        lucamsim::addCamera(lmtest::camera(2002, 390, 11));
    }
    void TearDown() override { lucamsim::reset(); }
};

TEST(lmGrabberModels, TableAndUnknown)
{
    EXPECT_STREQ("Lm075", lmGrabber::getModelByID(652));
    EXPECT_STREQ("Lw620", lmGrabber::getModelByID(390));
    EXPECT_STREQ("Lu050M", lmGrabber::getModelByID(145));
    EXPECT_STREQ("Unknown", lmGrabber::getModelByID(0));
}

TEST_F(lmGrabberClass, EnumeratesEveryCameraAndClosesIt)
{
    std::vector<std::string> names{"stale", "stale", "stale"};
    EXPECT_EQ(2, lmGrabber::enumerateCameras(names));
    EXPECT_EQ((std::vector<std::string>{"Lumenera Lu070 #1001", "Lumenera Lw620 #2002"}), names);
    EXPECT_FALSE(lucamsim::cameraState(1001).open);
    EXPECT_FALSE(lucamsim::cameraState(2002).open);

    lucamsim::failCall("LucamGetCameraId", 21, 1, 1);  // the second camera's id query fails
    EXPECT_THROW(lmGrabber::enumerateCameras(names), capture::BaseError);
    EXPECT_FALSE(lucamsim::cameraState(2002).open);  // closed after the failed query

    lucamsim::reset();
    EXPECT_EQ(0, lmGrabber::enumerateCameras(names));
    EXPECT_TRUE(names.empty());
}

TEST_F(lmGrabberClass, NameLookup)
{
    {
        lmGrabber full("Lumenera Lu070 #1001", false);
        EXPECT_EQ("1", full.getSerialNumber());
        EXPECT_TRUE(lucamsim::cameraState(1001).open);
    }
    EXPECT_FALSE(lucamsim::cameraState(1001).open);
    {
        lmGrabber bare("#2002", false);
        EXPECT_EQ("2", bare.getSerialNumber());  // the camera number, not the serial
    }
    EXPECT_EQ("wrong camera name", errorOf("Lumenera Lu070 1001"));
    EXPECT_EQ("camera #3003 is not connected", errorOf("#3003"));
    lucamsim::reset();
    EXPECT_EQ("no Lumenera cameras connected", errorOf("no hash at all"));
}

TEST_F(lmGrabberClass, ConnectTakesTheCameraRanges)
{
    lucamsim::Property gain{2, 0.5f, 12, 2, 0};
    lucamsim::setProperty(1001, lucamsim::gainRange, gain);
    lmGrabber camera(0, false);
    const lmGrabber::lmParameters& p = camera.getParameters();
    EXPECT_FLOAT_EQ(0.5f, p.getMinGain());
    EXPECT_FLOAT_EQ(12, p.getMaxGain());
    EXPECT_FLOAT_EQ(0.01f, p.getMinShutterSpeed());  // the camera's range starts at 0
    EXPECT_FLOAT_EQ(1000, p.getMaxShutterSpeed());
    EXPECT_EQ(-180, p.getMinHue());
    EXPECT_EQ(lmtest::frameWidth, p.getWidth());
    EXPECT_FALSE(lucamsim::cameraState(1001).fastFrames);  // not started
}

TEST_F(lmGrabberClass, SetParametersRebuildsForColour)
{
    lmGrabber camera(1, true);
    const unsigned pixels = lmtest::frameWidth * lmtest::frameHeight;
    EXPECT_EQ(pixels, camera.getFrameSize());
    lmGrabber::lmParameters p = camera.getParameters();
    p.gain = 3;
    camera.setParameters(p);  // same rgb: the camera streams on with the new gain
    EXPECT_FLOAT_EQ(3, lucamsim::cameraState(2002).snapshot.gain);

    p.rgb = true;
    camera.setParameters(p);
    EXPECT_EQ(3 * pixels, camera.getFrameSize());
    EXPECT_EQ(pixels, camera.getRawBufferSize());
    EXPECT_TRUE(lucamsim::cameraState(2002).fastFrames);
    EXPECT_EQ(1, lucamsim::cameraState(2002).callbacks);
    const unsigned char* frame = camera.captureFrame();
    EXPECT_EQ(41, frame[3 * 4 * lmtest::frameWidth]);       // row 4: raw 41 becomes (41, 20, 214)
    EXPECT_EQ(20, frame[3 * 4 * lmtest::frameWidth + 1]);
    EXPECT_EQ(214, frame[3 * 4 * lmtest::frameWidth + 2]);

    p.rgb = false;
    camera.setParameters(p);
    EXPECT_EQ(pixels, camera.getFrameSize());
}

TEST_F(lmGrabberClass, BayerTileFormatAndGpio)
{
    lmGrabber colour(1, true);
    EXPECT_EQ(4, colour.getBayerTileFormat());  // colour format 11
    lucamsim::setProperty(2002, lucamsim::colorFormat, lucamsim::Property{12, 0, 19, 12, 0});
    try {
        colour.getBayerTileFormat();
        FAIL() << "no exception";
    } catch (const std::runtime_error& e) {
        EXPECT_STREQ("Unknown bayer tile format", e.what());
    }

    lucamsim::setGpioInputs(2002, 0xF5);
    unsigned char outputs = 0xFF, inputs = 0xFF;
    colour.writeGpio(0xFA);
    colour.readGpio(outputs, inputs);
    EXPECT_EQ(0x0A, outputs);
    EXPECT_EQ(0x05, inputs);
}

TEST_F(lmGrabberClass, SettersWriteTheSdkProperties)
{
    lmGrabber camera(0, true);
    lucamsim::clearCalls();
    camera.setStrobeLength(2);
    camera.setStrobeEnable(false);
    EXPECT_EQ(1, lucamsim::countCalls("LucamSetProperty", "116 2 67633152"));
    EXPECT_EQ(1, lucamsim::countCalls("LucamSetProperty", "116 0 67633152"));
    EXPECT_FALSE(camera.getStrobeEnable());

    camera.setStrobeDelay(camera.getStrobeDelay());  // unchanged: no restart
    EXPECT_EQ(0, lucamsim::countCalls("LucamDisableFastFrames"));
    camera.setExposureDelay(camera.getExposureDelay());  // always restarts
    EXPECT_EQ(1, lucamsim::countCalls("LucamDisableFastFrames"));
    EXPECT_EQ(1, lucamsim::countCalls("LucamEnableFastFrames"));
}

TEST_F(lmGrabberClass, SetGainRefusedBySdk)
{
    lmGrabber camera(0, true);
    try {
        camera.setGain(30);
        FAIL() << "no exception";
    } catch (const capture::BaseError& e) {
        EXPECT_STREQ("Error code 32. A parameter representing a quantity is outside the allowed boundaries.",
                     e.what());
    }
    EXPECT_FLOAT_EQ(30, camera.getGain());  // stored before the write
    EXPECT_FLOAT_EQ(1, lucamsim::propertyValue(1001, lucamsim::gain));
    EXPECT_THROW(camera.setLum(1), std::runtime_error);
}

TEST_F(lmGrabberClass, StartUpTuningTakesTwoMoreFramesWhenNothingChanges)
{
    lucamsim::setFrameContent(1001, std::vector<unsigned char>(1, 63));  // the target level already
    lmGrabber camera(0, true);
    camera.setAutoExposure(true);
    lucamsim::clearCalls();
    camera.captureFrame();
    EXPECT_EQ(3, lucamsim::countCalls("LucamTakeFastFrame"));
    camera.captureFrame();
    EXPECT_EQ(4, lucamsim::countCalls("LucamTakeFastFrame"));
}

// The start-up tuning on frames at level 31 (factor 2): the first step doubles the shutter (or gain) from 5 (or 1),
// the passes after it double again up to the camera's maximum. It stops after an odd pass with no significant
// change: 4.95 ms for the shutter, 1.785 for the gain.
struct TuningCase {
    const char* name;
    bool autoShutter;
    float maximum;  // of the shutter or of the gain
    int takes;
    float result;
};

class lmGrabberTuning : public lmGrabberClass, public ::testing::WithParamInterface<TuningCase> {};

TEST_P(lmGrabberTuning, StopsAfterTheFirstOddPassWithoutSignificantChange)
{
    const TuningCase& c = GetParam();
    const uint32_t range = c.autoShutter ? lucamsim::exposureRange : lucamsim::gainRange;
    lucamsim::setProperty(1001, range, lucamsim::Property{1, c.autoShutter ? 0 : 0.25f, c.maximum, 1, 0});
    lucamsim::setFrameContent(1001, std::vector<unsigned char>(1, 31));
    lmGrabber camera(0, true);
    camera.setShutterSpeed(5);
    camera.setGain(1);
    camera.setAutoExposure(c.autoShutter);
    camera.setAutoGain(!c.autoShutter);
    lucamsim::clearCalls();
    camera.captureFrame();
    EXPECT_EQ(c.takes, lucamsim::countCalls("LucamTakeFastFrame"));
    EXPECT_FLOAT_EQ(c.result, c.autoShutter ? camera.getShutterSpeed() : camera.getGain());
    EXPECT_FLOAT_EQ(c.autoShutter ? 1 : 5, c.autoShutter ? camera.getGain() : camera.getShutterSpeed());
}

INSTANTIATE_TEST_SUITE_P(
    Cases, lmGrabberTuning,
    ::testing::Values(TuningCase{"Shutter10To14IsNotSignificant", true, 14, 3, 14},
                      TuningCase{"Shutter10To15IsSignificant", true, 15, 5, 15},
                      TuningCase{"ShutterNeverSettlesInEightPasses", true, 1000, 9, 160},
                      TuningCase{"Gain2To3_78IsNotSignificant", false, 3.78f, 3, 3.78f},
                      TuningCase{"Gain2To3_79IsSignificant", false, 3.79f, 5, 3.79f}),
    [](const ::testing::TestParamInfo<TuningCase>& info) { return std::string(info.param.name); });

TEST_F(lmGrabberClass, FlashIntervalGatesCaptures)
{
    lmGrabber camera(0, true);
    lmGrabber::lmParameters p = camera.getParameters();
    p.hasFlash = true;
    p.minFlashStrobeInterval = 200;
    camera.setParameters(p);
    const auto start = std::chrono::steady_clock::now();
    camera.captureFrame();  // the first capture passes at once
    camera.captureFrame();  // waits for the interval since the first
    EXPECT_GE(std::chrono::steady_clock::now() - start, std::chrono::milliseconds(200));
}

TEST_F(lmGrabberClass, FlashGateWaitsTheIntervalAndFailsWithoutItsSet)
{
    lmGrabber camera(0, true);  // built unconnected: an auto-reset flash event
    lmGrabber::lmParameters p = camera.getParameters();
    p.hasFlash = true;
    p.minFlashStrobeInterval = 30;
    camera.setParameters(p);
    for (int i = 0; i < 6; ++i)  // back to back: each waits for the set one interval after the previous capture
        ASSERT_NO_THROW(camera.captureFrame()) << "capture " << i;
    EXPECT_TRUE(camera.waitFlashInterval());  // due within the interval; the host consumes it

    lucamsim::clearCalls();
    const auto start = std::chrono::steady_clock::now();
    try {
        camera.captureFrame();
        FAIL() << "no exception";
    } catch (const std::runtime_error& e) {
        EXPECT_STREQ("Error at control flash strobe interval", e.what());
    }
    EXPECT_GE(std::chrono::steady_clock::now() - start, std::chrono::milliseconds(25));
    EXPECT_EQ(0, lucamsim::countCalls("LucamTakeFastFrame"));  // no frame taken
    EXPECT_THROW(camera.captureFrame(), std::runtime_error);     // and the delayed set not armed again
}

TEST_F(lmGrabberClass, LostFrameStillStartsTheFlashInterval)
{
    const auto interval = std::chrono::milliseconds(300);
    for (bool colour : {false, true}) {  // an auto-reset flash event, then a rebuilt camera's manual-reset one
        SCOPED_TRACE(colour ? "colour" : "monochrome");
        lmGrabber camera(0, true);
        lmGrabber::lmParameters p = camera.getParameters();
        p.hasFlash = true;
        p.minFlashStrobeInterval = static_cast<int>(interval.count());
        p.rgb = colour;
        camera.setParameters(p);
        camera.captureFrame();
        lucamsim::dropFrames(1001, 1);
        const auto lost = std::chrono::steady_clock::now();
        EXPECT_THROW(camera.captureFrame(), capture::FrameCaptureTimeout);  // the SDK's time-out
        ASSERT_NO_THROW(camera.captureFrame());  // after the interval from the lost frame's attempt
        EXPECT_GE(std::chrono::steady_clock::now() - lost, interval);
        ASSERT_NO_THROW(camera.captureFrame());
    }
}

// A hardware-triggered take whose pulse comes late: the next flash keeps the interval from the frame's arrival, not
// from the call. Only lower bounds of elapsed time are checked, each taken from causes before their effects.
TEST_F(lmGrabberClass, FlashIntervalCountsFromTheEndOfATake)
{
    using Clock = std::chrono::steady_clock;
    const auto interval = std::chrono::milliseconds(300);
    lmGrabber camera(0, true);
    lmGrabber::lmParameters p = camera.getParameters();
    p.hasFlash = true;
    p.minFlashStrobeInterval = static_cast<int>(interval.count());
    p.useHwTrigger = true;
    camera.setParameters(p);
    lucamsim::clearCalls();

    const Clock::time_point called = Clock::now();
    Clock::time_point pulsed;
    bool delivered = false;
    std::thread trigger([&] {
        const Clock::time_point giveUp = called + std::chrono::seconds(20);
        while (lucamsim::countCalls("LucamTakeFastFrame") == 0 && Clock::now() < giveUp)  // the take waits
            std::this_thread::sleep_for(std::chrono::milliseconds(1));
        std::this_thread::sleep_until(called + std::chrono::milliseconds(250));
        pulsed = Clock::now();  // the frame arrives after this
        delivered = lucamsim::triggerPulse(1001);
    });
    EXPECT_NO_THROW(camera.captureFrame());
    trigger.join();
    ASSERT_TRUE(delivered);

    camera.setUseHwTrigger(false);  // the next take starts as soon as the gate lets it
    lucamsim::clearCalls();
    ASSERT_NO_THROW(camera.captureFrame());
    const std::vector<lucamsim::Call> calls = lucamsim::calls();
    const auto take = std::find_if(calls.begin(), calls.end(),
                                   [](const lucamsim::Call& call) { return call.name == "LucamTakeFastFrame"; });
    ASSERT_NE(calls.end(), take);
    EXPECT_GE(take->at - pulsed, interval) << "next flash "
        << std::chrono::duration_cast<std::chrono::milliseconds>(take->at - pulsed).count()
        << " ms after the frame";
}

TEST_F(lmGrabberClass, FailedRebuildClosesTheCamera)
{
    lmGrabber camera(0, true);
    lmGrabber::lmParameters p = camera.getParameters();
    p.rgb = true;
    lucamsim::failCall("LucamEnableFastFrames", 5);
    EXPECT_EQ(lmgrabber::lucamErrorMessage(5), errorOf([&] { camera.setParameters(p); }));
    EXPECT_FALSE(lucamsim::cameraState(1001).open);
    EXPECT_FALSE(camera.getParameters().rgb);  // the old implementation stays, without a camera
    const std::string badHandle = lmgrabber::lucamErrorMessage(29);
    EXPECT_EQ(badHandle, errorOf([&] { camera.setGain(2); }));
    EXPECT_EQ(badHandle, errorOf([&] { camera.captureFrame(); }));
    p.rgb = false;
    EXPECT_EQ(badHandle, errorOf([&] { camera.setParameters(p); }));
    lmGrabber again(0, true);  // the camera can be opened anew
    EXPECT_TRUE(lucamsim::cameraState(1001).open);
}

TEST_F(lmGrabberClass, WhiteBalanceAndFrameRates)
{
    lmGrabber camera(0, true);
    camera.onShotAutoWhiteBalance();
    EXPECT_FLOAT_EQ(1.5f, camera.getGainR());  // the camera's balance results, stored only
    EXPECT_FLOAT_EQ(1.25f, camera.getGainB());
    EXPECT_EQ(0, lucamsim::countCalls("LucamSetProperty", "52 1.5 0"));
    EXPECT_EQ((std::vector<float>{7.5f, 15.0f, 30.0f}), camera.getFrameRates());

    lucamsim::CameraSpec noRates = lmtest::camera(3003, 140, 0);
    noRates.frameRates.clear();
    lucamsim::addCamera(noRates);
    lmGrabber other(2, false);
    EXPECT_THROW(other.getFrameRates(), std::runtime_error);
}

TEST_F(lmGrabberClass, CamerasFromADescriptionFile)
{
    const std::string path = ::testing::TempDir() + "lucam-cameras.json";
    std::ofstream(path) << R"({"cameras": [
        {"serial": 77, "model": 652, "width": 32, "height": 4, "frame_fill": 9,
         "properties": {"40": {"value": 2, "min": 1, "max": 16}}}]})";
    lucamsim::loadFile(path);
    std::vector<std::string> names;
    ASSERT_EQ(1, lmGrabber::enumerateCameras(names));
    EXPECT_EQ("Lumenera Lm075 #77", names[0]);
    lmGrabber camera("#77", true);
    EXPECT_FLOAT_EQ(16, camera.getParameters().getMaxGain());
    EXPECT_EQ(32 * 4u, camera.getFrameSize());
    EXPECT_EQ(9, camera.captureFrame()[127]);
    std::remove(path.c_str());
    EXPECT_THROW(lucamsim::loadFile(path), std::runtime_error);
}

TEST_F(lmGrabberClass, FailingCloseDoesNotEscapeTheDestructor)
{
    auto camera = std::make_unique<lmGrabber>(0, true);
    lucamsim::failCall("LucamCameraClose", 49);
    EXPECT_NO_THROW(camera.reset());
}

}  // namespace

#include <gtest/gtest.h>

#include <cmath>
#include <functional>
#include <limits>
#include <stdexcept>

#include "capture/pggrabber/pgConversions.h"
#include "capture/pggrabber/pgGrabber.h"
#include "capture/pggrabber/tests/MessageOf.h"

namespace {

using P = pgGrabber::pgParameters;
using pgtest::messageOf;

// A record whose ranges a camera has filled.
P filled()
{
    P p;
    p.minShutterSpeed = 0.01f;
    p.maxShutterSpeed = 66.0f;
    p.minGain = 0.0f;
    p.maxGain = 24.0f;
    p.minGamma = 0.5f;
    p.maxGamma = 4.0f;
    p.minBrightness = 0.0f;
    p.maxBrightness = 6.0f;
    return p;
}

TEST(PgParameters, DefaultsAreTheDocumentedOnes)
{
    const P p;
    EXPECT_FLOAT_EQ(0.219f, p.shutterSpeed);
    EXPECT_FLOAT_EQ(1.0f, p.gamma);
    EXPECT_EQ(550, p.wbR);
    EXPECT_EQ(810, p.wbB);
    EXPECT_EQ(0, p.minWb);
    EXPECT_EQ(1023, p.maxWb);
    EXPECT_FLOAT_EQ(65.0f, p.maxTriggerDelay);
    EXPECT_TRUE(p.triggerDelayAvailable);
    EXPECT_TRUE(p.outTriggerOn);
    EXPECT_EQ(0xFFFFFFFFu, p.mode);
    EXPECT_FLOAT_EQ(15.0f, p.fpsMax);
    EXPECT_EQ(1u, p.packetSize);
    EXPECT_EQ(pgGrabber::FR_15, p.frameRate);
    EXPECT_EQ(pgGrabber::CM_HQ_LINEAR, p.colorMethod);
    EXPECT_TRUE(p.checkLimits);
    EXPECT_EQ(0u, p.resolution.width + p.resolution.height + p.resolution.offsetX + p.resolution.offsetY);
    EXPECT_FLOAT_EQ(0.2f, p.strobeLength);
    EXPECT_EQ(1u, p.reserved);

    // defaults() hands out the listed values again, whatever a caller did to the shared record
    const_cast<P&>(P::defaults()).gamma = 3.0f;
    EXPECT_FLOAT_EQ(1.0f, P::defaults().gamma);
}

TEST(PgParameters, RangeCheckedSettersRefuseOutsideAndNaN)
{
    P p = filled();
    p.setGain(24.0f);  // a bound passes
    EXPECT_FLOAT_EQ(24.0f, p.gain);
    EXPECT_EQ("Invalid property value 25, available diapason 0..24", messageOf([&] { p.setGain(25.0f); }));
    EXPECT_FLOAT_EQ(24.0f, p.gain);
    EXPECT_THROW(p.setGain(std::numeric_limits<float>::quiet_NaN()), std::runtime_error);
    EXPECT_FLOAT_EQ(24.0f, p.gain);
    EXPECT_EQ("Invalid property value 2000, available diapason 0..1023", messageOf([&] { p.setWbR(2000); }));
    EXPECT_EQ(550, p.wbR);

    p.setCheckLimits(false);
    p.setGain(99.0f);
    p.setWbB(-5);
    EXPECT_FLOAT_EQ(99.0f, p.gain);
    EXPECT_EQ(-5, p.wbB);
}

TEST(PgParameters, FpsControl)
{
    P p;
    for (auto [fps, enabled] : {std::pair{0.05f, false}, {0.1f, true}, {15.0f, true}, {-1.0f, false},
                                {std::numeric_limits<float>::quiet_NaN(), false}}) {
        p.setFPSMax(fps);
        EXPECT_EQ(enabled, p.isFPSControlEnable()) << fps;
    }
}

TEST(PgParameters, LoadOfAnEmptyTree)
{
    const niTypes::niPtree empty;
    P checked;
    EXPECT_EQ("Invalid property value 0.219, available diapason 0..0",
              messageOf([&] { checked.loadFromXML(empty, true); }));
    EXPECT_TRUE(checked.checkLimits);
    EXPECT_EQ(0u, checked.resolution.width);

    P p;
    p.exposureAuto = true;
    p.gammaOn = true;
    p.loadFromXML(empty, false);
    EXPECT_EQ(1280u, p.resolution.width);
    EXPECT_EQ(960u, p.resolution.height);
    EXPECT_FALSE(p.checkLimits);
    EXPECT_TRUE(p.exposureOn);
    EXPECT_FALSE(p.gammaOn);
    EXPECT_FLOAT_EQ(0.219f, p.shutterSpeed);
    EXPECT_EQ(pgGrabber::FR_15, p.frameRate);
}

TEST(PgParameters, LoadReadsTheSectionKeys)
{
    niTypes::niPtree tree;
    tree.put("resolution.width", 0);
    tree.put("resolution.height", 480);
    tree.put("resolution.offset_x", 8);
    tree.put("mode", 1);
    tree.put("fps", 7.5f);
    tree.put("shutter_speed", 12.5f);
    tree.put("gain", 3.0);  // a double reads as float
    tree.put("strobe_delay", 500);
    tree.put("strobe_length", 0.5f);
    tree.put("auto_exposure", true);
    tree.put("auto_gain", true);
    tree.put("gamma", 2.0f);
    tree.put("brightness", 1.0f);
    tree.put("packet_size", 7);  // ignored: no Format7
    tree.put("frame_rate", 20.0f);
    tree.put("strobe_enable", true);
    tree.put("use_hw_trigger", true);
    P p = filled();
    p.loadFromXML(tree, true);
    EXPECT_EQ(0u, p.resolution.width);  // only a sum of 0 is replaced
    EXPECT_EQ(480u, p.resolution.height);
    EXPECT_EQ(8u, p.resolution.offsetX);
    EXPECT_EQ(1u, p.mode);
    EXPECT_FLOAT_EQ(7.5f, p.fpsMax);
    EXPECT_FLOAT_EQ(12.5f, p.shutterSpeed);
    EXPECT_FLOAT_EQ(3.0f, p.gain);
    EXPECT_FLOAT_EQ(0.5f, p.strobeDelay);
    EXPECT_FLOAT_EQ(0.5f, p.strobeLength);
    EXPECT_TRUE(p.exposureAuto && p.exposureOn && p.gainAuto);
    EXPECT_FLOAT_EQ(2.0f, p.gamma);
    EXPECT_EQ(1u, p.packetSize);
    EXPECT_EQ(pgGrabber::FR_30, p.frameRate);
    EXPECT_TRUE(p.strobeEnable && p.useHwTrigger);

    tree.put("use_format_7", true);
    p.loadFromXML(tree, true);
    EXPECT_EQ(7u, p.packetSize);
}

TEST(PgParameters, AFailedLoadChangesNothing)
{
    const P before = filled();
    struct Case {
        const char* key;
        niTypes::niPtreeData value;
    };
    const Case cases[] = {{"gain", niTypes::niPtreeData()}, {"gain", niTypes::niPtreeData("text")},
                          {"gain", niTypes::niPtreeData() = 30.0f}, {"mode", niTypes::niPtreeData() = 1.5f}};
    for (const Case& c : cases) {
        niTypes::niPtree tree;
        tree.put("resolution.width", 640);
        tree.put_child(c.key, niTypes::niPtree(c.value));
        P p = filled();
        EXPECT_ANY_THROW(p.loadFromXML(tree, true)) << c.key;
        EXPECT_EQ(0u, p.resolution.width) << c.key;
        EXPECT_FLOAT_EQ(before.gain, p.gain);
    }
}

TEST(PgParameters, TimeKeysKeepTheirValueForOtherTypes)
{
    for (niTypes::niPtreeData value : {niTypes::niPtreeData() = true, niTypes::niPtreeData()}) {
        niTypes::niPtree tree;
        tree.put("shutter_speed", 1.0f);
        tree.put_child("strobe_delay", niTypes::niPtree(value));
        P p = filled();
        p.strobeDelay = 0.3f;
        p.loadFromXML(tree, true);
        EXPECT_FLOAT_EQ(0.3f, p.strobeDelay);
    }
}

TEST(PgParameters, OptionalGroupsFollowTheirAvailability)
{
    niTypes::niPtree tree;
    tree.put("shutter_speed", 1.0f);
    tree.put("hue", 10.0f);
    tree.put("relative_gain_r", 600);
    P p = filled();
    p.loadFromXML(tree, true);
    EXPECT_FALSE(p.hueOn);
    EXPECT_FLOAT_EQ(0.0f, p.hue);
    EXPECT_EQ(550, p.wbR);

    p.hueAvailable = p.wbAvailable = true;
    p.maxHue = 20.0f;
    p.loadFromXML(tree, true);
    EXPECT_TRUE(p.hueOn && p.wbOn);
    EXPECT_FLOAT_EQ(10.0f, p.hue);
    EXPECT_EQ(600, p.wbR);

    P s = filled();
    s.saturationAvailable = true;  // no "saturation" key: the current value is checked against 0..0
    s.saturation = 5.0f;
    EXPECT_THROW(s.loadFromXML(tree, true), std::runtime_error);
}

TEST(PgParameters, FrameRatesOutsideTheStepsBecomeTheFirst)
{
    for (pgGrabber::FrameRate rate : {pgGrabber::FR_ABOVE_240, pgGrabber::FR_FORMAT7, pgGrabber::FR_FORCE_32BITS}) {
        P p;
        p.frameRate = rate;
        p.loadFromXML(niTypes::niPtree(), false);
        EXPECT_EQ(pgGrabber::FR_1_875, p.frameRate);
    }
}

struct RateCase {
    float fps;
    pgGrabber::FrameRate rate;
};

class ToFrameRate : public testing::TestWithParam<RateCase> {};

TEST_P(ToFrameRate, FirstStepNotExceeded)
{
    EXPECT_EQ(GetParam().rate, pgGrabber::toFrameRate(GetParam().fps));
}

INSTANTIATE_TEST_SUITE_P(Steps, ToFrameRate,
                         testing::Values(RateCase{-3.0f, pgGrabber::FR_1_875}, RateCase{0.0f, pgGrabber::FR_1_875},
                                         RateCase{1.875f, pgGrabber::FR_1_875}, RateCase{1.9f, pgGrabber::FR_3_75},
                                         RateCase{15.0f, pgGrabber::FR_15}, RateCase{20.0f, pgGrabber::FR_30},
                                         RateCase{240.0f, pgGrabber::FR_240}, RateCase{241.0f, pgGrabber::FR_ABOVE_240},
                                         RateCase{std::numeric_limits<float>::quiet_NaN(), pgGrabber::FR_ABOVE_240}));

TEST(PgConversions, VideoModesMapBothWays)
{
    const int fixed[] = {0, 1, 2, 3, 4, 5, 6, 17, 18, 7, 19, 20, 21, 8, 9, 22, 23, 10, 24, 50, 51, 11, 52};
    for (int sdk = 0; sdk < 23; ++sdk) {
        EXPECT_EQ(sdk, toSdkVideoMode(static_cast<pgGrabber::VideoMode>(fixed[sdk])));
        EXPECT_EQ(fixed[sdk], fromSdkVideoMode(static_cast<FlyCapture2::VideoMode>(sdk)));
    }
    EXPECT_EQ(0x7FFFFFFF, toSdkVideoMode(static_cast<pgGrabber::VideoMode>(55)));
    EXPECT_EQ(53, fromSdkVideoMode(static_cast<FlyCapture2::VideoMode>(23)));
    EXPECT_EQ("Unknown PgGrabber VideoMode, code 12",
              messageOf([] { toSdkVideoMode(static_cast<pgGrabber::VideoMode>(12)); }));
    EXPECT_EQ("Unknown PgGrabber VideoMode, code 25",
              messageOf([] { fromSdkVideoMode(static_cast<FlyCapture2::VideoMode>(25)); }));
}

TEST(PgConversions, FrameRatesAndColourMethods)
{
    // own rate -> SDK rate: 0..7 keep their number, above 240 and Format7 swap places
    const int sdkOf[] = {0, 1, 2, 3, 4, 5, 6, 7, 9, 8, 0x7FFFFFFF};
    for (int own = 0; own <= 10; ++own) {
        EXPECT_EQ(sdkOf[own], toSdkFrameRate(static_cast<pgGrabber::FrameRate>(own))) << own;
        EXPECT_EQ(own, fromSdkFrameRate(static_cast<FlyCapture2::FrameRate>(sdkOf[own]))) << own;
    }
    EXPECT_EQ(FlyCapture2::NUM_FRAMERATES, toSdkFrameRate(pgGrabber::FR_ABOVE_240));
    EXPECT_EQ(FlyCapture2::FRAMERATE_FORMAT7, toSdkFrameRate(pgGrabber::FR_FORMAT7));
    EXPECT_EQ(pgGrabber::FR_FORMAT7, fromSdkFrameRate(FlyCapture2::FRAMERATE_FORMAT7));
    EXPECT_EQ(pgGrabber::FR_FORCE_32BITS, fromSdkFrameRate(FlyCapture2::FRAMERATE_FORCE_32BITS));
    EXPECT_EQ("Unknown PgGrabber FrameRate, code 11",
              messageOf([] { toSdkFrameRate(static_cast<pgGrabber::FrameRate>(11)); }));
    EXPECT_EQ("Unknown PgGrabber FrameRate, code 10",
              messageOf([] { fromSdkFrameRate(static_cast<FlyCapture2::FrameRate>(10)); }));
    EXPECT_FLOAT_EQ(240.0f, sdkFrameRateToFloat(FlyCapture2::FRAMERATE_240));
    EXPECT_FLOAT_EQ(0.0f, sdkFrameRateToFloat(FlyCapture2::FRAMERATE_FORMAT7));
    EXPECT_FLOAT_EQ(0.0f, pgGrabber::toFloat(pgGrabber::FR_ABOVE_240));

    const std::pair<int, int> methods[] = {{0, 0}, {1, 1}, {2, 3}, {3, 2}, {4, 5}, {5, 4}, {6, 0x7FFFFFFF}, {7, 5}};
    for (auto [own, sdk] : methods)
        EXPECT_EQ(sdk, toSdkColorProcessing(static_cast<pgGrabber::ColorMethod>(own))) << own;
    EXPECT_EQ(4, toInterfaceType(FlyCapture2::INTERFACE_UNKNOWN));
    EXPECT_EQ(3, toInterfaceType(FlyCapture2::INTERFACE_GIGE));
}

TEST(PgConversions, SdkErrorText)
{
    const FlyCapture2::Error error(FlyCapture2::PGRERROR_INVALID_PARAMETER, "D");
    EXPECT_EQ("Capture module, SetProperty error. Description: DError code: 7",
              messageOf([&] { raiseSdkError(error, "SetProperty"); }));
}

}  // namespace

#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <vector>

#include "capture/CaptureErrors.h"
#include "capture/lmgrabber/AutoExposure.h"
#include "capture/lmgrabber/lmGrabber.h"
#include "capture/lmgrabber/lmParameterTree.h"

namespace {

using Parameters = lmGrabber::lmParameters;

TEST(lmParameters, FreshRecordHoldsTheDefaults)
{
    const Parameters p;
    EXPECT_EQ(lmGrabber::depth8, p.depth);
    EXPECT_FLOAT_EQ(3000, p.triggerTimeout);
    EXPECT_FLOAT_EQ(0.219f, p.getShutterSpeed());
    EXPECT_FLOAT_EQ(0, p.getMinShutterSpeed());
    EXPECT_FLOAT_EQ(512, p.getMaxShutterSpeed());
    EXPECT_FLOAT_EQ(10, p.getGain());
    EXPECT_FLOAT_EQ(0.1f, p.getMinGain());
    EXPECT_FLOAT_EQ(23, p.getMaxGain());
    EXPECT_EQ(lmGrabber::demosaic3, p.demosaicMethod);
    EXPECT_EQ(1392, p.getWidth());
    EXPECT_EQ(1040, p.getHeight());
    EXPECT_TRUE(p.strobeEnable);
    EXPECT_LE(p.getMinHue(), p.getHue());
    EXPECT_GE(p.getMaxHue(), p.getHue());
}

TEST(lmParameters, GuardedSettersKeepTheRange)
{
    Parameters p;
    p.setGain(23);
    EXPECT_FLOAT_EQ(23, p.getGain());
    try {
        p.setGain(23.5f);
        FAIL() << "no exception";
    } catch (const capture::InvalidProperty& e) {
        EXPECT_STREQ("Invalid property value 23.5, available diapason 0.1..23", e.what());
    }
    EXPECT_FLOAT_EQ(23, p.getGain());
    p.setGamma(-0.1f);  // the bound itself
    EXPECT_FLOAT_EQ(-0.1f, p.getGamma());
    EXPECT_THROW(p.setHue(181), capture::InvalidProperty);
    EXPECT_THROW(p.setShutterSpeed(std::numeric_limits<float>::quiet_NaN()), capture::InvalidProperty);
    EXPECT_FLOAT_EQ(0.219f, p.getShutterSpeed());
}

TEST(lmParameters, ChangedCopyLeavesTheDefaults)
{
    Parameters copy = Parameters::defaults();
    copy.gain = 1;
    copy.width = 5;
    EXPECT_FLOAT_EQ(1, copy.gain);
    EXPECT_FLOAT_EQ(10, Parameters::defaults().gain);
    EXPECT_EQ(1392, Parameters().width);
}

TEST(lmParameterTree, LoadsTheSectionKeys)
{
    struct Depth {
        int bpp;
        lmGrabber::eDepth depth;
    };
    for (const Depth& d : {Depth{8, lmGrabber::depth8}, Depth{12, lmGrabber::depth8}, Depth{16, lmGrabber::depth16}}) {
        niTypes::niPtree section;
        section.put("bpp", d.bpp);
        Parameters p;
        lmgrabber::loadParametersFromTree(p, section);
        EXPECT_EQ(d.depth, p.depth) << d.bpp;
    }

    niTypes::niPtree section;
    section.put("exposure", 40.0f);
    section.put("auto_gain", true);
    section.put("gain_red", 2.0f);  // read only for colour cameras
    section.put("has_flash", true);
    section.put("min_flash_strobe_interval", 250);
    Parameters p;
    lmgrabber::loadParametersFromTree(p, section);
    EXPECT_FLOAT_EQ(40, p.shutterSpeed);
    EXPECT_TRUE(p.autoGain);
    EXPECT_FLOAT_EQ(1, p.gainR);
    EXPECT_TRUE(p.hasFlash);
    EXPECT_EQ(250, p.minFlashStrobeInterval);

    section.put("gain", 1);  // an int where a float belongs
    EXPECT_THROW(lmgrabber::loadParametersFromTree(p, section), std::runtime_error);
}

TEST(lmParameterTree, ColourKeysAndRangeFailures)
{
    niTypes::niPtree section;
    section.put("rgb", true);
    section.put("white_balance", 6);
    section.put("color_correction", std::vector<float>{1, 2, 3, 4, 5, 6, 7, 8});
    Parameters p;
    EXPECT_THROW(lmgrabber::loadParametersFromTree(p, section), std::runtime_error);  // eight of nine values
    section.put("color_correction", std::vector<float>{1, 2, 3, 4, 5, 6, 7, 8, 9});
    section.put("demosaic_method", 4);
    lmgrabber::loadParametersFromTree(p, section);
    EXPECT_FLOAT_EQ(9, p.colorCorrMatrix[8]);
    EXPECT_EQ(lmGrabber::demosaic4, p.demosaicMethod);

    niTypes::niPtree outOfRange;
    outOfRange.put("strobe_delay", 2.0f);
    outOfRange.put("saturation", 3.0f);
    Parameters q;
    try {
        lmgrabber::loadParametersFromTree(q, outOfRange);
        FAIL() << "no exception";
    } catch (const capture::InvalidProperty& e) {
        EXPECT_STREQ("Invalid property value 3, available diapason 0..2", e.what());
    }
    EXPECT_FLOAT_EQ(2, q.strobeDelay);  // read before the failing key
}

struct ExposureCase {
    unsigned char level;
    bool priority;
    float shutter;  // expected
    float gain;
};

class AutoExposureStep : public ::testing::TestWithParam<ExposureCase> {};

// Shutter range 0.01..100, gain range 1..20; start at shutter 10, gain 2.
TEST_P(AutoExposureStep, MovesTheMedianTowards64)
{
    const ExposureCase& c = GetParam();
    const std::vector<unsigned char> frame(16 * 8, c.level);
    lmgrabber::AutoExposureState state{false, 0.01f, 1.0f, 100.0f, 20.0f};
    const lmgrabber::ExposureValues v =
        lmgrabber::tuneAutoExposure(frame.data(), 16, 8, state, true, true, c.priority, 10.0f, 2.0f);
    EXPECT_FLOAT_EQ(c.shutter, v.shutter);
    EXPECT_FLOAT_EQ(c.gain, v.gain);
    // every second call changes nothing
    const lmgrabber::ExposureValues again =
        lmgrabber::tuneAutoExposure(frame.data(), 16, 8, state, true, true, c.priority, 1.0f, 1.0f);
    EXPECT_FLOAT_EQ(1.0f, again.shutter);
    EXPECT_FLOAT_EQ(1.0f, again.gain);
}

INSTANTIATE_TEST_SUITE_P(
    Levels, AutoExposureStep,
    ::testing::Values(ExposureCase{63, true, 10.0f, 2.0f},    // factor 1: nothing moves
                      ExposureCase{0, true, 64.0f, 20.0f},    // factor 64, gain first: 2 -> 20, shutter takes 6.4
                      ExposureCase{0, false, 100.0f, 12.8f},  // shutter first: 10 -> 100, gain takes 6.4
                      ExposureCase{255, true, 2.5f, 2.0f},    // factor 0.25, shutter first
                      ExposureCase{255, false, 5.0f, 1.0f}));  // gain first: 2 -> 1 (clamped), shutter takes 0.5

}  // namespace

#include <gtest/gtest.h>

#include <cmath>
#include <limits>

#include "capture/CameraSettings.h"
#include "capture/CaptureErrors.h"

namespace {

struct RangeCase {
    float value, min, max;
    const char* error;  // null: accepted
};

class SettingsRange : public ::testing::TestWithParam<RangeCase> {};

TEST_P(SettingsRange, SetterChecksAgainstTheGroupsBounds)
{
    const RangeCase& c = GetParam();
    CameraSettings settings;
    settings.gainMin = c.min;
    settings.gainMax = c.max;
    settings.gainValue = -1234.0f;
    settings.shutterSpeedMin = c.min;
    settings.shutterSpeedMax = c.max;
    if (!c.error) {
        settings.setGainValue(c.value);
        settings.setShutterSpeedValue(c.value);
        EXPECT_EQ(c.value, settings.gainValue);
        EXPECT_EQ(c.value, settings.shutterSpeedValue);
        return;
    }
    try {
        settings.setGainValue(c.value);
        FAIL() << "accepted " << c.value;
    } catch (const capture::InvalidProperty& e) {
        EXPECT_STREQ(c.error, e.what());
    }
    EXPECT_EQ(-1234.0f, settings.gainValue);  // unchanged
    EXPECT_THROW(settings.setShutterSpeedValue(c.value), capture::InvalidProperty);
}

INSTANTIATE_TEST_SUITE_P(
    All, SettingsRange,
    ::testing::Values(RangeCase{1.0f, 0.0f, 2.0f, nullptr}, RangeCase{0.0f, 0.0f, 2.0f, nullptr},
                      RangeCase{2.0f, 0.0f, 2.0f, nullptr}, RangeCase{3.895f, 1.0f, 3.895f, nullptr},
                      RangeCase{5.5f, 0.0f, 2.0f, "Invalid property value 5.5, available diapason 0..2"},
                      RangeCase{-0.5f, 0.0f, 2.0f, "Invalid property value -0.5, available diapason 0..2"},
                      RangeCase{60.0f, 0.1f, 33.3f, "Invalid property value 60, available diapason 0.1..33.3"},
                      RangeCase{std::numeric_limits<float>::quiet_NaN(), 0.0f, 2.0f,
                                "Invalid property value nan, available diapason 0..2"},
                      RangeCase{std::numeric_limits<float>::infinity(), 0.0f, 2.0f,
                                "Invalid property value inf, available diapason 0..2"}));

TEST(CameraSettings, EveryGroupHasItsOwnCheckedSetter)
{
    CameraSettings s;
    s.brightnessMax = s.gammaMax = s.contrastMax = s.hueMax = s.saturationMax = 1.0f;
    s.gainRMax = s.gainGMax = s.gainBMax = s.exposureMax = 1.0f;
    s.setBrightnessValue(0.1f);
    s.setGammaValue(0.2f);
    s.setContrastValue(0.3f);
    s.setHueValue(0.4f);
    s.setSaturationValue(0.5f);
    s.setGainRValue(0.6f);
    s.setGainGValue(0.7f);
    s.setGainBValue(0.8f);
    s.setExposureValue(0.9f);
    EXPECT_EQ(0.1f, s.brightnessValue);
    EXPECT_EQ(0.2f, s.gammaValue);
    EXPECT_EQ(0.3f, s.contrastValue);
    EXPECT_EQ(0.4f, s.hueValue);
    EXPECT_EQ(0.5f, s.saturationValue);
    EXPECT_EQ(0.6f, s.gainRValue);
    EXPECT_EQ(0.7f, s.gainGValue);
    EXPECT_EQ(0.8f, s.gainBValue);
    EXPECT_EQ(0.9f, s.exposureValue);
    EXPECT_THROW(s.setHueValue(1.5f), capture::InvalidProperty);
    EXPECT_THROW(s.setGainGValue(-1.0f), capture::InvalidProperty);
}

TEST(CameraSettings, DefaultsOfRecordsTheLibraryCreates)
{
    const CameraSettings s;
    EXPECT_EQ(768, s.width);
    EXPECT_EQ(288, s.height);
    EXPECT_EQ(2, s.channels);
    EXPECT_FALSE(s.strobeEnable);
    EXPECT_TRUE(s.useTextureCamera);
    EXPECT_FALSE(s.callbackMode);
    EXPECT_FALSE(s.brightnessPresent || s.gammaPresent || s.contrastPresent || s.huePresent ||
                 s.saturationPresent || s.gainRPresent || s.gainGPresent || s.gainBPresent ||
                 s.shutterSpeedPresent || s.exposurePresent || s.gainPresent);
    EXPECT_FALSE(s.autoShutter || s.autoExposure || s.autoGain);
    EXPECT_EQ(0, s.whiteBalance);
    EXPECT_FALSE(s.rgb || s.exposurePriority || s.colorCorrectionAvailable);
}

}  // namespace

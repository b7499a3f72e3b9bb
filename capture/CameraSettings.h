#pragma once
// The settings block that cwInitialize, cwGetSettings and cwSetSettings exchange with the host. It crosses the
// module boundary, so its members are declared flat, in this order, with natural alignment: a property group is
// four members (value, min, max, present), and a bool after a group's present flag takes the very next byte.
// Each group's value goes through a range-checked setter; bounds and present flags are written directly.
#include <cstddef>

// Declares one property group's members and its range-checked value setter.
#define KESTRUNE_SETTINGS_GROUP(name, Name)                                                                       \
    float name##Value = 0.0f;                                                                                     \
    float name##Min = 0.0f;                                                                                       \
    float name##Max = 0.0f;                                                                                       \
    bool name##Present = false;                                                                                   \
    /* throws capture::InvalidProperty when v < min, v > max or v is NaN; the value is then unchanged */          \
    void set##Name##Value(float v) { name##Value = checkedValue(v, name##Min, name##Max); }

struct CameraSettings {
    int width = 768;
    int height = 288;
    int channels = 2;
    bool strobeEnable = false;
    bool hwTrigger = false;
    bool useTextureCamera = true;
    bool callbackMode = false;
    KESTRUNE_SETTINGS_GROUP(brightness, Brightness)
    KESTRUNE_SETTINGS_GROUP(gamma, Gamma)
    KESTRUNE_SETTINGS_GROUP(contrast, Contrast)
    KESTRUNE_SETTINGS_GROUP(hue, Hue)
    KESTRUNE_SETTINGS_GROUP(saturation, Saturation)
    KESTRUNE_SETTINGS_GROUP(gainR, GainR)
    KESTRUNE_SETTINGS_GROUP(gainG, GainG)
    KESTRUNE_SETTINGS_GROUP(gainB, GainB)
    bool autoShutter = false;
    KESTRUNE_SETTINGS_GROUP(shutterSpeed, ShutterSpeed)
    bool autoExposure = false;
    KESTRUNE_SETTINGS_GROUP(exposure, Exposure)
    bool autoGain = false;
    KESTRUNE_SETTINGS_GROUP(gain, Gain)
    float strobeDelay = 0.0f;
    float strobeDuration = 0.0f;
    int whiteBalance = 0;
    bool rgb = false;
    bool exposurePriority = false;
    bool colorCorrectionAvailable = false;

private:
    static float checkedValue(float value, float min, float max);
};

#undef KESTRUNE_SETTINGS_GROUP

static_assert(sizeof(float) == 4 && sizeof(int) == 4 && sizeof(bool) == 1, "CameraSettings needs 4-byte int/float");
static_assert(offsetof(CameraSettings, strobeEnable) == 12 && offsetof(CameraSettings, callbackMode) == 15);
static_assert(offsetof(CameraSettings, brightnessValue) == 16 && offsetof(CameraSettings, brightnessPresent) == 28);
static_assert(offsetof(CameraSettings, gammaValue) == 32 && offsetof(CameraSettings, contrastValue) == 48);
static_assert(offsetof(CameraSettings, hueValue) == 64 && offsetof(CameraSettings, saturationValue) == 80);
static_assert(offsetof(CameraSettings, gainRValue) == 96 && offsetof(CameraSettings, gainGValue) == 112);
static_assert(offsetof(CameraSettings, gainBValue) == 128 && offsetof(CameraSettings, gainBPresent) == 140);
static_assert(offsetof(CameraSettings, autoShutter) == 141 && offsetof(CameraSettings, shutterSpeedValue) == 144);
static_assert(offsetof(CameraSettings, autoExposure) == 157 && offsetof(CameraSettings, exposureValue) == 160);
static_assert(offsetof(CameraSettings, autoGain) == 173 && offsetof(CameraSettings, gainValue) == 176);
static_assert(offsetof(CameraSettings, strobeDelay) == 192 && offsetof(CameraSettings, strobeDuration) == 196);
static_assert(offsetof(CameraSettings, whiteBalance) == 200 && offsetof(CameraSettings, rgb) == 204);
static_assert(offsetof(CameraSettings, colorCorrectionAvailable) == 206 && sizeof(CameraSettings) == 208);

#include "capture/lmgrabber/lmSettingsConversion.h"

#include <cmath>

#include "capture/CaptureErrors.h"

namespace lmgrabber {

void settingsFromParameters(const lmGrabber::lmParameters& p, CameraSettings& s)
{
    s.brightnessPresent = true;
    s.brightnessMin = p.minBrightness;
    s.brightnessMax = p.maxBrightness;
    s.setBrightnessValue(p.brightness);
    s.gammaPresent = true;
    s.gammaMin = p.minGamma;
    s.gammaMax = p.maxGamma;
    s.setGammaValue(p.gamma);
    s.contrastPresent = true;
    s.contrastMin = p.minContrast;
    s.contrastMax = p.maxContrast;
    s.setContrastValue(p.contrast);

    s.shutterSpeedPresent = true;
    s.shutterSpeedMin = p.minShutterSpeed;
    s.shutterSpeedMax = p.maxShutterSpeed;
    s.setShutterSpeedValue(p.shutterSpeed);
    s.autoShutter = p.shutterSpeedAuto;

    s.exposurePresent = false;

    s.gainPresent = true;
    s.gainMin = p.minGain;
    s.gainMax = p.maxGain;
    s.setGainValue(p.gain);
    s.autoGain = p.autoGain;

    s.strobeEnable = p.strobeEnable;
    s.strobeDelay = p.strobeDelay;
    s.strobeDuration = p.strobeLength;

    s.huePresent = true;
    s.hueMin = static_cast<float>(p.minHue);
    s.hueMax = static_cast<float>(p.maxHue);
    s.setHueValue(static_cast<float>(p.hue));

    s.saturationPresent = true;
    s.saturationMin = p.minSaturation;
    s.saturationMax = p.maxSaturation;
    s.setSaturationValue(p.saturation);

    if (p.rgb) {
        s.gainRPresent = s.gainGPresent = s.gainBPresent = true;
        s.gainRMin = s.gainGMin = s.gainBMin = 1.0f;
        s.gainRMax = s.gainGMax = s.gainBMax = 3.895f;
        s.setGainRValue(p.gainR);
        s.setGainGValue(p.gainG1);
        s.setGainBValue(p.gainB);
        s.channels = 3;
        s.rgb = true;
        const int correction = static_cast<int>(p.whiteBalanceCorr);
        s.whiteBalance = correction >= 1 && correction <= 5 ? correction : 0;
    } else {
        s.gainRPresent = s.gainGPresent = s.gainBPresent = false;
        s.rgb = false;
    }
    s.colorCorrectionAvailable = true;
    s.exposurePriority = p.autoExposurePriority;
}

void parametersFromSettings(const CameraSettings& s, lmGrabber::lmParameters& p)
{
    p.setBrightness(s.brightnessValue);
    p.setGamma(s.gammaValue);
    p.setContrast(s.contrastValue);
    p.setShutterSpeed(s.shutterSpeedValue);
    p.shutterSpeedAuto = s.autoShutter;
    p.setGain(s.gainValue);
    p.autoGain = s.autoGain;
    p.strobeEnable = s.strobeEnable;
    p.strobeDelay = s.strobeDelay;
    p.strobeLength = s.strobeDuration;
    // A hue that no int holds (or NaN) cannot be truncated; it fails the range check as it stands. Any other
    // value is truncated first and checked in the int form.
    if (!(std::fabs(s.hueValue) < 2.0e9f))
        throw capture::InvalidProperty(s.hueValue, static_cast<float>(p.minHue), static_cast<float>(p.maxHue));
    p.setHue(static_cast<int>(s.hueValue));
    p.setSaturation(s.saturationValue);
    if (s.gainRPresent)
        p.gainR = s.gainRValue;
    if (s.gainGPresent)
        p.gainG1 = p.gainG2 = s.gainGValue;
    if (s.gainBPresent)
        p.gainB = s.gainBValue;
    p.autoExposurePriority = s.exposurePriority;
}

}  // namespace lmgrabber

#include "capture/pggrabber/pgSettings.h"

#include <climits>
#include <sstream>
#include <stdexcept>

void settingsFromParameters(const pgGrabber::pgParameters& p, CameraSettings& s)
{
    s.brightnessPresent = p.brightnessAvailable;
    if (p.brightnessAvailable) {
        s.brightnessMin = p.minBrightness;
        s.brightnessMax = p.maxBrightness;
        s.setBrightnessValue(p.brightness);
    }
    s.gammaPresent = p.gammaAvailable && p.gammaOn;
    if (p.gammaAvailable) {
        s.gammaMin = p.minGamma;
        s.gammaMax = p.maxGamma;
        s.setGammaValue(p.gamma);
    }
    s.contrastPresent = p.sharpnessAvailable;
    if (p.sharpnessAvailable) {
        s.contrastMin = p.minSharpness;
        s.contrastMax = p.maxSharpness;
        s.setContrastValue(p.sharpness);
    }
    s.shutterSpeedPresent = p.shutterSpeedAvailable;
    if (p.shutterSpeedAvailable) {
        s.shutterSpeedMin = p.minShutterSpeed;
        s.shutterSpeedMax = p.maxShutterSpeed;
        s.setShutterSpeedValue(p.shutterSpeed);
        s.autoShutter = p.shutterSpeedAuto;
    }
    s.exposurePresent = p.exposureAvailable;
    if (p.exposureAvailable) {
        s.exposureMin = p.minExposure;
        s.exposureMax = p.maxExposure;
        s.setExposureValue(p.exposure);
        s.autoExposure = p.exposureAuto;
    }
    s.gainPresent = p.gainAvailable;
    if (p.gainAvailable) {
        s.gainMin = p.minGain;
        s.gainMax = p.maxGain;
        s.setGainValue(p.gain);
        s.autoGain = p.gainAuto;
    }
    s.huePresent = p.hueAvailable && p.hueOn;
    if (p.hueAvailable) {
        s.hueMin = p.minHue;
        s.hueMax = p.maxHue;
        s.setHueValue(p.hue);
    }
    s.saturationPresent = p.saturationAvailable && p.saturationOn;
    if (p.saturationAvailable) {
        s.saturationMin = p.minSaturation;
        s.saturationMax = p.maxSaturation;
        s.setSaturationValue(p.saturation);
    }
    s.strobeEnable = p.strobeEnable;
    s.strobeDelay = p.strobeDelay;
    s.strobeDuration = p.strobeLength;
    s.hwTrigger = p.useHwTrigger;
    s.gainGPresent = false;
    s.gainRPresent = s.gainBPresent = p.wbAvailable;
    if (p.wbAvailable) {
        s.gainRMin = s.gainBMin = static_cast<float>(p.minWb);
        s.gainRMax = s.gainBMax = static_cast<float>(p.maxWb);
        s.setGainRValue(static_cast<float>(p.wbR));
        s.setGainBValue(static_cast<float>(p.wbB));
    }
    s.colorCorrectionAvailable = false;
    s.rgb = false;
}

int whiteBalanceValue(float value, const pgGrabber::pgParameters& p)
{
    if (!(value > static_cast<float>(INT_MIN) && value < static_cast<float>(INT_MAX))) {
        std::ostringstream text;
        text << "Invalid property value " << value << ", available diapason " << p.minWb << ".." << p.maxWb;
        throw std::runtime_error(text.str());
    }
    return static_cast<int>(value);
}

void parametersFromSettings(const CameraSettings& s, pgGrabber::pgParameters& p)
{
    if (s.brightnessPresent)
        p.setBrightness(s.brightnessValue);
    if (s.gammaPresent)
        p.setGamma(s.gammaValue);
    if (s.contrastPresent)
        p.setSharpness(s.contrastValue);
    if (s.shutterSpeedPresent) {
        p.setShutterSpeed(s.shutterSpeedValue);
        p.shutterSpeedAuto = s.autoShutter;
    }
    if (s.exposurePresent) {
        p.setExposure(s.exposureValue);
        p.exposureAuto = s.autoExposure;
    }
    if (s.gainPresent) {
        p.setGain(s.gainValue);
        p.gainAuto = s.autoGain;
    }
    if (s.huePresent)
        p.setHue(s.hueValue);
    if (s.saturationPresent)
        p.setSaturation(s.saturationValue);
    p.strobeEnable = s.strobeEnable;
    p.strobeDelay = s.strobeDelay;
    p.strobeLength = s.strobeDuration;
    p.useHwTrigger = s.hwTrigger;
    if (s.gainRPresent) {
        p.setWbR(whiteBalanceValue(s.gainRValue, p));
        p.setWbB(whiteBalanceValue(s.gainBValue, p));
    }
}

pgGrabber::VideoMode chooseVideoMode(CameraSettings& s, bool color)
{
    pgGrabber::VideoMode mode = pgGrabber::VM_640x480Y8;
    if (s.width != 640 || s.height != 480) {
        s.width = 1280;
        s.height = 960;
        mode = pgGrabber::VM_1280x960Y8;
    }
    s.channels = color ? 3 : 1;
    return mode;
}

void parseRotation(int value, bool& rotate, int& rotation)
{
    rotate = true;
    if (value == 90)
        rotation = 1;
    else if (value == -90)
        rotation = 0;
    else if (value == 180)
        rotation = 2;
    else
        rotate = false;
}

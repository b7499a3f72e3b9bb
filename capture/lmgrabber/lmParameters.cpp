#include <algorithm>

#include "capture/CaptureErrors.h"
#include "capture/lmgrabber/lmGrabber.h"

using Parameters = lmGrabber::lmParameters;

Parameters::lmParameters(DefaultTag)
    : depth(depth8),
      clockSpeed(0),
      strobeDelay(0.15f),
      exposureDelay(0),
      strobeLength(0.5f),
      triggerTimeout(3000),
      strobeEnable(true),
      useHwTrigger(false),
      autoExposurePriority(true),
      autoWhiteBalance(false),
      tuneAutoExposureOnStart(true),
      lum(100),
      gainR(1),
      gainB(1),
      gainG1(1),
      gainG2(1),
      rgb(false),
      whiteBalanceCorr(wbNone),
      demosaicMethod(demosaic3),
      colorCorrMatrix{},
      digitalGain(1),
      digitalWbU(0),
      digitalWbV(0),
      width(1392),
      height(1040),
      hasFlash(false),
      minFlashStrobeInterval(0),
      shutterSpeed(0.219f),
      maxShutterSpeed(512),
      minShutterSpeed(0),
      shutterSpeedAuto(false),
      brightness(0),
      minBrightness(-100),
      maxBrightness(100),
      gamma(1),
      minGamma(-0.1f),
      maxGamma(5),
      contrast(1),
      minContrast(0.01f),
      maxContrast(100),
      gain(10),
      minGain(0.1f),
      maxGain(23),
      autoGain(false),
      hue(0),
      minHue(-180),
      maxHue(180),
      saturation(1),
      minSaturation(0),
      maxSaturation(2)
{
}

Parameters::lmParameters() : lmParameters(defaults()) {}

const Parameters& Parameters::defaults()
{
    static Parameters record{DefaultTag()};
    record = Parameters(DefaultTag());
    return record;
}

namespace {

template <class T>
void setChecked(T& field, T value, T min, T max)
{
    capture::checkPropertyRange(value, min, max);
    field = value;
}

}  // namespace

void Parameters::setBrightness(float value) { setChecked(brightness, value, minBrightness, maxBrightness); }
void Parameters::setGamma(float value) { setChecked(gamma, value, minGamma, maxGamma); }
void Parameters::setContrast(float value) { setChecked(contrast, value, minContrast, maxContrast); }
void Parameters::setShutterSpeed(float value) { setChecked(shutterSpeed, value, minShutterSpeed, maxShutterSpeed); }
void Parameters::setGain(float value) { setChecked(gain, value, minGain, maxGain); }
void Parameters::setSaturation(float value) { setChecked(saturation, value, minSaturation, maxSaturation); }
void Parameters::setHue(int value) { setChecked(hue, value, minHue, maxHue); }

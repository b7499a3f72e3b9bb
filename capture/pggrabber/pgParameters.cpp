#include <boost/optional.hpp>

#include <cmath>
#include <sstream>
#include <stdexcept>

#include "capture/pggrabber/pgGrabber.h"

namespace {

// Stores value unless checks are on and it lies outside [min, max]; a NaN never passes a check.
template <class T>
void checkedStore(T& field, T value, T min, T max, bool checkLimits)
{
    bool outside = value > max || value < min;
    if constexpr (std::is_floating_point_v<T>)
        outside = outside || std::isnan(value);
    if (checkLimits && outside) {
        std::ostringstream text;
        text << "Invalid property value " << value << ", available diapason " << min << ".." << max;
        throw std::runtime_error(text.str());
    }
    field = value;
}

// An int counts microseconds, a float or double milliseconds; anything else keeps the current value.
void readTimeKey(const niTypes::niPtree& tree, const char* key, float& field)
{
    const auto child = tree.get_child_optional(key);
    if (!child)
        return;
    const boost::any& held = child->data().value;
    if (const int* i = boost::any_cast<int>(&held))
        field = static_cast<float>(*i) / 1000.0f;
    else if (const float* f = boost::any_cast<float>(&held))
        field = *f;
    else if (const double* d = boost::any_cast<double>(&held))
        field = static_cast<float>(*d);
}

template <class T, class Field>
void readOptional(const niTypes::niPtree& tree, const char* key, Field& field)
{
    if (const auto child = tree.get_child_optional(key))
        field = static_cast<Field>(child->data().get<T>());
}

template <class T>
T valueOr(const niTypes::niPtree& tree, const char* key, T current)
{
    if (const auto child = tree.get_child_optional(key))
        return child->data().get<T>();
    return current;
}

}  // namespace

pgGrabber::pgParameters::pgParameters() = default;

const pgGrabber::pgParameters& pgGrabber::pgParameters::defaults()
{
    static pgParameters shared;
    shared = pgParameters();
    return shared;
}

void pgGrabber::pgParameters::setBrightness(float v) { checkedStore(brightness, v, minBrightness, maxBrightness, checkLimits); }
void pgGrabber::pgParameters::setGamma(float v) { checkedStore(gamma, v, minGamma, maxGamma, checkLimits); }
void pgGrabber::pgParameters::setSharpness(float v) { checkedStore(sharpness, v, minSharpness, maxSharpness, checkLimits); }
void pgGrabber::pgParameters::setShutterSpeed(float v) { checkedStore(shutterSpeed, v, minShutterSpeed, maxShutterSpeed, checkLimits); }
void pgGrabber::pgParameters::setExposure(float v) { checkedStore(exposure, v, minExposure, maxExposure, checkLimits); }
void pgGrabber::pgParameters::setGain(float v) { checkedStore(gain, v, minGain, maxGain, checkLimits); }
void pgGrabber::pgParameters::setHue(float v) { checkedStore(hue, v, minHue, maxHue, checkLimits); }
void pgGrabber::pgParameters::setSaturation(float v) { checkedStore(saturation, v, minSaturation, maxSaturation, checkLimits); }
void pgGrabber::pgParameters::setWbR(int v) { checkedStore(wbR, v, minWb, maxWb, checkLimits); }
void pgGrabber::pgParameters::setWbB(int v) { checkedStore(wbB, v, minWb, maxWb, checkLimits); }

void pgGrabber::pgParameters::loadFromXML(const niTypes::niPtree& tree, bool limits)
{
    pgParameters p(*this);
    p.checkLimits = limits;
    readOptional<int>(tree, "resolution.offset_x", p.resolution.offsetX);
    readOptional<int>(tree, "resolution.offset_y", p.resolution.offsetY);
    readOptional<int>(tree, "resolution.width", p.resolution.width);
    readOptional<int>(tree, "resolution.height", p.resolution.height);
    if (p.resolution.width + p.resolution.height == 0) {
        p.resolution.width = 1280;
        p.resolution.height = 960;
    }
    readOptional<int>(tree, "mode", p.mode);
    readOptional<float>(tree, "fps", p.fpsMax);
    p.setShutterSpeed(valueOr<float>(tree, "shutter_speed", p.shutterSpeed));
    p.setGain(valueOr<float>(tree, "gain", p.gain));
    readTimeKey(tree, "strobe_delay", p.strobeDelay);
    readTimeKey(tree, "strobe_length", p.strobeLength);
    p.exposureAuto = p.exposureOn = valueOr<bool>(tree, "auto_exposure", p.exposureAuto);
    readOptional<bool>(tree, "auto_shutter_speed", p.shutterSpeedAuto);
    readOptional<bool>(tree, "auto_gain", p.gainAuto);
    p.setGamma(valueOr<float>(tree, "gamma", p.gamma));
    p.gammaOn = false;
    p.setBrightness(valueOr<float>(tree, "brightness", p.brightness));
    if (p.hueAvailable) {
        p.hueOn = true;
        p.setHue(valueOr<float>(tree, "hue", p.hue));
    }
    if (p.saturationAvailable) {
        p.saturationOn = true;
        p.setSaturation(valueOr<float>(tree, "saturation", p.saturation));
    }
    if (p.wbAvailable) {
        p.wbOn = true;
        p.setWbR(valueOr<int>(tree, "relative_gain_r", p.wbR));
        p.setWbB(valueOr<int>(tree, "relative_gain_b", p.wbB));
    }
    readOptional<bool>(tree, "use_format_7", p.useFormat7);
    if (p.useFormat7)
        readOptional<int>(tree, "packet_size", p.packetSize);
    p.frameRate = toFrameRate(valueOr<float>(tree, "frame_rate", toFloat(p.frameRate)));
    readOptional<bool>(tree, "strobe_enable", p.strobeEnable);
    readOptional<bool>(tree, "use_hw_trigger", p.useHwTrigger);
    *this = p;
}

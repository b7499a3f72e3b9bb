#include "capture/lmgrabber/AutoExposure.h"

#include <cstddef>

namespace lmgrabber {
namespace {

// Scales value by factor within [min, max]; returns the factor left for the other quantity.
float scaleClamped(float& value, float factor, float min, float max)
{
    const float old = value;
    float scaled = old * factor;
    if (scaled < min)
        scaled = min;
    if (scaled > max)
        scaled = max;
    value = scaled;
    if (old == 0.0f)
        return factor;  // nothing to scale from: the other quantity takes the whole factor
    const float applied = scaled / old;
    return factor / applied;
}

}  // namespace

ExposureValues tuneAutoExposure(const unsigned char* frame, int width, int height, AutoExposureState& state,
                                bool autoShutter, bool autoGain, bool priority, float shutter, float gain)
{
    ExposureValues result{shutter, gain};
    if (state.skipNext) {
        state.skipNext = false;
        return result;
    }
    state.skipNext = true;

    unsigned long counters[256] = {};
    const std::size_t pixels = width > 0 && height > 0 ? std::size_t(width) * std::size_t(height) : 0;
    for (std::size_t i = 0; i < pixels; ++i)
        ++counters[frame[i]];

    const unsigned long half = static_cast<unsigned long>(pixels / 2);
    int m = 1;
    if (half > 0) {
        unsigned long sum = 0;
        for (int i = 0; i < 256; ++i) {
            sum += counters[i];
            if (sum >= half) {
                m = i + 1;
                break;
            }
        }
    }
    const float factor = 64.0f / static_cast<float>(m);

    const bool gainFirst = (factor <= 1.0f) != priority;
    float residual = factor;
    auto adjustShutter = [&](float f) {
        return autoShutter ? scaleClamped(result.shutter, f, state.minShutterSpeed, state.maxShutterSpeed) : f;
    };
    auto adjustGain = [&](float f) {
        return autoGain ? scaleClamped(result.gain, f, state.minGain, state.maxGain) : f;
    };
    if (gainFirst) {
        residual = adjustGain(factor);
        adjustShutter(residual);
    } else {
        residual = adjustShutter(factor);
        adjustGain(residual);
    }
    return result;
}

}  // namespace lmgrabber

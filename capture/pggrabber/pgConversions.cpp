#include "capture/pggrabber/pgConversions.h"

#include <sstream>
#include <stdexcept>

namespace {

// Own video mode and SDK video mode, in SDK order.
const std::pair<int, int> videoModes[] = {
    {0, 0},   {1, 1},   {2, 2},   {3, 3},   {4, 4},   {5, 5},   {6, 6},   {17, 7},  {18, 8},
    {7, 9},   {19, 10}, {20, 11}, {21, 12}, {8, 13},  {9, 14},  {22, 15}, {23, 16}, {10, 17},
    {24, 18}, {50, 19}, {51, 20}, {11, 21}, {52, 22}, {53, 23}, {54, 24}, {55, 0x7FFFFFFF}};

[[noreturn]] void unknownVideoMode(long long code)
{
    throw std::runtime_error("Unknown PgGrabber VideoMode, code " + std::to_string(code));
}

[[noreturn]] void unknownFrameRate(long long code)
{
    throw std::runtime_error("Unknown PgGrabber FrameRate, code " + std::to_string(code));
}

}  // namespace

FlyCapture2::VideoMode toSdkVideoMode(pgGrabber::VideoMode mode)
{
    for (const auto& m : videoModes)
        if (m.first == static_cast<int>(mode))
            return static_cast<FlyCapture2::VideoMode>(m.second);
    unknownVideoMode(static_cast<int>(mode));
}

pgGrabber::VideoMode fromSdkVideoMode(FlyCapture2::VideoMode mode)
{
    for (const auto& m : videoModes)
        if (m.second == static_cast<int>(mode))
            return static_cast<pgGrabber::VideoMode>(m.first);
    unknownVideoMode(static_cast<int>(mode));
}

FlyCapture2::FrameRate toSdkFrameRate(pgGrabber::FrameRate rate)
{
    const int r = static_cast<int>(rate);
    if (r >= 0 && r <= 7)
        return static_cast<FlyCapture2::FrameRate>(r);
    if (r == 8)
        return FlyCapture2::NUM_FRAMERATES;
    if (r == 9)
        return FlyCapture2::FRAMERATE_FORMAT7;
    if (r == 10)
        return FlyCapture2::FRAMERATE_FORCE_32BITS;
    unknownFrameRate(r);
}

pgGrabber::FrameRate fromSdkFrameRate(FlyCapture2::FrameRate rate)
{
    const int r = static_cast<int>(rate);
    if (r >= 0 && r <= 7)
        return static_cast<pgGrabber::FrameRate>(r);
    if (r == 8)
        return pgGrabber::FR_FORMAT7;
    if (r == 9)
        return pgGrabber::FR_ABOVE_240;
    if (r == 0x7FFFFFFF)
        return pgGrabber::FR_FORCE_32BITS;
    unknownFrameRate(r);
}

FlyCapture2::ColorProcessingAlgorithm toSdkColorProcessing(pgGrabber::ColorMethod method)
{
    switch (static_cast<int>(method)) {
    case 0: return FlyCapture2::DEFAULT;
    case 1: return FlyCapture2::NO_COLOR_PROCESSING;
    case 2: return FlyCapture2::EDGE_SENSING;
    case 3: return FlyCapture2::NEAREST_NEIGHBOR;
    case 5: return FlyCapture2::HQ_LINEAR;
    case 6: return FlyCapture2::COLOR_PROCESSING_ALGORITHM_FORCE_32BITS;
    default: return FlyCapture2::RIGOROUS;
    }
}

float sdkFrameRateToFloat(FlyCapture2::FrameRate rate)
{
    const int r = static_cast<int>(rate);
    return r >= 0 && r <= 7 ? pgGrabber::toFloat(static_cast<pgGrabber::FrameRate>(r)) : 0.0f;
}

int toInterfaceType(FlyCapture2::InterfaceType type)
{
    const int t = static_cast<int>(type);
    return t >= 0 && t <= 3 ? t : 4;
}

void raiseSdkError(FlyCapture2::Error error, const std::string& name)
{
    std::ostringstream text;
    text << "Capture module, " << name << " error. Description: " << error.GetDescription()
         << "Error code: " << static_cast<int>(error.GetType());
    throw std::runtime_error(text.str());
}

float pgGrabber::toFloat(FrameRate rate)
{
    static const float rates[] = {1.875f, 3.75f, 7.5f, 15.0f, 30.0f, 60.0f, 120.0f, 240.0f};
    const int r = static_cast<int>(rate);
    return r >= 0 && r <= 7 ? rates[r] : 0.0f;
}

pgGrabber::FrameRate pgGrabber::toFrameRate(float fps)
{
    static const double steps[] = {1.875, 3.75, 7.5, 15.0, 30.0, 60.0, 120.0, 240.0};
    for (int i = 0; i < 8; ++i)
        if (static_cast<double>(fps) <= steps[i])
            return static_cast<FrameRate>(i);
    return FR_ABOVE_240;  // above 240, and NaN
}

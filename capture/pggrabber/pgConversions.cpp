#include "capture/pggrabber/pgConversions.h"

#include <cstddef>
#include <sstream>
#include <stdexcept>
#include <string>
#include <utility>

namespace {

using CodePair = std::pair<int, int>;

// Own video mode and SDK video mode, in SDK order.
const CodePair videoModes[] = {
    {0, 0},   {1, 1},   {2, 2},   {3, 3},   {4, 4},   {5, 5},   {6, 6},   {17, 7},  {18, 8},
    {7, 9},   {19, 10}, {20, 11}, {21, 12}, {8, 13},  {9, 14},  {22, 15}, {23, 16}, {10, 17},
    {24, 18}, {50, 19}, {51, 20}, {11, 21}, {52, 22}, {53, 23}, {54, 24}, {55, 0x7FFFFFFF}};

// Own frame rate and SDK frame rate, in SDK order.
const CodePair frameRates[] = {{0, 0}, {1, 1}, {2, 2}, {3, 3}, {4, 4}, {5, 5},
                               {6, 6}, {7, 7}, {9, 8}, {8, 9}, {10, 0x7FFFFFFF}};

// The other half of the pair whose `from` half is code; an unknown code throws
// "Unknown PgGrabber <what>, code <code>".
template <std::size_t N>
int mapCode(const CodePair (&table)[N], int CodePair::*from, int CodePair::*to, int code, const char* what)
{
    for (const CodePair& pair : table)
        if (pair.*from == code)
            return pair.*to;
    throw std::runtime_error(std::string("Unknown PgGrabber ") + what + ", code " + std::to_string(code));
}

}  // namespace

FlyCapture2::VideoMode toSdkVideoMode(pgGrabber::VideoMode mode)
{
    return static_cast<FlyCapture2::VideoMode>(
        mapCode(videoModes, &CodePair::first, &CodePair::second, static_cast<int>(mode), "VideoMode"));
}

pgGrabber::VideoMode fromSdkVideoMode(FlyCapture2::VideoMode mode)
{
    return static_cast<pgGrabber::VideoMode>(
        mapCode(videoModes, &CodePair::second, &CodePair::first, static_cast<int>(mode), "VideoMode"));
}

FlyCapture2::FrameRate toSdkFrameRate(pgGrabber::FrameRate rate)
{
    return static_cast<FlyCapture2::FrameRate>(
        mapCode(frameRates, &CodePair::first, &CodePair::second, static_cast<int>(rate), "FrameRate"));
}

pgGrabber::FrameRate fromSdkFrameRate(FlyCapture2::FrameRate rate)
{
    return static_cast<pgGrabber::FrameRate>(
        mapCode(frameRates, &CodePair::second, &CodePair::first, static_cast<int>(rate), "FrameRate"));
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

void check(const FlyCapture2::Error& error, const char* label)
{
    if (error.GetType() != FlyCapture2::PGRERROR_OK)
        raiseSdkError(error, label);
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

pgGrabber::sFirmwareVersion readFirmwareVersion(FlyCapture2::CameraBase& camera)
{
    unsigned int value = 0;
    check(camera.ReadRegister(0x1F60, &value), "ReadRegister, get firmware version");
    return pgGrabber::sFirmwareVersion(value >> 24, (value >> 16) & 0xFF, (value >> 12) & 0xF);
}

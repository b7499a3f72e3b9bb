#include "capture/pggrabber/niPgGrabberUSB.h"

#include <algorithm>

#include "capture/pggrabber/pgConversions.h"

using namespace FlyCapture2;

niPgGrabberUSB::niPgGrabberUSB() : camera(new Camera) {}

niPgGrabberUSB::~niPgGrabberUSB()
{
    try {
        releaseCamera();
    } catch (...) {
    }
}

void niPgGrabberUSB::releaseCamera()
{
    disconnect();
    camera.reset();
}

CameraBase* niPgGrabberUSB::getCamera()
{
    return camera.get();
}

void niPgGrabberUSB::setVideoMode(pgGrabber::VideoMode mode)
{
    sdkVideoMode = toSdkVideoMode(mode);
}

pgGrabber::VideoMode niPgGrabberUSB::getVideoMode()
{
    return fromSdkVideoMode(sdkVideoMode);
}

bool niPgGrabberUSB::checkVideoMode(pgGrabber::VideoMode mode, pgGrabber::FrameRate rate)
{
    if (!camera)
        return false;
    const FrameRate sdkRate = toSdkFrameRate(rate);
    const VideoMode sdkMode = toSdkVideoMode(mode);
    bool supported = false;
    check(camera->GetVideoModeAndFrameRateInfo(sdkMode, sdkRate, &supported), "GetVideoModeAndFrameRateInfo");
    return supported;
}

void niPgGrabberUSB::startFormat7()
{
    Format7Info info;
    info.mode = MODE_0;
    bool supported = false;
    const Error infoError = camera->GetFormat7Info(&info, &supported);
    check(infoError, "GetFormat7Info");
    if (!supported)
        raiseSdkError(infoError, "Format7 is not supported");
    const Resolution& area = parameters.resolution;
    if (area.width > info.maxWidth || area.height > info.maxHeight)
        raiseSdkError(infoError, "Error in resolution settings.");
    Format7ImageSettings settings;
    settings.mode = MODE_0;
    settings.offsetX = area.offsetX;
    settings.offsetY = area.offsetY;
    settings.width = area.width;
    settings.height = area.height;
    settings.pixelFormat =
        (info.pixelFormatBitField & PIXEL_FORMAT_MONO8) == PIXEL_FORMAT_MONO8 ? PIXEL_FORMAT_MONO8 : PIXEL_FORMAT_RAW8;
    bool valid = false;
    Format7PacketInfo packetInfo;
    const Error validateError = camera->ValidateFormat7Settings(&settings, &valid, &packetInfo);
    check(validateError, "ValidateFormat7Settings");
    if (!valid)
        raiseSdkError(validateError, "Format7 settings are invalid.");
    const unsigned long long packetSize =
        static_cast<unsigned long long>(parameters.packetSize) * packetInfo.unitBytesPerPacket;
    if (packetSize > packetInfo.maxBytesPerPacket)
        raiseSdkError(validateError, "Invalid packet size factor");
    check(camera->SetFormat7Configuration(&settings, static_cast<unsigned int>(packetSize)),
          "SetFormat7Configuration");
}

void niPgGrabberUSB::start()
{
    if (started)
        return;
    if (!camera)
        throw std::runtime_error("Not camera attached.");
    rowSamples.set_capacity(20);
    if (parameters.useFormat7)
        startFormat7();
    else
        check(camera->SetVideoModeAndFrameRate(sdkVideoMode, sdkFrameRate), "SetVideoModeAndFrameRate");
    startCapture(*camera);
    readExposureRanges();
    sdkFrameRate = toSdkFrameRate(parameters.frameRate);
    float fps = sdkFrameRateToFloat(sdkFrameRate);
    float min = 0, max = 0;
    getPropertyRange(FRAME_RATE, min, max);
    if (fps < min)
        fps = min;
    setPropertyAbs(FRAME_RATE, true, fps, false);
    if (fps > 0 && 1000.0f / fps < parameters.maxShutterSpeed)
        parameters.maxShutterSpeed = 1000.0f / fps;
    parameters.fpsMax = -1;
}

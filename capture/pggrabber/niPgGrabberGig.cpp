#include "capture/pggrabber/niPgGrabberGig.h"

#include <algorithm>
#include <chrono>
#include <iostream>
#include <stdexcept>
#include <thread>

#include "capture/pggrabber/pgConversions.h"

using namespace FlyCapture2;

const Resolution defaultImageArea(4, 2, 1280, 960);

namespace {

const unsigned int bit31 = 0x80000000u;
// Register waits that the camera never ends give up after this long.
const auto registerWaitLimit = std::chrono::seconds(5);

void checkDescribed(const Error& error)
{
    if (error.GetType() != PGRERROR_OK)
        throw PlainError(error.GetDescription());
}

}  // namespace

niPgGrabberGig::niPgGrabberGig() : camera(new GigECamera) {}

niPgGrabberGig::~niPgGrabberGig()
{
    try {
        releaseCamera();
    } catch (...) {
    }
}

void niPgGrabberGig::releaseCamera()
{
    disconnect();
    camera.reset();
}

CameraBase* niPgGrabberGig::getCamera()
{
    return camera.get();
}

void niPgGrabberGig::waitForTriggerReady()
{
    const auto end = std::chrono::steady_clock::now() + registerWaitLimit;
    for (;;) {
        unsigned int value = 0;
        checkDescribed(camera->ReadRegister(0x62C, &value));
        if (!(value & bit31))
            return;
        if (std::chrono::steady_clock::now() > end)
            throw std::runtime_error("Error at waitForTriggerReady, timeout operation");
    }
}

void niPgGrabberGig::fireSoftwareTrigger()
{
    checkDescribed(camera->WriteRegister(0x62C, bit31, false));
}

void niPgGrabberGig::setImagingMode(unsigned int mode)
{
    checkDescribed(camera->SetGigEImagingMode(static_cast<Mode>(mode == 0xFFFFFFFFu ? 0u : mode)));
}

Resolution niPgGrabberGig::imageArea(const Resolution& resolution)
{
    return resolution.width != 0 && resolution.height != 0 ? resolution : defaultImageArea;
}

void niPgGrabberGig::writeImageSettings(GigEImageSettings& settings, const Resolution& area)
{
    settings.offsetX = area.offsetX;
    settings.offsetY = area.offsetY;
    settings.width = area.width;
    settings.height = area.height;
    CameraInfo info;
    camera->GetCameraInfo(&info);
    settings.pixelFormat = info.isColorCamera ? PIXEL_FORMAT_RAW8 : PIXEL_FORMAT_MONO8;
    checkDescribed(camera->SetGigEImageSettings(&settings));
}

void niPgGrabberGig::connect2Camera(unsigned int serial)
{
    if (!camera)
        throw std::runtime_error("Empty camera object.");
    lookUpAndConnect(serial);
    const auto end = std::chrono::steady_clock::now() + registerWaitLimit;
    for (;;) {
        std::this_thread::sleep_for(std::chrono::milliseconds(100));
        unsigned int value = 0;
        if (camera->ReadRegister(0x610, &value).GetType() != PGRERROR_OK)
            throw std::runtime_error("Camera power error.");
        if (value & bit31)
            break;
        if (std::chrono::steady_clock::now() > end)
            throw std::runtime_error("Camera power error.");
    }
    check(camera->GetCameraInfo(&cameraInfo), "GetCameraInfo");
    if (!checkSoftwareTriggerPresence())
        throw std::runtime_error("This camera does not support external trigger.");
    TriggerMode mode;
    if (camera->GetTriggerMode(&mode).GetType() != PGRERROR_OK)
        throw std::runtime_error("Error read camera trigger register.");
    mode.onOff = true;
    mode.polarity = 0;
    mode.source = 7;
    mode.mode = 0;
    mode.parameter = 0;
    checkDescribed(camera->SetTriggerMode(&mode, false));
    parameters.useHwTrigger = false;
    switchStrobesOff();
    readWhiteBalanceRange();
    readPropertyRanges();
    unsigned int gvcp = 0;
    checkDescribed(camera->ReadGVCPRegister(0x954, &gvcp));
    checkDescribed(camera->WriteGVCPRegister(0x954, gvcp | 1u, false));
    unsigned int packetSize = 0;
    if (camera->DiscoverGigEPacketSize(&packetSize).GetType() != PGRERROR_OK)
        packetSize = 1400;
    GigEProperty packet;
    packet.propType = PACKET_SIZE;
    packet.value = packetSize;
    checkDescribed(camera->SetGigEProperty(&packet));
    GigEProperty delay;
    delay.propType = PACKET_DELAY;
    delay.value = 400;
    checkDescribed(camera->SetGigEProperty(&delay));
    setPropertyAbs(TRIGGER_DELAY, false, 0.0f, false);
    checkDescribed(camera->WriteRegister(0x1108, 0, false));
    setImagingMode(parameters.mode);
    GigEImageSettings settings;
    checkDescribed(camera->GetGigEImageSettings(&settings));
    writeImageSettings(settings, imageArea(parameters.resolution));
    FC2Config config;
    checkDescribed(camera->GetConfiguration(&config));
    config.grabTimeout = 1000;
    checkDescribed(camera->SetConfiguration(&config));
}

void niPgGrabberGig::start()
{
    if (started)
        return;
    if (!camera)
        throw std::runtime_error("Empty camera object.");
    startCapture(*camera);
    readExposureRanges();
    if (cameraInfo.interfaceType != INTERFACE_GIGE) {
        float fps = sdkFrameRateToFloat(sdkFrameRate);
        float min = 0, max = 0;
        getPropertyRange(FRAME_RATE, min, max);
        fps = std::max(fps, min);
        setPropertyAbs(FRAME_RATE, true, fps, false);
        if (fps > 0)
            parameters.maxShutterSpeed = std::min(parameters.maxShutterSpeed, 1000.0f / fps);
    }
}

void niPgGrabberGig::captureFrame(niTypes::niImage<unsigned char>& out)
{
    if (!camera)
        throw std::runtime_error("cwGetFrame: camera hasn't been initialized!");
    waitFrameInterval();
    for (int attempt = 1;; ++attempt) {
        waitForTriggerReady();
        fireSoftwareTrigger();
        Image image;
        const Error error = camera->RetrieveBuffer(&image);
        if (error.GetType() == PGRERROR_OK) {
            saveCapturedImage(out, image);
            return;
        }
        if (error.GetType() != PGRERROR_IMAGE_CONSISTENCY_ERROR && error.GetType() != PGRERROR_TIMEOUT)
            throw PlainError(error.GetDescription());
        std::cout << "Error detected: " << error.GetDescription() << std::endl;
        if (attempt == 31)
            throw PlainError("Drop limit for RetrieveBuffer exceeded");
    }
}

void niPgGrabberGig::setParameters(const pgGrabber::pgParameters& p)
{
    setImagingMode(p.mode);
    const Resolution area = imageArea(p.resolution);
    GigEImageSettings settings;
    checkDescribed(camera->GetGigEImageSettings(&settings));
    if (settings.offsetX != area.offsetX || settings.offsetY != area.offsetY || settings.width != area.width ||
        settings.height != area.height)
        writeImageSettings(settings, area);
    niPgGrabberBase::setParameters(p);
}

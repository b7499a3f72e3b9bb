#include "capture/lmgrabber/lmGrabberImplFastSnapshot.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <stdexcept>

namespace {

const int32_t strobeFlags = 0x04080000;

}  // namespace

lmGrabberImplFastSnapshot::lmGrabberImplFastSnapshot(LucamHandle handle, int number, const Parameters& p)
    : lmGrabberImpl(handle, number, p)
{
    startFastFrames();
}

void lmGrabberImplFastSnapshot::connect2Camera(int number, bool start)
{
    lmGrabberImpl::connect2Camera(number, start);
    if (start)
        startFastFrames();
}

void lmGrabberImplFastSnapshot::setProperty(uint32_t property, float value, int32_t flags)
{
    checkLucam(LucamSetProperty(cameraHandle, property, value, flags));
}

void lmGrabberImplFastSnapshot::startFastFrames()
{
    LucamFrameFormat format{};
    float frameRate = 0;
    checkLucam(LucamGetFormat(cameraHandle, &format, &frameRate));

    LucamSnapshot snapshot{};
    snapshot.exposure = parameters.shutterSpeed;
    snapshot.gain = parameters.gain;
    snapshot.gainRed = parameters.gainR;
    snapshot.gainBlue = parameters.gainB;
    snapshot.gainGreen1 = parameters.gainG1;
    snapshot.gainGreen2 = parameters.gainG2;
    snapshot.useStrobe = parameters.strobeEnable;
    snapshot.strobeDelay = parameters.strobeDelay;
    snapshot.useHwTrigger = parameters.useHwTrigger;
    snapshot.timeout = parameters.triggerTimeout;
    snapshot.format = format;
    if (parameters.depth == lmGrabber::depth8)
        snapshot.format.pixelFormat = 0;
    else if (parameters.depth == lmGrabber::depth16)
        snapshot.format.pixelFormat = 1;
    snapshot.shutterType = 0;
    snapshot.exposureDelay = parameters.exposureDelay;
    snapshot.bufferLastFrame = 0;

    setProperty(106, parameters.clockSpeed);
    setProperty(116, parameters.strobeLength);
    setProperty(2, static_cast<float>(parameters.hue));
    setProperty(3, parameters.saturation);
    setProperty(5, parameters.gamma);
    setProperty(1, parameters.contrast);
    setProperty(0, parameters.brightness);
    checkLucam(LucamEnableFastFrames(cameraHandle, &snapshot));

    auto state = std::make_unique<lmgrabber::AutoExposureState>();
    state->minShutterSpeed = parameters.minShutterSpeed;
    state->minGain = parameters.minGain;
    state->maxShutterSpeed = parameters.maxShutterSpeed;
    state->maxGain = parameters.maxGain;
    autoExposureState = std::move(state);
    disarm();
    if (snapshotCallbackId < 0) {
        const int32_t id = LucamAddSnapshotCallback(cameraHandle, &lmGrabberImpl::snapshotCallback, this);
        checkLucam(id >= 0);
        snapshotCallbackId = id;
    }
}

LucamHandle lmGrabberImplFastSnapshot::releaseCamera()
{
    if (!cameraHandle)
        return nullptr;
    checkLucam(LucamDisableFastFrames(cameraHandle));
    if (snapshotCallbackId >= 0)
        removeCallback();
    LucamHandle handle = cameraHandle;
    cameraHandle = nullptr;
    return handle;
}

void lmGrabberImplFastSnapshot::captureFrameRaw(unsigned char* buffer)
{
    const bool gated = flashGated();
    if (gated && !passFlashGate())
        throw std::runtime_error("Error at control flash strobe interval");
    try {
        takeFrames(buffer);
    } catch (...) {
        if (gated)
            restartFlashInterval();  // a lost frame was still a flash attempt
        throw;
    }
    if (gated)
        restartFlashInterval();
}

void lmGrabberImplFastSnapshot::takeFrames(unsigned char* buffer)
{
    checkLucam(LucamTakeFastFrame(cameraHandle, buffer));
    if (!parameters.shutterSpeedAuto && !parameters.autoGain)
        return;
    if (!tunePending) {
        adjustExposure(buffer);
        return;
    }
    tunePending = false;
    adjustExposure(buffer);
    if (!parameters.tuneAutoExposureOnStart)
        return;
    for (int pass = 0; pass < 8; ++pass) {
        checkLucam(LucamTakeFastFrame(cameraHandle, buffer));
        const bool significant = adjustExposure(buffer);
        if (!significant && pass % 2 == 1)
            break;
    }
}

bool lmGrabberImplFastSnapshot::adjustExposure(const unsigned char* frame)
{
    if (!autoExposureState)
        autoExposureState = std::make_unique<lmgrabber::AutoExposureState>();
    const float oldShutter = parameters.shutterSpeed;
    const float oldGain = parameters.gain;
    const lmgrabber::ExposureValues values = lmgrabber::tuneAutoExposure(
        frame, parameters.width, parameters.height, *autoExposureState, parameters.shutterSpeedAuto,
        parameters.autoGain, parameters.autoExposurePriority, oldShutter, oldGain);
    bool significant = false;
    if (parameters.shutterSpeedAuto) {
        const float change = std::fabs(oldShutter - values.shutter) / 100.0f;
        significant = significant || change >= 0.0495f;
        setShutterSpeed(values.shutter);
    }
    if (parameters.autoGain) {
        const float change = std::fabs(oldGain - values.gain) / 100.0f;
        significant = significant || change >= 0.01785f;
        setGain(values.gain);
    }
    return significant;
}

unsigned char* lmGrabberImplFastSnapshot::captureFrame()
{
    captureFrameRaw(frameBuffer.get());
    return frameBuffer.get();
}

unsigned lmGrabberImplFastSnapshot::getRawBufferSize() const
{
    return frameBufferSize;
}

void lmGrabberImplFastSnapshot::convertRawToFrame(const unsigned char* raw, unsigned char* destination)
{
    std::memcpy(destination, raw, getRawBufferSize());
}

void lmGrabberImplFastSnapshot::setShutterSpeed(float value)
{
    parameters.shutterSpeed = value;
    setProperty(50, value);
}

void lmGrabberImplFastSnapshot::setGain(float value)
{
    parameters.gain = value;
    setProperty(51, value);
}

void lmGrabberImplFastSnapshot::setGainR(float value)
{
    parameters.gainR = value;
    setProperty(52, value);
}

void lmGrabberImplFastSnapshot::setGainB(float value)
{
    parameters.gainB = value;
    setProperty(55, value);
}

void lmGrabberImplFastSnapshot::setGainG1(float value)
{
    parameters.gainG1 = value;
    setProperty(53, value);
}

void lmGrabberImplFastSnapshot::setGainG2(float value)
{
    parameters.gainG2 = value;
    setProperty(54, value);
}

void lmGrabberImplFastSnapshot::setLum(float)
{
    throw std::runtime_error("Method setLum unsupported for FastSnapshot mode");
}

void lmGrabberImplFastSnapshot::setDepthBits(lmGrabber::eDepth depth)
{
    checkLucam(LucamDisableFastFrames(cameraHandle));
    parameters.depth = depth;
    allocateFrameBuffer();
    startFastFrames();
}

void lmGrabberImplFastSnapshot::setClockSpeed(float value)
{
    setProperty(106, value);
    parameters.clockSpeed = value;
}

void lmGrabberImplFastSnapshot::setStrobeDelay(float value)
{
    if (value == parameters.strobeDelay)
        return;
    checkLucam(LucamDisableFastFrames(cameraHandle));
    parameters.strobeDelay = value;
    startFastFrames();
}

void lmGrabberImplFastSnapshot::setExposureDelay(float value)
{
    checkLucam(LucamDisableFastFrames(cameraHandle));
    parameters.exposureDelay = value;
    startFastFrames();
}

void lmGrabberImplFastSnapshot::setAutoGain(bool on) { parameters.autoGain = on; }
void lmGrabberImplFastSnapshot::setAutoExposure(bool on) { parameters.shutterSpeedAuto = on; }
void lmGrabberImplFastSnapshot::setAutoExposurePriority(bool on) { parameters.autoExposurePriority = on; }

void lmGrabberImplFastSnapshot::setStrobeLength(float value)
{
    setProperty(116, value, strobeFlags);
    parameters.strobeLength = value;
}

void lmGrabberImplFastSnapshot::setStrobeEnable(bool on)
{
    setProperty(116, on ? parameters.strobeLength : 0.0f, strobeFlags);
    parameters.strobeEnable = on;
}

void lmGrabberImplFastSnapshot::setUseHwTrigger(bool on)
{
    if (on == parameters.useHwTrigger)
        return;
    checkLucam(LucamSetTriggerMode(cameraHandle, on));
    parameters.useHwTrigger = on;
}

void lmGrabberImplFastSnapshot::setHue(int value)
{
    parameters.hue = value;
    setProperty(2, static_cast<float>(value));
}

void lmGrabberImplFastSnapshot::setSaturation(float value)
{
    parameters.saturation = value;
    setProperty(3, value);
}

void lmGrabberImplFastSnapshot::setGamma(float value)
{
    parameters.gamma = value;
    setProperty(5, value);
}

void lmGrabberImplFastSnapshot::setContrast(float value)
{
    parameters.contrast = value;
    setProperty(1, value);
}

void lmGrabberImplFastSnapshot::setBrightness(float value)
{
    parameters.brightness = value;
    setProperty(0, value);
}

void lmGrabberImplFastSnapshot::setWhiteBalanceCorr(lmGrabber::eWhiteBalanceCorrection value)
{
    parameters.whiteBalanceCorr = value;
}

void lmGrabberImplFastSnapshot::setDemosaicMethod(lmGrabber::eDemosaicMethod value)
{
    parameters.demosaicMethod = value;
}

void lmGrabberImplFastSnapshot::setColorCorrMatrix(const float* matrix)
{
    std::memmove(parameters.colorCorrMatrix, matrix, sizeof parameters.colorCorrMatrix);
    checkLucam(LucamSetupCustomMatrix(cameraHandle, parameters.colorCorrMatrix));
}

void lmGrabberImplFastSnapshot::getColorCorrMatrix(float* matrix) const
{
    std::copy(parameters.colorCorrMatrix, parameters.colorCorrMatrix + 9, matrix);
}

void lmGrabberImplFastSnapshot::setDigitalGain(float value) { parameters.digitalGain = value; }
void lmGrabberImplFastSnapshot::setDigitalWbU(float value) { parameters.digitalWbU = value; }
void lmGrabberImplFastSnapshot::setDigitalWbV(float value) { parameters.digitalWbV = value; }

void lmGrabberImplFastSnapshot::setParameters(const Parameters& p)
{
    const bool layout = p.depth != parameters.depth || p.width != parameters.width || p.height != parameters.height;
    checkLucam(LucamDisableFastFrames(cameraHandle));
    parameters = p;
    if (layout)
        allocateFrameBuffer();
    startFastFrames();
}

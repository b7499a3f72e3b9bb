#include "capture/lmgrabber/lmGrabberImpl.h"

#include <algorithm>
#include <cstring>
#include <stdexcept>

namespace {

// Reads one property's range into min and max (the call's result is not tested).
void readRange(LucamHandle camera, uint32_t property, float& min, float& max)
{
    float defaultValue = 0;
    int32_t flags = 0;
    LucamPropertyRange(camera, property, &min, &max, &defaultValue, &flags);
}

void readIntRange(LucamHandle camera, uint32_t property, int& min, int& max)
{
    float low = static_cast<float>(min);
    float high = static_cast<float>(max);
    readRange(camera, property, low, high);
    min = static_cast<int>(low);
    max = static_cast<int>(high);
}

}  // namespace

lmGrabberImpl::lmGrabberImpl() : parameters(Parameters::defaults()), flashEvent(true)
{
    flashEvent.setAfter(0);
}

lmGrabberImpl::lmGrabberImpl(LucamHandle handle, int number, const Parameters& p)
    : parameters(p), cameraHandle(handle), cameraNumber(number), flashEvent(false)
{
    try {
        allocateFrameBuffer();
    } catch (...) {
        LucamCameraClose(cameraHandle);  // the destructor does not run for a half-built object
        throw;
    }
    flashEvent.setAfter(0);
}

lmGrabberImpl::~lmGrabberImpl()
{
    if (!cameraHandle)
        return;
    if (snapshotCallbackId >= 0)
        LucamRemoveSnapshotCallback(cameraHandle, snapshotCallbackId);
    LucamCameraClose(cameraHandle);  // a failed close cannot be reported from here
}

void lmGrabberImpl::connect2Camera(int number, bool /*start*/)
{
    if (cameraHandle && snapshotCallbackId >= 0)
        removeCallback();
    cameraHandle = LucamCameraOpen(static_cast<uint32_t>(number));
    checkLucam(cameraHandle != nullptr);
    checkLucam(LucamCameraReset(cameraHandle));
    allocateFrameBuffer();
    cameraNumber = number;
    readRange(cameraHandle, 40, parameters.minGain, parameters.maxGain);
    readRange(cameraHandle, 20, parameters.minShutterSpeed, parameters.maxShutterSpeed);
    readRange(cameraHandle, 5, parameters.minGamma, parameters.maxGamma);
    readRange(cameraHandle, 1, parameters.minContrast, parameters.maxContrast);
    readRange(cameraHandle, 0, parameters.minBrightness, parameters.maxBrightness);
    readIntRange(cameraHandle, 2, parameters.minHue, parameters.maxHue);
    readRange(cameraHandle, 3, parameters.minSaturation, parameters.maxSaturation);
    if (parameters.minShutterSpeed <= 0)
        parameters.minShutterSpeed = 0.01f;
    tunePending = true;
    disarm();
}

void lmGrabberImpl::allocateFrameBuffer()
{
    LucamFrameFormat format{};
    float frameRate = 0;
    checkLucam(LucamGetFormat(cameraHandle, &format, &frameRate));
    frameBuffer.reset();
    frameBufferSize = 0;
    parameters.width = static_cast<int>(format.width);
    parameters.height = static_cast<int>(format.height);
    frameBufferSize = format.width * format.height * (parameters.rgb ? 3u : 1u) *
                      (parameters.depth == lmGrabber::depth16 ? 2u : 1u);
    frameBuffer.reset(new unsigned char[frameBufferSize]());
}

void lmGrabberImpl::disarm()
{
    std::lock_guard<std::mutex> lock(armMutex);
    armedBuffer = nullptr;
    armedSize = 0;
    armedEvent = nullptr;
    flashTakeArmed = false;
}

void lmGrabberImpl::removeCallback()
{
    LucamRemoveSnapshotCallback(cameraHandle, snapshotCallbackId);
    snapshotCallbackId = -1;
}

void lmGrabberImpl::armSnapshot(unsigned char* buffer, unsigned bufferSize, BaseLibrary::Event& event)
{
    std::lock_guard<std::mutex> lock(armMutex);
    armedEvent = &event;
    event.reset();
    armedBuffer = buffer;
    armedSize = bufferSize;
}

void lmGrabberImpl::snapshotCallback(void* context, unsigned char* data, uint32_t length)
{
    auto* self = static_cast<lmGrabberImpl*>(context);
    std::lock_guard<std::mutex> lock(self->armMutex);
    if (!self->armedBuffer)
        return;
    std::memcpy(self->armedBuffer, data, std::min<std::size_t>(length, self->armedSize));
    BaseLibrary::Event* event = self->armedEvent;
    self->armedBuffer = nullptr;
    self->armedSize = 0;
    self->armedEvent = nullptr;
    if (self->flashTakeArmed) {  // the flash fired with this frame: its interval starts now
        self->flashTakeOpen = self->flashTakeArmed = false;
        self->flashEvent.setAfter(self->flashTakeInterval);
    }
    if (event)
        event->set();
}

bool lmGrabberImpl::waitFlashInterval()
{
    if (!parameters.hasFlash)
        return true;
    return flashEvent.timedWait(parameters.minFlashStrobeInterval);
}

bool lmGrabberImpl::passFlashGate()
{
    if (!flashEvent.poll() && !flashEvent.timedWait(parameters.minFlashStrobeInterval))
        return false;
    flashEvent.reset();
    return true;
}

void lmGrabberImpl::restartFlashInterval()
{
    flashEvent.setAfter(parameters.minFlashStrobeInterval);
}

bool lmGrabberImpl::beginFlashTake()
{
    if (!flashGated())
        return true;
    {
        std::lock_guard<std::mutex> lock(armMutex);
        if (flashTakeOpen) {  // its frame never came: a failed take, ending now
            armedBuffer = nullptr;
            armedSize = 0;
            armedEvent = nullptr;
            flashTakeOpen = flashTakeArmed = false;
            flashEvent.setAfter(flashTakeInterval);
        }
    }
    if (!passFlashGate())
        return false;
    std::lock_guard<std::mutex> lock(armMutex);
    flashTakeOpen = true;
    flashTakeInterval = parameters.minFlashStrobeInterval;
    return true;
}

void lmGrabberImpl::armFlashTake()
{
    std::lock_guard<std::mutex> lock(armMutex);
    flashTakeArmed = flashTakeOpen;
}

void lmGrabberImpl::endFlashTake()
{
    std::lock_guard<std::mutex> lock(armMutex);
    if (!flashTakeOpen)
        return;
    flashTakeOpen = flashTakeArmed = false;
    flashEvent.setAfter(flashTakeInterval);
}

const std::vector<float>& lmGrabberImpl::getFrameRates()
{
    const int32_t count = LucamEnumAvailableFrameRates(cameraHandle, 0, nullptr);
    if (count <= 0)
        throw std::runtime_error("unable to get available frame rates");
    frameRates.resize(static_cast<std::size_t>(count));
    if (LucamEnumAvailableFrameRates(cameraHandle, static_cast<uint32_t>(count), frameRates.data()) != count)
        throw std::runtime_error("unable to get available frame rates");
    return frameRates;
}

void lmGrabberImpl::onShotAutoWhiteBalance()
{
    checkLucam(LucamOneShotAutoWhiteBalance(cameraHandle, 0, 0, static_cast<uint32_t>(parameters.width),
                                            static_cast<uint32_t>(parameters.height)));
    int32_t flags = 0;
    checkLucam(LucamGetProperty(cameraHandle, 41, &parameters.gainR, &flags));
    checkLucam(LucamGetProperty(cameraHandle, 42, &parameters.gainB, &flags));
    checkLucam(LucamGetProperty(cameraHandle, 43, &parameters.gainG1, &flags));
    checkLucam(LucamGetProperty(cameraHandle, 44, &parameters.gainG2, &flags));
}

niBayerConversions::BayerTileFormat lmGrabberImpl::getBayerTileFormat()
{
    float value = 0;
    int32_t flags = 0;
    checkLucam(LucamGetProperty(cameraHandle, 80, &value, &flags));
    if (!(value > -1.0f && value < 20.0f))
        throw std::runtime_error("Unknown bayer tile format");
    switch (static_cast<int>(value)) {
    case 0: return niBayerConversions::bayerNone;
    case 8: return niBayerConversions::bayerRGGB;
    case 9: return niBayerConversions::bayerGRBG;
    case 10: return niBayerConversions::bayerGBRG;
    case 11: return niBayerConversions::bayerBGGR;
    case 16: return niBayerConversions::bayerCYYM;
    case 17: return niBayerConversions::bayerYCMY;
    case 18: return niBayerConversions::bayerYMCY;
    case 19: return niBayerConversions::bayerMYYC;
    default: throw std::runtime_error("Unknown bayer tile format");
    }
}

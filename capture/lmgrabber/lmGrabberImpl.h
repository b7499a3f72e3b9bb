#pragma once
// The work on one camera through the SDK, behind the exported class: opening, frame buffer layout, property
// ranges and the hand-over of frames that the SDK delivers on its own thread. The setters are implemented by the
// fast-snapshot classes.
#include <cstdint>
#include <memory>
#include <mutex>
#include <vector>

#include "capture/Event.h"
#include "capture/lmgrabber/LucamError.h"
#include "capture/lmgrabber/lmGrabber.h"
#include "platform/lucam/LucamApi.h"

class lmGrabberImpl {
public:
    using Parameters = lmGrabber::lmParameters;

    lmGrabberImpl();  // unconnected
    lmGrabberImpl(LucamHandle handle, int cameraNumber, const Parameters& parameters);  // over an open camera
    lmGrabberImpl(const lmGrabberImpl&) = delete;
    lmGrabberImpl& operator=(const lmGrabberImpl&) = delete;
    virtual ~lmGrabberImpl();  // never throws: a failing close is absorbed

    virtual void connect2Camera(int number, bool start);
    virtual unsigned char* captureFrame() = 0;
    virtual LucamHandle releaseCamera() = 0;  // ends streaming and hands the open camera over
    virtual void startFastFrames() = 0;
    virtual void setShutterSpeed(float value) = 0;
    virtual void setGain(float value) = 0;
    virtual void setGainR(float value) = 0;
    virtual void setGainB(float value) = 0;
    virtual void setGainG1(float value) = 0;
    virtual void setGainG2(float value) = 0;
    virtual void setLum(float value) = 0;
    virtual void setDepthBits(lmGrabber::eDepth depth) = 0;
    virtual void setClockSpeed(float value) = 0;
    virtual void setStrobeDelay(float value) = 0;
    virtual void setAutoGain(bool on) = 0;
    virtual void setAutoExposure(bool on) = 0;
    virtual void setAutoExposurePriority(bool on) = 0;
    virtual void setStrobeLength(float value) = 0;
    virtual void setStrobeEnable(bool on) = 0;
    virtual void setParameters(const Parameters& parameters) = 0;
    virtual void setUseHwTrigger(bool on) = 0;
    virtual void setExposureDelay(float value) = 0;
    virtual void setHue(int value) = 0;
    virtual void setSaturation(float value) = 0;
    virtual void setGamma(float value) = 0;
    virtual void setContrast(float value) = 0;
    virtual void setBrightness(float value) = 0;
    virtual void setWhiteBalanceCorr(lmGrabber::eWhiteBalanceCorrection value) = 0;
    virtual void setDemosaicMethod(lmGrabber::eDemosaicMethod value) = 0;
    virtual void setColorCorrMatrix(const float* matrix) = 0;
    virtual void getColorCorrMatrix(float* matrix) const = 0;
    virtual void setDigitalGain(float value) = 0;
    virtual void setDigitalWbU(float value) = 0;
    virtual void setDigitalWbV(float value) = 0;
    virtual void captureFrameRaw(unsigned char* buffer) = 0;
    virtual unsigned getRawBufferSize() const = 0;
    virtual void convertRawToFrame(const unsigned char* raw, unsigned char* destination) = 0;

    const std::vector<float>& getFrameRates();
    void onShotAutoWhiteBalance();
    niBayerConversions::BayerTileFormat getBayerTileFormat();
    // The next delivered frame is copied into buffer (at most bufferSize bytes), then event is set and the
    // callback disarmed.
    void armSnapshot(unsigned char* buffer, unsigned bufferSize, BaseLibrary::Event& event);
    bool waitFlashInterval();
    // A take whose flash fires at the trigger pulse, when the armed frame comes: true when it may be armed now,
    // after waiting at most one minimum interval for the last flash's interval to end. The next interval counts
    // from the take's end: the armed frame's arrival, or endFlashTake. A take still open from an earlier arming
    // is abandoned (disarmed) and ends here. Always true without a flash interval.
    bool beginFlashTake();
    void armFlashTake();  // the frame armed next ends the take begun; call between disarm and the arming
    void endFlashTake();  // the open take failed: the interval counts from now
    void disarm();  // the next delivered frame goes nowhere

    Parameters& params() { return parameters; }
    const Parameters& params() const { return parameters; }
    unsigned char* getFrameBuffer() const { return frameBuffer.get(); }
    unsigned getFrameBufferSize() const { return frameBufferSize; }
    int getCameraNumber() const { return cameraNumber; }
    LucamHandle getCameraHandle() const { return cameraHandle; }

protected:
    void allocateFrameBuffer();
    // The minimum interval between flashes counts from the last flash attempt, whether or not its frame came.
    bool flashGated() const { return parameters.hasFlash && parameters.minFlashStrobeInterval > 0; }
    bool passFlashGate();         // waits at most one interval for the last one to end; the gate then stays shut
    void restartFlashInterval();  // opens the gate again one interval from now
    void removeCallback();

    static void snapshotCallback(void* context, unsigned char* data, uint32_t length);

    Parameters parameters;
    LucamHandle cameraHandle = nullptr;
    std::unique_ptr<unsigned char[]> frameBuffer;
    unsigned frameBufferSize = 0;
    int cameraNumber = 0;
    std::vector<float> frameRates;
    bool tunePending = true;
    int32_t snapshotCallbackId = -1;
    BaseLibrary::Event flashEvent;

private:
    std::mutex armMutex;  // guards the three armed fields against the SDK's callback thread
    unsigned char* armedBuffer = nullptr;
    unsigned armedSize = 0;
    BaseLibrary::Event* armedEvent = nullptr;
    bool flashTakeOpen = false;   // a flash take has begun and not ended
    bool flashTakeArmed = false;  // the armed frame ends it
    int flashTakeInterval = 0;    // ms, as the take began
};

// Throws the SDK's last error when ok is false.
inline void checkLucam(bool ok)
{
    if (!ok)
        translateLucamError();
}

#pragma once
// Monochrome or raw frames through the SDK's fast-frame snapshot mode, with the auto-exposure step and the
// minimum interval between flashes.
#include <memory>

#include "capture/lmgrabber/AutoExposure.h"
#include "capture/lmgrabber/lmGrabberImpl.h"

class lmGrabberImplFastSnapshot : public lmGrabberImpl {
public:
    lmGrabberImplFastSnapshot() = default;
    // Takes over an open camera and starts fast frames.
    lmGrabberImplFastSnapshot(LucamHandle handle, int cameraNumber, const Parameters& parameters);

    void connect2Camera(int number, bool start) override;
    unsigned char* captureFrame() override;
    LucamHandle releaseCamera() override;
    void startFastFrames() override;
    void setShutterSpeed(float value) override;
    void setGain(float value) override;
    void setGainR(float value) override;
    void setGainB(float value) override;
    void setGainG1(float value) override;
    void setGainG2(float value) override;
    void setLum(float value) override;
    void setDepthBits(lmGrabber::eDepth depth) override;
    void setClockSpeed(float value) override;
    void setStrobeDelay(float value) override;
    void setAutoGain(bool on) override;
    void setAutoExposure(bool on) override;
    void setAutoExposurePriority(bool on) override;
    void setStrobeLength(float value) override;
    void setStrobeEnable(bool on) override;
    void setParameters(const Parameters& parameters) override;
    void setUseHwTrigger(bool on) override;
    void setExposureDelay(float value) override;
    void setHue(int value) override;
    void setSaturation(float value) override;
    void setGamma(float value) override;
    void setContrast(float value) override;
    void setBrightness(float value) override;
    void setWhiteBalanceCorr(lmGrabber::eWhiteBalanceCorrection value) override;
    void setDemosaicMethod(lmGrabber::eDemosaicMethod value) override;
    void setColorCorrMatrix(const float* matrix) override;
    void getColorCorrMatrix(float* matrix) const override;
    void setDigitalGain(float value) override;
    void setDigitalWbU(float value) override;
    void setDigitalWbV(float value) override;
    void captureFrameRaw(unsigned char* buffer) override;
    unsigned getRawBufferSize() const override;
    void convertRawToFrame(const unsigned char* raw, unsigned char* destination) override;

    // One auto-exposure step on a frame; true when shutter or gain changed significantly.
    bool adjustExposure(const unsigned char* frame);

protected:
    void takeFrames(unsigned char* buffer);  // one frame, and the start-up tuning's frames when it is due
    void setProperty(uint32_t property, float value, int32_t flags = 0);

    std::unique_ptr<lmgrabber::AutoExposureState> autoExposureState;
};

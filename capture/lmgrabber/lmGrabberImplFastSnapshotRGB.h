#pragma once
// Colour frames: raw Bayer frames from the fast-snapshot mode, converted to RGB by the SDK.
#include "capture/lmgrabber/lmGrabberImplFastSnapshot.h"

class lmGrabberImplFastSnapshotRGB : public lmGrabberImplFastSnapshot {
public:
    // Takes over an open camera; the start while being built is the monochrome one.
    lmGrabberImplFastSnapshotRGB(LucamHandle handle, int cameraNumber, const Parameters& parameters);

    unsigned char* captureFrame() override;
    void startFastFrames() override;
    void setDigitalGain(float value) override;
    void setDigitalWbU(float value) override;
    void setDigitalWbV(float value) override;
    unsigned getRawBufferSize() const override;
    void convertRawToFrame(const unsigned char* raw, unsigned char* destination) override;
};

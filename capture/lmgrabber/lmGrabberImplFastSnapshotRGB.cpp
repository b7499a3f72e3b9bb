#include "capture/lmgrabber/lmGrabberImplFastSnapshotRGB.h"

#include <vector>

namespace {

uint32_t demosaicOf(lmGrabber::eDemosaicMethod method)
{
    switch (method) {
    case 1: case 2: case 3: return static_cast<uint32_t>(method);
    case 4: return 8;
    default: return 0;
    }
}

uint32_t correctionOf(lmGrabber::eWhiteBalanceCorrection correction)
{
    const int value = static_cast<int>(correction);
    if (value >= 1 && value <= 5)
        return static_cast<uint32_t>(value);
    return value == 6 ? 15 : 0;
}

}  // namespace

lmGrabberImplFastSnapshotRGB::lmGrabberImplFastSnapshotRGB(LucamHandle handle, int number, const Parameters& p)
    : lmGrabberImplFastSnapshot(handle, number, p)
{
}

void lmGrabberImplFastSnapshotRGB::startFastFrames()
{
    lmGrabberImplFastSnapshot::startFastFrames();
    setGainR(parameters.gainR);
    setGainB(parameters.gainB);
    setGainG1(parameters.gainG1);
    setGainG2(parameters.gainG2);
}

unsigned char* lmGrabberImplFastSnapshotRGB::captureFrame()
{
    std::vector<unsigned char> raw(getRawBufferSize());
    captureFrameRaw(raw.data());
    convertRawToFrame(raw.data(), frameBuffer.get());
    return frameBuffer.get();
}

unsigned lmGrabberImplFastSnapshotRGB::getRawBufferSize() const
{
    return frameBufferSize / 3;
}

void lmGrabberImplFastSnapshotRGB::convertRawToFrame(const unsigned char* raw, unsigned char* destination)
{
    LucamConversion conversion{};
    conversion.demosaicMethod = demosaicOf(parameters.demosaicMethod);
    conversion.correctionMatrix = correctionOf(parameters.whiteBalanceCorr);
    if (parameters.whiteBalanceCorr == 6)
        setColorCorrMatrix(parameters.colorCorrMatrix);
    const uint32_t width = static_cast<uint32_t>(parameters.width);
    const uint32_t height = static_cast<uint32_t>(parameters.height);
    if (parameters.depth == lmGrabber::depth16)
        checkLucam(LucamConvertFrameToRgb48(cameraHandle, reinterpret_cast<uint16_t*>(destination),
                                            reinterpret_cast<const uint16_t*>(raw), width, height, 1, &conversion));
    else
        checkLucam(LucamConvertFrameToRgb24(cameraHandle, destination, raw, width, height, 0, &conversion));
}

void lmGrabberImplFastSnapshotRGB::setDigitalGain(float value) { parameters.digitalGain = value; }
void lmGrabberImplFastSnapshotRGB::setDigitalWbU(float value) { parameters.digitalWbU = value; }
void lmGrabberImplFastSnapshotRGB::setDigitalWbV(float value) { parameters.digitalWbV = value; }

#include "capture/lmgrabber/lmGrabber.h"

#include <cstdlib>
#include <memory>
#include <stdexcept>

#include "capture/lmgrabber/lmGrabberImplFastSnapshotRGB.h"

namespace {

struct ModelEntry {
    unsigned int id;
    const char* model;
};

const ModelEntry cameraModelTable[] = {
    {145, "Lu050M"}, {149, "Lu050C"}, {147, "Lu056C"}, {140, "Lu070"}, {396, "Lw070"}, {652, "Lm075"},
    {133, "Lu080"},  {146, "Lu100"},  {148, "Lu110"},  {150, "Lu120"}, {154, "Lu130"}, {410, "Lw130"},
    {666, "Lm135"},  {138, "Lu160"},  {394, "Lw160"},  {650, "Lm165"}, {158, "Lu170"}, {130, "Lu176"},
    {151, "Lu200"},  {384, "Lw230"},  {141, "Lu270"},  {461, "Lw290"}, {155, "Lu330"}, {411, "Lw330"},
    {139, "Lu370"},  {390, "Lw620"},
};

int countCameras()
{
    const int32_t count = LucamNumCameras();
    if (count == -1)
        translateLucamError();
    return count;
}

std::vector<LucamVersion> cameraVersions(int count)
{
    std::vector<LucamVersion> versions(static_cast<std::size_t>(count));
    if (LucamEnumCameras(versions.data(), static_cast<uint32_t>(count)) != count)
        translateLucamError();
    return versions;
}

}  // namespace

lmGrabber::lmGrabber(int index, bool start) : impl(new lmGrabberImplFastSnapshot())
{
    try {
        connect2Camera(index + 1, start);
    } catch (...) {
        delete impl;
        throw;
    }
}

lmGrabber::lmGrabber(const std::string& name, bool start) : impl(new lmGrabberImplFastSnapshot())
{
    try {
        const int count = countCameras();
        if (count == 0)
            throw std::runtime_error("no Lumenera cameras connected");
        const std::size_t hash = name.find('#');
        if (hash == std::string::npos)
            throw std::runtime_error("wrong camera name");
        const long serial = std::atol(name.c_str() + hash + 1);
        const std::vector<LucamVersion> versions = cameraVersions(count);
        int number = 0;
        for (int i = 0; i < count && number == 0; ++i)
            if (static_cast<long>(versions[static_cast<std::size_t>(i)].serialNumber) == serial)
                number = i + 1;
        if (number == 0)
            throw std::runtime_error("camera " + name + " is not connected");
        connect2Camera(number, start);
    } catch (...) {
        delete impl;
        throw;
    }
}

lmGrabber::~lmGrabber()
{
    delete impl;
}

void lmGrabber::connect2Camera(int number, bool start)
{
    impl->connect2Camera(number, start);
}

int lmGrabber::getNumCameras()
{
    return countCameras();
}

int lmGrabber::enumerateCameras(std::vector<std::string>& names)
{
    const int count = countCameras();
    if (count == 0) {
        names.clear();
        return 0;
    }
    const std::vector<LucamVersion> versions = cameraVersions(count);
    names.resize(static_cast<std::size_t>(count));
    for (int i = 1; i <= count; ++i) {
        LucamHandle camera = LucamCameraOpen(static_cast<uint32_t>(i));
        checkLucam(camera != nullptr);
        uint32_t id = 0;
        if (!LucamGetCameraId(camera, &id)) {
            const uint32_t code = LucamGetLastError();
            LucamCameraClose(camera);
            lmgrabber::throwLucamError(code);
        }
        checkLucam(LucamCameraClose(camera));
        names[static_cast<std::size_t>(i - 1)] = std::string("Lumenera ") + getModelByID(id) + " #" +
                                                  std::to_string(versions[static_cast<std::size_t>(i - 1)].serialNumber);
    }
    return count;
}

const char* lmGrabber::getModelByID(unsigned int id)
{
    for (const ModelEntry& entry : cameraModelTable)
        if (entry.id == id)
            return entry.model;
    return "Unknown";
}

unsigned char* lmGrabber::captureFrame() { return impl->captureFrame(); }
void lmGrabber::captureFrameRaw(unsigned char* buffer) { impl->captureFrameRaw(buffer); }
unsigned lmGrabber::getRawBufferSize() const { return impl->getRawBufferSize(); }
void lmGrabber::convertRawToFrame(const unsigned char* raw, unsigned char* destination)
{
    impl->convertRawToFrame(raw, destination);
}
unsigned char* lmGrabber::getFrameData() const { return impl->getFrameBuffer(); }
unsigned lmGrabber::getFrameSize() const { return impl->getFrameBufferSize(); }

void lmGrabber::getFrameFormat(int& width, int& height, unsigned short& a, unsigned short& b) const
{
    width = impl->params().width;
    height = impl->params().height;
    a = 1;
    b = 1;
}

void lmGrabber::captureNextAsyncFrameRaw(unsigned char* buffer, BaseLibrary::Event& event)
{
    impl->armSnapshot(buffer, impl->getRawBufferSize(), event);
}

void lmGrabber::captureNextAsyncFrameRaw(unsigned char* buffer, unsigned bufferSize, BaseLibrary::Event& event)
{
    impl->armSnapshot(buffer, bufferSize, event);
}

bool lmGrabber::waitFlashInterval() { return impl->waitFlashInterval(); }
const std::vector<float>& lmGrabber::getFrameRates() { return impl->getFrameRates(); }
void lmGrabber::onShotAutoWhiteBalance() { impl->onShotAutoWhiteBalance(); }
niBayerConversions::BayerTileFormat lmGrabber::getBayerTileFormat() { return impl->getBayerTileFormat(); }
std::string lmGrabber::getSerialNumber() const { return std::to_string(impl->getCameraNumber()); }

const lmGrabber::lmParameters& lmGrabber::getParameters() const { return impl->params(); }

void lmGrabber::setParameters(const lmParameters& p)
{
    if (p.rgb == impl->params().rgb) {
        impl->setParameters(p);
        return;
    }
    const int number = impl->getCameraNumber();
    LucamHandle handle = impl->releaseCamera();
    std::unique_ptr<lmGrabberImpl> rebuilt;
    if (p.rgb)
        rebuilt = std::make_unique<lmGrabberImplFastSnapshotRGB>(handle, number, p);
    else
        rebuilt = std::make_unique<lmGrabberImplFastSnapshot>(handle, number, p);
    delete impl;
    impl = rebuilt.release();
}

void lmGrabber::setAutoWhiteBalance(bool on) { impl->params().autoWhiteBalance = on; }
bool lmGrabber::isAutoWhiteBalance() const { return impl->params().autoWhiteBalance; }
void lmGrabber::setTuneAutoExposureOnStart(bool on) { impl->params().tuneAutoExposureOnStart = on; }
bool lmGrabber::isTuneAutoExposureOnStart() const { return impl->params().tuneAutoExposureOnStart; }

void lmGrabber::setShutterSpeed(float value) { impl->setShutterSpeed(value); }
float lmGrabber::getShutterSpeed() const { return impl->params().shutterSpeed; }
void lmGrabber::setGain(float value) { impl->setGain(value); }
float lmGrabber::getGain() const { return impl->params().gain; }
void lmGrabber::setGainR(float value) { impl->setGainR(value); }
float lmGrabber::getGainR() const { return impl->params().gainR; }
void lmGrabber::setGainB(float value) { impl->setGainB(value); }
float lmGrabber::getGainB() const { return impl->params().gainB; }
void lmGrabber::setGainG1(float value) { impl->setGainG1(value); }
float lmGrabber::getGainG1() const { return impl->params().gainG1; }
void lmGrabber::setGainG2(float value) { impl->setGainG2(value); }
float lmGrabber::getGainG2() const { return impl->params().gainG2; }
void lmGrabber::setLum(float value) { impl->setLum(value); }
float lmGrabber::getLum() const { return impl->params().lum; }
void lmGrabber::setDepthBits(eDepth depth) { impl->setDepthBits(depth); }
lmGrabber::eDepth lmGrabber::getDepthBits() const { return impl->params().depth; }
void lmGrabber::setClockSpeed(float value) { impl->setClockSpeed(value); }
float lmGrabber::getClockSpeed() const { return impl->params().clockSpeed; }
void lmGrabber::setStrobeDelay(float value) { impl->setStrobeDelay(value); }
float lmGrabber::getStrobeDelay() const { return impl->params().strobeDelay; }
void lmGrabber::setExposureDelay(float value) { impl->setExposureDelay(value); }
float lmGrabber::getExposureDelay() const { return impl->params().exposureDelay; }
void lmGrabber::setAutoExposure(bool on) { impl->setAutoExposure(on); }
bool lmGrabber::isAutoExposure() const { return impl->params().shutterSpeedAuto; }
void lmGrabber::setAutoGain(bool on) { impl->setAutoGain(on); }
bool lmGrabber::isAutoGain() const { return impl->params().autoGain; }
void lmGrabber::setAutoExposurePriority(bool on) { impl->setAutoExposurePriority(on); }
bool lmGrabber::isAutoExposurePriority() const { return impl->params().autoExposurePriority; }
void lmGrabber::setStrobeLength(float value) { impl->setStrobeLength(value); }
float lmGrabber::getStrobeLength() const { return impl->params().strobeLength; }
void lmGrabber::setStrobeEnable(bool on) { impl->setStrobeEnable(on); }
bool lmGrabber::getStrobeEnable() const { return impl->params().strobeEnable; }
void lmGrabber::setUseHwTrigger(bool on) { impl->setUseHwTrigger(on); }
bool lmGrabber::getUseHwTrigger() const { return impl->params().useHwTrigger; }
void lmGrabber::setHue(int value) { impl->setHue(value); }
int lmGrabber::getHue() const { return impl->params().hue; }
void lmGrabber::setSaturation(float value) { impl->setSaturation(value); }
float lmGrabber::getSaturation() const { return impl->params().saturation; }
void lmGrabber::setGamma(float value) { impl->setGamma(value); }
float lmGrabber::getGamma() const { return impl->params().gamma; }
void lmGrabber::setContrast(float value) { impl->setContrast(value); }
float lmGrabber::getContrast() const { return impl->params().contrast; }
void lmGrabber::setBrightness(float value) { impl->setBrightness(value); }
float lmGrabber::getBrightness() const { return impl->params().brightness; }
void lmGrabber::setWhiteBalanceCorr(eWhiteBalanceCorrection value) { impl->setWhiteBalanceCorr(value); }
lmGrabber::eWhiteBalanceCorrection lmGrabber::getWhiteBalanceCorr() const { return impl->params().whiteBalanceCorr; }
void lmGrabber::setDemosaicMethod(eDemosaicMethod value) { impl->setDemosaicMethod(value); }
lmGrabber::eDemosaicMethod lmGrabber::getDemosaicMethod() const { return impl->params().demosaicMethod; }
void lmGrabber::setColorCorrMatrix(const float* matrix) { impl->setColorCorrMatrix(matrix); }
void lmGrabber::getColorCorrMatrix(float* matrix) const { impl->getColorCorrMatrix(matrix); }
void lmGrabber::setDigitalGain(float value) { impl->setDigitalGain(value); }
float lmGrabber::getDigitalGain() const { return impl->params().digitalGain; }
void lmGrabber::setDigitalWbU(float value) { impl->setDigitalWbU(value); }
float lmGrabber::getDigitalWbU() const { return impl->params().digitalWbU; }
void lmGrabber::setDigitalWbV(float value) { impl->setDigitalWbV(value); }
float lmGrabber::getDigitalWbV() const { return impl->params().digitalWbV; }

void lmGrabber::readGpio(unsigned char& outputs, unsigned char& inputs)
{
    checkLucam(LucamGpioRead(impl->getCameraHandle(), &outputs, &inputs));
    outputs &= 0x0F;
    inputs &= 0x0F;
}

void lmGrabber::writeGpio(unsigned char outputs)
{
    checkLucam(LucamGpioWrite(impl->getCameraHandle(), outputs & 0x0F));
}

void lmGrabber::configureGpio(unsigned char directions)
{
    checkLucam(LucamGpioConfigure(impl->getCameraHandle(), directions & 0x0F));
}

void lmGrabber::selectGpio(unsigned char selection)
{
    checkLucam(LucamGpoSelect(impl->getCameraHandle(), selection & 0x0F));
}

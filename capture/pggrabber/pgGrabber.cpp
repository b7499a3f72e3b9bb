#include "capture/pggrabber/pgGrabber.h"

#include <cstdlib>
#include <stdexcept>

#include "capture/pggrabber/niPgGrabberGig.h"
#include "capture/pggrabber/niPgGrabberUSB.h"
#include "capture/pggrabber/pgBus.h"
#include "capture/pggrabber/pgConversions.h"

using namespace FlyCapture2;

namespace {

const pgGrabber::sFirmwareVersion requiredFirmwareVersion(1, 4, 3);

// Connects a temporary camera object to the bus camera and reads what describes it; busMutex is held.
pgGrabber::CamInfo describeCamera(BusManager& bus, unsigned int serial)
{
    PGRGuid guid;
    check(bus.GetCameraFromSerialNumber(serial, &guid), "GetCameraFromSerialNumber");
    Camera camera;
    check(camera.Connect(&guid), "Connect");
    CameraInfo info;
    check(camera.GetCameraInfo(&info), "GetCameraInfo");
    pgGrabber::CamInfo described;
    described.isColor = info.isColorCamera ? 1 : 0;
    described.interfaceType = toInterfaceType(info.interfaceType);
    described.model = info.modelName;
    described.firmware = readFirmwareVersion(camera);
    described.serialNumber = std::to_string(serial);
    camera.Disconnect();
    return described;
}

void requireStrobe(iCameraBase& camera)
{
    if (!camera.isStrobeAvailable())
        throw std::runtime_error("Property 'strobe' is not available.");
}

}  // namespace

BusManager& ensureBusManager()
{
    if (!busManager)
        busManager = new BusManager;
    return *busManager;
}

void releaseBusManager() noexcept
{
    boost::lock_guard<boost::mutex> lock(busMutex);
    delete busManager;
    busManager = nullptr;
}

pgGrabber::pgGrabber(const std::string& serialNumber)
{
    bool found = false;
    CamInfo info;
    {
        boost::lock_guard<boost::mutex> lock(busMutex);
        BusManager& bus = ensureBusManager();
        unsigned int count = 0;
        check(bus.GetNumOfCameras(&count), "enumerateCameras");
        for (unsigned int i = 0; i < count; ++i) {
            unsigned int serial = 0;
            check(bus.GetCameraSerialNumberFromIndex(i, &serial), "GetCameraSerialNumberFromIndex");
            if (std::to_string(serial) == serialNumber) {
                info = describeCamera(bus, serial);
                found = true;
            }
        }
    }
    if (!found)
        throw PlainError("Camera not found");
    init(info);
}

pgGrabber::pgGrabber(const CamInfo& info)
{
    init(info);
}

pgGrabber::~pgGrabber()
{
    if (!implementation)
        return;
    try {
        implementation->releaseCamera();
    } catch (...) {
    }
    delete implementation;
    implementation = nullptr;
}

void pgGrabber::init(const CamInfo& info)
{
    if (info.interfaceType == 1 || info.interfaceType == 2)
        implementation = new niPgGrabberUSB;
    else if (info.interfaceType == 3)
        implementation = new niPgGrabberGig;
    else
        throw PlainError("Error init");
    try {
        implementation->setBusMutex(&busMutex);
        {
            boost::lock_guard<boost::mutex> lock(busMutex);
            implementation->setBusManager(&ensureBusManager());
        }
        connect2Camera(static_cast<unsigned int>(std::atoi(info.serialNumber.c_str())));
    } catch (...) {
        // no pgGrabber exists after a failed construction: its camera is released here
        delete implementation;
        implementation = nullptr;
        throw;
    }
}

void pgGrabber::connect2Camera(unsigned int serial)
{
    implementation->connect2Camera(serial);
}

unsigned int pgGrabber::getNumCameras()
{
    boost::lock_guard<boost::mutex> lock(busMutex);
    unsigned int count = 0;
    check(ensureBusManager().GetNumOfCameras(&count), "flycaptureBusCameraCount");
    return count;
}

unsigned int pgGrabber::enumerateCameras(std::vector<std::string>& serialNumbers)
{
    boost::lock_guard<boost::mutex> lock(busMutex);
    BusManager& bus = ensureBusManager();
    unsigned int count = 0;
    check(bus.GetNumOfCameras(&count), "enumerateCameras");
    serialNumbers.clear();
    for (unsigned int i = 0; i < count; ++i) {
        unsigned int serial = 0;
        check(bus.GetCameraSerialNumberFromIndex(i, &serial), "GetCameraSerialNumberFromIndex");
        serialNumbers.push_back(std::to_string(serial));
    }
    return count;
}

unsigned int pgGrabber::enumerateCameras(std::vector<CamInfo>& cameras)
{
    boost::lock_guard<boost::mutex> lock(busMutex);
    BusManager& bus = ensureBusManager();
    unsigned int count = 0;
    check(bus.GetNumOfCameras(&count), "enumerateCameras");
    cameras.clear();
    cameras.reserve(count);
    for (unsigned int i = 0; i < count; ++i) {
        unsigned int serial = 0;
        check(bus.GetCameraSerialNumberFromIndex(i, &serial), "GetCameraSerialNumberFromIndex");
        cameras.push_back(describeCamera(bus, serial));
    }
    return count;
}

void pgGrabber::forceIpForGigeCameras()
{
    boost::lock_guard<boost::mutex> lock(busMutex);
    if (!busManager)
        return;
    check(BusManager::ForceAllIPAddressesAutomatically(), "forceIpCameras");
    check(busManager->RescanBus(), "forceIpCameras");
}

bool pgGrabber::checkFirmwareVersion() const
{
    const sFirmwareVersion& v = getFirmwareVersion();
    return v.major >= requiredFirmwareVersion.major && v.minor >= requiredFirmwareVersion.minor &&
           v.revision >= requiredFirmwareVersion.revision;
}

const pgGrabber::sFirmwareVersion& pgGrabber::getRequiredFirmwareVersion() const
{
    return requiredFirmwareVersion;
}

bool pgGrabber::getAvailableFPS(VideoMode mode, std::vector<FrameRate>& rates) const
{
    rates.clear();
    for (int r = 0; r <= 7; ++r)
        if (implementation->checkVideoMode(mode, static_cast<FrameRate>(r)))
            rates.push_back(static_cast<FrameRate>(r));
    return !rates.empty();
}

void pgGrabber::getAvailableVideoModes(std::vector<std::pair<VideoMode, std::vector<FrameRate>>>& modes) const
{
    static const int fixedModes[] = {0, 1, 2, 3, 4, 5, 6, 17, 18, 7, 19, 20, 21, 8, 9, 22, 23, 10, 24, 50, 51, 11, 52};
    modes.clear();
    for (int m : fixedModes) {
        std::vector<FrameRate> rates;
        if (getAvailableFPS(static_cast<VideoMode>(m), rates))
            modes.emplace_back(static_cast<VideoMode>(m), rates);
    }
}

pgGrabber::CamInfo pgGrabber::getCameraInfo()
{
    CamInfo info;
    implementation->getCameraInfo(info);
    return info;
}

void pgGrabber::setStrobeLength(float ms) { requireStrobe(*implementation); implementation->setStrobeLength(ms); }
float pgGrabber::getStrobeLength() const { requireStrobe(*implementation); return implementation->getStrobeLength(); }
void pgGrabber::setStrobeEnable(bool on) { requireStrobe(*implementation); implementation->setStrobeEnable(on); }
bool pgGrabber::getStrobeEnable() const { requireStrobe(*implementation); return implementation->getParameters().strobeEnable; }
void pgGrabber::setStrobeDelay(float ms) { requireStrobe(*implementation); implementation->setStrobeDelay(ms); }
float pgGrabber::getStrobeDelay() const { requireStrobe(*implementation); return implementation->getStrobeDelay(); }

float pgGrabber::getShutterSpeed()
{
    return getParameters().shutterSpeedAuto ? implementation->readShutterSpeed() : getParameters().shutterSpeed;
}

float pgGrabber::getExposure() const
{
    return getParameters().exposureAuto ? implementation->readExposure() : getParameters().exposure;
}

float pgGrabber::getGain()
{
    return getParameters().gainAuto ? implementation->readGain() : getParameters().gain;
}

bool pgGrabber::checkTriggerReady()
{
    implementation->checkTriggerReady();
    return true;
}

void pgGrabber::start() { implementation->start(); }
void pgGrabber::setVideoMode(VideoMode mode) { implementation->setVideoMode(mode); }
pgGrabber::VideoMode pgGrabber::getVideoMode() { return implementation->getVideoMode(); }
void pgGrabber::setFrameRate(FrameRate rate) { implementation->setFrameRate(rate); }
void pgGrabber::setFrameRate(float fps) { implementation->setFrameRate(fps); }
pgGrabber::FrameRate pgGrabber::getFrameRate() { return implementation->getFrameRate(); }
unsigned int pgGrabber::getSerialNumber() const { return implementation->getSerialNumber(); }
bool pgGrabber::checkVideoMode(VideoMode mode, FrameRate rate) { return implementation->checkVideoMode(mode, rate); }
const pgGrabber::sFirmwareVersion& pgGrabber::getFirmwareVersion() const { return implementation->getFirmwareVersion(); }
bool pgGrabber::isStrobeAvailable() const { return implementation->isStrobeAvailable(); }
void pgGrabber::captureFrame(niTypes::niImage<unsigned char>& out) { implementation->captureFrame(out); }
void pgGrabber::getFrame(niTypes::niImage<unsigned char>& out) { implementation->captureFrame(out); }
void pgGrabber::captureRawFrame(niTypes::niImage<unsigned char>& out) { implementation->captureRawFrame(out); }
void pgGrabber::convertTextureRawToRgb(const niTypes::niImage<unsigned char>& raw, niTypes::niImage<unsigned char>& rgb)
{
    implementation->convertTextureRawToRgb(raw, rgb);
}
const pgGrabber::pgParameters& pgGrabber::getParameters() const { return implementation->getParameters(); }
void pgGrabber::setParameters(const pgParameters& p) { implementation->setParameters(p); }
void pgGrabber::setColorMethod(ColorMethod method) { implementation->setColorMethod(method); }
void pgGrabber::setBrightness(float v) { implementation->setBrightness(v); }
void pgGrabber::setGamma(float v) { implementation->setGamma(v); }
void pgGrabber::setSharpness(float v) { implementation->setSharpness(v); }
void pgGrabber::setShutterSpeed(float v) { implementation->setShutterSpeed(v); }
void pgGrabber::setTriggerDelay(float v) { implementation->setTriggerDelay(v); }
void pgGrabber::setExposure(float v) { implementation->setExposure(v); }
void pgGrabber::setGain(float v) { implementation->setGain(v); }
void pgGrabber::setHue(float v) { implementation->setHue(v); }
void pgGrabber::setSaturation(float v) { implementation->setSaturation(v); }
void pgGrabber::setGammaOn(bool on) { implementation->setGammaOn(on); }
void pgGrabber::setShutterSpeedAuto(bool on) { implementation->setShutterSpeedAuto(on); }
void pgGrabber::setExposureAuto(bool on) { implementation->setExposureAuto(on); }
void pgGrabber::setExposureOn(bool on) { implementation->setExposureOn(on); }
void pgGrabber::setGainAuto(bool on) { implementation->setGainAuto(on); }
void pgGrabber::setHueOn(bool on) { implementation->setHueOn(on); }
void pgGrabber::setSaturationOn(bool on) { implementation->setSaturationOn(on); }
void pgGrabber::setUseHwInTrigger(bool on) { implementation->setUseHwInTrigger(on); }
void pgGrabber::setWbOn(bool on) { implementation->setWbOn(on); }
void pgGrabber::triggerOnOff(bool on) { implementation->triggerOnOff(on); }
void pgGrabber::setCameraPower(bool on) { implementation->setCameraPower(on); }
void pgGrabber::setWbR(int v) { implementation->setWbR(v); }
void pgGrabber::setWbB(int v) { implementation->setWbB(v); }
float pgGrabber::getTemperature() const { return implementation->getTemperature(); }
bool pgGrabber::isButtonPressed() const { return implementation->isButtonPressed(); }
niBayerConversions::BayerTileFormat pgGrabber::getBayerTileFormat() { return implementation->getBayerTileFormat(); }

pgGrabber::ColorMethod pgGrabber::getColorMethod() const { return getParameters().colorMethod; }
float pgGrabber::getBrightness() const { return getParameters().brightness; }
float pgGrabber::getGamma() const { return getParameters().gamma; }
bool pgGrabber::isGammaOn() const { return getParameters().gammaOn; }
float pgGrabber::getSharpness() const { return getParameters().sharpness; }
bool pgGrabber::isShutterSpeedAuto() const { return getParameters().shutterSpeedAuto; }
float pgGrabber::getTriggerDelay() const { return getParameters().triggerDelay; }
bool pgGrabber::isTriggerDelayOn() const { return getParameters().triggerDelayOn; }
bool pgGrabber::isExposureAuto() const { return getParameters().exposureAuto; }
bool pgGrabber::isExposureOn() const { return getParameters().exposureOn; }
bool pgGrabber::isGainAuto() const { return getParameters().gainAuto; }
float pgGrabber::getHue() const { return getParameters().hue; }
bool pgGrabber::isHueOn() const { return getParameters().hueOn; }
float pgGrabber::getSaturation() const { return getParameters().saturation; }
bool pgGrabber::isSaturationOn() const { return getParameters().saturationOn; }
bool pgGrabber::isUseHwInTrigger() const { return getParameters().useHwTrigger; }
int pgGrabber::getWbR() const { return getParameters().wbR; }
int pgGrabber::getWbB() const { return getParameters().wbB; }
bool pgGrabber::isWbOn() const { return getParameters().wbOn; }

#include "capture/pggrabber/niPgGrabberBase.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <stdexcept>
#include <thread>
#include <utility>

#include "capture/CaptureErrors.h"
#include "capture/pggrabber/pgConversions.h"

using namespace FlyCapture2;

namespace {

const unsigned int cameraPowerRegister = 0x610;
const unsigned int triggerInquiryRegister = 0x530;
const unsigned int softwareTriggerRegister = 0x62C;
const unsigned int pinStateRegister = 0x11F4;
const unsigned int bit31 = 0x80000000u;

[[noreturn]] void notAvailable(const char* name)
{
    throw std::runtime_error(std::string("Property '") + name + "' is not available.");
}

void requireAvailable(bool available, const char* name)
{
    if (!available)
        notAvailable(name);
}

const char* const noCameraText = "cwGetFrame: camera hasn't been initialized!";
const char* const unknownBayerText = "Unknown bayer tile format";

}  // namespace

niPgGrabberBase::niPgGrabberBase() : parameters(pgGrabber::pgParameters::defaults())
{
    strobeControl.source = 1;
}

niPgGrabberBase::~niPgGrabberBase()
{
    if (ownsBusManager)
        delete busManager;
    if (ownsBusMutex)
        delete busMutex;
}

// Properties

void niPgGrabberBase::setPropertyAbs(PropertyType type, bool on, float value, bool autoMode)
{
    Property property(type);
    property.absControl = true;
    property.onOff = on;
    property.autoManualMode = autoMode;
    property.absValue = value;
    check(getCamera()->SetProperty(&property, false), "SetProperty");
}

void niPgGrabberBase::setPropertyValueA(PropertyType type, unsigned int valueA)
{
    Property property(type);
    property.valueA = valueA;
    check(getCamera()->SetProperty(&property, false), "SetProperty");
}

float niPgGrabberBase::readPropertyAbs(PropertyType type)
{
    bool on = false, autoMode = false;
    return readPropertyAbs(type, on, autoMode);
}

float niPgGrabberBase::readPropertyAbs(PropertyType type, bool& on, bool& autoMode)
{
    Property property(type);
    property.absControl = true;
    check(getCamera()->GetProperty(&property), "GetProperty");
    on = property.onOff;
    autoMode = property.autoManualMode;
    return property.absValue;
}

bool niPgGrabberBase::getPropertyRange(PropertyType type, float& min, float& max)
{
    PropertyInfo info(type);
    const Error error = getCamera()->GetPropertyInfo(&info);
    if (error.GetType() == PGRERROR_PROPERTY_FAILED || error.GetType() == PGRERROR_PROPERTY_NOT_PRESENT)
        return false;
    check(error, "GetPropertyInfo");
    min = info.absMin;
    max = info.absMax;
    return info.present;
}

void niPgGrabberBase::setBrightness(float v)
{
    requireAvailable(parameters.brightnessAvailable, "Brightness");
    parameters.setBrightness(v);
    setPropertyAbs(BRIGHTNESS, true, parameters.brightness, false);
}

void niPgGrabberBase::setGamma(float v)
{
    requireAvailable(parameters.gammaAvailable, "Gamma");
    parameters.setGamma(v);
    setPropertyAbs(GAMMA, parameters.gammaOn, parameters.gamma, false);
}

void niPgGrabberBase::setGammaOn(bool on)
{
    requireAvailable(parameters.gammaAvailable, "Gamma");
    parameters.gammaOn = on;
    setPropertyAbs(GAMMA, on, parameters.gamma, false);
}

void niPgGrabberBase::setSharpness(float v)
{
    requireAvailable(parameters.sharpnessAvailable, "Sharpness");
    parameters.setSharpness(v);
    setPropertyAbs(SHARPNESS, true, parameters.sharpness, false);
}

void niPgGrabberBase::setShutterSpeed(float ms)
{
    requireAvailable(parameters.shutterSpeedAvailable, "ShutterSpeed");
    parameters.setShutterSpeed(ms);
    setPropertyAbs(SHUTTER, parameters.shutterSpeedOn, parameters.shutterSpeed, parameters.shutterSpeedAuto);
}

void niPgGrabberBase::setShutterSpeedAuto(bool on)
{
    parameters.shutterSpeedAuto = on;
    setPropertyAbs(SHUTTER, parameters.shutterSpeedOn, parameters.shutterSpeed, on);
}

void niPgGrabberBase::setTriggerDelay(float v)
{
    parameters.triggerDelay = v;
    setPropertyAbs(TRIGGER_DELAY, true, parameters.triggerDelay, false);
}

void niPgGrabberBase::setExposure(float v)
{
    requireAvailable(parameters.exposureAvailable, "Exposure");
    parameters.setExposure(v);
    setPropertyAbs(AUTO_EXPOSURE, parameters.exposureOn, parameters.exposure, parameters.exposureAuto);
}

void niPgGrabberBase::setExposureOn(bool on)
{
    parameters.exposureOn = on;
    setPropertyAbs(AUTO_EXPOSURE, on, parameters.exposure, parameters.exposureAuto);
}

void niPgGrabberBase::setExposureAuto(bool on)
{
    parameters.exposureAuto = on;
    setPropertyAbs(AUTO_EXPOSURE, parameters.exposureOn, parameters.exposure, on);
}

void niPgGrabberBase::setGain(float v)
{
    requireAvailable(parameters.gainAvailable, "Gain");
    parameters.setGain(v);
    setPropertyAbs(GAIN, parameters.gainOn, parameters.gain, parameters.gainAuto);
}

void niPgGrabberBase::setGainAuto(bool on)
{
    requireAvailable(parameters.gainAvailable, "Gain");
    parameters.gainAuto = on;
    setPropertyAbs(GAIN, parameters.gainOn, parameters.gain, on);
}

void niPgGrabberBase::setHue(float v)
{
    requireAvailable(parameters.hueAvailable, "Hue");
    parameters.setHue(v);
    setPropertyAbs(HUE, parameters.hueOn, parameters.hue, parameters.hueAuto);
}

void niPgGrabberBase::setHueOn(bool on)
{
    requireAvailable(parameters.hueAvailable, "Hue");
    parameters.hueOn = on;
    setPropertyAbs(HUE, on, parameters.hue, parameters.hueAuto);
}

void niPgGrabberBase::setSaturation(float v)
{
    requireAvailable(parameters.saturationAvailable, "Saturation");
    parameters.setSaturation(v);
    setPropertyAbs(SATURATION, parameters.saturationOn, parameters.saturation, parameters.saturationAuto);
}

void niPgGrabberBase::setSaturationOn(bool on)
{
    requireAvailable(parameters.saturationAvailable, "Saturation");
    parameters.saturationOn = on;
    setPropertyAbs(SATURATION, on, parameters.saturation, parameters.saturationAuto);
}

float niPgGrabberBase::readShutterSpeed()
{
    requireAvailable(parameters.shutterSpeedAvailable, "ShutterSpeed");
    parameters.setShutterSpeed(readPropertyAbs(SHUTTER));
    return parameters.shutterSpeed;
}

float niPgGrabberBase::readExposure()
{
    requireAvailable(parameters.exposureAvailable, "Exposure");
    parameters.setExposure(readPropertyAbs(AUTO_EXPOSURE));
    return parameters.exposure;
}

float niPgGrabberBase::readGain()
{
    requireAvailable(parameters.gainAvailable, "Gain");
    parameters.setGain(readPropertyAbs(GAIN));
    return parameters.gain;
}

float niPgGrabberBase::getTemperature()
{
    requireAvailable(parameters.temperatureAvailable, "Temperature");
    Property property(TEMPERATURE);
    property.absControl = true;
    check(getCamera()->GetProperty(&property), "GetProperty");
    // whole kelvins of the camera's tenths, as degrees Celsius
    return static_cast<float>(property.valueA / 10) - 273.15f;
}

// White balance

void niPgGrabberBase::sendWhiteBalance()
{
    Property property(WHITE_BALANCE);
    property.onOff = parameters.wbOn;
    property.valueA = static_cast<unsigned int>(parameters.wbR);
    property.valueB = static_cast<unsigned int>(parameters.wbB);
    check(getCamera()->SetProperty(&property, false), "SetProperty, PGGRABBER_WHITE_BALANCE");
}

void niPgGrabberBase::setWbR(int v)
{
    requireAvailable(parameters.wbAvailable, "white balance r");
    parameters.setWbR(v);
    sendWhiteBalance();
}

void niPgGrabberBase::setWbB(int v)
{
    requireAvailable(parameters.wbAvailable, "white balance b");
    parameters.setWbB(v);
    sendWhiteBalance();
}

void niPgGrabberBase::setWbOn(bool on)
{
    requireAvailable(parameters.wbAvailable, "white balance on");
    parameters.wbOn = on;
    sendWhiteBalance();
}

// Strobe

void niPgGrabberBase::setStrobeEnable(bool on)
{
    parameters.strobeEnable = on;
    strobeControl.onOff = on;
    check(getCamera()->SetStrobe(&strobeControl, false), "SetStrobe");
}

void niPgGrabberBase::setStrobeLength(float ms)
{
    parameters.strobeLength = ms;
    strobeControl.duration = ms;
    check(getCamera()->SetStrobe(&strobeControl, false), "SetStrobe");
}

float niPgGrabberBase::getStrobeLength()
{
    return parameters.strobeLength;
}

void niPgGrabberBase::setStrobeDelay(float ms)
{
    parameters.strobeDelay = ms;
    strobeControl.delay = ms;
    check(getCamera()->SetStrobe(&strobeControl, false), "SetStrobe");
}

float niPgGrabberBase::getStrobeDelay()
{
    return parameters.strobeDelay;
}

bool niPgGrabberBase::readStrobeOn()
{
    StrobeControl strobe = strobeControl;
    check(getCamera()->GetStrobe(&strobe), "GetStrobe");
    return strobe.onOff;
}

bool niPgGrabberBase::isStrobeAvailable()
{
    StrobeInfo info;
    info.source = 1;
    check(getCamera()->GetStrobeInfo(&info), "GetStrobeInfo");
    return info.present;
}

// Frame rate

void niPgGrabberBase::setFrameRate(pgGrabber::FrameRate rate)
{
    sdkFrameRate = toSdkFrameRate(rate);
}

pgGrabber::FrameRate niPgGrabberBase::getFrameRate()
{
    return fromSdkFrameRate(sdkFrameRate);
}

void niPgGrabberBase::setFrameRate(float fps)
{
    float min = 0, max = 0;
    if (!getPropertyRange(FRAME_RATE, min, max))
        throw std::runtime_error("PgGrabber, property FRAME_RATE unavailable");
    // a NaN lies in no range either
    if (!(fps <= max && fps >= min))
        fps = max;
    setPropertyAbs(FRAME_RATE, true, fps, false);
}

// Trigger

void niPgGrabberBase::setUseHwInTrigger(bool hw)
{
    if (hw == parameters.useHwTrigger)
        return;
    TriggerMode mode;
    check(getCamera()->GetTriggerMode(&mode), "GetTriggerMode");
    mode.onOff = true;
    mode.polarity = 1;
    mode.source = hw ? hardwareTriggerSource : 7;
    mode.mode = 0;
    mode.parameter = 0;
    check(getCamera()->SetTriggerMode(&mode, false), "SetTriggerMode");
    checkTriggerReady();
    parameters.useHwTrigger = hw;
}

void niPgGrabberBase::triggerOnOff(bool on)
{
    TriggerMode mode;
    check(getCamera()->GetTriggerMode(&mode), "GetTriggerMode");
    mode.onOff = on;
    check(getCamera()->SetTriggerMode(&mode, false), "SetTriggerMode");
}

void niPgGrabberBase::checkTriggerReady()
{
    for (int reads = 1;; ++reads) {
        unsigned int value = 0;
        check(getCamera()->ReadRegister(softwareTriggerRegister, &value), "checkTriggerReady, ReadRegister");
        if (reads > 1000)
            throw std::runtime_error("Error at checkTriggerReady, timeout operation");
        if (!(value & bit31))
            return;
    }
}

// Other operations

void niPgGrabberBase::setCameraPower(bool on)
{
    check(getCamera()->WriteRegister(cameraPowerRegister, on ? bit31 : 0u, false), "WriteRegister, SetCameraPower");
}

const pgGrabber::sFirmwareVersion& niPgGrabberBase::getFirmwareVersion()
{
    return firmwareVersion;
}

void niPgGrabberBase::updateFirmwareVersion()
{
    CameraBase* camera = getCamera();
    if (!camera)
        throw std::logic_error("Error at detectFirmwareVersion - camera pointer id NULL.");
    firmwareVersion = readFirmwareVersion(*camera);
}

bool niPgGrabberBase::checkSoftwareTriggerPresence()
{
    unsigned int value = 0;
    check(getCamera()->ReadRegister(triggerInquiryRegister, &value), "checkSoftwareTriggerPresence, ReadRegister");
    return (value & (1u << 16)) != 0;
}

unsigned int niPgGrabberBase::getSerialNumber()
{
    return cameraInfo.serialNumber;
}

pgGrabber::pgParameters& niPgGrabberBase::getParameters()
{
    return parameters;
}

void niPgGrabberBase::setColorMethod(pgGrabber::ColorMethod method)
{
    if (!cameraInfo.isColorCamera)
        notAvailable("ColorProcessingMethod");
    parameters.colorMethod = method;
    check(Image::SetDefaultColorProcessing(toSdkColorProcessing(method)), "SetDefaultColorProcessing");
}

void niPgGrabberBase::getCameraInfo(pgGrabber::CamInfo& info)
{
    if (!getCamera())
        return;
    info.serialNumber = std::to_string(cameraInfo.serialNumber);
    info.model = cameraInfo.modelName;
    info.isColor = cameraInfo.isColorCamera ? 1 : 0;
}

void niPgGrabberBase::setBusMutex(boost::mutex* mutex)
{
    busMutex = mutex;
}

void niPgGrabberBase::setBusManager(BusManager* manager)
{
    busManager = manager;
}

bool niPgGrabberBase::isButtonPressed()
{
    unsigned int value = 0;
    check(getCamera()->ReadRegister(pinStateRegister, &value), "ReadRegister, check 1'st pin state");
    return (value & bit31) != 0;
}

niBayerConversions::BayerTileFormat niPgGrabberBase::getBayerTileFormat()
{
    CameraInfo info;
    check(getCamera()->GetCameraInfo(&info), "getBayerTileFormat, GetCameraInfo");
    if (info.bayerTileFormat < NONE || info.bayerTileFormat > BGGR)
        throw std::runtime_error(unknownBayerText);
    return static_cast<niBayerConversions::BayerTileFormat>(info.bayerTileFormat);
}

// Connect

void niPgGrabberBase::lookUpAndConnect(unsigned int serial)
{
    // what was not handed over is made here and belongs to this object
    if (!busManager) {
        busManager = new BusManager;
        ownsBusManager = true;
    }
    if (!busMutex) {
        busMutex = new boost::mutex;
        ownsBusMutex = true;
    }
    PGRGuid guid;
    Error error;
    {
        boost::lock_guard<boost::mutex> lock(*busMutex);
        if (!busManager)
            throw std::runtime_error("Bus manager is empty.");
        error = busManager->GetCameraFromSerialNumber(serial, &guid);
    }
    check(error, "GetCameraFromSerialNumber");
    check(getCamera()->Connect(&guid), "Connect to the camera");
    check(getCamera()->WriteRegister(cameraPowerRegister, bit31, false), "flycaptureSetCameraRegister, CAMERA_POWER");
}

void niPgGrabberBase::switchStrobesOff()
{
    for (unsigned int source = 0; source < 4; ++source) {
        StrobeControl off;
        off.source = source;
        getCamera()->SetStrobe(&off, false);
    }
    if (isStrobeAvailable()) {
        strobeControl.onOff = parameters.strobeEnable;
        strobeControl.delay = parameters.strobeDelay;
        strobeControl.duration = parameters.strobeLength;
        if (readStrobeOn()) {
            parameters.strobeEnable = false;
            strobeControl.onOff = false;
            setStrobeEnable(false);
        }
    }
}

void niPgGrabberBase::readPropertyRanges()
{
    pgGrabber::pgParameters& p = parameters;
    bool on = false, autoMode = false;
    if ((p.brightnessAvailable = getPropertyRange(BRIGHTNESS, p.minBrightness, p.maxBrightness)))
        p.brightness = readPropertyAbs(BRIGHTNESS);
    if ((p.gammaAvailable = getPropertyRange(GAMMA, p.minGamma, p.maxGamma)))
        p.gamma = readPropertyAbs(GAMMA, p.gammaOn, p.gammaAuto);
    if ((p.sharpnessAvailable = getPropertyRange(SHARPNESS, p.minSharpness, p.maxSharpness)))
        p.sharpness = readPropertyAbs(SHARPNESS);
    if ((p.shutterSpeedAvailable = getPropertyRange(SHUTTER, p.minShutterSpeed, p.maxShutterSpeed))) {
        p.shutterSpeed = readPropertyAbs(SHUTTER, on, p.shutterSpeedAuto);
        p.shutterSpeedOn = true;
        if (p.shutterSpeedAuto)
            setShutterSpeedAuto(false);
    }
    if ((p.triggerDelayAvailable = getPropertyRange(TRIGGER_DELAY, p.minTriggerDelay, p.maxTriggerDelay))) {
        setPropertyAbs(TRIGGER_DELAY, true, p.triggerDelay, false);
        setPropertyAbs(TRIGGER_DELAY, p.triggerDelayOn, p.triggerDelay, false);
        p.triggerDelay = readPropertyAbs(TRIGGER_DELAY, p.triggerDelayOn, autoMode);
    }
    if ((p.gainAvailable = getPropertyRange(GAIN, p.minGain, p.maxGain))) {
        p.gainOn = true;
        setGainAuto(false);
        setGain(p.gain);
    }
    float ignoredMin = 0, ignoredMax = 0;
    p.temperatureAvailable = getPropertyRange(TEMPERATURE, ignoredMin, ignoredMax);
    if ((p.exposureAvailable = getPropertyRange(AUTO_EXPOSURE, p.minExposure, p.maxExposure))) {
        p.exposure = readPropertyAbs(AUTO_EXPOSURE, p.exposureOn, p.exposureAuto);
        p.exposureOn = false;
        if (p.exposureAuto)
            setExposureAuto(false);
    }
    if ((p.hueAvailable = getPropertyRange(HUE, p.minHue, p.maxHue))) {
        p.hue = readPropertyAbs(HUE, p.hueOn, p.hueAuto);
        p.hueOn = true;
    }
    if ((p.saturationAvailable = getPropertyRange(SATURATION, p.minSaturation, p.maxSaturation))) {
        p.saturation = readPropertyAbs(SATURATION, p.saturationOn, p.saturationAuto);
        p.saturationOn = true;
    }
}

void niPgGrabberBase::readWhiteBalanceRange()
{
    if (!cameraInfo.isColorCamera)
        return;
    setColorMethod(parameters.colorMethod);
    PropertyInfo info(WHITE_BALANCE);
    const Error error = getCamera()->GetPropertyInfo(&info);
    if (error.GetType() == PGRERROR_PROPERTY_FAILED || error.GetType() == PGRERROR_PROPERTY_NOT_PRESENT) {
        parameters.wbAvailable = false;
        return;
    }
    check(error, "GetPropertyInfo");
    parameters.wbAvailable = info.present;
    if (info.present) {
        parameters.minWb = static_cast<int>(info.min);
        parameters.maxWb = static_cast<int>(info.max);
        parameters.wbOn = true;
    }
}

void niPgGrabberBase::connect2Camera(unsigned int serial)
{
    if (!getCamera())
        throw std::runtime_error("Not camera attached.");
    lookUpAndConnect(serial);
    check(getCamera()->GetCameraInfo(&cameraInfo), "GetCameraInfo");
    if (!checkSoftwareTriggerPresence())
        throw std::runtime_error("This camera does not support external trigger.");
    parameters.useHwTrigger = true;
    setUseHwInTrigger(false);
    updateFirmwareVersion();
    switchStrobesOff();
    readPropertyRanges();
    readWhiteBalanceRange();
    FC2Config config;
    check(getCamera()->GetConfiguration(&config), "GetConfiguration");
    if (config.grabTimeout != 3000) {
        config.grabTimeout = 3000;
        check(getCamera()->SetConfiguration(&config), "SetConfiguration");
    }
    setCameraPower(true);
    getCamera()->SetGPIOPinDirection(0, 0, false);
    for (unsigned int pin = 1; pin < 4; ++pin)
        getCamera()->SetGPIOPinDirection(pin, 1, false);
    float min = 0, max = 0;
    if (getPropertyRange(PAN, min, max))
        setPropertyValueA(PAN, 8);
    if (getPropertyRange(TILT, min, max))
        setPropertyValueA(TILT, 2);
}

void niPgGrabberBase::disconnect()
{
    CameraBase* camera = getCamera();
    if (!camera || !camera->IsConnected())
        return;
    if (parameters.strobeEnable) {
        try {
            setStrobeEnable(false);
        } catch (...) {
        }
    }
    if (started)
        camera->StopCapture();
    camera->Disconnect();
}

void niPgGrabberBase::startCapture(CameraBase& camera)
{
    rowSamples.set_capacity(20);
    Error error;
    if (parameters.callbackMode) {
        {
            boost::lock_guard<boost::mutex> lock(frameMutex);
            callbackFrames.set_capacity(5);
        }
        error = camera.StartCapture(&niPgGrabberBase::imageEventCallback, this);
    } else {
        error = camera.StartCapture();
    }
    check(error, "StartCapture");
    started = true;
}

void niPgGrabberBase::readExposureRanges()
{
    if (parameters.shutterSpeedAvailable)
        getPropertyRange(SHUTTER, parameters.minShutterSpeed, parameters.maxShutterSpeed);
    if (parameters.exposureAvailable)
        getPropertyRange(AUTO_EXPOSURE, parameters.minExposure, parameters.maxExposure);
}

// Parameter sets

void niPgGrabberBase::setParameters(const pgGrabber::pgParameters& p)
{
    pgGrabber::pgParameters& c = parameters;
    if (c.brightnessAvailable && p.brightness != c.brightness)
        setBrightness(p.brightness);
    if (c.gammaAvailable && (p.gamma != c.gamma || p.gammaOn != c.gammaOn || p.gammaAuto != c.gammaAuto))
        setPropertyAbs(GAMMA, p.gammaOn, p.gamma, false);
    if (c.sharpnessAvailable && p.sharpness != c.sharpness)
        setSharpness(p.sharpness);
    if (c.shutterSpeedAvailable && (p.shutterSpeed != c.shutterSpeed || p.shutterSpeedOn != c.shutterSpeedOn ||
                                    p.shutterSpeedAuto != c.shutterSpeedAuto))
        setPropertyAbs(SHUTTER, p.shutterSpeedOn, p.shutterSpeed, p.shutterSpeedAuto);
    if (c.gainAvailable && (p.gain != c.gain || p.gainOn != c.gainOn || p.gainAuto != c.gainAuto))
        setPropertyAbs(GAIN, p.gainOn, p.gain, p.gainAuto);
    if (c.exposureAvailable)
        setPropertyAbs(AUTO_EXPOSURE, p.exposureOn, p.exposure, p.exposureAuto);
    if (p.strobeEnable != c.strobeEnable || p.strobeDelay != c.strobeDelay || p.strobeLength != c.strobeLength) {
        strobeControl.onOff = p.strobeEnable;
        strobeControl.delay = p.strobeDelay;
        strobeControl.duration = p.strobeLength;
        check(getCamera()->SetStrobe(&strobeControl, false), "SetStrobe");
    }
    if (c.wbAvailable) {
        c.wbOn = p.wbOn;
        if (p.wbB != c.wbB)
            setWbB(p.wbB);
        if (p.wbR != c.wbR)
            setWbR(p.wbR);
    }
    if (c.triggerDelayAvailable && (p.triggerDelayOn != c.triggerDelayOn || p.triggerDelay != c.triggerDelay))
        setPropertyAbs(TRIGGER_DELAY, p.triggerDelayOn, p.triggerDelay, false);
    if (p.useHwTrigger != c.useHwTrigger)
        setUseHwInTrigger(p.useHwTrigger);
    parameters = p;
}

// Frame capture

void niPgGrabberBase::waitFrameInterval()
{
    if (!parameters.isFPSControlEnable())
        return;
    using Clock = std::chrono::steady_clock;
    if (paced) {
        const auto interval = std::chrono::duration<double, std::milli>(1000.0 / parameters.fpsMax);
        while (Clock::now() - lastGrabClock < interval)
            std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
    lastGrabClock = Clock::now();
    paced = true;
}

bool niPgGrabberBase::grabImage(Image& image)
{
    waitFrameInterval();
    if (parameters.callbackMode) {
        popCallbackFrame(image);
    } else {
        if (!parameters.useHwTrigger) {
            checkTriggerReady();
            if (getCamera()->FireSoftwareTrigger(false).GetType() != PGRERROR_OK)
                throw std::runtime_error("FireSoftwareTrigger failed");
        }
        const Error error = getCamera()->RetrieveBuffer(&image);
        if (error.GetType() == PGRERROR_IMAGE_CONSISTENCY_ERROR)
            throw capture::FrameCorrupted("Corrupted frame detected (SDK detection)");
        if (error.GetType() != PGRERROR_OK)
            throw std::runtime_error("Capture timeout");
    }
    checkFrameIsCorrupted(image);
    return true;
}

void niPgGrabberBase::checkFrameIsCorrupted(const Image& image)
{
    if (rowSamples.capacity() == 0)
        rowSamples.set_capacity(20);
    rowSamples.push_back(std::vector<unsigned char>());
    unsigned int rows = 0, cols = 0, stride = 0;
    image.GetDimensions(&rows, &cols, &stride);
    if (rows == 0 || cols == 0 || stride == 0 || size_t(rows) * stride > image.GetDataSize() || !image.GetData())
        return;
    const unsigned int n = std::min(stride, 100u);
    const unsigned char* row = image.GetData() + size_t(rows - 1) * stride;
    std::vector<unsigned char> sample(row, row + n);
    const auto white = std::count(sample.begin(), sample.end(), 0xFF);
    if (static_cast<unsigned int>(white) > (n * 95) / 100)
        return;
    const bool match = std::find(rowSamples.begin(), rowSamples.end(), sample) != rowSamples.end();
    rowSamples.back() = std::move(sample);
    if (match)
        throw capture::FrameCorrupted("Corrupted frame detected (manual detection)");
}

void niPgGrabberBase::imageEventCallback(Image* image, const void* data)
{
    if (data)
        static_cast<niPgGrabberBase*>(const_cast<void*>(data))->pushCallbackFrame(image);
}

void niPgGrabberBase::pushCallbackFrame(const Image* image)
{
    boost::lock_guard<boost::mutex> lock(frameMutex);
    if (callbackFrames.capacity() == 0)
        return;
    callbackFrames.push_back(Image());
    callbackFrames.back().DeepCopy(image);
    frameReady.notify_one();
}

void niPgGrabberBase::popCallbackFrame(Image& image)
{
    boost::unique_lock<boost::mutex> lock(frameMutex);
    for (int pass = 0;; ++pass) {
        if (!callbackFrames.empty()) {
            image.DeepCopy(&callbackFrames.front());
            callbackFrames.pop_front();
            return;
        }
        if (pass > 0)
            throw capture::FrameCaptureTimeout("Callback buffer is empty");
        if (!frameReady.wait_for(lock, boost::chrono::milliseconds(1000), [&] { return !callbackFrames.empty(); }))
            throw capture::FrameCaptureTimeout("Capture timeout (callback mode)");
    }
}

namespace {

// Whether rows of cols pixels of bytesPerPixel, stride bytes apart, lie inside the image's buffer.
bool fitsBuffer(const Image& image, unsigned int bytesPerPixel)
{
    const unsigned long long rowBytes = static_cast<unsigned long long>(image.GetCols()) * bytesPerPixel;
    return image.GetData() && rowBytes <= image.GetStride() &&
           static_cast<unsigned long long>(image.GetRows()) * image.GetStride() <= image.GetDataSize();
}

void checkFits(const Image& image, unsigned int bytesPerPixel)
{
    if (!fitsBuffer(image, bytesPerPixel))
        throw std::runtime_error("Failed save image");
}

void checkImageSize(unsigned int rows, unsigned int cols)
{
    if (rows < 1 || cols < 1 || rows > 0x7FFFFFFFu || cols > 0x7FFFFFFFu)
        throw std::invalid_argument("niImage::create - invalid image size");
}

void emptyImage(niTypes::niImage<unsigned char>& out)
{
    niTypes::niImage<unsigned char> empty;
    out = std::move(empty);
}

void convertToBgr(const Image& source, niTypes::niImage<unsigned char>& out)
{
    Image target(static_cast<unsigned int>(out.height), static_cast<unsigned int>(out.width),
                 static_cast<unsigned int>(out.step), out.data, static_cast<unsigned int>(out.dataSize),
                 PIXEL_FORMAT_BGR, source.GetBayerTileFormat());
    if (source.Convert(PIXEL_FORMAT_BGR, &target).GetType() != PGRERROR_OK ||
        target.GetData() != out.data) {
        emptyImage(out);
        throw std::runtime_error("Failed convert row data to RGB");
    }
}

}  // namespace

void niPgGrabberBase::saveCapturedImage(niTypes::niImage<unsigned char>& out, Image& image)
{
    unsigned int rows = 0, cols = 0, stride = 0;
    PixelFormat format = UNSPECIFIED_PIXEL_FORMAT;
    BayerTileFormat bayer = NONE;
    image.GetDimensions(&rows, &cols, &stride, &format, &bayer);
    const unsigned char* data = image.GetData();
    const int w = static_cast<int>(cols), h = static_cast<int>(rows);
    switch (format) {
    case PIXEL_FORMAT_MONO8:
        checkImageSize(rows, cols);
        checkFits(image, 1);
        out.create(w, h, 1, w, 1);
        for (unsigned int y = 0; y < rows; ++y)
            std::memcpy(out.data + size_t(y) * cols, data + size_t(y) * stride, cols);
        return;
    case PIXEL_FORMAT_BGR:
    case PIXEL_FORMAT_RGB8:
        checkImageSize(rows, cols);
        checkFits(image, 3);
        out.create(w, h, 3, 3 * w, format == PIXEL_FORMAT_BGR ? 2 : 4);
        for (unsigned int y = 0; y < rows; ++y)
            std::memcpy(out.data + size_t(y) * cols * 3, data + size_t(y) * stride, size_t(cols) * 3);
        return;
    case PIXEL_FORMAT_RAW8:
        checkImageSize(rows, cols);
        checkFits(image, 1);
        out.create(w, h, 3, 3 * w, 2);
        convertToBgr(image, out);
        return;
    default:
        throw std::runtime_error("Failed save image");
    }
}

void niPgGrabberBase::captureFrame(niTypes::niImage<unsigned char>& out)
{
    if (!getCamera())
        throw std::runtime_error(noCameraText);
    Image image;
    if (!grabImage(image))
        throw std::runtime_error("Capture timeout");
    saveCapturedImage(out, image);
}

void niPgGrabberBase::captureRawFrame(niTypes::niImage<unsigned char>& out)
{
    if (!getCamera())
        throw std::runtime_error(noCameraText);
    Image image;
    if (!grabImage(image))
        throw std::runtime_error("Capture timeout");
    unsigned int rows = 0, cols = 0, stride = 0;
    PixelFormat format = UNSPECIFIED_PIXEL_FORMAT;
    BayerTileFormat bayer = NONE;
    image.GetDimensions(&rows, &cols, &stride, &format, &bayer);
    if (bayer < RGGB || bayer > BGGR)
        throw std::runtime_error(unknownBayerText);
    checkImageSize(rows, cols);
    checkFits(image, 1);
    const int w = static_cast<int>(cols);
    out.create(w, static_cast<int>(rows), 1, w, 5 + static_cast<int>(bayer));
    for (unsigned int y = 0; y < rows; ++y)
        std::memcpy(out.data + size_t(y) * cols, image.GetData() + size_t(y) * stride, cols);
}

void niPgGrabberBase::convertTextureRawToRgb(const niTypes::niImage<unsigned char>& raw,
                                             niTypes::niImage<unsigned char>& rgb)
{
    if (raw.format < 6 || raw.format > 9)
        throw std::runtime_error(unknownBayerText);
    if (raw.width < 1 || raw.height < 1 || !raw.data)
        throw std::invalid_argument("niImage::create - invalid image size");
    if (raw.channels != 1)  // the SDK converts 8-bit Bayer samples only
        throw std::runtime_error("Failed convert row data to RGB");
    const auto bayer = static_cast<BayerTileFormat>(raw.format - 5);
    const unsigned int w = static_cast<unsigned int>(raw.width), h = static_cast<unsigned int>(raw.height);
    // the raw rows as they lie, packed or with the image's own step, and all of them inside the buffer
    const unsigned int stride = raw.step >= raw.width ? static_cast<unsigned int>(raw.step) : w;
    if (raw.dataSize < 0 || static_cast<unsigned long long>(stride) * h > static_cast<unsigned int>(raw.dataSize))
        throw std::invalid_argument("niImage::create - invalid image size");
    Image source(h, w, stride, raw.data, stride * h, PIXEL_FORMAT_RAW8, bayer);
    niTypes::niImage<unsigned char> converted;  // raw and rgb may be one image: rgb is replaced once converted
    converted.create(raw.width, raw.height, 3, 3 * raw.width, 2);
    try {
        convertToBgr(source, converted);
    } catch (...) {
        emptyImage(rgb);  // a failed conversion leaves no image behind
        throw;
    }
    rgb = std::move(converted);
}

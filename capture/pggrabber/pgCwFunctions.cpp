// The cw exports over FlyCapture2 cameras.
#include <sstream>
#include <stdexcept>

#include "capture/CameraConfig.h"
#include "capture/CaptureErrors.h"
#include "capture/cwInterface.h"
#include "capture/pggrabber/iCameraBase.h"
#include "capture/pggrabber/pgBus.h"
#include "capture/pggrabber/pgCameraRecord.h"
#include "capture/pggrabber/pgSettings.h"

using capture::LookupForm;
using niTypes::niImage;

namespace {

const std::string kind = "PgGrabber";

pgCameraRecord& lookup(cwHandle handle, LookupForm form, const char* name)
{
    return capture::lookupCameraRecord(cameraMap, handle, form, name);
}

pgGrabber& mainCamera(cwHandle handle, LookupForm form, const char* name)
{
    return *lookup(handle, form, name).mainCamera;
}

// The texture forms need a record with a texture camera; without one they report the handle as unknown.
pgGrabber& textureCamera(cwHandle handle, const char* name)
{
    pgCameraRecord& record = lookup(handle, LookupForm::ErrorAt, name);
    if (!record.textureCamera)
        capture::throwNotInitialized(LookupForm::ErrorAt, name);
    return *record.textureCamera;
}

iCameraBase& impl(pgGrabber& camera)
{
    return *camera.camera();
}

template <class T>
T& required(T* pointer, const char* name)
{
    if (!pointer)
        throw std::invalid_argument(std::string(name) + ": null argument");
    return *pointer;
}

std::string versionText(const pgGrabber::sFirmwareVersion& v)
{
    std::ostringstream text;
    text << v.major << '.' << v.minor << '.' << v.revision;
    return text.str();
}

bool checkFirmware(pgGrabber& camera, std::string* current, std::string* required)
{
    const pgGrabber::sFirmwareVersion& version = impl(camera).getFirmwareVersion();
    if (current)
        *current = versionText(version);
    if (required)
        *required = versionText(camera.getRequiredFirmwareVersion());
    return camera.checkFirmwareVersion();
}

// Runs body under the guard of a section read: any failure erases the record and becomes NotInitialized.
template <class Body>
void guarded(cwHandle handle, Body body)
{
    try {
        body();
    } catch (const std::exception& e) {
        capture::eraseCameraRecord(cameraMap, handle);
        throw capture::NotInitialized(e.what());
    }
}

void readRotation(const niTypes::niPtree& section, bool& rotate, int& rotation)
{
    parseRotation(section.get<int>("rotate", 0), rotate, rotation);
}

pgGrabber* makeCamera(const std::string& id)
{
    return new pgGrabber(id);
}

cwHandle initialize(const std::string& id, const niTypes::niPtree* config, CameraSettings& mainSettings,
                    CameraSettings* textureSettings)
{
    const capture::TextureCameraConfig texture = capture::readTextureCameraConfig(config, kind);
    const auto previous = capture::findCameraRecordById(cameraMap, id);
    if (previous != cameraMap.end())
        capture::eraseCameraRecord(cameraMap, previous->first);
    pgCameraRecord& record = capture::createCameraRecord(cameraMap, id, texture.id, mainSettings.useTextureCamera,
                                                         makeCamera, makeCamera);
    pgGrabber& main = *record.mainCamera;
    const cwHandle handle = capture::handleOf(&main);
    try {
        pgGrabber::pgParameters working = main.getParameters();
        record.strobeOffParameters = working;
        impl(main).setVideoMode(chooseVideoMode(mainSettings, main.getCameraInfo().isColor != 0));
        guarded(handle, [&] {
            if (!config)
                throw std::invalid_argument("cwInitialize: no configuration");
            const niTypes::niPtree& section = capture::mainCameraConfig(*config, kind);
            working.loadFromXML(section, true);
            capture::readMirrorFlags(section, record.mirrorX, record.mirrorY);
            readRotation(section, record.rotate, record.rotation);
            working.callbackMode = mainSettings.callbackMode;
        });
        working.strobeEnable = true;
        record.strobeOnParameters = working;
        pgGrabber::pgParameters& off = record.strobeOffParameters;
        off.strobeEnable = false;
        off.setExposure(1.0f);
        off.exposureOn = off.exposureAuto = true;
        off.setGain(0.0f);
        off.resolution = working.resolution;
        settingsFromParameters(record.strobeOnParameters, mainSettings);
        impl(main).setParameters(working);
        mainSettings.width = static_cast<int>(working.resolution.width);
        mainSettings.height = static_cast<int>(working.resolution.height);

        if (record.textureCamera && mainSettings.useTextureCamera) {
            pgGrabber& tex = *record.textureCamera;
            pgGrabber::pgParameters textureWorking = tex.getParameters();
            CameraSettings unused;
            CameraSettings& ts = textureSettings ? *textureSettings : unused;
            impl(tex).setVideoMode(chooseVideoMode(ts, tex.getCameraInfo().isColor != 0));
            guarded(handle, [&] {
                textureWorking.loadFromXML(*texture.section, true);
                textureWorking.strobeEnable = true;
                textureWorking.useHwTrigger = true;
                capture::readMirrorFlags(*texture.section, record.textureMirrorX, record.textureMirrorY);
                readRotation(*texture.section, record.textureRotate, record.textureRotation);
            });
            impl(tex).setParameters(textureWorking);
            textureWorking = tex.getParameters();
            settingsFromParameters(textureWorking, ts);
            ts.width = static_cast<int>(textureWorking.resolution.width);
            ts.height = static_cast<int>(textureWorking.resolution.height);
        }

        main.start();
        mainSettings.shutterSpeedMin = main.getParameters().minShutterSpeed;
        mainSettings.shutterSpeedMax = main.getParameters().maxShutterSpeed;
        if (record.textureCamera) {
            record.textureCamera->start();
            if (textureSettings) {
                textureSettings->shutterSpeedMin = record.textureCamera->getParameters().minShutterSpeed;
                textureSettings->shutterSpeedMax = record.textureCamera->getParameters().maxShutterSpeed;
            }
        }
    } catch (...) {
        // a failed initialisation leaves no record behind (the guards have erased it already)
        capture::eraseCameraRecord(cameraMap, handle);
        throw;
    }
    return handle;
}

void initializeMany(std::vector<CameraSettings>& settings, std::vector<cwHandle>& handles,
                    const niTypes::niPtree& config)
{
    int count = 0, textureIndex = -1;
    try {
        count = config.get<int>("Device.how_many_cams");
        textureIndex = config.get<int>("Device.texture_cam_indx");
        if (count < 1 || count > 10)
            throw std::runtime_error("Incorrect amount of cameras!");
    } catch (const std::exception& e) {
        throw capture::NotInitialized(e.what());
    }
    handles.resize(static_cast<size_t>(count));
    settings.resize(static_cast<size_t>(count));
    for (int i = 0; i < count; ++i) {
        cwHandle handle = 0;
        try {
            const niTypes::niPtree& section = config.get_child("Device.Camera" + std::to_string(i) + "." + kind);
            const std::string id = section.get<niTypes::niString>("sn").str();
            const auto previous = capture::findCameraRecordById(cameraMap, id);
            if (previous != cameraMap.end())
                capture::eraseCameraRecord(cameraMap, previous->first);
            pgCameraRecord& record =
                capture::createCameraRecord(cameraMap, id, std::string(), false, makeCamera, makeCamera);
            pgGrabber& camera = *record.mainCamera;
            handle = capture::handleOf(&camera);
            pgGrabber::pgParameters working = camera.getParameters();
            working.loadFromXML(section, true);
            capture::readMirrorFlags(section, record.mirrorX, record.mirrorY);
            readRotation(section, record.rotate, record.rotation);
            camera.setParameters(working);
            camera.start();
            working = camera.getParameters();
            settingsFromParameters(working, settings[i]);
            settings[i].shutterSpeedMin = working.minShutterSpeed;
            settings[i].shutterSpeedMax = working.maxShutterSpeed;
            record.strobeOffParameters = record.strobeOnParameters = working;
            handles[i] = handle;
            if (i == textureIndex)
                record.textureCamera = record.mainCamera;
        } catch (const std::exception& e) {
            if (handle)
                capture::eraseCameraRecord(cameraMap, handle);
            throw capture::NotInitialized(e.what());
        }
    }
}

void switchStrobe(cwHandle handle, const char* name, bool on)
{
    pgCameraRecord& record = lookup(handle, LookupForm::Short, name);
    pgGrabber& camera = *record.mainCamera;
    if (camera.getStrobeEnable() == on)
        return;
    pgGrabber::pgParameters& saved = on ? record.strobeOffParameters : record.strobeOnParameters;
    pgGrabber::pgParameters& applied = on ? record.strobeOnParameters : record.strobeOffParameters;
    saved = camera.getParameters();
    applied.strobeEnable = on;
    if (camera.getCameraInfo().isColor) {
        applied.setWbR(saved.wbR);
        applied.setWbB(saved.wbB);
    }
    camera.setParameters(applied);
}

template <class Function>
void textureTimeout(Function function)
{
    try {
        function();
    } catch (const capture::FrameTextureCaptureTimeout&) {
        throw;
    } catch (const capture::FrameCaptureTimeout& e) {
        throw capture::FrameTextureCaptureTimeout(e.what());
    }
}

}  // namespace

// Life cycle

cwHandle cwInitialize(const char* cameraId, void*, const niTypes::niPtree* config, CameraSettings* mainSettings,
                      CameraSettings* textureSettings, void*)
{
    return initialize(cameraId ? cameraId : "", config, required(mainSettings, "cwInitialize"), textureSettings);
}

void cwInitialize_many_pg_grabbers(std::vector<CameraSettings>* settings, std::vector<cwHandle>* handles,
                                   const niTypes::niPtree* config)
{
    const char* name = "cwInitialize_many_pg_grabbers";
    initializeMany(required(settings, name), required(handles, name), required(config, name));
}

void cwDeinitialize(cwHandle handle)
{
    if (handle == 0) {
        capture::clearCameraRecords(cameraMap);
        releaseBusManager();
    } else {
        capture::eraseCameraRecord(cameraMap, handle);
    }
}

bool cwStart(cwHandle handle)
{
    lookup(handle, LookupForm::Short, "cwStart");
    return false;
}

bool cwStop(cwHandle)
{
    return false;
}

// Enumeration and objects

int cwAvailableCameras(std::vector<std::string>* names, const std::wstring*)
{
    return static_cast<int>(pgGrabber::enumerateCameras(required(names, "cwAvailableCameras")));
}

void cwForceIpForGigECameras()
{
    pgGrabber::forceIpForGigeCameras();
}

void* cwGetDeviceInterface(cwHandle handle)
{
    return reinterpret_cast<void*>(handle);
}

void* cwGetTextureDeviceInterface(cwHandle handle)
{
    const auto it = cameraMap.find(handle);
    return it == cameraMap.end() ? nullptr : it->second.textureCamera;
}

bool cwIsComposite(cwHandle handle)
{
    return lookup(handle, LookupForm::Short, "cwIsComposite").textureCamera != nullptr;
}

// Frames

void cwCapture(cwHandle handle, bool, bool)
{
    lookup(handle, LookupForm::Short, "cwCapture");
}

void cwGetFrame(cwHandle handle, niImage<unsigned char>* out)
{
    pgCameraRecord& record = lookup(handle, LookupForm::Short, "cwGetFrame");
    niImage<unsigned char>& frame = required(out, "cwGetFrame");
    impl(*record.mainCamera).captureFrame(frame);
    capture::applyMirrorFlags(frame, record.mirrorX, record.mirrorY);
}

void cwGetFrameTexture(cwHandle handle, niImage<unsigned char>* out)
{
    pgCameraRecord& record = lookup(handle, LookupForm::Texture, "cwGetFrameTexture");
    niImage<unsigned char>& frame = required(out, "cwGetFrameTexture");
    textureTimeout([&] { record.textureCamera->captureFrame(frame); });
    capture::applyMirrorFlags(frame, record.textureMirrorX, record.textureMirrorY);
}

void cwGetRawFrameTexture(cwHandle handle, niImage<unsigned char>* out)
{
    pgCameraRecord& record = lookup(handle, LookupForm::Texture, "cwGetRawFrameTexture");
    niImage<unsigned char>& frame = required(out, "cwGetRawFrameTexture");
    textureTimeout([&] { record.textureCamera->captureRawFrame(frame); });
}

void cwConvertTextureRawToRgb(cwHandle handle, const niImage<unsigned char>* raw, niImage<unsigned char>* rgb)
{
    pgCameraRecord& record = lookup(handle, LookupForm::Texture, "cwConvertTextureRawToRgb");
    niImage<unsigned char>& image = required(rgb, "cwConvertTextureRawToRgb");
    impl(*record.textureCamera).convertTextureRawToRgb(required(raw, "cwConvertTextureRawToRgb"), image);
    capture::applyMirrorFlags(image, record.textureMirrorX, record.textureMirrorY);
    image.rotate();
}

int cwGetTextureBayerTileFormat(cwHandle handle)
{
    return impl(textureCamera(handle, "cwGetTextureBayerTileFormat")).getBayerTileFormat();
}

// Strobe, trigger and camera control

void cwEnableStrobe(cwHandle handle)
{
    switchStrobe(handle, "cwEnableStrobe", true);
}

void cwDisableStrobe(cwHandle handle)
{
    switchStrobe(handle, "cwDisableStrobe", false);
}

void cwEnableTextureFlash(cwHandle handle, bool on)
{
    pgCameraRecord& record = lookup(handle, LookupForm::Short, "cwEnableTextureFlash");
    if (!record.textureCamera)
        capture::throwNotInitialized(LookupForm::Short, "cwEnableTextureFlash");
    pgGrabber::pgParameters p = record.textureCamera->getParameters();
    p.strobeEnable = on;
    record.textureCamera->setParameters(p);
}

void cwSetStrobeDelay(cwHandle h, float ms) { mainCamera(h, LookupForm::ErrorAt, "cwSetStrobeDelay").setStrobeDelay(ms); }
float cwGetStrobeDelay(cwHandle h) { return mainCamera(h, LookupForm::ErrorAt, "cwGetStrobeDelay").getStrobeDelay(); }
void cwSetStrobeDuration(cwHandle h, float ms) { mainCamera(h, LookupForm::ErrorAt, "cwSetStrobeDuration").setStrobeLength(ms); }
float cwGetStrobeDuration(cwHandle h) { return mainCamera(h, LookupForm::ErrorAt, "cwGetStrobeDuration").getStrobeLength(); }
void cwSetHwTrigger(cwHandle h, bool on) { impl(mainCamera(h, LookupForm::ErrorAt, "cwSetHwTrigger")).setUseHwInTrigger(on); }
bool cwGetHwTrigger(cwHandle h) { return mainCamera(h, LookupForm::ErrorAt, "cwGetHwTrigger").isUseHwInTrigger(); }
void cwSetTextureHwTrigger(cwHandle h, bool on) { impl(textureCamera(h, "cwSetTextureHwTrigger")).setUseHwInTrigger(on); }
bool cwGetTextureHwTrigger(cwHandle h) { return textureCamera(h, "cwGetTextureHwTrigger").isUseHwInTrigger(); }
void cwSetTriggerDelay(cwHandle h, float d) { impl(mainCamera(h, LookupForm::ErrorAt, "cwSetTriggerDelay")).setTriggerDelay(d); }
void cwTriggerOnOff(cwHandle h, bool on) { impl(mainCamera(h, LookupForm::ErrorAt, "cwTriggerOnOff")).triggerOnOff(on); }
void cwSetCameraPower(cwHandle h, bool on) { impl(mainCamera(h, LookupForm::ErrorAt, "cwSetCameraPower")).setCameraPower(on); }
bool cwIsButtonPressed(cwHandle h) { return impl(mainCamera(h, LookupForm::ErrorAt, "cwIsButtonPressed")).isButtonPressed(); }

// Image properties

void cwSetGamma(cwHandle h, float v) { impl(mainCamera(h, LookupForm::Short, "cwSetGamma")).setGamma(v); }
float cwGetGamma(cwHandle h) { return mainCamera(h, LookupForm::Short, "cwGetGamma").getGamma(); }
void cwSetBrightness(cwHandle h, float v) { impl(mainCamera(h, LookupForm::Short, "cwSetBrightness")).setBrightness(v); }
float cwGetBrightness(cwHandle h) { return mainCamera(h, LookupForm::Short, "cwGetBrightness").getBrightness(); }
void cwSetContrast(cwHandle h, float v) { impl(mainCamera(h, LookupForm::Short, "cwSetContrast")).setSharpness(v); }
float cwGetContrast(cwHandle h) { return mainCamera(h, LookupForm::ErrorAt, "cwGetContrast").getSharpness(); }
void cwSetTextureGamma(cwHandle h, float v) { impl(textureCamera(h, "cwSetTextureGamma")).setGamma(v); }
float cwGetTextureGamma(cwHandle h) { return textureCamera(h, "cwGetTextureGamma").getGamma(); }
void cwSetTextureBrightness(cwHandle h, float v) { impl(textureCamera(h, "cwSetTextureBrightness")).setBrightness(v); }
float cwGetTextureBrightness(cwHandle h) { return textureCamera(h, "cwGetTextureBrightness").getBrightness(); }
void cwSetTextureContrast(cwHandle h, float v) { impl(textureCamera(h, "cwSetTextureContrast")).setSharpness(v); }
float cwGetTextureContrast(cwHandle h) { return textureCamera(h, "cwGetTextureContrast").getSharpness(); }

void cwSetShutterSpeed(cwHandle h, float ms) { impl(mainCamera(h, LookupForm::ErrorAt, "cwSetShutterSpeed")).setShutterSpeed(ms); }
float cwGetShutterSpeed(cwHandle h) { return mainCamera(h, LookupForm::ErrorAt, "cwGetShutterSpeed").getShutterSpeed(); }
void cwSetShutterSpeedAuto(cwHandle h, bool on) { impl(mainCamera(h, LookupForm::ErrorAt, "cwSetShutterSpeedAuto")).setShutterSpeedAuto(on); }
bool cwGetShutterSpeedAuto(cwHandle h) { return mainCamera(h, LookupForm::ErrorAt, "cwGetShutterSpeedAuto").isShutterSpeedAuto(); }
void cwSetTextureShutterSpeed(cwHandle h, float ms) { impl(textureCamera(h, "cwSetTextureShutterSpeed")).setShutterSpeed(ms); }
float cwGetTextureShutterSpeed(cwHandle h) { return textureCamera(h, "cwGetTextureShutterSpeed").getShutterSpeed(); }
void cwSetTextureShutterSpeedAuto(cwHandle h, bool on) { impl(textureCamera(h, "cwSetTextureShutterSpeedAuto")).setShutterSpeedAuto(on); }
bool cwGetTextureShutterSpeedAuto(cwHandle h) { return textureCamera(h, "cwGetTextureShutterSpeedAuto").isShutterSpeedAuto(); }

void cwSetGain(cwHandle h, float v) { impl(mainCamera(h, LookupForm::ErrorAt, "cwSetGain")).setGain(v); }
float cwGetGain(cwHandle h) { return mainCamera(h, LookupForm::ErrorAt, "cwGetGain").getGain(); }
void cwSetGainAuto(cwHandle h, bool on) { impl(mainCamera(h, LookupForm::ErrorAt, "cwSetGainAuto")).setGainAuto(on); }
bool cwGetGainAuto(cwHandle h) { return mainCamera(h, LookupForm::ErrorAt, "cwGetGainAuto").isGainAuto(); }
void cwSetTextureGain(cwHandle h, float v) { impl(textureCamera(h, "cwSetTextureGain")).setGain(v); }
float cwGetTextureGain(cwHandle h) { return textureCamera(h, "cwGetTextureGain").getGain(); }
void cwSetTextureGainAuto(cwHandle h, bool on) { impl(textureCamera(h, "cwSetTextureGainAuto")).setGainAuto(on); }
bool cwGetTextureGainAuto(cwHandle h) { return textureCamera(h, "cwGetTextureGainAuto").isGainAuto(); }

void cwSetExposure(cwHandle h, float v) { impl(mainCamera(h, LookupForm::ErrorAt, "cwSetExposure")).setExposure(v); }
float cwGetExposure(cwHandle h) { return mainCamera(h, LookupForm::ErrorAt, "cwGetExposure").getExposure(); }
void cwSetExposureAuto(cwHandle h, bool on) { impl(mainCamera(h, LookupForm::ErrorAt, "cwSetExposureAuto")).setExposureAuto(on); }
bool cwGetExposureAuto(cwHandle h) { return mainCamera(h, LookupForm::ErrorAt, "cwGetExposureAuto").isExposureAuto(); }

void cwSetHue(cwHandle h, float v) { impl(mainCamera(h, LookupForm::ErrorAt, "cwSetHue")).setHue(v); }
float cwGetHue(cwHandle h) { return mainCamera(h, LookupForm::ErrorAt, "cwGetHue").getHue(); }
void cwSetSaturation(cwHandle h, float v) { impl(mainCamera(h, LookupForm::ErrorAt, "cwSetSaturation")).setSaturation(v); }
float cwGetSaturation(cwHandle h) { return mainCamera(h, LookupForm::ErrorAt, "cwGetSaturation").getSaturation(); }
void cwSetTextureHue(cwHandle h, float v) { impl(textureCamera(h, "cwSetTextureHue")).setHue(v); }
float cwGetTextureHue(cwHandle h) { return textureCamera(h, "cwGetTextureHue").getHue(); }
void cwSetTextureSaturation(cwHandle h, float v) { impl(textureCamera(h, "cwSetTextureSaturation")).setSaturation(v); }
float cwGetTextureSaturation(cwHandle h) { return textureCamera(h, "cwGetTextureSaturation").getSaturation(); }

void cwSetGainR(cwHandle h, float v)
{
    pgGrabber& camera = mainCamera(h, LookupForm::ErrorAt, "cwSetGainR");
    impl(camera).setWbR(whiteBalanceValue(v, camera.getParameters()));
}
float cwGetGainR(cwHandle h) { return static_cast<float>(mainCamera(h, LookupForm::ErrorAt, "cwGetGainR").getWbR()); }
void cwSetGainB(cwHandle h, float v)
{
    pgGrabber& camera = mainCamera(h, LookupForm::ErrorAt, "cwSetGainB");
    impl(camera).setWbB(whiteBalanceValue(v, camera.getParameters()));
}
float cwGetGainB(cwHandle h) { return static_cast<float>(mainCamera(h, LookupForm::ErrorAt, "cwGetGainB").getWbB()); }
void cwSetTextureGainR(cwHandle h, float v)
{
    pgGrabber& camera = textureCamera(h, "cwSetTextureGainR");
    impl(camera).setWbR(whiteBalanceValue(v, camera.getParameters()));
}
float cwGetTextureGainR(cwHandle h) { return static_cast<float>(textureCamera(h, "cwGetTextureGainR").getWbR()); }
void cwSetTextureGainB(cwHandle h, float v)
{
    pgGrabber& camera = textureCamera(h, "cwSetTextureGainB");
    impl(camera).setWbB(whiteBalanceValue(v, camera.getParameters()));
}
float cwGetTextureGainB(cwHandle h) { return static_cast<float>(textureCamera(h, "cwGetTextureGainB").getWbB()); }

void cwSetGainG(cwHandle, float) { throw std::runtime_error(capture::propertyNotSupportedText("cwSetGainG")); }
float cwGetGainG(cwHandle) { throw std::runtime_error(capture::propertyNotSupportedText("cwGetGainG")); }
void cwSetTextureGainG(cwHandle, float) { throw std::runtime_error(capture::propertyNotSupportedText("cwSetTextureGainG")); }
float cwGetTextureGainG(cwHandle) { throw std::runtime_error(capture::propertyNotSupportedText("cwGetTextureGainG")); }

void cwSetColorCorrection(cwHandle, int) { throw capture::PropertyNotAvailable("color correction"); }
int cwGetColorCorrection(cwHandle) { throw capture::PropertyNotAvailable("color correction"); }
void cwSetTextureColorCorrection(cwHandle, int) { throw capture::PropertyNotAvailable("color correction"); }
int cwGetTextureColorCorrection(cwHandle) { throw capture::PropertyNotAvailable("color correction"); }

int cwGetAvailableFrameRates(cwHandle handle, std::vector<float>* rates)
{
    pgGrabber& camera = mainCamera(handle, LookupForm::ErrorAt, "cwGetAvailableFrameRates");
    std::vector<float>& out = required(rates, "cwGetAvailableFrameRates");
    std::vector<pgGrabber::FrameRate> offered;
    camera.getAvailableFPS(impl(camera).getVideoMode(), offered);
    out.clear();
    for (pgGrabber::FrameRate rate : offered)
        if (rate >= pgGrabber::FR_1_875 && rate <= pgGrabber::FR_240)
            out.push_back(pgGrabber::toFloat(rate));
    return 0;
}

void cwSetFrameRate(cwHandle h, float rate) { impl(mainCamera(h, LookupForm::ErrorAt, "cwSetFrameRate")).setFrameRate(rate); }

void cwSetSettings(cwHandle handle, const CameraSettings* settings)
{
    pgGrabber& camera = mainCamera(handle, LookupForm::ErrorAt, "cwSetSettings");
    pgGrabber::pgParameters p = camera.getParameters();
    parametersFromSettings(required(settings, "cwSetSettings"), p);
    impl(camera).setParameters(p);
}

void cwGetSettings(cwHandle handle, CameraSettings* settings)
{
    pgGrabber& camera = mainCamera(handle, LookupForm::ErrorAt, "cwGetSettings");
    settingsFromParameters(camera.getParameters(), required(settings, "cwGetSettings"));
}

bool cwCheckFirmware(cwHandle h, std::string* current, std::string* required)
{
    return checkFirmware(mainCamera(h, LookupForm::ErrorAt, "cwCheckFirmware"), current, required);
}

bool cwCheckTextureFirmware(cwHandle h, std::string* current, std::string* required)
{
    return checkFirmware(textureCamera(h, "cwCheckTextureFirmware"), current, required);
}

std::string cwGetSerialNumber(cwHandle h)
{
    return mainCamera(h, LookupForm::ErrorAt, "cwGetSerialNumber").getCameraInfo().serialNumber;
}

std::string cwGetTextureSerialNumber(cwHandle h)
{
    return textureCamera(h, "cwGetTextureSerialNumber").getCameraInfo().serialNumber;
}

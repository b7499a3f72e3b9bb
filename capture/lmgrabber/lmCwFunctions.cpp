// The cw exports of the Lumenera library over lmGrabber objects, and the global map from handle to record.
#include <cmath>
#include <cstring>
#include <stdexcept>
#include <string>
#include <utility>
#include <vector>

#include "capture/CameraConfig.h"
#include "capture/CameraRecord.h"
#include "capture/CaptureErrors.h"
#include "capture/cwErrorTexts.h"
#include "capture/cwInterface.h"
#include "capture/lmgrabber/lmCameraRecord.h"
#include "capture/lmgrabber/lmGrabberImpl.h"
#include "capture/lmgrabber/lmParameterTree.h"
#include "capture/lmgrabber/lmSettingsConversion.h"

struct lmGrabberAccess {
    static lmGrabberImpl& impl(lmGrabber& camera) { return *camera.impl; }
};

namespace {

using capture::LookupForm;
using Image = niTypes::niImage<unsigned char>;

const std::string sectionKind = "Lumenera";
const char* const emptyTextureText = "cwGetFrameTexture: captured texture is empty. May be already moved?";

lmCameraMap cameraMap;

// Releases every camera the library still holds when it is unloaded.
struct LibraryState {
    ~LibraryState() { capture::clearCameraRecords(cameraMap); }
} libraryState;

lmCameraRecord& lookup(cwHandle handle, LookupForm form, const char* name)
{
    return capture::lookupCameraRecord(cameraMap, handle, form, name);
}

lmGrabber& mainCamera(cwHandle handle, const char* name)
{
    return *lookup(handle, LookupForm::ErrorAt, name).mainCamera;
}

lmGrabber& textureCamera(cwHandle handle, const char* name)
{
    lmCameraRecord& record = lookup(handle, LookupForm::ErrorAt, name);
    if (!record.textureCamera)
        capture::throwNotInitialized(LookupForm::ErrorAt, name);
    return *record.textureCamera;
}

// Bytes per pixel of a camera's raw frame.
int rawBytesPerPixel(const lmGrabber& camera)
{
    return camera.getDepthBits() == lmGrabber::depth16 ? 2 : 1;
}

// Runs step; a std::exception becomes capture::NotInitialized carrying its text.
template <class Step>
void guarded(Step step)
{
    try {
        step();
    } catch (const std::exception& e) {
        throw capture::NotInitialized(e.what());
    }
}

void setFormat(niTypes::niImageHeader& format, const lmGrabber::lmParameters& p, int channels)
{
    format.width = p.width;
    format.height = p.height;
    format.channels = channels * (p.depth == lmGrabber::depth16 ? 2 : 1);
    format.step = format.channels * format.width;
    format.format = 0;
}

// The record's layout of a camera's frames, brought to what the camera delivers now: a host may have changed
// its depth or colour through the camera object since initialisation.
const niTypes::niImageHeader& currentFormat(niTypes::niImageHeader& format, const lmGrabber& camera)
{
    const lmGrabber::lmParameters& p = camera.getParameters();
    setFormat(format, p, p.rgb ? 3 : 1);
    return format;
}

// Whether a raw frame (one sample a pixel) was taken in the camera's present layout.
bool rawLayoutMatches(const Image& raw, const lmGrabber& camera)
{
    const lmGrabber::lmParameters& p = camera.getParameters();
    return raw.width == p.width && raw.height == p.height && raw.channels == rawBytesPerPixel(camera);
}

void initializeRecord(lmCameraRecord& record, const niTypes::niPtree* config,
                      const capture::TextureCameraConfig& texture, CameraSettings* mainSettings,
                      CameraSettings* textureSettings, bool useTexture)
{
    lmGrabber& main = *record.mainCamera;
    lmGrabber::lmParameters working = main.getParameters();
    record.strobeOffParameters = working;
    guarded([&] {
        if (!config)
            throw std::runtime_error("no configuration");
        const niTypes::niPtree& section = capture::mainCameraConfig(*config, sectionKind);
        lmgrabber::loadParametersFromTree(working, section);
        capture::readMirrorFlags(section, record.mirrorX, record.mirrorY);
        record.strobeOnParameters = working;
        record.strobeOnParameters.strobeEnable = true;
        record.strobeOffParameters.strobeEnable = false;
        record.strobeOffParameters.depth = working.depth;  // both strobe sets give the host one frame layout
    });

    // The strobe-off set works without flash: a long automatic exposure and a moderate gain.
    lmGrabber::lmParameters& off = record.strobeOffParameters;
    const lmGrabber::lmParameters& on = record.strobeOnParameters;
    capture::checkPropertyRange(60.0f, off.minShutterSpeed, off.maxShutterSpeed);
    capture::checkPropertyRange(6.0f, off.minGain, off.maxGain);
    off.shutterSpeed = 60.0f;
    off.shutterSpeedAuto = true;
    off.gain = 6.0f;
    off.strobeDelay = on.strobeDelay;
    off.exposureDelay = on.exposureDelay;
    off.triggerTimeout = on.triggerTimeout;

    main.setParameters(working);
    working = main.getParameters();
    const bool colour = working.rgb;
    if (mainSettings) {
        mainSettings->width = working.width;
        mainSettings->height = working.height;
        lmgrabber::settingsFromParameters(record.strobeOnParameters, *mainSettings);
        mainSettings->channels = colour ? 3 : 1;
    }
    if (colour) {
        record.strobeOnParameters.rgb = true;
        record.strobeOffParameters.rgb = true;
    }
    setFormat(record.mainFormat, working, colour ? 3 : 1);

    if (!record.textureCamera || !useTexture || !texture.section)
        return;
    lmGrabber& camera = *record.textureCamera;
    working = camera.getParameters();
    guarded([&] {
        lmgrabber::loadParametersFromTree(working, *texture.section);
        working.useHwTrigger = true;  // the texture camera always waits for the hardware trigger
        capture::readMirrorFlags(*texture.section, record.textureMirrorX, record.textureMirrorY);
    });
    camera.setParameters(working);
    working = camera.getParameters();
    if (textureSettings) {
        lmgrabber::settingsFromParameters(working, *textureSettings);
        textureSettings->width = working.width;
        textureSettings->height = working.height;
        textureSettings->channels = working.rgb ? 3 : 1;
    }
    setFormat(record.textureFormat, working, working.rgb ? 3 : 1);
}

// Applies one of the record's strobe sets. The camera keeps its pixel depth: the host's frame layout stays.
void applyStrobeSet(lmGrabber& camera, lmGrabber::lmParameters& set)
{
    set.depth = camera.getDepthBits();
    camera.setParameters(set);
}

// Turns a frame of grey samples (bytes each), packed at the start of rgb's buffer, into the three channels.
void spreadGreyToRgb(Image& rgb, int bytes)
{
    const std::size_t samples = std::size_t(rgb.width) * std::size_t(rgb.height);
    const std::size_t size = static_cast<std::size_t>(bytes);
    unsigned char sample[2];
    for (std::size_t i = samples; i-- > 0;) {  // from the end: a sample is read before its place is written
        std::memcpy(sample, rgb.data + i * size, size);
        for (std::size_t c = 0; c < 3; ++c)
            std::memcpy(rgb.data + (3 * i + c) * size, sample, size);
    }
}

// Lays frame out for one raw frame of camera (reusing its buffer when the size stays) and arms the camera's
// snapshot callback to fill it and then set ready.
void armFrame(lmGrabber& camera, const niTypes::niImageHeader& format, int bayerFormat, Image& frame,
              BaseLibrary::Event& ready, bool flashTake = false)
{
    if (format.width <= 0 || format.height <= 0)
        throw std::invalid_argument("niImage::create - invalid image size");
    lmGrabberImpl& impl = lmGrabberAccess::impl(camera);
    impl.disarm();  // the buffer may be replaced below: no frame may be copied into the old one
    const int bytes = rawBytesPerPixel(camera);
    frame.create(format.width, format.height, bytes, format.width * bytes, bayerFormat);
    ready.reset();
    if (flashTake)
        impl.armFlashTake();
    camera.captureNextAsyncFrameRaw(frame.data, static_cast<unsigned>(frame.dataSize), ready);
}

// The Bayer code of the texture camera's raw frames, from its colour format.
int textureBayerCode(lmGrabber& camera)
{
    float value = 0;
    int32_t flags = 0;
    if (!LucamGetProperty(lmGrabberAccess::impl(camera).getCameraHandle(), 80, &value, &flags))
        return 1;
    if (value == 8.0f)
        return 6;
    if (value == 9.0f)
        return 7;
    if (value == 10.0f)
        return 8;
    return 1;
}

// The image over the camera's own frame buffer; its layout must hold no more than that buffer.
void frameOverCamera(const niTypes::niImageHeader& format, lmGrabber& camera, unsigned char* data, Image& out)
{
    if (static_cast<long long>(format.step) * format.height > static_cast<long long>(camera.getFrameSize()))
        throw std::runtime_error("frame layout larger than the camera's frame");
    niTypes::createImageFromFormat(format, data, out);
}

int hueOf(float value, const lmGrabber& camera)
{
    if (!std::isfinite(value) || std::fabs(value) > 2.0e9f) {
        const lmGrabber::lmParameters& p = camera.getParameters();
        throw capture::InvalidProperty(value, static_cast<float>(p.minHue), static_cast<float>(p.maxHue));
    }
    return static_cast<int>(value);
}

int correctionOf(int value)
{
    return value >= 1 && value <= 5 ? value : 0;
}

}  // namespace

// Life cycle

CW_API cwHandle cwInitialize(const char* cameraId, void* /*unused1*/, const niTypes::niPtree* config,
                             CameraSettings* mainSettings, CameraSettings* textureSettings, void* /*unused2*/)
{
    const std::string id = cameraId ? cameraId : "";
    const capture::TextureCameraConfig texture = capture::readTextureCameraConfig(config, sectionKind);
    const auto previous = capture::findCameraRecordById(cameraMap, id);
    if (previous != cameraMap.end())
        capture::eraseCameraRecord(cameraMap, previous->first);

    const bool useTexture = mainSettings && mainSettings->useTextureCamera;
    lmCameraRecord& record = capture::createCameraRecord(
        cameraMap, id, texture.id, useTexture, [](const std::string& name) { return new lmGrabber(name, false); },
        [](const std::string& serial) { return new lmGrabber("#" + serial, false); });
    const cwHandle handle = capture::handleOf(record.mainCamera);
    try {
        initializeRecord(record, config, texture, mainSettings, textureSettings, useTexture);
    } catch (...) {
        capture::eraseCameraRecord(cameraMap, handle);  // a failed initialisation leaves no record
        throw;
    }
    return handle;
}

CW_API void cwInitialize_many_pg_grabbers(std::vector<CameraSettings>*, std::vector<cwHandle>*,
                                          const niTypes::niPtree*)
{
}

CW_API void cwDeinitialize(cwHandle handle)
{
    if (handle == 0)
        capture::clearCameraRecords(cameraMap);
    else
        capture::eraseCameraRecord(cameraMap, handle);
}

CW_API bool cwStart(cwHandle) { return false; }
CW_API bool cwStop(cwHandle) { return false; }

// Enumeration and objects

CW_API int cwAvailableCameras(std::vector<std::string>* names, const std::wstring* /*option*/)
{
    std::vector<std::string> found;
    try {
        lmGrabber::enumerateCameras(found);
    } catch (...) {
        names->clear();
        throw;
    }
    names->swap(found);
    return static_cast<int>(names->size());
}

CW_API void cwForceIpForGigECameras() {}

CW_API void* cwGetDeviceInterface(cwHandle handle)
{
    return reinterpret_cast<void*>(handle);
}

CW_API void* cwGetTextureDeviceInterface(cwHandle handle)
{
    const auto it = cameraMap.find(handle);
    return it == cameraMap.end() ? nullptr : it->second.textureCamera;
}

CW_API bool cwIsComposite(cwHandle handle)
{
    return lookup(handle, LookupForm::Short, "cwIsComposite").textureCamera != nullptr;
}

// Frames

CW_API void cwCapture(cwHandle handle, bool captureMain, bool captureTexture)
{
    lmCameraRecord& record = lookup(handle, LookupForm::Short, "cwCapture");
    lmGrabber& main = *record.mainCamera;
    if (captureMain) {
        if (record.mainFormat.width <= 0 || record.mainFormat.height <= 0)
            throw std::invalid_argument("niImage::create - invalid image size");
        main.setUseHwTrigger(true);
        armFrame(main, currentFormat(record.mainFormat, main), 1, record.mainFrame, record.mainFrameReady);
    } else {
        main.setUseHwTrigger(false);
    }
    if (captureTexture) {
        if (!record.textureCamera)
            throw std::runtime_error(capture::textureCameraNotInitializedText);
        lmGrabber& texture = *record.textureCamera;
        if (!lmGrabberAccess::impl(texture).beginFlashTake())
            throw std::runtime_error("cwGetFrameTexture: error at control flash strobe interval!");
        armFrame(texture, currentFormat(record.textureFormat, texture), textureBayerCode(texture),
                 record.textureFrame, record.textureFrameReady, true);
    }
}

CW_API void cwGetFrame(cwHandle handle, Image* out)
{
    lmCameraRecord& record = lookup(handle, LookupForm::Short, "cwGetFrame");
    lmGrabber& main = *record.mainCamera;
    if (main.getUseHwTrigger()) {
        if (!record.mainFrameReady.timedWait(300))
            throw capture::FrameCaptureTimeout();
        niTypes::moveFrom(*out, record.mainFrame);  // the raw frame, in the layout it was armed with
    } else {
        unsigned char* data = main.captureFrame();
        frameOverCamera(currentFormat(record.mainFormat, main), main, data, *out);
        if (main.getParameters().rgb)
            out->mirror(0);  // a colour frame, 8 or 16 bits a sample, comes upside down
    }
    capture::applyMirrorFlags(*out, record.mirrorX, record.mirrorY);
}

CW_API void cwGetFrameTexture(cwHandle handle, Image* out)
{
    lmCameraRecord& record = lookup(handle, LookupForm::Texture, "cwGetFrameTexture");
    lmGrabber& texture = *record.textureCamera;
    try {
        if (texture.getUseHwTrigger()) {
            if (!record.textureFrameReady.timedWait(100)) {
                lmGrabberAccess::impl(texture).endFlashTake();
                throw capture::FrameTextureCaptureTimeout(nullptr);
            }
            if (!record.textureFrame.data)
                throw std::runtime_error(emptyTextureText);
            if (!rawLayoutMatches(record.textureFrame, texture))
                throw std::runtime_error("cwGetFrameTexture: the camera's frame layout changed since the capture");
            if (static_cast<unsigned>(record.textureFrame.dataSize) < texture.getRawBufferSize())
                throw std::runtime_error("raw texture frame smaller than the camera's frame");
            niTypes::createImageFromFormat(currentFormat(record.textureFormat, texture), nullptr, *out);
            if (static_cast<unsigned>(out->dataSize) < texture.getFrameSize())
                throw std::runtime_error("frame layout smaller than the camera's frame");
            texture.convertRawToFrame(record.textureFrame.data, out->data);
        } else {
            unsigned char* data = texture.captureFrame();
            frameOverCamera(currentFormat(record.textureFormat, texture), texture, data, *out);
        }
    } catch (const capture::FrameCaptureTimeout& e) {
        throw capture::FrameTextureCaptureTimeout(e.what());
    }
    capture::applyMirrorFlags(*out, record.textureMirrorX, record.textureMirrorY);
}

CW_API void cwGetRawFrameTexture(cwHandle handle, Image* out)
{
    lmCameraRecord& record = lookup(handle, LookupForm::Texture, "cwGetRawFrameTexture");
    if (!record.textureFrameReady.timedWait(100)) {
        lmGrabberAccess::impl(*record.textureCamera).endFlashTake();
        throw capture::FrameTextureCaptureTimeout(nullptr);
    }
    if (!record.textureFrame.data)
        throw std::runtime_error(emptyTextureText);
    niTypes::moveFrom(*out, record.textureFrame);
}

CW_API void cwConvertTextureRawToRgb(cwHandle handle, const Image* raw, Image* rgb)
{
    lmCameraRecord& record = lookup(handle, LookupForm::Texture, "cwConvertTextureRawToRgb");
    lmGrabber& texture = *record.textureCamera;
    if (!raw || !raw->data || static_cast<unsigned>(raw->dataSize) < texture.getRawBufferSize())
        throw std::invalid_argument("cwConvertTextureRawToRgb: raw frame smaller than the camera's frame");
    if (!rawLayoutMatches(*raw, texture))
        throw std::invalid_argument("cwConvertTextureRawToRgb: raw frame not in the camera's frame layout");
    const int bytes = rawBytesPerPixel(texture);
    const niTypes::niImageHeader& format = currentFormat(record.textureFormat, texture);
    Image converted;  // raw and rgb may be one image: it is replaced only once the conversion is done
    converted.create(format.width, format.height, 3 * bytes, 3 * format.width * bytes, 2);  // 16-bit: 6 bytes
    if (static_cast<unsigned>(converted.dataSize) < texture.getFrameSize())
        throw std::invalid_argument("cwConvertTextureRawToRgb: frame layout smaller than the camera's frame");
    texture.convertRawToFrame(raw->data, converted.data);
    if (!texture.getParameters().rgb)
        spreadGreyToRgb(converted, bytes);  // a monochrome camera's frame is copied, not converted
    converted.rotate();
    converted.mirror(1);
    *rgb = std::move(converted);
}

CW_API int cwGetTextureBayerTileFormat(cwHandle handle)
{
    return textureCamera(handle, "cwGetTextureBayerTileFormat").getBayerTileFormat();
}

// Strobe, trigger and camera control

CW_API void cwEnableStrobe(cwHandle handle)
{
    lmCameraRecord& record = lookup(handle, LookupForm::Short, "cwEnableStrobe");
    lmGrabber& main = *record.mainCamera;
    if (main.getStrobeEnable())
        return;
    record.strobeOffParameters = main.getParameters();
    lmGrabber::lmParameters& on = record.strobeOnParameters;
    const lmGrabber::lmParameters& off = record.strobeOffParameters;
    if (on.rgb) {
        on.gainR = off.gainR;
        on.gainB = off.gainB;
        on.gainG1 = off.gainG1;
        on.gainG2 = off.gainG2;
    }
    applyStrobeSet(main, on);
}

CW_API void cwDisableStrobe(cwHandle handle)
{
    lmCameraRecord& record = lookup(handle, LookupForm::Short, "cwDisableStrobe");
    lmGrabber& main = *record.mainCamera;
    if (!main.getStrobeEnable())
        return;
    record.strobeOnParameters = main.getParameters();
    lmGrabber::lmParameters& off = record.strobeOffParameters;
    const lmGrabber::lmParameters& on = record.strobeOnParameters;
    off.strobeEnable = false;
    if (off.rgb) {
        off.gainR = on.gainR;
        off.gainB = on.gainB;
        off.gainG1 = on.gainG1;
        off.gainG2 = on.gainG2;
    }
    applyStrobeSet(main, off);
}

CW_API void cwEnableTextureFlash(cwHandle handle, bool on)
{
    lmCameraRecord& record = lookup(handle, LookupForm::Short, "cwEnableTextureFlash");
    if (!record.textureCamera)
        throw std::runtime_error(capture::textureCameraNotInitializedText);
    lmGrabber::lmParameters copy = record.textureCamera->getParameters();
    copy.strobeEnable = on;
    record.textureCamera->setParameters(copy);
}

CW_API void cwSetStrobeDelay(cwHandle handle, float ms) { mainCamera(handle, "cwSetStrobeDelay").setStrobeDelay(ms); }
CW_API float cwGetStrobeDelay(cwHandle handle) { return mainCamera(handle, "cwGetStrobeDelay").getStrobeDelay(); }
CW_API void cwSetStrobeDuration(cwHandle handle, float ms)
{
    mainCamera(handle, "cwSetStrobeDuration").setStrobeLength(ms);
}
CW_API float cwGetStrobeDuration(cwHandle handle)
{
    return mainCamera(handle, "cwGetStrobeDuration").getStrobeLength();
}

CW_API void cwSetTriggerDelay(cwHandle, float)
{
    throw capture::MethodNotSupported("lmGrabber", "cwSetTriggerDelay");
}
CW_API void cwTriggerOnOff(cwHandle, bool) {}
CW_API void cwSetCameraPower(cwHandle, bool) {}

CW_API bool cwIsButtonPressed(cwHandle handle)
{
    unsigned char outputs = 0;
    unsigned char inputs = 0;
    mainCamera(handle, "cwIsButtonPressed").readGpio(outputs, inputs);
    return (inputs & 1) != 0;
}

// Image properties: each main form with its texture form.

#define LM_PROPERTY(Export, Type, Setter, Getter)                                                                 \
    CW_API void cwSet##Export(cwHandle handle, Type value) { mainCamera(handle, "cwSet" #Export).Setter(value); } \
    CW_API Type cwGet##Export(cwHandle handle) { return mainCamera(handle, "cwGet" #Export).Getter(); }          \
    CW_API void cwSetTexture##Export(cwHandle handle, Type value)                                                 \
    {                                                                                                             \
        textureCamera(handle, "cwSetTexture" #Export).Setter(value);                                              \
    }                                                                                                             \
    CW_API Type cwGetTexture##Export(cwHandle handle) { return textureCamera(handle, "cwGetTexture" #Export).Getter(); }

LM_PROPERTY(Gamma, float, setGamma, getGamma)
LM_PROPERTY(Brightness, float, setBrightness, getBrightness)
LM_PROPERTY(Contrast, float, setContrast, getContrast)
LM_PROPERTY(ShutterSpeed, float, setShutterSpeed, getShutterSpeed)
LM_PROPERTY(ShutterSpeedAuto, bool, setAutoExposure, isAutoExposure)
LM_PROPERTY(Gain, float, setGain, getGain)
LM_PROPERTY(GainAuto, bool, setAutoGain, isAutoGain)
LM_PROPERTY(Saturation, float, setSaturation, getSaturation)
LM_PROPERTY(GainR, float, setGainR, getGainR)
LM_PROPERTY(GainB, float, setGainB, getGainB)
LM_PROPERTY(HwTrigger, bool, setUseHwTrigger, getUseHwTrigger)

#undef LM_PROPERTY

namespace {

void setHue(lmGrabber& camera, float value) { camera.setHue(hueOf(value, camera)); }
float getHue(const lmGrabber& camera) { return static_cast<float>(camera.getHue()); }

void setGainG(lmGrabber& camera, float value)
{
    camera.setGainG1(value);
    camera.setGainG2(value);
}

void setColorCorrection(lmGrabber& camera, int value)
{
    camera.setWhiteBalanceCorr(static_cast<lmGrabber::eWhiteBalanceCorrection>(correctionOf(value)));
}

int getColorCorrection(const lmGrabber& camera)
{
    return correctionOf(static_cast<int>(camera.getWhiteBalanceCorr()));
}

}  // namespace

CW_API void cwSetHue(cwHandle handle, float value) { setHue(mainCamera(handle, "cwSetHue"), value); }
CW_API float cwGetHue(cwHandle handle) { return getHue(mainCamera(handle, "cwGetHue")); }
CW_API void cwSetTextureHue(cwHandle handle, float value) { setHue(textureCamera(handle, "cwSetTextureHue"), value); }
CW_API float cwGetTextureHue(cwHandle handle) { return getHue(textureCamera(handle, "cwGetTextureHue")); }

CW_API void cwSetGainG(cwHandle handle, float value) { setGainG(mainCamera(handle, "cwSetGainG"), value); }
CW_API float cwGetGainG(cwHandle handle) { return mainCamera(handle, "cwGetGainG").getGainG1(); }
CW_API void cwSetTextureGainG(cwHandle handle, float value)
{
    setGainG(textureCamera(handle, "cwSetTextureGainG"), value);
}
CW_API float cwGetTextureGainG(cwHandle handle) { return textureCamera(handle, "cwGetTextureGainG").getGainG1(); }

CW_API void cwSetColorCorrection(cwHandle handle, int value)
{
    setColorCorrection(mainCamera(handle, "cwSetColorCorrection"), value);
}
CW_API int cwGetColorCorrection(cwHandle handle)
{
    return getColorCorrection(mainCamera(handle, "cwGetColorCorrection"));
}
CW_API void cwSetTextureColorCorrection(cwHandle handle, int value)
{
    setColorCorrection(textureCamera(handle, "cwSetTextureColorCorrection"), value);
}
CW_API int cwGetTextureColorCorrection(cwHandle handle)
{
    return getColorCorrection(textureCamera(handle, "cwGetTextureColorCorrection"));
}

CW_API void cwSetExposure(cwHandle, float) { throw capture::PropertyNotAvailable("exposure"); }
CW_API float cwGetExposure(cwHandle) { throw capture::PropertyNotAvailable("exposure"); }
CW_API void cwSetExposureAuto(cwHandle, bool) { throw capture::PropertyNotAvailable("exposure"); }
CW_API bool cwGetExposureAuto(cwHandle) { throw capture::PropertyNotAvailable("exposure"); }

CW_API int cwGetAvailableFrameRates(cwHandle handle, std::vector<float>* rates)
{
    lmGrabber& camera = mainCamera(handle, "cwGetAvailableFrameRates");
    rates->clear();
    *rates = camera.getFrameRates();
    return static_cast<int>(rates->size());
}

CW_API void cwSetFrameRate(cwHandle handle, float rate) { mainCamera(handle, "cwSetFrameRate").setClockSpeed(rate); }

CW_API void cwSetSettings(cwHandle handle, const CameraSettings* settings)
{
    lmGrabber& camera = mainCamera(handle, "cwSetSettings");
    lmGrabber::lmParameters copy = camera.getParameters();
    lmgrabber::parametersFromSettings(*settings, copy);
    camera.setParameters(copy);
}

CW_API void cwGetSettings(cwHandle handle, CameraSettings* settings)
{
    const lmGrabber& camera = mainCamera(handle, "cwGetSettings");
    lmgrabber::settingsFromParameters(camera.getParameters(), *settings);
}

CW_API bool cwCheckFirmware(cwHandle, std::string*, std::string*) { return true; }
CW_API bool cwCheckTextureFirmware(cwHandle, std::string*, std::string*) { return true; }

CW_API std::string cwGetSerialNumber(cwHandle handle)
{
    return mainCamera(handle, "cwGetSerialNumber").getSerialNumber();
}

CW_API std::string cwGetTextureSerialNumber(cwHandle handle)
{
    return textureCamera(handle, "cwGetTextureSerialNumber").getSerialNumber();
}

#pragma once
// The flat camera interface that both camera libraries export under these plain names and that hosts bind by
// name at run time. The standard-library objects in the signatures cross the module boundary: host and library
// share one runtime; the caller owns every object it passes and the library fills it.
#include <cstdint>
#include <string>
#include <vector>

#include "capture/CameraSettings.h"
#include "capture/niImage.h"
#include "nitypes/niPtree.h"

// The camera handle: the address of the library's main camera object, pointer-sized on both sides.
typedef intptr_t cwHandle;

#define CW_API extern "C" __attribute__((visibility("default")))

#if defined(__clang__)
#pragma clang diagnostic push
#pragma clang diagnostic ignored "-Wreturn-type-c-linkage"
#endif

// Life cycle
CW_API cwHandle cwInitialize(const char* cameraId, void* unused1, const niTypes::niPtree* config,
                             CameraSettings* mainSettings, CameraSettings* textureSettings, void* unused2);
CW_API void cwInitialize_many_pg_grabbers(std::vector<CameraSettings>* settings, std::vector<cwHandle>* handles,
                                          const niTypes::niPtree* config);
CW_API void cwDeinitialize(cwHandle handle);  // 0 releases every camera the library holds
CW_API bool cwStart(cwHandle handle);
CW_API bool cwStop(cwHandle handle);

// Enumeration and objects
CW_API int cwAvailableCameras(std::vector<std::string>* names, const std::wstring* option);
CW_API void cwForceIpForGigECameras();
CW_API void* cwGetDeviceInterface(cwHandle handle);          // the library's camera object
CW_API void* cwGetTextureDeviceInterface(cwHandle handle);   // null without texture camera or for unknown handles
CW_API bool cwIsComposite(cwHandle handle);

// Frames
CW_API void cwCapture(cwHandle handle, bool captureMain, bool captureTexture);
CW_API void cwGetFrame(cwHandle handle, niTypes::niImage<unsigned char>* out);
CW_API void cwGetFrameTexture(cwHandle handle, niTypes::niImage<unsigned char>* out);
CW_API void cwGetRawFrameTexture(cwHandle handle, niTypes::niImage<unsigned char>* out);
CW_API void cwConvertTextureRawToRgb(cwHandle handle, const niTypes::niImage<unsigned char>* raw,
                                     niTypes::niImage<unsigned char>* rgb);
CW_API int cwGetTextureBayerTileFormat(cwHandle handle);

// Strobe, trigger and camera control
CW_API void cwEnableStrobe(cwHandle handle);
CW_API void cwDisableStrobe(cwHandle handle);
CW_API void cwEnableTextureFlash(cwHandle handle, bool on);
CW_API void cwSetStrobeDelay(cwHandle handle, float ms);
CW_API float cwGetStrobeDelay(cwHandle handle);
CW_API void cwSetStrobeDuration(cwHandle handle, float ms);
CW_API float cwGetStrobeDuration(cwHandle handle);
CW_API void cwSetHwTrigger(cwHandle handle, bool on);
CW_API bool cwGetHwTrigger(cwHandle handle);
CW_API void cwSetTextureHwTrigger(cwHandle handle, bool on);
CW_API bool cwGetTextureHwTrigger(cwHandle handle);
CW_API void cwSetTriggerDelay(cwHandle handle, float delay);
CW_API void cwTriggerOnOff(cwHandle handle, bool on);
CW_API void cwSetCameraPower(cwHandle handle, bool on);
CW_API bool cwIsButtonPressed(cwHandle handle);

// Image properties
CW_API void cwSetGamma(cwHandle handle, float value);
CW_API float cwGetGamma(cwHandle handle);
CW_API void cwSetBrightness(cwHandle handle, float value);
CW_API float cwGetBrightness(cwHandle handle);
CW_API void cwSetContrast(cwHandle handle, float value);
CW_API float cwGetContrast(cwHandle handle);
CW_API void cwSetTextureGamma(cwHandle handle, float value);
CW_API float cwGetTextureGamma(cwHandle handle);
CW_API void cwSetTextureBrightness(cwHandle handle, float value);
CW_API float cwGetTextureBrightness(cwHandle handle);
CW_API void cwSetTextureContrast(cwHandle handle, float value);
CW_API float cwGetTextureContrast(cwHandle handle);

CW_API void cwSetShutterSpeed(cwHandle handle, float ms);
CW_API float cwGetShutterSpeed(cwHandle handle);
CW_API void cwSetShutterSpeedAuto(cwHandle handle, bool on);
CW_API bool cwGetShutterSpeedAuto(cwHandle handle);
CW_API void cwSetTextureShutterSpeed(cwHandle handle, float ms);
CW_API float cwGetTextureShutterSpeed(cwHandle handle);
CW_API void cwSetTextureShutterSpeedAuto(cwHandle handle, bool on);
CW_API bool cwGetTextureShutterSpeedAuto(cwHandle handle);

CW_API void cwSetGain(cwHandle handle, float value);
CW_API float cwGetGain(cwHandle handle);
CW_API void cwSetGainAuto(cwHandle handle, bool on);
CW_API bool cwGetGainAuto(cwHandle handle);
CW_API void cwSetTextureGain(cwHandle handle, float value);
CW_API float cwGetTextureGain(cwHandle handle);
CW_API void cwSetTextureGainAuto(cwHandle handle, bool on);
CW_API bool cwGetTextureGainAuto(cwHandle handle);

CW_API void cwSetExposure(cwHandle handle, float value);
CW_API float cwGetExposure(cwHandle handle);
CW_API void cwSetExposureAuto(cwHandle handle, bool on);
CW_API bool cwGetExposureAuto(cwHandle handle);

CW_API void cwSetHue(cwHandle handle, float value);
CW_API float cwGetHue(cwHandle handle);
CW_API void cwSetSaturation(cwHandle handle, float value);
CW_API float cwGetSaturation(cwHandle handle);
CW_API void cwSetTextureHue(cwHandle handle, float value);
CW_API float cwGetTextureHue(cwHandle handle);
CW_API void cwSetTextureSaturation(cwHandle handle, float value);
CW_API float cwGetTextureSaturation(cwHandle handle);

CW_API void cwSetGainR(cwHandle handle, float value);
CW_API float cwGetGainR(cwHandle handle);
CW_API void cwSetGainG(cwHandle handle, float value);
CW_API float cwGetGainG(cwHandle handle);
CW_API void cwSetGainB(cwHandle handle, float value);
CW_API float cwGetGainB(cwHandle handle);
CW_API void cwSetTextureGainR(cwHandle handle, float value);
CW_API float cwGetTextureGainR(cwHandle handle);
CW_API void cwSetTextureGainG(cwHandle handle, float value);
CW_API float cwGetTextureGainG(cwHandle handle);
CW_API void cwSetTextureGainB(cwHandle handle, float value);
CW_API float cwGetTextureGainB(cwHandle handle);

CW_API void cwSetColorCorrection(cwHandle handle, int value);
CW_API int cwGetColorCorrection(cwHandle handle);
CW_API void cwSetTextureColorCorrection(cwHandle handle, int value);
CW_API int cwGetTextureColorCorrection(cwHandle handle);

CW_API int cwGetAvailableFrameRates(cwHandle handle, std::vector<float>* rates);
CW_API void cwSetFrameRate(cwHandle handle, float rate);

CW_API void cwSetSettings(cwHandle handle, const CameraSettings* settings);
CW_API void cwGetSettings(cwHandle handle, CameraSettings* settings);

CW_API bool cwCheckFirmware(cwHandle handle, std::string* current, std::string* required);
CW_API bool cwCheckTextureFirmware(cwHandle handle, std::string* current, std::string* required);
CW_API std::string cwGetSerialNumber(cwHandle handle);
CW_API std::string cwGetTextureSerialNumber(cwHandle handle);

#if defined(__clang__)
#pragma clang diagnostic pop
#endif

// The two exports a host binds to list cameras and to release a library before unloading it.
using cwAvailableCamerasFunction = decltype(&cwAvailableCameras);
using cwDeinitializeFunction = decltype(&cwDeinitialize);

#pragma once
// The camera SDK calls the Lumenera camera library makes, as a simulated SDK offers them (LucamSimulator.h steers
// it). Calls report failure by returning false (-1 for counts and ids, null for handles); LucamGetLastError then
// gives the calling thread's error code.
#include <cstdint>

extern "C" {

typedef void* LucamHandle;

struct LucamVersion {
    uint32_t firmware;
    uint32_t fpga;
    uint32_t api;
    uint32_t driver;
    uint32_t serialNumber;
    uint32_t reserved;
};

struct LucamFrameFormat {
    uint32_t xOffset;
    uint32_t yOffset;
    uint32_t width;
    uint32_t height;
    uint32_t pixelFormat;  // 0: 8 bits per pixel, 1: 16 bits per pixel
    uint16_t subSampleX;
    uint16_t binningX;
    uint16_t subSampleY;
    uint16_t binningY;
};

struct LucamSnapshot {
    float exposure;  // ms
    float gain;
    float gainRed;
    float gainBlue;
    float gainGreen1;
    float gainGreen2;
    int32_t useStrobe;
    float strobeDelay;  // ms
    int32_t useHwTrigger;
    float timeout;  // ms
    LucamFrameFormat format;
    uint32_t shutterType;
    float exposureDelay;  // ms
    int32_t bufferLastFrame;
    uint32_t reserved[4];
};

struct LucamConversion {
    uint32_t correctionMatrix;
    uint32_t demosaicMethod;
};

// Called on the SDK's own thread for every snapshot frame a camera delivers.
typedef void (*LucamSnapshotCallback)(void* context, unsigned char* data, uint32_t length);

int32_t LucamNumCameras();
int32_t LucamEnumCameras(LucamVersion* versions, uint32_t count);
LucamHandle LucamCameraOpen(uint32_t number);  // 1-based
bool LucamCameraClose(LucamHandle camera);
bool LucamCameraReset(LucamHandle camera);
uint32_t LucamGetLastError();
bool LucamGetCameraId(LucamHandle camera, uint32_t* id);
bool LucamGetFormat(LucamHandle camera, LucamFrameFormat* format, float* frameRate);
bool LucamPropertyRange(LucamHandle camera, uint32_t property, float* min, float* max, float* defaultValue,
                        int32_t* flags);
bool LucamSetProperty(LucamHandle camera, uint32_t property, float value, int32_t flags);
bool LucamGetProperty(LucamHandle camera, uint32_t property, float* value, int32_t* flags);
bool LucamEnableFastFrames(LucamHandle camera, const LucamSnapshot* settings);
bool LucamDisableFastFrames(LucamHandle camera);
bool LucamTakeFastFrame(LucamHandle camera, unsigned char* data);
int32_t LucamAddSnapshotCallback(LucamHandle camera, LucamSnapshotCallback callback, void* context);
// Once it returns, the callback is not running and will not be called again.
bool LucamRemoveSnapshotCallback(LucamHandle camera, int32_t id);
bool LucamSetTriggerMode(LucamHandle camera, bool useHwTrigger);
bool LucamSetupCustomMatrix(LucamHandle camera, const float* matrix);  // nine floats, row by row
bool LucamConvertFrameToRgb24(LucamHandle camera, unsigned char* destination, const unsigned char* source,
                              uint32_t width, uint32_t height, uint32_t pixelFormat,
                              const LucamConversion* conversion);
bool LucamConvertFrameToRgb48(LucamHandle camera, uint16_t* destination, const uint16_t* source, uint32_t width,
                              uint32_t height, uint32_t pixelFormat, const LucamConversion* conversion);
int32_t LucamEnumAvailableFrameRates(LucamHandle camera, uint32_t count, float* rates);
bool LucamOneShotAutoWhiteBalance(LucamHandle camera, uint32_t startX, uint32_t startY, uint32_t width,
                                  uint32_t height);
bool LucamGpioRead(LucamHandle camera, unsigned char* outputs, unsigned char* inputs);
bool LucamGpioWrite(LucamHandle camera, unsigned char outputs);
bool LucamGpioConfigure(LucamHandle camera, unsigned char directions);
bool LucamGpoSelect(LucamHandle camera, unsigned char selection);

}  // extern "C"

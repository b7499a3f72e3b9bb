#pragma once
// Control of the simulated FlyCapture2 bus for tests: the cameras on it, their frames and failures, and the log
// of SDK calls. Everything here acts on the one simulated state that the SDK classes of FlyCapture2.h use.
#include <chrono>
#include <map>
#include <string>
#include <vector>

#include "platform/flycapture2/FlyCapture2.h"

namespace fc2sim {

struct PropertySpec {
    float absMin = 0.0f;
    float absMax = 0.0f;
    float absValue = 0.0f;
    bool onOff = true;
    bool autoMode = false;
    unsigned int valueA = 0;  // integer value (TEMPERATURE: tenths of a kelvin; WHITE_BALANCE: red)
    unsigned int valueB = 0;  // WHITE_BALANCE: blue
    unsigned int min = 0;     // integer range (WHITE_BALANCE)
    unsigned int max = 0;
};

struct VideoModeSpec {
    int mode = 0;                   // SDK video mode
    std::vector<int> frameRates;    // SDK frame rates offered in that mode
};

struct CameraSpec {
    unsigned int serial = 0;
    std::string model = "Simulated camera";
    FlyCapture2::InterfaceType interfaceType = FlyCapture2::INTERFACE_USB2;
    bool color = false;
    FlyCapture2::BayerTileFormat bayer = FlyCapture2::NONE;  // of the frames' raw data
    FlyCapture2::PixelFormat pixelFormat = FlyCapture2::PIXEL_FORMAT_MONO8;  // of delivered frames
    unsigned int width = 1280;
    unsigned int height = 960;
    unsigned int firmwareRegister = 0x01043000;  // register 0x1F60: 1.4.3
    bool strobe = true;
    bool softwareTrigger = true;  // register 0x530 bit 16
    std::map<FlyCapture2::PropertyType, PropertySpec> properties;  // absent type: property not present
    std::vector<VideoModeSpec> videoModes;
    bool format7 = true;
    unsigned int format7MaxWidth = 1280;
    unsigned int format7MaxHeight = 960;
    unsigned int format7PixelFormats = FlyCapture2::PIXEL_FORMAT_MONO8;  // bit field
    unsigned int packetUnitBytes = 4;
    unsigned int packetMaxBytes = 9000;
    unsigned int discoveredPacketSize = 9000;  // 0: discovery fails
    unsigned int powerUpReads = 0;  // reads of register 0x610 that show bit 31 clear after power on
};

// A camera with the usual properties (brightness, exposure, sharpness, gamma, shutter, gain, trigger delay,
// frame rate, temperature, pan, tilt; hue, saturation and white balance for a colour one).
FC2_API CameraSpec defaultCamera(unsigned int serial, FlyCapture2::InterfaceType type = FlyCapture2::INTERFACE_USB2,
                         bool color = false);

// Empties the bus and every log; stops the SDK threads. The file of KESTRUNE_FLYCAPTURE_SIM is not read again.
FC2_API void reset();
FC2_API void addCamera(const CameraSpec& cameraSpec);
FC2_API void removeCamera(unsigned int serial);
// Cameras from a JSON description (the format of KESTRUNE_FLYCAPTURE_SIM); throws std::runtime_error.
FC2_API void loadCameras(const std::string& jsonPath);

// The next count calls named call (an SDK method name, "Convert" for Image::Convert) fail with type; serial 0
// matches the bus manager and image calls, and any camera.
FC2_API void failNext(unsigned int serial, const std::string& call, FlyCapture2::ErrorType type, int count = 1,
                      const std::string& description = "Simulated failure");

// Frames: the next frames a camera takes carry these pixels (rows x stride bytes); others get a numbered pattern.
FC2_API void queueFrame(unsigned int serial, const std::vector<unsigned char>& pixels);
// The next count retrieves fail at once with the SDK's time-out (dropped) or its image consistency error.
FC2_API void dropFrames(unsigned int serial, int count);
FC2_API void corruptFrames(unsigned int serial, int count);
// An external trigger pulse: the camera takes a frame when its trigger is off or set to a hardware source.
FC2_API void pulseHardwareTrigger(unsigned int serial, int count = 1);
// Waits until the SDK's thread has handed count frames in all to the camera's image callback.
FC2_API bool waitCallbackFrames(unsigned int serial, int count, std::chrono::milliseconds timeout);
// The register 0x62C shows "not ready" for this many reads after every trigger (-1: never ready).
FC2_API void setTriggerBusyReads(unsigned int serial, int reads);
FC2_API void setButtonPressed(unsigned int serial, bool pressed);
// What the camera now reports for a property (as an automatic mode would change it).
FC2_API void setPropertyValue(unsigned int serial, FlyCapture2::PropertyType type, float absValue);

// Camera state as the SDK holds it.
FC2_API FlyCapture2::Property property(unsigned int serial, FlyCapture2::PropertyType type);
FC2_API FlyCapture2::TriggerMode triggerMode(unsigned int serial);
FC2_API FlyCapture2::StrobeControl strobe(unsigned int serial, unsigned int source);
FC2_API unsigned int registerValue(unsigned int serial, unsigned int address);
FC2_API FlyCapture2::FC2Config configuration(unsigned int serial);
FC2_API bool isConnected(unsigned int serial);
FC2_API bool isCapturing(unsigned int serial);
FC2_API int busManagerCount();  // bus managers alive now

// The SDK calls made on a camera (serial 0: the bus manager and image calls), oldest first, as
// "<Call> <arguments>", for example "SetProperty 13 abs=1 on=1 auto=0 abs=2.5 a=0 b=0".
FC2_API std::vector<std::string> calls(unsigned int serial);
FC2_API void clearCalls();

}  // namespace fc2sim

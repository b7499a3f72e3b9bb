#pragma once
// Control of the simulated camera SDK for tests: which cameras are connected and how they behave. The cameras
// of the file named in KESTRUNE_LUCAM_SIM are connected when the simulation is first used (README.md gives
// the file's format). Frames are delivered to snapshot callbacks on the SDK's own thread.
#include <chrono>
#include <cstdint>
#include <map>
#include <string>
#include <thread>
#include <vector>

#include "platform/lucam/LucamApi.h"

namespace lucamsim {

// Property numbers of the simulated cameras.
enum PropertyId : uint32_t {
    brightness = 0,
    contrast = 1,
    hue = 2,
    saturation = 3,
    gamma = 5,
    exposureRange = 20,  // range of the snapshot exposure
    gainRange = 40,      // range of the snapshot gain
    whiteBalanceRed = 41,
    whiteBalanceBlue = 42,
    whiteBalanceGreen1 = 43,
    whiteBalanceGreen2 = 44,
    exposure = 50,
    gain = 51,
    gainRed = 52,
    gainGreen1 = 53,
    gainGreen2 = 54,
    gainBlue = 55,
    colorFormat = 80,
    snapshotClock = 106,
    strobeDuration = 116,
};

struct Property {
    float value = 0;
    float min = 0;
    float max = 0;
    float defaultValue = 0;
    int32_t flags = 0;
};

// Every simulated camera has these properties unless its description replaces them.
std::map<uint32_t, Property> defaultProperties();

struct CameraSpec {
    uint32_t serial = 0;
    uint32_t model = 140;     // the camera id LucamGetCameraId reports
    uint32_t firmware = 0x0102;
    uint32_t width = 64;
    uint32_t height = 48;
    uint32_t pixelFormat = 0;  // 0: 8 bits, 1: 16 bits per pixel
    std::map<uint32_t, Property> properties = defaultProperties();
    std::vector<float> frameRates{7.5f, 15.0f, 30.0f};
    unsigned char gpioInputs = 0;  // all eight bits are reported as they are
    std::vector<unsigned char> frame;  // content of every frame, repeated to the frame's size; empty: a ramp
};

// One SDK call as the log records it: the call's name, its arguments as text ("50 60 0") and when it began.
struct Call {
    std::string name;
    std::string arguments;
    std::chrono::steady_clock::time_point at;
};

// What the simulation knows about one camera.
struct CameraState {
    bool open = false;
    bool fastFrames = false;
    bool hwTrigger = false;
    uint32_t pixelFormat = 0;
    int callbacks = 0;
    LucamSnapshot snapshot{};  // as last given to LucamEnableFastFrames
    unsigned char gpioOutputs = 0;
    unsigned char gpioDirections = 0;
    unsigned char gpoSelection = 0;
    float customMatrix[9] = {};
    int framesDelivered = 0;
};

// No cameras, no injected failures, an empty log; the file of KESTRUNE_LUCAM_SIM is not read afterwards.
void reset();
// Replaces the connected cameras by those of a description file; throws std::runtime_error when unreadable.
void loadFile(const std::string& path);
// Connects a camera after those already connected; returns its camera number (1-based).
int addCamera(const CameraSpec& cameraSpec);
// Disconnects a camera: it is no longer counted, and calls on its open handle fail with code 49.
void removeCamera(uint32_t serial);

void setFrameContent(uint32_t serial, const std::vector<unsigned char>& frame);
void setGpioInputs(uint32_t serial, unsigned char inputs);
void setProperty(uint32_t serial, uint32_t property, const Property& value);

// The next `times` calls of `call` (after `skip` successful ones) fail with `code`; times < 0: every call.
void failCall(const std::string& call, uint32_t code, int times = 1, int skip = 0);
void clearFailures();

// A pulse on the camera's trigger input: while fast frames run in hardware-trigger mode, the camera delivers one
// frame on the SDK's thread (to a waiting LucamTakeFastFrame and to every snapshot callback). False when the
// camera ignores the pulse.
bool triggerPulse(uint32_t serial);
// The next `count` frames of the camera are lost: a pulse delivers nothing, a software take fails with code 19.
void dropFrames(uint32_t serial, int count);
// The next `count` frames are delivered `extraBytes` longer than a frame (filled with 0xEE).
void corruptFrames(uint32_t serial, int count, uint32_t extraBytes);
// Returns once the SDK's thread has delivered every frame asked for so far.
void waitIdle();
std::thread::id sdkThreadId();

CameraState cameraState(uint32_t serial);  // throws std::out_of_range for an unknown serial
float propertyValue(uint32_t serial, uint32_t property);

std::vector<Call> calls();
void clearCalls();
// The number of logged calls named `name` (with these arguments, when given).
int countCalls(const std::string& name, const std::string& arguments = std::string());

}  // namespace lucamsim

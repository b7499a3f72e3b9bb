#pragma once
// The one simulated bus behind the SDK classes and the control API: cameras, their live state, injected
// failures and the call log, all guarded by one mutex. Image callbacks run on one SDK thread per camera.
// The state is built when this library is loaded, before the statics of any library that links it, so it is
// destroyed after them: a camera library that releases its cameras from its own statics at exit or unload
// still finds the bus.
#include <condition_variable>
#include <deque>
#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <set>
#include <string>
#include <thread>
#include <vector>

#include "platform/flycapture2/FlyCapture2Sim.h"

namespace fc2sim {

struct SimFrame {
    unsigned int rows = 0;
    unsigned int cols = 0;
    unsigned int stride = 0;
    FlyCapture2::PixelFormat format = FlyCapture2::PIXEL_FORMAT_MONO8;
    FlyCapture2::BayerTileFormat bayer = FlyCapture2::NONE;
    std::vector<unsigned char> data;
};

struct CameraState {
    CameraSpec cameraSpec;
    std::set<const FlyCapture2::CameraBase*> connections;  // each camera object holds its own
    bool capturing = false;
    const FlyCapture2::CameraBase* captureOwner = nullptr;  // the object that started the capture
    FlyCapture2::ImageEventCallback callback = nullptr;
    const void* callbackData = nullptr;
    FlyCapture2::TriggerMode trigger;
    FlyCapture2::StrobeControl strobes[4];
    std::map<unsigned int, unsigned int> registers;
    std::map<unsigned int, unsigned int> gvcpRegisters;
    std::map<int, unsigned int> gigeProperties;
    FlyCapture2::FC2Config config;
    int videoMode = FlyCapture2::VIDEOMODE_1280x960Y8;
    int frameRate = FlyCapture2::FRAMERATE_15;
    bool format7Active = false;
    FlyCapture2::Format7ImageSettings format7;
    unsigned int format7PacketSize = 0;
    int imagingMode = 0;
    FlyCapture2::GigEImageSettings gige;
    std::deque<std::vector<unsigned char>> queuedPixels;
    std::deque<SimFrame> pending;        // taken by RetrieveBuffer
    std::deque<SimFrame> callbackQueue;  // handed to the image callback on the SDK thread
    int callbackDelivered = 0;
    int drops = 0;
    int corrupts = 0;
    int triggerBusyReads = 0;
    int busyLeft = 0;
    int powerUpLeft = 0;
    bool button = false;
    unsigned int frameCounter = 0;
    std::thread sdkThread;
    bool stopThread = false;
};

struct Failure {
    unsigned int serial;
    std::string call;
    FlyCapture2::ErrorType type;
    int count;
    std::string description;
};

class SimState {
public:
    static SimState& instance();
    ~SimState();

    std::mutex mutex;
    std::condition_variable changed;  // frames arrived, frames delivered, capture stopped

    std::vector<std::unique_ptr<CameraState>> cameras;  // bus order
    std::vector<Failure> failures;
    std::map<unsigned int, std::vector<std::string>> log;
    int busManagers = 0;
    FlyCapture2::ColorProcessingAlgorithm colorProcessing = FlyCapture2::HQ_LINEAR;

    // All below expect mutex to be held.
    CameraState* find(unsigned int serial);
    void record(unsigned int serial, const std::string& entry);
    // The injected failure of this call, consumed; nothing when the call succeeds.
    std::optional<FlyCapture2::Error> injected(unsigned int serial, const std::string& call);
    void trigger(CameraState& camera);  // the camera takes one frame
    // Stops capture; the SDK thread is handed back for joining outside the lock.
    std::thread stopCapture(CameraState& camera);

private:
    SimState();
    static SimState theState;
    SimFrame makeFrame(CameraState& camera);
};

void startCallbackThread(SimState& state, CameraState& camera);
void addCameraLocked(SimState& state, const CameraSpec& cameraSpec);
void loadCamerasLocked(SimState& state, const std::string& jsonPath);

}  // namespace fc2sim

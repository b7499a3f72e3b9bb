// The simulated camera SDK: one state for the whole process, shared by the camera library and by tests.
#include "platform/lucam/LucamSimulator.h"

#include <algorithm>
#include <chrono>
#include <cmath>
#include <condition_variable>
#include <cstdlib>
#include <cstring>
#include <deque>
#include <memory>
#include <mutex>
#include <sstream>
#include <stdexcept>

#include <boost/property_tree/json_parser.hpp>
#include <boost/property_tree/ptree.hpp>

namespace lucamsim {
namespace {

// Error codes the simulation reports.
enum : uint32_t {
    errorNoSuchIndex = 1,
    errorInvalidPixelFormat = 3,
    errorBusy = 5,
    errorNotRunning = 14,
    errorCameraNotFound = 18,
    errorTimeout = 19,
    errorNotSupported = 21,
    errorBadParameter = 29,
    errorOutOfBounds = 32,
    errorBadTarget = 45,
    errorDisconnected = 49,
    errorAlreadyOpen = 93,
};

thread_local uint32_t lastError = 0;

enum class TakeState { idle, waiting, done, dropped };

struct SimCamera {
    CameraSpec cameraSpec;
    CameraState state;
    bool connected = true;
    int dropCount = 0;
    int corruptCount = 0;
    uint32_t corruptExtra = 0;
    std::map<int32_t, std::pair<LucamSnapshotCallback, void*>> callbacks;
    int32_t nextCallbackId = 1;
    uint64_t frameIndex = 0;
    unsigned char* takeBuffer = nullptr;
    TakeState take = TakeState::idle;

    std::size_t frameSize() const
    {
        return std::size_t(cameraSpec.width) * cameraSpec.height * (state.pixelFormat == 1 ? 2 : 1);
    }
};

struct Failure {
    std::string call;
    uint32_t code;
    int times;
    int skip;
};

template <class... Args>
std::string joined(const Args&... args)
{
    std::ostringstream text;
    const char* separator = "";
    ((text << separator << args, separator = " "), ...);
    return text.str();
}

class Simulator {
public:
    Simulator() = default;
    ~Simulator()
    {
        {
            std::lock_guard<std::mutex> lock(mutex);
            stopping = true;
        }
        changed.notify_all();
        if (worker.joinable())
            worker.join();
    }

    std::unique_lock<std::mutex> lock()
    {
        std::unique_lock<std::mutex> guard(mutex);
        ensureLoaded();
        return guard;
    }

    // Logs the call; returns the injected error code for it, or 0.
    uint32_t enter(const char* name, std::string arguments)
    {
        log.push_back(Call{name, std::move(arguments), std::chrono::steady_clock::now()});
        for (auto it = failures.begin(); it != failures.end(); ++it) {
            if (it->call != name)
                continue;
            if (it->skip > 0) {
                --it->skip;
                return 0;
            }
            const uint32_t code = it->code;
            if (it->times > 0 && --it->times == 0)
                failures.erase(it);
            return code;
        }
        return 0;
    }

    SimCamera* camera(LucamHandle handle, uint32_t& code)
    {
        const auto it = handles.find(reinterpret_cast<uintptr_t>(handle));
        if (it == handles.end()) {
            code = errorBadParameter;
            return nullptr;
        }
        if (!it->second->connected) {
            code = errorDisconnected;
            return nullptr;
        }
        return it->second;
    }

    SimCamera& bySerial(uint32_t serial)
    {
        for (const auto& camera : storage)
            if (camera->cameraSpec.serial == serial && camera->connected)
                return *camera;
        throw std::out_of_range("no simulated camera with serial " + std::to_string(serial));
    }

    int add(const CameraSpec& cameraSpec)
    {
        auto camera = std::make_unique<SimCamera>();
        camera->cameraSpec = cameraSpec;
        camera->state.pixelFormat = cameraSpec.pixelFormat;
        connected.push_back(camera.get());
        storage.push_back(std::move(camera));
        return static_cast<int>(connected.size());
    }

    void queue(SimCamera* camera)
    {
        jobs.push_back(camera);
        if (!worker.joinable())
            worker = std::thread([this] { run(); });
        changed.notify_all();
    }

    void waitIdleLocked(std::unique_lock<std::mutex>& guard)
    {
        changed.wait(guard, [this] { return jobs.empty() && !busy; });
    }

    // Releases `mutex`, then waits until no callback runs on the SDK's thread (unless called from it).
    void waitDispatch(std::unique_lock<std::mutex>& guard)
    {
        const bool onWorker = std::this_thread::get_id() == workerId;
        guard.unlock();
        if (!onWorker)
            std::lock_guard<std::mutex> wait(dispatchMutex);
    }

    void clear()
    {
        storage.clear();
        connected.clear();
        handles.clear();
        failures.clear();
        log.clear();
        loaded = true;
    }

    void loadFileLocked(const std::string& path);

    std::mutex mutex;
    std::condition_variable changed;
    std::mutex dispatchMutex;  // held by the SDK's thread while it runs callbacks
    std::vector<std::unique_ptr<SimCamera>> storage;
    std::vector<SimCamera*> connected;
    std::map<uintptr_t, SimCamera*> handles;
    uintptr_t nextHandle = 0x1000;
    std::vector<Failure> failures;
    std::vector<Call> log;
    std::deque<SimCamera*> jobs;
    bool busy = false;
    bool stopping = false;
    bool loaded = false;
    std::thread worker;
    std::thread::id workerId;

private:
    void ensureLoaded()
    {
        if (loaded)
            return;
        loaded = true;
        const char* path = std::getenv("KESTRUNE_LUCAM_SIM");
        if (path && *path) {
            try {
                loadFileLocked(path);
            } catch (const std::exception&) {
                // an unreadable description connects no camera
            }
        }
    }

    void run();
    void deliver(SimCamera& camera, std::unique_lock<std::mutex>& guard);
};

// A global object, so that it is built when the SDK is loaded and outlives the camera library above it.
Simulator simulator;

void Simulator::run()
{
    std::unique_lock<std::mutex> guard(mutex);
    workerId = std::this_thread::get_id();
    for (;;) {
        changed.wait(guard, [this] { return stopping || !jobs.empty(); });
        if (stopping)
            return;
        busy = true;
        guard.unlock();
        {
            std::lock_guard<std::mutex> dispatch(dispatchMutex);
            guard.lock();
            if (!jobs.empty()) {
                SimCamera* camera = jobs.front();
                jobs.pop_front();
                deliver(*camera, guard);
            }
        }
        if (!guard.owns_lock())
            guard.lock();
        busy = false;
        changed.notify_all();
    }
}

// Under `mutex` and `dispatchMutex`; runs the callbacks with `mutex` released.
void Simulator::deliver(SimCamera& camera, std::unique_lock<std::mutex>& guard)
{
    if (!camera.connected || !camera.state.fastFrames)
        return;
    if (camera.dropCount > 0) {
        --camera.dropCount;
        if (camera.take == TakeState::waiting && !camera.state.hwTrigger) {
            camera.take = TakeState::dropped;
            camera.takeBuffer = nullptr;
        }
        changed.notify_all();
        return;
    }
    const std::size_t size = camera.frameSize();
    std::vector<unsigned char> frame(size);
    const std::vector<unsigned char>& content = camera.cameraSpec.frame;
    for (std::size_t i = 0; i < size; ++i)
        frame[i] = content.empty() ? static_cast<unsigned char>((i + camera.frameIndex) & 0xFF)
                                   : content[i % content.size()];
    if (camera.corruptCount > 0) {
        --camera.corruptCount;
        frame.resize(size + camera.corruptExtra, 0xEE);
    }
    ++camera.frameIndex;
    ++camera.state.framesDelivered;
    if (camera.take == TakeState::waiting) {
        std::memcpy(camera.takeBuffer, frame.data(), size);
        camera.take = TakeState::done;
        camera.takeBuffer = nullptr;
    }
    std::vector<std::pair<LucamSnapshotCallback, void*>> targets;
    for (const auto& entry : camera.callbacks)
        targets.push_back(entry.second);
    changed.notify_all();
    guard.unlock();
    for (const auto& target : targets)
        target.first(target.second, frame.data(), static_cast<uint32_t>(frame.size()));
}

float number(const boost::property_tree::ptree& tree, const char* key, float fallback)
{
    return tree.get<float>(key, fallback);
}

void Simulator::loadFileLocked(const std::string& path)
{
    boost::property_tree::ptree root;
    try {
        boost::property_tree::read_json(path, root);
    } catch (const std::exception& e) {
        throw std::runtime_error("cannot read camera description " + path + ": " + e.what());
    }
    std::vector<CameraSpec> specs;
    const boost::property_tree::ptree none;
    const auto listed = root.get_child_optional("cameras");
    for (const auto& entry : listed ? *listed : none) {
        const auto& item = entry.second;
        CameraSpec cameraSpec;
        cameraSpec.serial = item.get<uint32_t>("serial");
        cameraSpec.model = item.get<uint32_t>("model", cameraSpec.model);
        cameraSpec.firmware = item.get<uint32_t>("firmware", cameraSpec.firmware);
        cameraSpec.width = item.get<uint32_t>("width", cameraSpec.width);
        cameraSpec.height = item.get<uint32_t>("height", cameraSpec.height);
        cameraSpec.pixelFormat = item.get<uint32_t>("pixel_format", cameraSpec.pixelFormat);
        cameraSpec.gpioInputs = static_cast<unsigned char>(item.get<unsigned>("gpio_inputs", cameraSpec.gpioInputs));
        cameraSpec.properties[colorFormat].value = item.get<float>("color_format", 0.0f);
        if (const auto rates = item.get_child_optional("frame_rates")) {
            cameraSpec.frameRates.clear();
            for (const auto& rate : *rates)
                cameraSpec.frameRates.push_back(rate.second.get_value<float>());
        }
        if (const auto fill = item.get_optional<unsigned>("frame_fill"))
            cameraSpec.frame.assign(1, static_cast<unsigned char>(*fill));
        if (const auto properties = item.get_child_optional("properties")) {
            for (const auto& p : *properties) {
                const uint32_t id = static_cast<uint32_t>(std::stoul(p.first));
                Property& property = cameraSpec.properties[id];
                property.value = number(p.second, "value", property.value);
                property.min = number(p.second, "min", property.min);
                property.max = number(p.second, "max", property.max);
                property.defaultValue = number(p.second, "default", property.value);
            }
        }
        specs.push_back(cameraSpec);
    }
    storage.clear();
    connected.clear();
    handles.clear();
    for (const CameraSpec& cameraSpec : specs)
        add(cameraSpec);
}

bool failed(uint32_t code)
{
    lastError = code;
    return false;
}

int32_t failedCount(uint32_t code)
{
    lastError = code;
    return -1;
}

}  // namespace

std::map<uint32_t, Property> defaultProperties()
{
    auto p = [](float value, float min, float max) { return Property{value, min, max, value, 0}; };
    return {
        {brightness, p(0, -100, 100)},
        {contrast, p(1, 0, 10)},
        {hue, p(0, -180, 180)},
        {saturation, p(1, 0, 2)},
        {gamma, p(1, 0.1f, 5)},
        {exposureRange, p(10, 0, 1000)},
        {gainRange, p(1, 0.25f, 25)},
        {whiteBalanceRed, p(1.5f, 0.25f, 8)},
        {whiteBalanceBlue, p(1.25f, 0.25f, 8)},
        {whiteBalanceGreen1, p(1, 0.25f, 8)},
        {whiteBalanceGreen2, p(1, 0.25f, 8)},
        {exposure, p(10, 0, 1000)},
        {gain, p(1, 0.25f, 25)},
        {gainRed, p(1, 0.25f, 8)},
        {gainGreen1, p(1, 0.25f, 8)},
        {gainGreen2, p(1, 0.25f, 8)},
        {gainBlue, p(1, 0.25f, 8)},
        {colorFormat, p(0, 0, 19)},
        {snapshotClock, p(0, 0, 100)},
        {strobeDuration, p(0.5f, 0, 1000)},
    };
}

void reset()
{
    auto guard = simulator.lock();
    simulator.jobs.clear();
    simulator.waitIdleLocked(guard);
    simulator.clear();
}

void loadFile(const std::string& path)
{
    auto guard = simulator.lock();
    simulator.loadFileLocked(path);
}

int addCamera(const CameraSpec& cameraSpec)
{
    auto guard = simulator.lock();
    return simulator.add(cameraSpec);
}

void removeCamera(uint32_t serial)
{
    auto guard = simulator.lock();
    SimCamera& camera = simulator.bySerial(serial);
    camera.connected = false;
    auto& list = simulator.connected;
    list.erase(std::remove(list.begin(), list.end(), &camera), list.end());
}

void setFrameContent(uint32_t serial, const std::vector<unsigned char>& frame)
{
    auto guard = simulator.lock();
    simulator.bySerial(serial).cameraSpec.frame = frame;
}

void setGpioInputs(uint32_t serial, unsigned char inputs)
{
    auto guard = simulator.lock();
    simulator.bySerial(serial).cameraSpec.gpioInputs = inputs;
}

void setProperty(uint32_t serial, uint32_t property, const Property& value)
{
    auto guard = simulator.lock();
    simulator.bySerial(serial).cameraSpec.properties[property] = value;
}

void failCall(const std::string& call, uint32_t code, int times, int skip)
{
    auto guard = simulator.lock();
    simulator.failures.push_back(Failure{call, code, times, skip});
}

void clearFailures()
{
    auto guard = simulator.lock();
    simulator.failures.clear();
}

bool triggerPulse(uint32_t serial)
{
    auto guard = simulator.lock();
    SimCamera& camera = simulator.bySerial(serial);
    if (!camera.state.open || !camera.state.fastFrames || !camera.state.hwTrigger)
        return false;
    simulator.queue(&camera);
    return true;
}

void dropFrames(uint32_t serial, int count)
{
    auto guard = simulator.lock();
    simulator.bySerial(serial).dropCount = count;
}

void corruptFrames(uint32_t serial, int count, uint32_t extraBytes)
{
    auto guard = simulator.lock();
    SimCamera& camera = simulator.bySerial(serial);
    camera.corruptCount = count;
    camera.corruptExtra = extraBytes;
}

void waitIdle()
{
    auto guard = simulator.lock();
    simulator.waitIdleLocked(guard);
}

std::thread::id sdkThreadId()
{
    auto guard = simulator.lock();
    return simulator.workerId;
}

CameraState cameraState(uint32_t serial)
{
    auto guard = simulator.lock();
    SimCamera& camera = simulator.bySerial(serial);
    CameraState state = camera.state;
    state.callbacks = static_cast<int>(camera.callbacks.size());
    return state;
}

float propertyValue(uint32_t serial, uint32_t property)
{
    auto guard = simulator.lock();
    return simulator.bySerial(serial).cameraSpec.properties.at(property).value;
}

std::vector<Call> calls()
{
    auto guard = simulator.lock();
    return simulator.log;
}

void clearCalls()
{
    auto guard = simulator.lock();
    simulator.log.clear();
}

int countCalls(const std::string& name, const std::string& arguments)
{
    auto guard = simulator.lock();
    return static_cast<int>(std::count_if(simulator.log.begin(), simulator.log.end(), [&](const Call& call) {
        return call.name == name && (arguments.empty() || call.arguments == arguments);
    }));
}

}  // namespace lucamsim

using lucamsim::failed;
using lucamsim::failedCount;
using lucamsim::simulator;
using lucamsim::SimCamera;

#define LUCAM_ENTER(name, ...)                                                                                    \
    auto guard = simulator.lock();                                                                               \
    if (const uint32_t injected = simulator.enter(name, lucamsim::joined(__VA_ARGS__)))                          \
        return failResult(injected);

#define LUCAM_CAMERA(handle)                                                                                      \
    uint32_t code = 0;                                                                                           \
    SimCamera* camera = simulator.camera(handle, code);                                                          \
    if (!camera)                                                                                                 \
        return failResult(code);

namespace {
struct BoolResult {
    bool operator()(uint32_t code) const { return failed(code); }
};
}  // namespace

extern "C" {

int32_t LucamNumCameras()
{
    auto failResult = failedCount;
    LUCAM_ENTER("LucamNumCameras", "");
    return static_cast<int32_t>(simulator.connected.size());
}

int32_t LucamEnumCameras(LucamVersion* versions, uint32_t count)
{
    auto failResult = failedCount;
    LUCAM_ENTER("LucamEnumCameras", count);
    if (!versions)
        return failResult(lucamsim::errorBadParameter);
    const uint32_t n = std::min<uint32_t>(count, static_cast<uint32_t>(simulator.connected.size()));
    for (uint32_t i = 0; i < n; ++i) {
        const lucamsim::CameraSpec& cameraSpec = simulator.connected[i]->cameraSpec;
        versions[i] = LucamVersion{cameraSpec.firmware, 0x10, 0x0506, 0x0506, cameraSpec.serial, 0};
    }
    return static_cast<int32_t>(n);
}

LucamHandle LucamCameraOpen(uint32_t number)
{
    auto failResult = [](uint32_t code) -> LucamHandle {
        failed(code);
        return nullptr;
    };
    LUCAM_ENTER("LucamCameraOpen", number);
    if (number == 0)
        return failResult(lucamsim::errorNoSuchIndex);
    if (number > simulator.connected.size())
        return failResult(lucamsim::errorCameraNotFound);
    SimCamera* camera = simulator.connected[number - 1];
    if (camera->state.open)
        return failResult(lucamsim::errorAlreadyOpen);
    camera->state.open = true;
    const uintptr_t handle = simulator.nextHandle++;
    simulator.handles[handle] = camera;
    return reinterpret_cast<LucamHandle>(handle);
}

bool LucamCameraClose(LucamHandle handle)
{
    BoolResult failResult;
    LUCAM_ENTER("LucamCameraClose", "");
    const auto it = simulator.handles.find(reinterpret_cast<uintptr_t>(handle));
    if (it == simulator.handles.end())
        return failResult(lucamsim::errorBadParameter);
    SimCamera* camera = it->second;
    simulator.handles.erase(it);
    camera->state.open = false;
    camera->state.fastFrames = false;
    const bool hadCallbacks = !camera->callbacks.empty();
    camera->callbacks.clear();
    if (hadCallbacks)
        simulator.waitDispatch(guard);
    return true;
}

bool LucamCameraReset(LucamHandle handle)
{
    BoolResult failResult;
    LUCAM_ENTER("LucamCameraReset", "");
    LUCAM_CAMERA(handle);
    for (auto& property : camera->cameraSpec.properties)
        property.second.value = property.second.defaultValue;
    camera->state.pixelFormat = camera->cameraSpec.pixelFormat;
    camera->state.hwTrigger = false;
    return true;
}

uint32_t LucamGetLastError()
{
    return lucamsim::lastError;
}

bool LucamGetCameraId(LucamHandle handle, uint32_t* id)
{
    BoolResult failResult;
    LUCAM_ENTER("LucamGetCameraId", "");
    LUCAM_CAMERA(handle);
    if (!id)
        return failResult(lucamsim::errorBadParameter);
    *id = camera->cameraSpec.model;
    return true;
}

bool LucamGetFormat(LucamHandle handle, LucamFrameFormat* format, float* frameRate)
{
    BoolResult failResult;
    LUCAM_ENTER("LucamGetFormat", "");
    LUCAM_CAMERA(handle);
    if (!format)
        return failResult(lucamsim::errorBadParameter);
    *format = LucamFrameFormat{0, 0, camera->cameraSpec.width, camera->cameraSpec.height, camera->state.pixelFormat, 1, 1, 1, 1};
    if (frameRate)
        *frameRate = camera->cameraSpec.frameRates.empty() ? 0.0f : camera->cameraSpec.frameRates.back();
    return true;
}

bool LucamPropertyRange(LucamHandle handle, uint32_t property, float* min, float* max, float* defaultValue,
                        int32_t* flags)
{
    BoolResult failResult;
    LUCAM_ENTER("LucamPropertyRange", property);
    LUCAM_CAMERA(handle);
    const auto it = camera->cameraSpec.properties.find(property);
    if (it == camera->cameraSpec.properties.end())
        return failResult(lucamsim::errorNotSupported);
    if (min)
        *min = it->second.min;
    if (max)
        *max = it->second.max;
    if (defaultValue)
        *defaultValue = it->second.defaultValue;
    if (flags)
        *flags = it->second.flags;
    return true;
}

bool LucamSetProperty(LucamHandle handle, uint32_t property, float value, int32_t flags)
{
    BoolResult failResult;
    LUCAM_ENTER("LucamSetProperty", property, value, flags);
    LUCAM_CAMERA(handle);
    const auto it = camera->cameraSpec.properties.find(property);
    if (it == camera->cameraSpec.properties.end())
        return failResult(lucamsim::errorNotSupported);
    if (std::isnan(value) || value < it->second.min || value > it->second.max)
        return failResult(lucamsim::errorOutOfBounds);
    it->second.value = value;
    it->second.flags = flags;
    return true;
}

bool LucamGetProperty(LucamHandle handle, uint32_t property, float* value, int32_t* flags)
{
    BoolResult failResult;
    LUCAM_ENTER("LucamGetProperty", property);
    LUCAM_CAMERA(handle);
    const auto it = camera->cameraSpec.properties.find(property);
    if (it == camera->cameraSpec.properties.end())
        return failResult(lucamsim::errorNotSupported);
    if (value)
        *value = it->second.value;
    if (flags)
        *flags = it->second.flags;
    return true;
}

bool LucamEnableFastFrames(LucamHandle handle, const LucamSnapshot* settings)
{
    BoolResult failResult;
    LUCAM_ENTER("LucamEnableFastFrames", settings ? settings->useHwTrigger : -1,
                settings ? settings->format.pixelFormat : 0u);
    LUCAM_CAMERA(handle);
    if (!settings)
        return failResult(lucamsim::errorBadParameter);
    if (camera->state.fastFrames)
        return failResult(lucamsim::errorBusy);
    if (settings->format.pixelFormat > 1)
        return failResult(lucamsim::errorInvalidPixelFormat);
    camera->state.snapshot = *settings;
    camera->state.pixelFormat = settings->format.pixelFormat;
    camera->state.hwTrigger = settings->useHwTrigger != 0;
    camera->state.fastFrames = true;
    return true;
}

bool LucamDisableFastFrames(LucamHandle handle)
{
    BoolResult failResult;
    LUCAM_ENTER("LucamDisableFastFrames", "");
    LUCAM_CAMERA(handle);
    camera->state.fastFrames = false;
    return true;
}

bool LucamTakeFastFrame(LucamHandle handle, unsigned char* data)
{
    BoolResult failResult;
    LUCAM_ENTER("LucamTakeFastFrame", "");
    LUCAM_CAMERA(handle);
    if (!data)
        return failResult(lucamsim::errorBadParameter);
    if (!camera->state.fastFrames)
        return failResult(lucamsim::errorNotRunning);
    if (camera->take == lucamsim::TakeState::waiting)
        return failResult(lucamsim::errorBusy);
    camera->take = lucamsim::TakeState::waiting;
    camera->takeBuffer = data;
    if (!camera->state.hwTrigger)
        simulator.queue(camera);
    const float timeout = camera->state.snapshot.timeout > 0 ? camera->state.snapshot.timeout : 3000.0f;
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::microseconds(long(timeout * 1000));
    simulator.changed.wait_until(guard, deadline, [camera] { return camera->take != lucamsim::TakeState::waiting; });
    const lucamsim::TakeState outcome = camera->take;
    camera->take = lucamsim::TakeState::idle;
    camera->takeBuffer = nullptr;
    if (outcome != lucamsim::TakeState::done)
        return failResult(lucamsim::errorTimeout);
    return true;
}

int32_t LucamAddSnapshotCallback(LucamHandle handle, LucamSnapshotCallback callback, void* context)
{
    auto failResult = failedCount;
    LUCAM_ENTER("LucamAddSnapshotCallback", "");
    LUCAM_CAMERA(handle);
    if (!callback)
        return failResult(lucamsim::errorBadParameter);
    const int32_t id = camera->nextCallbackId++;
    camera->callbacks[id] = {callback, context};
    return id;
}

bool LucamRemoveSnapshotCallback(LucamHandle handle, int32_t id)
{
    BoolResult failResult;
    LUCAM_ENTER("LucamRemoveSnapshotCallback", id);
    LUCAM_CAMERA(handle);
    if (camera->callbacks.erase(id) == 0)
        return failResult(lucamsim::errorBadParameter);
    simulator.waitDispatch(guard);
    return true;
}

bool LucamSetTriggerMode(LucamHandle handle, bool useHwTrigger)
{
    BoolResult failResult;
    LUCAM_ENTER("LucamSetTriggerMode", useHwTrigger);
    LUCAM_CAMERA(handle);
    camera->state.hwTrigger = useHwTrigger;
    return true;
}

bool LucamSetupCustomMatrix(LucamHandle handle, const float* matrix)
{
    BoolResult failResult;
    LUCAM_ENTER("LucamSetupCustomMatrix", "");
    LUCAM_CAMERA(handle);
    if (!matrix)
        return failResult(lucamsim::errorBadParameter);
    std::copy(matrix, matrix + 9, camera->state.customMatrix);
    return true;
}

// The simulated conversion: a pixel of value v becomes (v, v / 2, full - v).
bool LucamConvertFrameToRgb24(LucamHandle handle, unsigned char* destination, const unsigned char* source,
                              uint32_t width, uint32_t height, uint32_t pixelFormat,
                              const LucamConversion* conversion)
{
    BoolResult failResult;
    LUCAM_ENTER("LucamConvertFrameToRgb24", width, height, pixelFormat,
                conversion ? conversion->demosaicMethod : 0u, conversion ? conversion->correctionMatrix : 0u);
    LUCAM_CAMERA(handle);
    if (!destination || !source || !conversion)
        return failResult(lucamsim::errorBadParameter);
    if (pixelFormat != 0)
        return failResult(lucamsim::errorInvalidPixelFormat);
    if (width > camera->cameraSpec.width || height > camera->cameraSpec.height)
        return failResult(lucamsim::errorBadTarget);
    for (std::size_t i = 0; i < std::size_t(width) * height; ++i) {
        destination[3 * i] = source[i];
        destination[3 * i + 1] = static_cast<unsigned char>(source[i] / 2);
        destination[3 * i + 2] = static_cast<unsigned char>(255 - source[i]);
    }
    return true;
}

bool LucamConvertFrameToRgb48(LucamHandle handle, uint16_t* destination, const uint16_t* source, uint32_t width,
                              uint32_t height, uint32_t pixelFormat, const LucamConversion* conversion)
{
    BoolResult failResult;
    LUCAM_ENTER("LucamConvertFrameToRgb48", width, height, pixelFormat,
                conversion ? conversion->demosaicMethod : 0u, conversion ? conversion->correctionMatrix : 0u);
    LUCAM_CAMERA(handle);
    if (!destination || !source || !conversion)
        return failResult(lucamsim::errorBadParameter);
    if (pixelFormat != 1)
        return failResult(lucamsim::errorInvalidPixelFormat);
    if (width > camera->cameraSpec.width || height > camera->cameraSpec.height)
        return failResult(lucamsim::errorBadTarget);
    for (std::size_t i = 0; i < std::size_t(width) * height; ++i) {
        uint16_t v;
        std::memcpy(&v, source + i, sizeof v);
        const uint16_t rgb[3] = {v, static_cast<uint16_t>(v / 2), static_cast<uint16_t>(65535 - v)};
        std::memcpy(destination + 3 * i, rgb, sizeof rgb);
    }
    return true;
}

int32_t LucamEnumAvailableFrameRates(LucamHandle handle, uint32_t count, float* rates)
{
    auto failResult = failedCount;
    LUCAM_ENTER("LucamEnumAvailableFrameRates", count);
    LUCAM_CAMERA(handle);
    const std::vector<float>& all = camera->cameraSpec.frameRates;
    if (!rates)
        return static_cast<int32_t>(all.size());
    const std::size_t n = std::min<std::size_t>(count, all.size());
    std::copy(all.begin(), all.begin() + static_cast<std::ptrdiff_t>(n), rates);
    return static_cast<int32_t>(n);
}

bool LucamOneShotAutoWhiteBalance(LucamHandle handle, uint32_t startX, uint32_t startY, uint32_t width,
                                  uint32_t height)
{
    BoolResult failResult;
    LUCAM_ENTER("LucamOneShotAutoWhiteBalance", startX, startY, width, height);
    LUCAM_CAMERA(handle);
    if (width == 0 || height == 0 || startX + width > camera->cameraSpec.width || startY + height > camera->cameraSpec.height)
        return failResult(lucamsim::errorBadTarget);
    return true;
}

bool LucamGpioRead(LucamHandle handle, unsigned char* outputs, unsigned char* inputs)
{
    BoolResult failResult;
    LUCAM_ENTER("LucamGpioRead", "");
    LUCAM_CAMERA(handle);
    if (outputs)
        *outputs = camera->state.gpioOutputs;
    if (inputs)
        *inputs = camera->cameraSpec.gpioInputs;
    return true;
}

bool LucamGpioWrite(LucamHandle handle, unsigned char outputs)
{
    BoolResult failResult;
    LUCAM_ENTER("LucamGpioWrite", unsigned(outputs));
    LUCAM_CAMERA(handle);
    camera->state.gpioOutputs = outputs;
    return true;
}

bool LucamGpioConfigure(LucamHandle handle, unsigned char directions)
{
    BoolResult failResult;
    LUCAM_ENTER("LucamGpioConfigure", unsigned(directions));
    LUCAM_CAMERA(handle);
    camera->state.gpioDirections = directions;
    return true;
}

bool LucamGpoSelect(LucamHandle handle, unsigned char selection)
{
    BoolResult failResult;
    LUCAM_ENTER("LucamGpoSelect", unsigned(selection));
    LUCAM_CAMERA(handle);
    camera->state.gpoSelection = selection;
    return true;
}

}  // extern "C"

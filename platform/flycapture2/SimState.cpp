#include "platform/flycapture2/SimState.h"

#include <boost/property_tree/json_parser.hpp>
#include <boost/property_tree/ptree.hpp>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <map>
#include <stdexcept>
#include <string>

using namespace FlyCapture2;

namespace fc2sim {
namespace {

unsigned int bytesPerPixel(PixelFormat format)
{
    return (format == PIXEL_FORMAT_RGB8 || format == PIXEL_FORMAT_BGR) ? 3 : 1;
}

// Frame size of the fixed video modes the simulation knows; others use the camera's own size.
bool fixedModeSize(int mode, unsigned int& width, unsigned int& height)
{
    static const std::map<int, std::pair<unsigned int, unsigned int>> sizes = {
        {0, {160, 120}},   {1, {320, 240}},   {2, {640, 480}},    {3, {640, 480}},    {4, {640, 480}},
        {5, {640, 480}},   {6, {640, 480}},   {7, {800, 600}},    {8, {800, 600}},    {9, {800, 600}},
        {10, {800, 600}},  {11, {1024, 768}}, {12, {1024, 768}},  {13, {1024, 768}},  {14, {1024, 768}},
        {15, {1280, 960}}, {16, {1280, 960}}, {17, {1280, 960}},  {18, {1280, 960}},  {19, {1600, 1200}},
        {20, {1600, 1200}}, {21, {1600, 1200}}, {22, {1600, 1200}}};
    const auto it = sizes.find(mode);
    if (it == sizes.end())
        return false;
    width = it->second.first;
    height = it->second.second;
    return true;
}

void runCallbacks(SimState* state, CameraState* camera)
{
    std::unique_lock<std::mutex> lock(state->mutex);
    for (;;) {
        state->changed.wait(lock, [&] { return camera->stopThread || !camera->callbackQueue.empty(); });
        if (camera->stopThread)
            return;
        SimFrame frame = std::move(camera->callbackQueue.front());
        camera->callbackQueue.pop_front();
        const ImageEventCallback callback = camera->callback;
        const void* data = camera->callbackData;
        lock.unlock();
        Image image(frame.rows, frame.cols, frame.stride, frame.data.data(),
                    static_cast<unsigned int>(frame.data.size()), frame.format, frame.bayer);
        if (callback)
            callback(&image, data);
        lock.lock();
        ++camera->callbackDelivered;
        state->changed.notify_all();
    }
}

// The value names maps text to; other text throws "unknown <what> "<text>"".
template <typename T>
T fromText(const std::map<std::string, T>& names, const std::string& text, const char* what)
{
    const auto it = names.find(text);
    if (it == names.end())
        throw std::runtime_error(std::string("unknown ") + what + " \"" + text + "\"");
    return it->second;
}

InterfaceType interfaceFromText(const std::string& text)
{
    static const std::map<std::string, InterfaceType> names = {
        {"ieee1394", INTERFACE_IEEE1394}, {"usb2", INTERFACE_USB2}, {"usb3", INTERFACE_USB3},
        {"gige", INTERFACE_GIGE}, {"unknown", INTERFACE_UNKNOWN}};
    return fromText(names, text, "interface");
}

PixelFormat pixelFormatFromText(const std::string& text)
{
    static const std::map<std::string, PixelFormat> names = {
        {"mono8", PIXEL_FORMAT_MONO8}, {"raw8", PIXEL_FORMAT_RAW8}, {"rgb8", PIXEL_FORMAT_RGB8},
        {"bgr", PIXEL_FORMAT_BGR}};
    return fromText(names, text, "pixel format");
}

BayerTileFormat bayerFromText(const std::string& text)
{
    static const std::map<std::string, BayerTileFormat> names = {
        {"none", NONE}, {"RGGB", RGGB}, {"GRBG", GRBG}, {"GBRG", GBRG}, {"BGGR", BGGR}};
    return fromText(names, text, "Bayer tile format");
}

PropertyType propertyFromText(const std::string& text)
{
    static const std::map<std::string, PropertyType> names = {
        {"brightness", BRIGHTNESS}, {"auto_exposure", AUTO_EXPOSURE}, {"sharpness", SHARPNESS},
        {"white_balance", WHITE_BALANCE}, {"hue", HUE}, {"saturation", SATURATION}, {"gamma", GAMMA},
        {"pan", PAN}, {"tilt", TILT}, {"shutter", SHUTTER}, {"gain", GAIN}, {"trigger_delay", TRIGGER_DELAY},
        {"frame_rate", FRAME_RATE}, {"temperature", TEMPERATURE}};
    return fromText(names, text, "property");
}

unsigned int firmwareFromText(const std::string& text)
{
    unsigned int major = 0, minor = 0, revision = 0;
    if (std::sscanf(text.c_str(), "%u.%u.%u", &major, &minor, &revision) != 3 || major > 255 || minor > 255 ||
        revision > 15)
        throw std::runtime_error("bad firmware version \"" + text + "\"");
    return (major << 24) | (minor << 16) | (revision << 12);
}

}  // namespace

SimState SimState::theState;

SimState& SimState::instance()
{
    return theState;
}

SimState::SimState()
{
    const char* file = std::getenv("KESTRUNE_FLYCAPTURE_SIM");
    if (file && *file) {
        try {
            loadCamerasLocked(*this, file);
        } catch (const std::exception& e) {
            std::fprintf(stderr, "KESTRUNE_FLYCAPTURE_SIM %s: %s\n", file, e.what());
        }
    }
}

SimState::~SimState()
{
    std::vector<std::thread> threads;
    {
        std::lock_guard<std::mutex> lock(mutex);
        for (auto& camera : cameras)
            threads.push_back(stopCapture(*camera));
    }
    for (auto& thread : threads)
        if (thread.joinable())
            thread.join();
}

CameraState* SimState::find(unsigned int serial)
{
    for (auto& camera : cameras)
        if (camera->cameraSpec.serial == serial)
            return camera.get();
    return nullptr;
}

void SimState::record(unsigned int serial, const std::string& entry)
{
    log[serial].push_back(entry);
}

std::optional<Error> SimState::injected(unsigned int serial, const std::string& call)
{
    for (auto it = failures.begin(); it != failures.end(); ++it) {
        if (it->call != call || (it->serial != 0 && it->serial != serial))
            continue;
        Error error(it->type, it->description);
        if (--it->count <= 0)
            failures.erase(it);
        return error;
    }
    return std::nullopt;
}

SimFrame SimState::makeFrame(CameraState& camera)
{
    SimFrame frame;
    frame.bayer = camera.cameraSpec.bayer;
    if (camera.cameraSpec.interfaceType == INTERFACE_GIGE) {
        frame.cols = camera.gige.width;
        frame.rows = camera.gige.height;
        frame.format = camera.gige.pixelFormat;
    } else if (camera.format7Active) {
        frame.cols = camera.format7.width;
        frame.rows = camera.format7.height;
        frame.format = camera.format7.pixelFormat;
    } else {
        frame.format = camera.cameraSpec.pixelFormat;
        if (!fixedModeSize(camera.videoMode, frame.cols, frame.rows)) {
            frame.cols = camera.cameraSpec.width;
            frame.rows = camera.cameraSpec.height;
        }
    }
    frame.stride = frame.cols * bytesPerPixel(frame.format);
    const size_t size = size_t(frame.rows) * frame.stride;
    ++camera.frameCounter;
    if (!camera.queuedPixels.empty()) {
        frame.data = std::move(camera.queuedPixels.front());
        camera.queuedPixels.pop_front();
        frame.data.resize(size);
    } else {
        // A numbered pattern: the last rows of any 250 frames in a row differ.
        frame.data.resize(size);
        for (size_t i = 0; i < size; ++i)
            frame.data[i] = static_cast<unsigned char>((i + camera.frameCounter * 3u) % 251u);
    }
    return frame;
}

void SimState::trigger(CameraState& camera)
{
    camera.busyLeft = camera.triggerBusyReads;
    if (!camera.capturing)
        return;
    SimFrame frame = makeFrame(camera);
    if (camera.callback) {
        camera.callbackQueue.push_back(std::move(frame));
    } else {
        camera.pending.push_back(std::move(frame));
        while (camera.pending.size() > std::max(1u, camera.config.numBuffers))
            camera.pending.pop_front();
    }
    changed.notify_all();
}

std::thread SimState::stopCapture(CameraState& camera)
{
    camera.capturing = false;
    camera.captureOwner = nullptr;
    camera.callback = nullptr;
    camera.callbackData = nullptr;
    camera.pending.clear();
    camera.callbackQueue.clear();
    camera.stopThread = true;
    changed.notify_all();
    return std::move(camera.sdkThread);
}

void startCallbackThread(SimState& state, CameraState& camera)
{
    camera.stopThread = false;
    camera.sdkThread = std::thread(runCallbacks, &state, &camera);
}

void addCameraLocked(SimState& state, const CameraSpec& cameraSpec)
{
    if (state.find(cameraSpec.serial))
        throw std::runtime_error("camera " + std::to_string(cameraSpec.serial) + " is already on the bus");
    auto camera = std::make_unique<CameraState>();
    camera->cameraSpec = cameraSpec;
    camera->config.grabTimeout = 5000;
    camera->gige.width = cameraSpec.width;
    camera->gige.height = cameraSpec.height;
    camera->gige.pixelFormat = cameraSpec.pixelFormat;
    state.cameras.push_back(std::move(camera));
}

void loadCamerasLocked(SimState& state, const std::string& jsonPath)
{
    namespace pt = boost::property_tree;
    pt::ptree root;
    pt::read_json(jsonPath, root);
    for (const auto& entry : root.get_child("cameras")) {
        const pt::ptree& c = entry.second;
        const auto interfaceType = interfaceFromText(c.get<std::string>("interface", "usb2"));
        const bool color = c.get<bool>("color", false);
        CameraSpec cameraSpec = defaultCamera(c.get<unsigned int>("serial"), interfaceType, color);
        cameraSpec.model = c.get<std::string>("model", cameraSpec.model);
        cameraSpec.width = c.get<unsigned int>("width", cameraSpec.width);
        cameraSpec.height = c.get<unsigned int>("height", cameraSpec.height);
        if (auto format = c.get_optional<std::string>("pixel_format"))
            cameraSpec.pixelFormat = pixelFormatFromText(*format);
        if (auto bayer = c.get_optional<std::string>("bayer"))
            cameraSpec.bayer = bayerFromText(*bayer);
        if (auto firmware = c.get_optional<std::string>("firmware"))
            cameraSpec.firmwareRegister = firmwareFromText(*firmware);
        cameraSpec.strobe = c.get<bool>("strobe", cameraSpec.strobe);
        cameraSpec.softwareTrigger = c.get<bool>("software_trigger", cameraSpec.softwareTrigger);
        if (auto properties = c.get_child_optional("properties")) {
            for (const auto& p : *properties) {
                const PropertyType type = propertyFromText(p.first);
                if (p.second.get_value<std::string>() == "absent") {
                    cameraSpec.properties.erase(type);
                    continue;
                }
                PropertySpec& property = cameraSpec.properties[type];
                property.absMin = p.second.get<float>("min", property.absMin);
                property.absMax = p.second.get<float>("max", property.absMax);
                property.absValue = p.second.get<float>("value", property.absValue);
                property.onOff = p.second.get<bool>("on", property.onOff);
                property.autoMode = p.second.get<bool>("auto", property.autoMode);
                property.valueA = p.second.get<unsigned int>("value_a", property.valueA);
                property.valueB = p.second.get<unsigned int>("value_b", property.valueB);
                property.min = p.second.get<unsigned int>("int_min", property.min);
                property.max = p.second.get<unsigned int>("int_max", property.max);
            }
        }
        addCameraLocked(state, cameraSpec);
    }
}

// Control API

CameraSpec defaultCamera(unsigned int serial, InterfaceType type, bool color)
{
    CameraSpec cameraSpec;
    cameraSpec.serial = serial;
    cameraSpec.interfaceType = type;
    cameraSpec.color = color;
    cameraSpec.model = color ? "Simulated colour camera" : "Simulated camera";
    cameraSpec.pixelFormat = color ? PIXEL_FORMAT_RAW8 : PIXEL_FORMAT_MONO8;
    cameraSpec.bayer = color ? RGGB : NONE;
    cameraSpec.format7PixelFormats = color ? PIXEL_FORMAT_RAW8 : (PIXEL_FORMAT_MONO8 | PIXEL_FORMAT_RAW8);
    auto& p = cameraSpec.properties;
    p[BRIGHTNESS] = {0.0f, 6.0f, 1.5f, true, false, 0, 0, 0, 255};
    p[AUTO_EXPOSURE] = {-7.0f, 2.4f, 0.5f, false, false, 0, 0, 0, 1023};
    p[SHARPNESS] = {0.0f, 4095.0f, 1024.0f, true, false, 0, 0, 0, 4095};
    p[GAMMA] = {0.5f, 4.0f, 1.0f, false, false, 0, 0, 0, 4095};
    p[SHUTTER] = {0.01f, 66.0f, 10.0f, true, false, 0, 0, 0, 4095};
    p[GAIN] = {0.0f, 24.0f, 2.0f, true, false, 0, 0, 0, 4095};
    p[TRIGGER_DELAY] = {0.0f, 65.0f, 0.0f, false, false, 0, 0, 0, 4095};
    p[FRAME_RATE] = {1.0f, 60.0f, 15.0f, true, false, 0, 0, 0, 4095};
    p[TEMPERATURE] = {0.0f, 0.0f, 0.0f, true, false, 3000, 0, 0, 4095};
    p[PAN] = {0.0f, 0.0f, 0.0f, true, false, 0, 0, 0, 15};
    p[TILT] = {0.0f, 0.0f, 0.0f, true, false, 0, 0, 0, 15};
    if (color) {
        p[HUE] = {-180.0f, 180.0f, 0.0f, false, false, 0, 0, 0, 4095};
        p[SATURATION] = {0.0f, 400.0f, 100.0f, false, false, 0, 0, 0, 4095};
        p[WHITE_BALANCE] = {0.0f, 0.0f, 0.0f, true, false, 480, 760, 0, 1023};
    }
    if (type != INTERFACE_GIGE)
        cameraSpec.videoModes = {{VIDEOMODE_1280x960Y8, {3, 4}}, {5, {3, 4, 5}}};
    return cameraSpec;
}

void reset()
{
    SimState& state = SimState::instance();
    std::vector<std::thread> threads;
    {
        std::lock_guard<std::mutex> lock(state.mutex);
        for (auto& camera : state.cameras)
            threads.push_back(state.stopCapture(*camera));
    }
    for (auto& thread : threads)
        if (thread.joinable())
            thread.join();
    std::lock_guard<std::mutex> lock(state.mutex);
    state.cameras.clear();
    state.failures.clear();
    state.log.clear();
    state.colorProcessing = HQ_LINEAR;
}

void addCamera(const CameraSpec& cameraSpec)
{
    SimState& state = SimState::instance();
    std::lock_guard<std::mutex> lock(state.mutex);
    addCameraLocked(state, cameraSpec);
}

void removeCamera(unsigned int serial)
{
    SimState& state = SimState::instance();
    std::thread thread;
    {
        std::lock_guard<std::mutex> lock(state.mutex);
        CameraState* camera = state.find(serial);
        if (!camera)
            return;
        thread = state.stopCapture(*camera);
    }
    if (thread.joinable())
        thread.join();
    std::lock_guard<std::mutex> lock(state.mutex);
    state.cameras.erase(std::remove_if(state.cameras.begin(), state.cameras.end(),
                                       [&](const auto& c) { return c->cameraSpec.serial == serial; }),
                        state.cameras.end());
}

void loadCameras(const std::string& jsonPath)
{
    SimState& state = SimState::instance();
    std::lock_guard<std::mutex> lock(state.mutex);
    loadCamerasLocked(state, jsonPath);
}

void failNext(unsigned int serial, const std::string& call, ErrorType type, int count, const std::string& description)
{
    SimState& state = SimState::instance();
    std::lock_guard<std::mutex> lock(state.mutex);
    state.failures.push_back({serial, call, type, count, description});
}

namespace {

template <class F>
auto withCamera(unsigned int serial, F f)
{
    SimState& state = SimState::instance();
    std::lock_guard<std::mutex> lock(state.mutex);
    CameraState* camera = state.find(serial);
    if (!camera)
        throw std::runtime_error("no simulated camera " + std::to_string(serial));
    return f(state, *camera);
}

}  // namespace

void queueFrame(unsigned int serial, const std::vector<unsigned char>& pixels)
{
    withCamera(serial, [&](SimState&, CameraState& c) { c.queuedPixels.push_back(pixels); });
}

void dropFrames(unsigned int serial, int count)
{
    withCamera(serial, [&](SimState&, CameraState& c) { c.drops += count; });
}

void corruptFrames(unsigned int serial, int count)
{
    withCamera(serial, [&](SimState&, CameraState& c) { c.corrupts += count; });
}

void pulseHardwareTrigger(unsigned int serial, int count)
{
    withCamera(serial, [&](SimState& state, CameraState& c) {
        state.record(serial, "pulse");
        for (int i = 0; i < count; ++i)
            if (!c.trigger.onOff || c.trigger.source != 7)
                state.trigger(c);
    });
}

bool waitCallbackFrames(unsigned int serial, int count, std::chrono::milliseconds timeout)
{
    SimState& state = SimState::instance();
    std::unique_lock<std::mutex> lock(state.mutex);
    return state.changed.wait_for(lock, timeout, [&] {
        CameraState* camera = state.find(serial);
        return camera && camera->callbackDelivered >= count;
    });
}

void setTriggerBusyReads(unsigned int serial, int reads)
{
    withCamera(serial, [&](SimState&, CameraState& c) { c.triggerBusyReads = c.busyLeft = reads; });
}

void setButtonPressed(unsigned int serial, bool pressed)
{
    withCamera(serial, [&](SimState&, CameraState& c) { c.button = pressed; });
}

void setPropertyValue(unsigned int serial, PropertyType type, float absValue)
{
    withCamera(serial, [&](SimState&, CameraState& c) { c.cameraSpec.properties[type].absValue = absValue; });
}

Property property(unsigned int serial, PropertyType type)
{
    return withCamera(serial, [&](SimState&, CameraState& c) {
        Property p(type);
        const auto it = c.cameraSpec.properties.find(type);
        if (it != c.cameraSpec.properties.end()) {
            p.present = true;
            p.absValue = it->second.absValue;
            p.onOff = it->second.onOff;
            p.autoManualMode = it->second.autoMode;
            p.valueA = it->second.valueA;
            p.valueB = it->second.valueB;
        }
        return p;
    });
}

TriggerMode triggerMode(unsigned int serial)
{
    return withCamera(serial, [&](SimState&, CameraState& c) { return c.trigger; });
}

StrobeControl strobe(unsigned int serial, unsigned int source)
{
    return withCamera(serial, [&](SimState&, CameraState& c) { return c.strobes[source & 3]; });
}

unsigned int registerValue(unsigned int serial, unsigned int address)
{
    return withCamera(serial, [&](SimState&, CameraState& c) {
        const auto it = c.registers.find(address);
        return it == c.registers.end() ? 0u : it->second;
    });
}

FC2Config configuration(unsigned int serial)
{
    return withCamera(serial, [&](SimState&, CameraState& c) { return c.config; });
}

bool isConnected(unsigned int serial)
{
    return withCamera(serial, [&](SimState&, CameraState& c) { return !c.connections.empty(); });
}

bool isCapturing(unsigned int serial)
{
    return withCamera(serial, [&](SimState&, CameraState& c) { return c.capturing; });
}

int busManagerCount()
{
    SimState& state = SimState::instance();
    std::lock_guard<std::mutex> lock(state.mutex);
    return state.busManagers;
}

std::vector<std::string> calls(unsigned int serial)
{
    SimState& state = SimState::instance();
    std::lock_guard<std::mutex> lock(state.mutex);
    const auto it = state.log.find(serial);
    return it == state.log.end() ? std::vector<std::string>() : it->second;
}

void clearCalls()
{
    SimState& state = SimState::instance();
    std::lock_guard<std::mutex> lock(state.mutex);
    state.log.clear();
}

}  // namespace fc2sim

#include "platform/flycapture2/FlyCapture2.h"

#include <algorithm>
#include <cstring>
#include <sstream>

#include "platform/flycapture2/SimState.h"

namespace FlyCapture2 {

using fc2sim::CameraState;
using fc2sim::SimState;

namespace {

const char* const propertyNames[] = {"BRIGHTNESS", "AUTO_EXPOSURE", "SHARPNESS", "WHITE_BALANCE", "HUE",
                                     "SATURATION", "GAMMA", "IRIS", "FOCUS", "ZOOM", "PAN", "TILT", "SHUTTER",
                                     "GAIN", "TRIGGER_MODE", "TRIGGER_DELAY", "FRAME_RATE", "TEMPERATURE"};

std::string propertyName(PropertyType type)
{
    return type >= 0 && type < UNSPECIFIED_PROPERTY_TYPE ? propertyNames[type] : std::to_string(int(type));
}

template <class... Args>
std::string text(const Args&... args)
{
    std::ostringstream out;
    (out << ... << args);
    return out.str();
}

Error notConnected()
{
    return Error(PGRERROR_NOT_CONNECTED, "Camera not connected.");
}

// The camera that this object holds a connection to, or null.
CameraState* connectedCamera(SimState& state, const CameraBase* self, unsigned int serial)
{
    CameraState* camera = serial ? state.find(serial) : nullptr;
    return camera && camera->connections.count(self) ? camera : nullptr;
}

// Ends this object's connection; a capture it started stops, and its SDK thread is handed back for joining.
std::thread dropConnection(SimState& state, CameraState& camera, const CameraBase* self)
{
    camera.connections.erase(self);
    return camera.captureOwner == self ? state.stopCapture(camera) : std::thread();
}

// One SDK call on the camera this object is connected to: logs it, applies an injected failure, else runs
// body(state, camera, lock).
template <class Body>
Error cameraCall(const CameraBase* self, unsigned int serial, const char* name, const std::string& arguments,
                 Body body)
{
    SimState& state = SimState::instance();
    std::unique_lock<std::mutex> lock(state.mutex);
    state.record(serial, arguments.empty() ? std::string(name) : std::string(name) + " " + arguments);
    CameraState* camera = connectedCamera(state, self, serial);
    if (!camera)
        return notConnected();
    if (auto error = state.injected(serial, name))
        return *error;
    return body(state, *camera, lock);
}

bool isRgb(PixelFormat format)
{
    return format == PIXEL_FORMAT_RGB8 || format == PIXEL_FORMAT_BGR;
}

}  // namespace

// Image

Image::Image() = default;

Image::Image(unsigned int rows, unsigned int cols, unsigned int stride, unsigned char* data, unsigned int dataSize,
             PixelFormat format, BayerTileFormat bayerFormat)
    : rows_(rows), cols_(cols), stride_(stride), format_(format), bayer_(bayerFormat), external_(data),
      dataSize_(dataSize)
{
}

Image::Image(const Image& other)
{
    DeepCopy(&other);
}

Image& Image::operator=(const Image& other)
{
    if (this != &other)
        DeepCopy(&other);
    return *this;
}

Image::~Image() = default;

bool Image::reserve(unsigned int size)
{
    if (external_)
        return size <= dataSize_;
    owned_.resize(size);
    dataSize_ = size;
    return true;
}

Error Image::SetDimensions(unsigned int rows, unsigned int cols, unsigned int stride, PixelFormat format,
                           BayerTileFormat bayerFormat)
{
    if (!reserve(rows * stride))
        return Error(PGRERROR_INVALID_PARAMETER, "Image buffer too small.");
    rows_ = rows;
    cols_ = cols;
    stride_ = stride;
    format_ = format;
    bayer_ = bayerFormat;
    return Error();
}

Error Image::DeepCopy(const Image* source)
{
    if (!source)
        return Error(PGRERROR_INVALID_PARAMETER, "Null image.");
    external_ = nullptr;
    const unsigned int size = source->rows_ * source->stride_;
    owned_.assign(source->GetData(), source->GetData() + size);
    dataSize_ = size;
    rows_ = source->rows_;
    cols_ = source->cols_;
    stride_ = source->stride_;
    format_ = source->format_;
    bayer_ = source->bayer_;
    return Error();
}

unsigned char* Image::GetData() const
{
    return external_ ? external_ : const_cast<unsigned char*>(owned_.data());
}

void Image::GetDimensions(unsigned int* rows, unsigned int* cols, unsigned int* stride, PixelFormat* format,
                          BayerTileFormat* bayerFormat) const
{
    if (rows) *rows = rows_;
    if (cols) *cols = cols_;
    if (stride) *stride = stride_;
    if (format) *format = format_;
    if (bayerFormat) *bayerFormat = bayer_;
}

// RAW8 to BGR by taking each 2 x 2 Bayer cell's red, mean green and blue for all four of its pixels.
Error Image::Convert(PixelFormat format, Image* destination) const
{
    {
        SimState& state = SimState::instance();
        std::lock_guard<std::mutex> lock(state.mutex);
        state.record(0, text("Convert ", std::hex, unsigned(format_), " ", unsigned(format), std::dec, " bayer=",
                             int(bayer_)));
        if (auto error = state.injected(0, "Convert"))
            return *error;
    }
    if (!destination || format != PIXEL_FORMAT_BGR || format_ != PIXEL_FORMAT_RAW8 || bayer_ < RGGB ||
        bayer_ > BGGR || rows_ == 0 || cols_ == 0)
        return Error(PGRERROR_INVALID_PARAMETER, "Conversion not supported.");
    if (destination->SetDimensions(rows_, cols_, cols_ * 3, PIXEL_FORMAT_BGR, NONE).GetType() != PGRERROR_OK)
        return Error(PGRERROR_INVALID_PARAMETER, "Destination buffer too small.");
    // colour of the pixel at (row parity, column parity): 0 red, 1 green, 2 blue
    static const int layouts[4][4] = {{0, 1, 1, 2}, {1, 0, 2, 1}, {1, 2, 0, 1}, {2, 1, 1, 0}};
    const int* layout = layouts[bayer_ - 1];
    const unsigned char* in = GetData();
    unsigned char* out = destination->GetData();
    for (unsigned int y = 0; y < rows_; y += 2) {
        for (unsigned int x = 0; x < cols_; x += 2) {
            int sum[3] = {0, 0, 0}, n[3] = {0, 0, 0};
            for (unsigned int dy = 0; dy < 2 && y + dy < rows_; ++dy)
                for (unsigned int dx = 0; dx < 2 && x + dx < cols_; ++dx) {
                    const int colour = layout[dy * 2 + dx];
                    sum[colour] += in[(y + dy) * stride_ + x + dx];
                    ++n[colour];
                }
            unsigned char bgr[3];
            for (int c = 0; c < 3; ++c)
                bgr[2 - c] = static_cast<unsigned char>(n[c] ? sum[c] / n[c] : 0);
            for (unsigned int dy = 0; dy < 2 && y + dy < rows_; ++dy)
                for (unsigned int dx = 0; dx < 2 && x + dx < cols_; ++dx)
                    std::memcpy(out + (y + dy) * cols_ * 3 + (x + dx) * 3, bgr, 3);
        }
    }
    return Error();
}

Error Image::SetDefaultColorProcessing(ColorProcessingAlgorithm algorithm)
{
    SimState& state = SimState::instance();
    std::lock_guard<std::mutex> lock(state.mutex);
    state.record(0, text("SetDefaultColorProcessing ", int(algorithm)));
    if (auto error = state.injected(0, "SetDefaultColorProcessing"))
        return *error;
    state.colorProcessing = algorithm;
    return Error();
}

ColorProcessingAlgorithm Image::GetDefaultColorProcessing()
{
    SimState& state = SimState::instance();
    std::lock_guard<std::mutex> lock(state.mutex);
    return state.colorProcessing;
}

// BusManager

BusManager::BusManager()
{
    SimState& state = SimState::instance();
    std::lock_guard<std::mutex> lock(state.mutex);
    ++state.busManagers;
}

BusManager::~BusManager()
{
    SimState& state = SimState::instance();
    std::lock_guard<std::mutex> lock(state.mutex);
    --state.busManagers;
}

Error BusManager::GetNumOfCameras(unsigned int* count)
{
    SimState& state = SimState::instance();
    std::lock_guard<std::mutex> lock(state.mutex);
    state.record(0, "GetNumOfCameras");
    if (auto error = state.injected(0, "GetNumOfCameras"))
        return *error;
    *count = static_cast<unsigned int>(state.cameras.size());
    return Error();
}

Error BusManager::GetCameraFromIndex(unsigned int index, PGRGuid* guid)
{
    unsigned int serial = 0;
    Error error = GetCameraSerialNumberFromIndex(index, &serial);
    if (error.GetType() == PGRERROR_OK)
        *guid = PGRGuid{{serial, 0x5157, 0, 0}};
    return error;
}

Error BusManager::GetCameraFromSerialNumber(unsigned int serial, PGRGuid* guid)
{
    SimState& state = SimState::instance();
    std::lock_guard<std::mutex> lock(state.mutex);
    state.record(0, text("GetCameraFromSerialNumber ", serial));
    if (auto error = state.injected(serial, "GetCameraFromSerialNumber"))
        return *error;
    if (!state.find(serial))
        return Error(PGRERROR_NOT_FOUND, "Camera with the given serial number not found.");
    *guid = PGRGuid{{serial, 0x5157, 0, 0}};
    return Error();
}

Error BusManager::GetCameraSerialNumberFromIndex(unsigned int index, unsigned int* serial)
{
    SimState& state = SimState::instance();
    std::lock_guard<std::mutex> lock(state.mutex);
    state.record(0, text("GetCameraSerialNumberFromIndex ", index));
    if (auto error = state.injected(0, "GetCameraSerialNumberFromIndex"))
        return *error;
    if (index >= state.cameras.size())
        return Error(PGRERROR_NOT_FOUND, "Camera index out of range.");
    *serial = state.cameras[index]->cameraSpec.serial;
    return Error();
}

Error BusManager::RescanBus()
{
    SimState& state = SimState::instance();
    std::lock_guard<std::mutex> lock(state.mutex);
    state.record(0, "RescanBus");
    if (auto error = state.injected(0, "RescanBus"))
        return *error;
    return Error();
}

Error BusManager::ForceAllIPAddressesAutomatically()
{
    SimState& state = SimState::instance();
    std::lock_guard<std::mutex> lock(state.mutex);
    state.record(0, "ForceAllIPAddressesAutomatically");
    if (auto error = state.injected(0, "ForceAllIPAddressesAutomatically"))
        return *error;
    return Error();
}

// CameraBase

CameraBase::CameraBase() = default;

CameraBase::~CameraBase()
{
    if (serial_)
        Disconnect();
}

Error CameraBase::Connect(PGRGuid* guid)
{
    SimState& state = SimState::instance();
    std::thread thread;
    Error result;
    {
        std::lock_guard<std::mutex> lock(state.mutex);
        const unsigned int serial =
            guid ? guid->value[0] : (state.cameras.empty() ? 0 : state.cameras[0]->cameraSpec.serial);
        state.record(serial, "Connect");
        CameraState* camera = state.find(serial);
        if (auto error = state.injected(serial, "Connect")) {
            result = *error;
        } else if (!camera) {
            result = Error(PGRERROR_NOT_FOUND, "Camera not found.");
        } else {
            // an object connects to one camera at a time
            if (CameraState* previous = connectedCamera(state, this, serial_); previous && previous != camera)
                thread = dropConnection(state, *previous, this);
            camera->connections.insert(this);
            serial_ = serial;
        }
    }
    if (thread.joinable())
        thread.join();
    return result;
}

Error CameraBase::Disconnect()
{
    SimState& state = SimState::instance();
    std::thread thread;
    {
        std::lock_guard<std::mutex> lock(state.mutex);
        state.record(serial_, "Disconnect");
        CameraState* camera = connectedCamera(state, this, serial_);
        serial_ = 0;
        if (!camera)
            return notConnected();
        thread = dropConnection(state, *camera, this);
    }
    if (thread.joinable())
        thread.join();
    return Error();
}

bool CameraBase::IsConnected()
{
    SimState& state = SimState::instance();
    std::lock_guard<std::mutex> lock(state.mutex);
    return connectedCamera(state, this, serial_) != nullptr;
}

Error CameraBase::StartCapture(ImageEventCallback callback, const void* callbackData)
{
    return cameraCall(this, serial_, "StartCapture", callback ? "callback" : "",
                      [&](SimState& state, CameraState& c, auto&) {
        if (c.capturing)
            return Error(PGRERROR_FAILED, "Isochronous transfer already started.");
        c.capturing = true;
        c.captureOwner = this;
        c.callback = callback;
        c.callbackData = callbackData;
        if (callback)
            fc2sim::startCallbackThread(state, c);
        return Error();
    });
}

Error CameraBase::StopCapture()
{
    std::thread thread;
    Error error = cameraCall(this, serial_, "StopCapture", "", [&](SimState& state, CameraState& c, auto&) {
        if (!c.capturing || c.captureOwner != this)
            return Error(PGRERROR_ISOCH_NOT_STARTED, "Isochronous transfer not started.");
        thread = state.stopCapture(c);
        return Error();
    });
    if (thread.joinable())
        thread.join();
    return error;
}

Error CameraBase::RetrieveBuffer(Image* image)
{
    return cameraCall(this, serial_, "RetrieveBuffer", "", [&](SimState& state, CameraState& c, auto& lock) {
        if (!c.capturing || c.captureOwner != this)
            return Error(PGRERROR_ISOCH_NOT_STARTED, "Isochronous transfer not started.");
        if (c.drops > 0 || c.corrupts > 0) {
            const bool drop = c.drops > 0;
            (drop ? c.drops : c.corrupts) -= 1;
            if (!c.pending.empty())
                c.pending.pop_front();
            return drop ? Error(PGRERROR_TIMEOUT, "Timeout error.")
                        : Error(PGRERROR_IMAGE_CONSISTENCY_ERROR, "Image consistency error.");
        }
        const auto timeout = std::chrono::milliseconds(c.config.grabTimeout < 0 ? 60000 : c.config.grabTimeout);
        const unsigned int serial = c.cameraSpec.serial;
        const bool arrived = state.changed.wait_for(lock, timeout, [&] {
            CameraState* camera = state.find(serial);
            return !camera || camera->captureOwner != this || !camera->pending.empty();
        });
        CameraState* camera = state.find(serial);
        if (!camera || camera->captureOwner != this)
            return Error(PGRERROR_ISOCH_NOT_STARTED, "Isochronous transfer stopped.");
        if (!arrived)
            return Error(PGRERROR_TIMEOUT, "Timeout error.");
        fc2sim::SimFrame frame = std::move(camera->pending.front());
        camera->pending.pop_front();
        Error error = image->SetDimensions(frame.rows, frame.cols, frame.stride, frame.format, frame.bayer);
        if (error.GetType() == PGRERROR_OK)
            std::memcpy(image->GetData(), frame.data.data(), frame.data.size());
        return error;
    });
}

Error CameraBase::FireSoftwareTrigger(bool)
{
    return cameraCall(this, serial_, "FireSoftwareTrigger", "", [&](SimState& state, CameraState& c, auto&) {
        if (!c.trigger.onOff || c.trigger.source != 7)
            return Error(PGRERROR_FAILED, "Software trigger not selected.");
        state.trigger(c);
        return Error();
    });
}

Error CameraBase::ReadRegister(unsigned int address, unsigned int* value)
{
    return cameraCall(this, serial_, "ReadRegister", text(std::hex, address), [&](SimState&, CameraState& c, auto&) {
        switch (address) {
        case 0x530: *value = c.cameraSpec.softwareTrigger ? (1u << 16) : 0u; break;
        case 0x62C:
            *value = c.busyLeft != 0 ? 0x80000000u : 0u;
            if (c.busyLeft > 0)
                --c.busyLeft;
            break;
        case 0x1F60: *value = c.cameraSpec.firmwareRegister; break;
        case 0x11F4: *value = c.button ? 0x80000000u : 0u; break;
        case 0x610:
            *value = c.registers[0x610];
            if (c.powerUpLeft > 0) {
                --c.powerUpLeft;
                *value &= ~0x80000000u;
            }
            break;
        default: *value = c.registers[address];
        }
        return Error();
    });
}

Error CameraBase::WriteRegister(unsigned int address, unsigned int value, bool)
{
    return cameraCall(this, serial_, "WriteRegister", text(std::hex, address, " ", value),
                      [&](SimState& state, CameraState& c, auto&) {
                          if (address == 0x62C) {
                              if (value & 0x80000000u)
                                  state.trigger(c);
                              return Error();
                          }
                          if (address == 0x610 && (value & 0x80000000u))
                              c.powerUpLeft = c.cameraSpec.powerUpReads;
                          c.registers[address] = value;
                          return Error();
                      });
}

Error CameraBase::GetCameraInfo(CameraInfo* info)
{
    return cameraCall(this, serial_, "GetCameraInfo", "", [&](SimState&, CameraState& c, auto&) {
        *info = CameraInfo();
        info->serialNumber = c.cameraSpec.serial;
        info->interfaceType = c.cameraSpec.interfaceType;
        info->isColorCamera = c.cameraSpec.color;
        std::strncpy(info->modelName, c.cameraSpec.model.c_str(), sizeof(info->modelName) - 1);
        std::strncpy(info->vendorName, "Simulated", sizeof(info->vendorName) - 1);
        info->bayerTileFormat = c.cameraSpec.bayer;
        return Error();
    });
}

Error CameraBase::GetProperty(Property* property)
{
    return cameraCall(this, serial_, "GetProperty", propertyName(property->type),
                      [&](SimState&, CameraState& c, auto&) {
        const auto it = c.cameraSpec.properties.find(property->type);
        if (it == c.cameraSpec.properties.end())
            return Error(PGRERROR_PROPERTY_NOT_PRESENT, "Property not present.");
        property->present = true;
        property->onOff = it->second.onOff;
        property->autoManualMode = it->second.autoMode;
        property->valueA = it->second.valueA;
        property->valueB = it->second.valueB;
        property->absValue = it->second.absValue;
        return Error();
    });
}

Error CameraBase::SetProperty(const Property* p, bool)
{
    const std::string arguments = text(propertyName(p->type), " absControl=", p->absControl, " on=", p->onOff,
                                       " auto=", p->autoManualMode, " abs=", p->absValue, " a=", p->valueA,
                                       " b=", p->valueB);
    return cameraCall(this, serial_, "SetProperty", arguments, [&](SimState&, CameraState& c, auto&) {
        const auto it = c.cameraSpec.properties.find(p->type);
        if (it == c.cameraSpec.properties.end())
            return Error(PGRERROR_PROPERTY_NOT_PRESENT, "Property not present.");
        it->second.onOff = p->onOff;
        it->second.autoMode = p->autoManualMode;
        if (p->absControl) {
            it->second.absValue = p->absValue;
        } else {
            it->second.valueA = p->valueA;
            it->second.valueB = p->valueB;
        }
        return Error();
    });
}

Error CameraBase::GetPropertyInfo(PropertyInfo* info)
{
    return cameraCall(this, serial_, "GetPropertyInfo", propertyName(info->type),
                      [&](SimState&, CameraState& c, auto&) {
        const auto it = c.cameraSpec.properties.find(info->type);
        if (it == c.cameraSpec.properties.end())
            return Error(PGRERROR_PROPERTY_NOT_PRESENT, "Property not present.");
        info->present = true;
        info->absValSupported = true;
        info->onOffSupported = info->autoSupported = info->manualSupported = true;
        info->absMin = it->second.absMin;
        info->absMax = it->second.absMax;
        info->min = it->second.min;
        info->max = it->second.max;
        return Error();
    });
}

Error CameraBase::GetTriggerMode(TriggerMode* mode)
{
    return cameraCall(this, serial_, "GetTriggerMode", "", [&](SimState&, CameraState& c, auto&) {
        *mode = c.trigger;
        return Error();
    });
}

Error CameraBase::SetTriggerMode(const TriggerMode* mode, bool)
{
    return cameraCall(this, serial_, "SetTriggerMode",
                      text("on=", mode->onOff, " polarity=", mode->polarity, " source=", mode->source,
                           " mode=", mode->mode, " parameter=", mode->parameter),
                      [&](SimState&, CameraState& c, auto&) {
                          c.trigger = *mode;
                          return Error();
                      });
}

Error CameraBase::GetStrobe(StrobeControl* strobe)
{
    return cameraCall(this, serial_, "GetStrobe", text(strobe->source), [&](SimState&, CameraState& c, auto&) {
        if (strobe->source > 3)
            return Error(PGRERROR_INVALID_PARAMETER, "Invalid strobe source.");
        *strobe = c.strobes[strobe->source];
        return Error();
    });
}

Error CameraBase::SetStrobe(const StrobeControl* strobe, bool)
{
    return cameraCall(this, serial_, "SetStrobe",
                      text(strobe->source, " on=", strobe->onOff, " polarity=", strobe->polarity,
                           " delay=", strobe->delay, " duration=", strobe->duration),
                      [&](SimState&, CameraState& c, auto&) {
                          if (strobe->source > 3)
                              return Error(PGRERROR_INVALID_PARAMETER, "Invalid strobe source.");
                          c.strobes[strobe->source] = *strobe;
                          return Error();
                      });
}

Error CameraBase::GetStrobeInfo(StrobeInfo* info)
{
    return cameraCall(this, serial_, "GetStrobeInfo", text(info->source), [&](SimState&, CameraState& c, auto&) {
        info->present = c.cameraSpec.strobe && info->source <= 3;
        info->onOffSupported = info->polaritySupported = info->readOutSupported = info->present;
        info->maxValue = info->present ? 100.0f : 0.0f;
        return Error();
    });
}

Error CameraBase::GetConfiguration(FC2Config* config)
{
    return cameraCall(this, serial_, "GetConfiguration", "", [&](SimState&, CameraState& c, auto&) {
        *config = c.config;
        return Error();
    });
}

Error CameraBase::SetConfiguration(const FC2Config* config)
{
    return cameraCall(this, serial_, "SetConfiguration", text("grabTimeout=", config->grabTimeout),
                      [&](SimState&, CameraState& c, auto&) {
                          c.config = *config;
                          return Error();
                      });
}

Error CameraBase::SetGPIOPinDirection(unsigned int pin, unsigned int direction, bool)
{
    return cameraCall(this, serial_, "SetGPIOPinDirection", text(pin, " ", direction),
                      [&](SimState&, CameraState&, auto&) {
        return pin > 3 ? Error(PGRERROR_INVALID_PARAMETER, "Invalid pin.") : Error();
    });
}

// Camera

Error Camera::GetVideoModeAndFrameRateInfo(VideoMode mode, FrameRate rate, bool* supported)
{
    return cameraCall(this, serial_, "GetVideoModeAndFrameRateInfo", text(int(mode), " ", int(rate)),
                      [&](SimState&, CameraState& c, auto&) {
                          *supported = false;
                          for (const auto& m : c.cameraSpec.videoModes)
                              if (m.mode == mode)
                                  *supported = std::find(m.frameRates.begin(), m.frameRates.end(), int(rate)) !=
                                               m.frameRates.end();
                          return Error();
                      });
}

Error Camera::SetVideoModeAndFrameRate(VideoMode mode, FrameRate rate)
{
    return cameraCall(this, serial_, "SetVideoModeAndFrameRate", text(int(mode), " ", int(rate)),
                      [&](SimState&, CameraState& c, auto&) {
                          for (const auto& m : c.cameraSpec.videoModes)
                              if (m.mode == mode &&
                                  std::find(m.frameRates.begin(), m.frameRates.end(), int(rate)) != m.frameRates.end()) {
                                  c.videoMode = mode;
                                  c.frameRate = rate;
                                  c.format7Active = false;
                                  return Error();
                              }
                          return Error(PGRERROR_INVALID_PARAMETER, "Video mode and frame rate not supported.");
                      });
}

Error Camera::GetFormat7Info(Format7Info* info, bool* supported)
{
    return cameraCall(this, serial_, "GetFormat7Info", text(int(info->mode)), [&](SimState&, CameraState& c, auto&) {
        *supported = c.cameraSpec.format7 && info->mode == MODE_0;
        if (*supported) {
            info->maxWidth = c.cameraSpec.format7MaxWidth;
            info->maxHeight = c.cameraSpec.format7MaxHeight;
            info->pixelFormatBitField = c.cameraSpec.format7PixelFormats;
            info->maxPacketSize = c.cameraSpec.packetMaxBytes;
            info->minPacketSize = c.cameraSpec.packetUnitBytes;
        }
        return Error();
    });
}

Error Camera::ValidateFormat7Settings(const Format7ImageSettings* s, bool* valid, Format7PacketInfo* packetInfo)
{
    return cameraCall(this, serial_, "ValidateFormat7Settings",
                      text(s->offsetX, " ", s->offsetY, " ", s->width, " ", s->height, " ", std::hex,
                           unsigned(s->pixelFormat)),
                      [&](SimState&, CameraState& c, auto&) {
                          *valid = c.cameraSpec.format7 && s->width > 0 && s->height > 0 &&
                                   s->offsetX + s->width <= c.cameraSpec.format7MaxWidth &&
                                   s->offsetY + s->height <= c.cameraSpec.format7MaxHeight &&
                                   (c.cameraSpec.format7PixelFormats & s->pixelFormat) == s->pixelFormat;
                          packetInfo->unitBytesPerPacket = c.cameraSpec.packetUnitBytes;
                          packetInfo->maxBytesPerPacket = c.cameraSpec.packetMaxBytes;
                          packetInfo->recommendedBytesPerPacket = c.cameraSpec.packetMaxBytes;
                          return Error();
                      });
}

Error Camera::SetFormat7Configuration(const Format7ImageSettings* s, unsigned int packetSize)
{
    return cameraCall(this, serial_, "SetFormat7Configuration",
                      text(s->offsetX, " ", s->offsetY, " ", s->width, " ", s->height, " ", std::hex,
                           unsigned(s->pixelFormat), std::dec, " packet=", packetSize),
                      [&](SimState&, CameraState& c, auto&) {
                          if (packetSize == 0 || packetSize > c.cameraSpec.packetMaxBytes)
                              return Error(PGRERROR_INVALID_PARAMETER, "Invalid packet size.");
                          c.format7 = *s;
                          c.format7PacketSize = packetSize;
                          c.format7Active = true;
                          return Error();
                      });
}

// GigECamera

Error GigECamera::ReadGVCPRegister(unsigned int address, unsigned int* value)
{
    return cameraCall(this, serial_, "ReadGVCPRegister", text(std::hex, address),
                      [&](SimState&, CameraState& c, auto&) {
        *value = c.gvcpRegisters[address];
        return Error();
    });
}

Error GigECamera::WriteGVCPRegister(unsigned int address, unsigned int value, bool)
{
    return cameraCall(this, serial_, "WriteGVCPRegister", text(std::hex, address, " ", value),
                      [&](SimState&, CameraState& c, auto&) {
                          c.gvcpRegisters[address] = value;
                          return Error();
                      });
}

Error GigECamera::DiscoverGigEPacketSize(unsigned int* packetSize)
{
    return cameraCall(this, serial_, "DiscoverGigEPacketSize", "", [&](SimState&, CameraState& c, auto&) {
        if (c.cameraSpec.discoveredPacketSize == 0)
            return Error(PGRERROR_FAILED, "Packet size discovery failed.");
        *packetSize = c.cameraSpec.discoveredPacketSize;
        return Error();
    });
}

Error GigECamera::SetGigEProperty(const GigEProperty* property)
{
    return cameraCall(this, serial_, "SetGigEProperty", text(int(property->propType), " ", property->value),
                      [&](SimState&, CameraState& c, auto&) {
                          c.gigeProperties[property->propType] = property->value;
                          return Error();
                      });
}

Error GigECamera::SetGigEImagingMode(Mode mode)
{
    return cameraCall(this, serial_, "SetGigEImagingMode", text(int(mode)), [&](SimState&, CameraState& c, auto&) {
        c.imagingMode = mode;
        return Error();
    });
}

Error GigECamera::GetGigEImageSettings(GigEImageSettings* settings)
{
    return cameraCall(this, serial_, "GetGigEImageSettings", "", [&](SimState&, CameraState& c, auto&) {
        *settings = c.gige;
        return Error();
    });
}

Error GigECamera::SetGigEImageSettings(const GigEImageSettings* s)
{
    return cameraCall(this, serial_, "SetGigEImageSettings",
                      text(s->offsetX, " ", s->offsetY, " ", s->width, " ", s->height, " ", std::hex,
                           unsigned(s->pixelFormat)),
                      [&](SimState&, CameraState& c, auto&) {
                          if (s->width == 0 || s->height == 0 || isRgb(s->pixelFormat))
                              return Error(PGRERROR_INVALID_PARAMETER, "Invalid image settings.");
                          c.gige = *s;
                          return Error();
                      });
}

}  // namespace FlyCapture2

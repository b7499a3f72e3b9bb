#pragma once
// A simulated FlyCapture2 SDK: the classes, structures and calls that pgGrabber uses, with the behaviour it
// expects of them. Cameras come from the file named in KESTRUNE_FLYCAPTURE_SIM and from the control API in
// FlyCapture2Sim.h; every process that loads this library sees one simulated bus.
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#define FC2_API __attribute__((visibility("default")))

namespace FlyCapture2 {

enum ErrorType {
    PGRERROR_UNDEFINED = -1,
    PGRERROR_OK = 0,
    PGRERROR_FAILED = 1,
    PGRERROR_NOT_IMPLEMENTED = 2,
    PGRERROR_NOT_CONNECTED = 5,
    PGRERROR_INVALID_PARAMETER = 7,
    PGRERROR_NOT_FOUND = 12,
    PGRERROR_TIMEOUT = 18,
    PGRERROR_PROPERTY_FAILED = 25,
    PGRERROR_PROPERTY_NOT_PRESENT = 26,
    PGRERROR_ISOCH_NOT_STARTED = 33,
    PGRERROR_IMAGE_CONSISTENCY_ERROR = 41,
};

class FC2_API Error {
public:
    Error() = default;
    Error(ErrorType type, std::string description) : type_(type), description_(std::move(description)) {}
    ErrorType GetType() const { return type_; }
    const char* GetDescription() const { return description_.c_str(); }
    bool operator==(ErrorType type) const { return type_ == type; }
    bool operator!=(ErrorType type) const { return type_ != type; }

private:
    ErrorType type_ = PGRERROR_OK;
    std::string description_ = "Ok.";
};

struct PGRGuid {
    unsigned int value[4] = {0, 0, 0, 0};
};

enum InterfaceType {
    INTERFACE_IEEE1394 = 0,
    INTERFACE_USB2 = 1,
    INTERFACE_USB3 = 2,
    INTERFACE_GIGE = 3,
    INTERFACE_UNKNOWN = 4,
};

enum PropertyType {
    BRIGHTNESS = 0,
    AUTO_EXPOSURE = 1,
    SHARPNESS = 2,
    WHITE_BALANCE = 3,
    HUE = 4,
    SATURATION = 5,
    GAMMA = 6,
    IRIS = 7,
    FOCUS = 8,
    ZOOM = 9,
    PAN = 10,
    TILT = 11,
    SHUTTER = 12,
    GAIN = 13,
    TRIGGER_MODE = 14,
    TRIGGER_DELAY = 15,
    FRAME_RATE = 16,
    TEMPERATURE = 17,
    UNSPECIFIED_PROPERTY_TYPE = 18,
};

enum PixelFormat : unsigned int {
    PIXEL_FORMAT_MONO8 = 0x80000000u,
    PIXEL_FORMAT_RAW8 = 0x00400000u,
    PIXEL_FORMAT_RGB8 = 0x08000000u,
    PIXEL_FORMAT_BGR = 0x80000008u,
    UNSPECIFIED_PIXEL_FORMAT = 0,
};

enum BayerTileFormat { NONE = 0, RGGB = 1, GRBG = 2, GBRG = 3, BGGR = 4, BT_FORCE_32BITS = 0x7FFFFFFF };

enum ColorProcessingAlgorithm {
    DEFAULT = 0,
    NO_COLOR_PROCESSING = 1,
    NEAREST_NEIGHBOR = 2,
    EDGE_SENSING = 3,
    HQ_LINEAR = 4,
    RIGOROUS = 5,
    COLOR_PROCESSING_ALGORITHM_FORCE_32BITS = 0x7FFFFFFF,
};

enum VideoMode {
    VIDEOMODE_160x120YUV444 = 0,
    VIDEOMODE_1280x960Y8 = 17,
    VIDEOMODE_FORMAT7 = 23,
    NUM_VIDEOMODES = 24,
    VIDEOMODE_FORCE_32BITS = 0x7FFFFFFF,
};

enum FrameRate {
    FRAMERATE_1_875 = 0,
    FRAMERATE_15 = 3,
    FRAMERATE_240 = 7,
    FRAMERATE_FORMAT7 = 8,
    NUM_FRAMERATES = 9,
    FRAMERATE_FORCE_32BITS = 0x7FFFFFFF,
};

enum Mode { MODE_0 = 0, MODE_1, MODE_2, MODE_3, MODE_4, MODE_5, MODE_6, MODE_7, NUM_MODES = 32 };

enum GigEPropertyType { HEARTBEAT = 0, HEARTBEAT_TIMEOUT = 1, PACKET_SIZE = 2, PACKET_DELAY = 3 };

struct Property {
    PropertyType type = UNSPECIFIED_PROPERTY_TYPE;
    bool present = false;
    bool absControl = false;
    bool onePush = false;
    bool onOff = false;
    bool autoManualMode = false;
    unsigned int valueA = 0;
    unsigned int valueB = 0;
    float absValue = 0.0f;
    unsigned int reserved[8] = {};
    Property() = default;
    explicit Property(PropertyType t) : type(t) {}
};

struct PropertyInfo {
    PropertyType type = UNSPECIFIED_PROPERTY_TYPE;
    bool present = false;
    bool autoSupported = false;
    bool manualSupported = false;
    bool onOffSupported = false;
    bool onePushSupported = false;
    bool absValSupported = false;
    bool readOutSupported = false;
    unsigned int min = 0;
    unsigned int max = 0;
    float absMin = 0.0f;
    float absMax = 0.0f;
    char pUnits[512] = {};
    char pUnitAbbr[512] = {};
    unsigned int reserved[8] = {};
    PropertyInfo() = default;
    explicit PropertyInfo(PropertyType t) : type(t) {}
};

struct TriggerMode {
    bool onOff = false;
    unsigned int polarity = 0;
    unsigned int source = 0;
    unsigned int mode = 0;
    unsigned int parameter = 0;
    unsigned int reserved[8] = {};
};

struct StrobeControl {
    unsigned int source = 0;
    bool onOff = false;
    unsigned int polarity = 0;
    float delay = 0.0f;
    float duration = 0.0f;
    unsigned int reserved[8] = {};
};

struct StrobeInfo {
    unsigned int source = 0;
    bool present = false;
    bool readOutSupported = false;
    bool onOffSupported = false;
    bool polaritySupported = false;
    float minValue = 0.0f;
    float maxValue = 0.0f;
    unsigned int reserved[8] = {};
};

struct CameraInfo {
    unsigned int serialNumber = 0;
    InterfaceType interfaceType = INTERFACE_UNKNOWN;
    bool isColorCamera = false;
    char modelName[512] = {};
    char vendorName[512] = {};
    char sensorInfo[512] = {};
    char firmwareVersion[512] = {};
    BayerTileFormat bayerTileFormat = NONE;
    unsigned int reserved[16] = {};
};

struct FC2Config {
    unsigned int numBuffers = 10;
    int grabTimeout = -1;  // milliseconds; -1 waits for ever
    unsigned int reserved[16] = {};
};

struct Format7Info {
    Mode mode = MODE_0;
    unsigned int maxWidth = 0;
    unsigned int maxHeight = 0;
    unsigned int offsetHStepSize = 0;
    unsigned int offsetVStepSize = 0;
    unsigned int imageHStepSize = 0;
    unsigned int imageVStepSize = 0;
    unsigned int pixelFormatBitField = 0;
    unsigned int packetSize = 0;
    unsigned int minPacketSize = 0;
    unsigned int maxPacketSize = 0;
    float percentage = 0.0f;
    unsigned int reserved[16] = {};
};

struct Format7ImageSettings {
    Mode mode = MODE_0;
    unsigned int offsetX = 0;
    unsigned int offsetY = 0;
    unsigned int width = 0;
    unsigned int height = 0;
    PixelFormat pixelFormat = UNSPECIFIED_PIXEL_FORMAT;
    unsigned int reserved[8] = {};
};

struct Format7PacketInfo {
    unsigned int recommendedBytesPerPacket = 0;
    unsigned int maxBytesPerPacket = 0;
    unsigned int unitBytesPerPacket = 0;
    unsigned int reserved[8] = {};
};

struct GigEImageSettings {
    unsigned int offsetX = 0;
    unsigned int offsetY = 0;
    unsigned int width = 0;
    unsigned int height = 0;
    PixelFormat pixelFormat = UNSPECIFIED_PIXEL_FORMAT;
    unsigned int reserved[8] = {};
};

struct GigEProperty {
    GigEPropertyType propType = HEARTBEAT;
    bool isReadable = false;
    bool isWritable = false;
    unsigned int min = 0;
    unsigned int max = 0;
    unsigned int value = 0;
    unsigned int reserved[8] = {};
};

class FC2_API Image {
public:
    Image();
    // Wraps memory the caller owns: the image never frees it and never grows beyond dataSize.
    Image(unsigned int rows, unsigned int cols, unsigned int stride, unsigned char* data, unsigned int dataSize,
          PixelFormat format, BayerTileFormat bayerFormat = NONE);
    Image(const Image& other);
    Image& operator=(const Image& other);
    ~Image();

    Error SetDimensions(unsigned int rows, unsigned int cols, unsigned int stride, PixelFormat format,
                        BayerTileFormat bayerFormat);
    Error DeepCopy(const Image* source);
    Error Convert(PixelFormat format, Image* destination) const;
    void GetDimensions(unsigned int* rows, unsigned int* cols = nullptr, unsigned int* stride = nullptr,
                       PixelFormat* format = nullptr, BayerTileFormat* bayerFormat = nullptr) const;
    unsigned char* GetData() const;
    unsigned int GetDataSize() const { return dataSize_; }
    unsigned int GetRows() const { return rows_; }
    unsigned int GetCols() const { return cols_; }
    unsigned int GetStride() const { return stride_; }
    PixelFormat GetPixelFormat() const { return format_; }
    BayerTileFormat GetBayerTileFormat() const { return bayer_; }

    static Error SetDefaultColorProcessing(ColorProcessingAlgorithm algorithm);
    static ColorProcessingAlgorithm GetDefaultColorProcessing();

private:
    bool reserve(unsigned int size);

    unsigned int rows_ = 0;
    unsigned int cols_ = 0;
    unsigned int stride_ = 0;
    PixelFormat format_ = UNSPECIFIED_PIXEL_FORMAT;
    BayerTileFormat bayer_ = NONE;
    std::vector<unsigned char> owned_;
    unsigned char* external_ = nullptr;
    unsigned int dataSize_ = 0;
};

typedef void (*ImageEventCallback)(Image* image, const void* callbackData);

class FC2_API BusManager {
public:
    BusManager();
    ~BusManager();
    BusManager(const BusManager&) = delete;
    BusManager& operator=(const BusManager&) = delete;

    Error GetNumOfCameras(unsigned int* count);
    Error GetCameraFromIndex(unsigned int index, PGRGuid* guid);
    Error GetCameraFromSerialNumber(unsigned int serial, PGRGuid* guid);
    Error GetCameraSerialNumberFromIndex(unsigned int index, unsigned int* serial);
    Error RescanBus();
    static Error ForceAllIPAddressesAutomatically();
};

class FC2_API CameraBase {
public:
    CameraBase();
    virtual ~CameraBase();
    CameraBase(const CameraBase&) = delete;
    CameraBase& operator=(const CameraBase&) = delete;

    Error Connect(PGRGuid* guid = nullptr);
    Error Disconnect();
    bool IsConnected();
    Error StartCapture(ImageEventCallback callback = nullptr, const void* callbackData = nullptr);
    Error StopCapture();
    Error RetrieveBuffer(Image* image);
    Error FireSoftwareTrigger(bool broadcast = false);
    Error ReadRegister(unsigned int address, unsigned int* value);
    Error WriteRegister(unsigned int address, unsigned int value, bool broadcast = false);
    Error GetCameraInfo(CameraInfo* info);
    Error GetProperty(Property* property);
    Error SetProperty(const Property* property, bool broadcast = false);
    Error GetPropertyInfo(PropertyInfo* info);
    Error GetTriggerMode(TriggerMode* mode);
    Error SetTriggerMode(const TriggerMode* mode, bool broadcast = false);
    Error GetStrobe(StrobeControl* strobe);
    Error SetStrobe(const StrobeControl* strobe, bool broadcast = false);
    Error GetStrobeInfo(StrobeInfo* info);
    Error GetConfiguration(FC2Config* config);
    Error SetConfiguration(const FC2Config* config);
    Error SetGPIOPinDirection(unsigned int pin, unsigned int direction, bool broadcast = false);

protected:
    unsigned int serial_ = 0;  // of the connected camera; 0 when not connected
};

class FC2_API Camera : public CameraBase {
public:
    Error GetVideoModeAndFrameRateInfo(VideoMode mode, FrameRate rate, bool* supported);
    Error SetVideoModeAndFrameRate(VideoMode mode, FrameRate rate);
    Error GetFormat7Info(Format7Info* info, bool* supported);
    Error ValidateFormat7Settings(const Format7ImageSettings* settings, bool* valid, Format7PacketInfo* packetInfo);
    Error SetFormat7Configuration(const Format7ImageSettings* settings, unsigned int packetSize);
};

class FC2_API GigECamera : public CameraBase {
public:
    Error ReadGVCPRegister(unsigned int address, unsigned int* value);
    Error WriteGVCPRegister(unsigned int address, unsigned int value, bool broadcast = false);
    Error DiscoverGigEPacketSize(unsigned int* packetSize);
    Error SetGigEProperty(const GigEProperty* property);
    Error SetGigEImagingMode(Mode mode);
    Error GetGigEImageSettings(GigEImageSettings* settings);
    Error SetGigEImageSettings(const GigEImageSettings* settings);
};

}  // namespace FlyCapture2

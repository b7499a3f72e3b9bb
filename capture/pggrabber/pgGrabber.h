#pragma once
// The exported camera class of the FlyCapture2 camera library: one camera on a USB or GigE bus, its parameter
// record, the enumerations of video modes, frame rates and colour methods, and the bus statics.
#include <boost/property_tree/ptree.hpp>

#include <string>
#include <utility>
#include <vector>

#include "capture/niImage.h"
#include "nitypes/niPtree.h"

#define PG_API __attribute__((visibility("default")))

namespace niBayerConversions {
enum BayerTileFormat { NONE = 0, RGGB = 1, GRBG = 2, GBRG = 3, BGGR = 4 };
}

class iCameraBase;

// The image area; a width and height of 0 mean that no area is set.
struct PG_API Resolution {
    unsigned int offsetX = 0;
    unsigned int offsetY = 0;
    unsigned int width = 0;
    unsigned int height = 0;

    Resolution() = default;
    Resolution(unsigned int x, unsigned int y, unsigned int w, unsigned int h)
        : offsetX(x), offsetY(y), width(w), height(h)
    {
    }
    Resolution(const Resolution& other) = default;
    Resolution& operator=(const Resolution& other) = default;
};

class PG_API pgGrabber {
public:
    enum VideoMode : int {
        VM_160x120YUV444 = 0, VM_320x240YUV422 = 1, VM_640x480YUV411 = 2, VM_640x480YUV422 = 3,
        VM_640x480RGB = 4, VM_640x480Y8 = 5, VM_640x480Y16 = 6, VM_800x600Y8 = 7, VM_1024x768Y8 = 8,
        VM_1024x768Y16 = 9, VM_1280x960Y8 = 10, VM_1600x1200Y8 = 11, VM_800x600YUV422 = 17, VM_800x600RGB = 18,
        VM_800x600Y16 = 19, VM_1024x768YUV422 = 20, VM_1024x768RGB = 21, VM_1280x960YUV422 = 22,
        VM_1280x960RGB = 23, VM_1280x960Y16 = 24, VM_1600x1200YUV422 = 50, VM_1600x1200RGB = 51,
        VM_1600x1200Y16 = 52, VM_FORMAT7 = 53, VM_NUM_VIDEOMODES = 54, VM_FORCE_32BITS = 55
    };
    enum FrameRate : int {
        FR_1_875 = 0, FR_3_75 = 1, FR_7_5 = 2, FR_15 = 3, FR_30 = 4, FR_60 = 5, FR_120 = 6, FR_240 = 7,
        FR_ABOVE_240 = 8, FR_FORMAT7 = 9, FR_FORCE_32BITS = 10
    };
    enum ColorMethod : int {
        CM_DEFAULT = 0, CM_NO_COLOR_PROCESSING = 1, CM_EDGE_SENSING = 2, CM_NEAREST_NEIGHBOR = 3,
        CM_RIGOROUS = 4, CM_HQ_LINEAR = 5, CM_FORCE_32BITS = 6
    };

    struct PG_API sFirmwareVersion {
        unsigned int major = 1;
        unsigned int minor = 4;
        unsigned int revision = 3;
        sFirmwareVersion() = default;
        sFirmwareVersion(unsigned int ma, unsigned int mi, unsigned int re) : major(ma), minor(mi), revision(re) {}
        sFirmwareVersion(const sFirmwareVersion& other) = default;
        sFirmwareVersion& operator=(const sFirmwareVersion& other) = default;
    };

    struct PG_API CamInfo {
        std::string serialNumber;
        std::string model;
        int isColor = 0;
        sFirmwareVersion firmware;
        int interfaceType = 4;  // 0 IEEE 1394, 1 USB 2, 2 USB 3, 3 GigE, 4 unknown
    };

    struct PG_API pgParameters {
        unsigned int reserved = 1;
        float strobeDelay = 0;
        float strobeLength = 0.2f;
        bool strobeEnable = false;
        bool useHwTrigger = false;
        ColorMethod colorMethod = CM_HQ_LINEAR;
        bool callbackMode = false;
        float shutterSpeed = 0.219f;
        float maxShutterSpeed = 0;
        float minShutterSpeed = 0;
        bool shutterSpeedAvailable = false;
        bool shutterSpeedOn = false;
        bool shutterSpeedAuto = false;
        float exposure = 0;
        float maxExposure = 0;
        float minExposure = 0;
        bool exposureAvailable = false;
        bool exposureOn = false;
        bool exposureAuto = false;
        float brightness = 0;
        float minBrightness = 0;
        float maxBrightness = 0;
        bool brightnessAvailable = false;
        float gamma = 1;
        float minGamma = 0;
        float maxGamma = 0;
        bool gammaAvailable = false;
        bool spare = false;
        bool gammaOn = false;
        bool gammaAuto = false;
        float sharpness = 0;
        float minSharpness = 0;
        float maxSharpness = 0;
        bool sharpnessAvailable = false;
        float gain = 0;
        float minGain = 0;
        float maxGain = 0;
        bool gainAvailable = false;
        bool gainOn = false;
        bool gainAuto = false;
        float hue = 0;
        float minHue = 0;
        float maxHue = 0;
        bool hueAvailable = false;
        bool hueOn = false;
        bool hueAuto = false;
        float saturation = 0;
        float minSaturation = 0;
        float maxSaturation = 0;
        bool saturationAvailable = false;
        bool saturationOn = false;
        bool saturationAuto = false;
        bool temperatureAvailable = false;
        float triggerDelay = 0;
        float minTriggerDelay = 0;
        float maxTriggerDelay = 65;
        bool triggerDelayOn = false;
        bool triggerDelayAvailable = true;
        bool outTriggerOn = true;
        int wbR = 550;
        int wbB = 810;
        int minWb = 0;
        int maxWb = 1023;
        bool wbAvailable = false;
        bool wbOn = false;
        Resolution resolution;
        unsigned int mode = 0xFFFFFFFFu;
        float fpsMax = 15;
        bool useFormat7 = false;
        unsigned int packetSize = 1;
        FrameRate frameRate = FR_15;
        bool checkLimits = true;

        pgParameters();
        pgParameters(const pgParameters& other) = default;
        pgParameters& operator=(const pgParameters& other) = default;
        static const pgParameters& defaults();

        // Reads one camera section; on any throw the record is unchanged.
        void loadFromXML(const niTypes::niPtree& tree, bool checkLimits);

        float getBrightness() const { return brightness; }
        float getMinBrightness() const { return minBrightness; }
        float getMaxBrightness() const { return maxBrightness; }
        bool isBrightnessAvailable() const { return brightnessAvailable; }
        void setBrightness(float v);
        float getGamma() const { return gamma; }
        float getMinGamma() const { return minGamma; }
        float getMaxGamma() const { return maxGamma; }
        bool isGammaAvailable() const { return gammaAvailable; }
        bool isGammaOn() const { return gammaOn; }
        void setGamma(float v);
        void setGammaOn(bool on) { gammaOn = on; }
        float getSharpness() const { return sharpness; }
        float getMinSharpness() const { return minSharpness; }
        float getMaxSharpness() const { return maxSharpness; }
        bool isSharpnessAvailable() const { return sharpnessAvailable; }
        void setSharpness(float v);
        float getShutterSpeed() const { return shutterSpeed; }
        float getMinShutterSpeed() const { return minShutterSpeed; }
        float getMaxShutterSpeed() const { return maxShutterSpeed; }
        bool isShutterSpeedAvailable() const { return shutterSpeedAvailable; }
        bool isShutterSpeedAuto() const { return shutterSpeedAuto; }
        void setShutterSpeed(float v);
        void setShutterSpeedAuto(bool a) { shutterSpeedAuto = a; }
        float getExposure() const { return exposure; }
        float getMinExposure() const { return minExposure; }
        float getMaxExposure() const { return maxExposure; }
        bool isExposureAvailable() const { return exposureAvailable; }
        bool isExposureAuto() const { return exposureAuto; }
        bool isExposureOn() const { return exposureOn; }
        void setExposure(float v);
        void setExposureAuto(bool a) { exposureAuto = a; }
        void setExposureOn(bool on) { exposureOn = on; }
        float getGain() const { return gain; }
        float getMinGain() const { return minGain; }
        float getMaxGain() const { return maxGain; }
        bool isGainAvailable() const { return gainAvailable; }
        bool isGainAuto() const { return gainAuto; }
        void setGain(float v);
        void setGainAuto(bool a) { gainAuto = a; }
        float getHue() const { return hue; }
        float getMinHue() const { return minHue; }
        float getMaxHue() const { return maxHue; }
        bool isHueAvailable() const { return hueAvailable; }
        bool isHueOn() const { return hueOn; }
        void setHue(float v);
        void setHueOn(bool on) { hueOn = on; }
        float getSaturation() const { return saturation; }
        float getMinSaturation() const { return minSaturation; }
        float getMaxSaturation() const { return maxSaturation; }
        bool isSaturationAvailable() const { return saturationAvailable; }
        bool isSaturationOn() const { return saturationOn; }
        void setSaturation(float v);
        void setSaturationOn(bool on) { saturationOn = on; }
        bool isTemperatureAvailable() const { return temperatureAvailable; }
        float getTriggerDelay() const { return triggerDelay; }
        float getMinTriggerDelay() const { return minTriggerDelay; }
        float getMaxTriggerDelay() const { return maxTriggerDelay; }
        bool isTriggerDelayOn() const { return triggerDelayOn; }
        bool isTriggerDelayAvailable() const { return triggerDelayAvailable; }
        bool isOutTriggerOn() const { return outTriggerOn; }
        void setTriggerDelay(float v) { triggerDelay = v; }
        void setTriggerDelayOn(bool on) { triggerDelayOn = on; }
        void setOutTriggerOn(bool on) { outTriggerOn = on; }
        int getWbR() const { return wbR; }
        int getWbB() const { return wbB; }
        int getMinWb() const { return minWb; }
        int getMaxWb() const { return maxWb; }
        bool isWbAvailable() const { return wbAvailable; }
        bool isWbOn() const { return wbOn; }
        void setWbR(int v);
        void setWbB(int v);
        void setWbOn(bool on) { wbOn = on; }
        Resolution& getResolution() { return resolution; }
        unsigned int getMode() const { return mode; }
        void setMode(unsigned int m) { mode = m; }
        float getFPSMax() const { return fpsMax; }
        void setFPSMax(float f) { fpsMax = f; }
        bool isFPSControlEnable() const { return static_cast<double>(fpsMax) >= static_cast<double>(0.1f); }
        bool get_use_format_7_() const { return useFormat7; }
        void set_use_format_7_(bool on) { useFormat7 = on; }
        unsigned int get_packet_size() const { return packetSize; }
        void set_packet_size(unsigned int size) { packetSize = size; }
        FrameRate get_frame_rate() const { return frameRate; }
        void set_frame_rate(FrameRate rate) { frameRate = rate; }
        bool isCheckLimits() const { return checkLimits; }
        void setCheckLimits(bool on) { checkLimits = on; }
    };

    explicit pgGrabber(const std::string& serialNumber);
    explicit pgGrabber(const CamInfo& info);
    ~pgGrabber();
    // One object owns one camera: copying would release it twice.
    pgGrabber(const pgGrabber&) = delete;
    pgGrabber& operator=(const pgGrabber&) = delete;

    static float toFloat(FrameRate rate);
    static FrameRate toFrameRate(float fps);

    static unsigned int getNumCameras();
    static unsigned int enumerateCameras(std::vector<std::string>& serialNumbers);
    static unsigned int enumerateCameras(std::vector<CamInfo>& cameras);
    static void forceIpForGigeCameras();

    bool checkFirmwareVersion() const;
    const sFirmwareVersion& getRequiredFirmwareVersion() const;
    bool getAvailableFPS(VideoMode mode, std::vector<FrameRate>& rates) const;
    void getAvailableVideoModes(std::vector<std::pair<VideoMode, std::vector<FrameRate>>>& modes) const;
    CamInfo getCameraInfo();

    void setStrobeLength(float ms);
    float getStrobeLength() const;
    void setStrobeEnable(bool on);
    bool getStrobeEnable() const;
    void setStrobeDelay(float ms);
    float getStrobeDelay() const;

    float getShutterSpeed();
    float getExposure() const;
    float getGain();
    bool checkTriggerReady();

    void start();
    void setVideoMode(VideoMode mode);
    VideoMode getVideoMode();
    void setFrameRate(FrameRate rate);
    void setFrameRate(float fps);
    FrameRate getFrameRate();
    unsigned int getSerialNumber() const;
    bool checkVideoMode(VideoMode mode, FrameRate rate);
    const sFirmwareVersion& getFirmwareVersion() const;
    bool isStrobeAvailable() const;
    void captureFrame(niTypes::niImage<unsigned char>& out);
    void getFrame(niTypes::niImage<unsigned char>& out);
    void captureRawFrame(niTypes::niImage<unsigned char>& out);
    void convertTextureRawToRgb(const niTypes::niImage<unsigned char>& raw, niTypes::niImage<unsigned char>& rgb);
    const pgParameters& getParameters() const;
    void setParameters(const pgParameters& parameters);
    void setColorMethod(ColorMethod method);

    void setBrightness(float v);
    void setGamma(float v);
    void setSharpness(float v);
    void setShutterSpeed(float v);
    void setTriggerDelay(float v);
    void setExposure(float v);
    void setGain(float v);
    void setHue(float v);
    void setSaturation(float v);
    void setGammaOn(bool on);
    void setShutterSpeedAuto(bool on);
    void setExposureAuto(bool on);
    void setExposureOn(bool on);
    void setGainAuto(bool on);
    void setHueOn(bool on);
    void setSaturationOn(bool on);
    void setUseHwInTrigger(bool on);
    void setWbOn(bool on);
    void triggerOnOff(bool on);
    void setCameraPower(bool on);
    void setWbR(int v);
    void setWbB(int v);
    float getTemperature() const;
    bool isButtonPressed() const;
    niBayerConversions::BayerTileFormat getBayerTileFormat();

    ColorMethod getColorMethod() const;
    float getBrightness() const;
    float getGamma() const;
    bool isGammaOn() const;
    float getSharpness() const;
    bool isShutterSpeedAuto() const;
    float getTriggerDelay() const;
    bool isTriggerDelayOn() const;
    bool isExposureAuto() const;
    bool isExposureOn() const;
    bool isGainAuto() const;
    float getHue() const;
    bool isHueOn() const;
    float getSaturation() const;
    bool isSaturationOn() const;
    bool isUseHwInTrigger() const;
    int getWbR() const;
    int getWbB() const;
    bool isWbOn() const;

    // The camera object, for the library's own layers.
    iCameraBase* camera() const { return implementation; }

private:
    void init(const CamInfo& info);
    void connect2Camera(unsigned int serial);

    iCameraBase* implementation = nullptr;
};

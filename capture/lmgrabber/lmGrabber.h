#pragma once
// One open Lumenera camera: lookup by index or by a name that carries the serial number, enumeration of the
// connected cameras, settings, frames (taken at once or delivered by the SDK's callback) and GPIO access.
#include <string>
#include <vector>

#include "capture/Event.h"
#include "capture/lmgrabber/BayerTileFormat.h"

class lmGrabberImpl;

class lmGrabber {
public:
    enum eDepth { depth8 = 1, depth16 = 2 };
    enum eWhiteBalanceCorrection { wbNone = 0, wbMatrix1, wbMatrix2, wbMatrix3, wbMatrix4, wbMatrix5, wbCustom };
    enum eDemosaicMethod { demosaic1 = 1, demosaic2 = 2, demosaic3 = 3, demosaic4 = 4 };

    // The complete settings record of one camera; its layout is part of the library's interface.
    struct lmParameters {
        eDepth depth;
        float clockSpeed;
        float strobeDelay;     // ms
        float exposureDelay;   // ms
        float strobeLength;    // ms
        float triggerTimeout;  // ms
        bool strobeEnable;
        bool useHwTrigger;
        bool autoExposurePriority;
        bool autoWhiteBalance;
        bool tuneAutoExposureOnStart;
        float lum;
        float gainR;
        float gainB;
        float gainG1;
        float gainG2;
        bool rgb;
        eWhiteBalanceCorrection whiteBalanceCorr;
        eDemosaicMethod demosaicMethod;
        float colorCorrMatrix[9];
        float digitalGain;
        float digitalWbU;
        float digitalWbV;
        int width;
        int height;
        bool hasFlash;
        int minFlashStrobeInterval;  // ms
        float shutterSpeed;          // ms
        float maxShutterSpeed;
        float minShutterSpeed;
        bool shutterSpeedAuto;
        float brightness;
        float minBrightness;
        float maxBrightness;
        float gamma;
        float minGamma;
        float maxGamma;
        float contrast;
        float minContrast;
        float maxContrast;
        float gain;
        float minGain;
        float maxGain;
        bool autoGain;
        int hue;
        int minHue;
        int maxHue;
        float saturation;
        float minSaturation;
        float maxSaturation;

        lmParameters();
        lmParameters(const lmParameters&) = default;
        lmParameters& operator=(const lmParameters&) = default;

        // The default record, refilled with the default values on every call.
        static const lmParameters& defaults();

        int getWidth() const { return width; }
        int getHeight() const { return height; }
        float getBrightness() const { return brightness; }
        float getMinBrightness() const { return minBrightness; }
        float getMaxBrightness() const { return maxBrightness; }
        float getGamma() const { return gamma; }
        float getMinGamma() const { return minGamma; }
        float getMaxGamma() const { return maxGamma; }
        float getContrast() const { return contrast; }
        float getMinContrast() const { return minContrast; }
        float getMaxContrast() const { return maxContrast; }
        float getShutterSpeed() const { return shutterSpeed; }
        float getMinShutterSpeed() const { return minShutterSpeed; }
        float getMaxShutterSpeed() const { return maxShutterSpeed; }
        float getGain() const { return gain; }
        float getMinGain() const { return minGain; }
        float getMaxGain() const { return maxGain; }
        float getSaturation() const { return saturation; }
        float getMinSaturation() const { return minSaturation; }
        float getMaxSaturation() const { return maxSaturation; }
        int getHue() const { return hue; }
        int getMinHue() const { return minHue; }
        int getMaxHue() const { return maxHue; }
        bool isShutterSpeedAuto() const { return shutterSpeedAuto; }
        bool isAutoGain() const { return autoGain; }

        void setShutterSpeedAuto(bool on) { shutterSpeedAuto = on; }
        void setAutoGain(bool on) { autoGain = on; }

        // Range-guarded: a value outside [min, max] (or NaN) throws capture::InvalidProperty, the field unchanged.
        void setBrightness(float value);
        void setGamma(float value);
        void setContrast(float value);
        void setShutterSpeed(float value);
        void setGain(float value);
        void setSaturation(float value);
        void setHue(int value);

    private:
        struct DefaultTag {};
        explicit lmParameters(DefaultTag);
    };

    // Connects camera number index + 1.
    lmGrabber(int index, bool start);
    // Connects the camera whose serial number follows the first "#" of name ("Lumenera Lu070 #1001" or "#1001").
    lmGrabber(const std::string& name, bool start);
    lmGrabber(const lmGrabber&) = delete;
    lmGrabber& operator=(const lmGrabber&) = delete;
    ~lmGrabber();

    static int getNumCameras();
    // One "Lumenera <model> #<serial>" per connected camera; returns their count.
    static int enumerateCameras(std::vector<std::string>& names);
    static const char* getModelByID(unsigned int id);

    // Frames
    unsigned char* captureFrame();
    void captureFrameRaw(unsigned char* buffer);
    unsigned getRawBufferSize() const;
    void convertRawToFrame(const unsigned char* raw, unsigned char* destination);
    unsigned char* getFrameData() const;
    unsigned getFrameSize() const;
    void getFrameFormat(int& width, int& height, unsigned short& a, unsigned short& b) const;
    // The next frame the SDK delivers is copied into buffer (one raw frame) and then event is set.
    void captureNextAsyncFrameRaw(unsigned char* buffer, BaseLibrary::Event& event);
    // The same, with the copy bounded by the buffer's size in bytes.
    void captureNextAsyncFrameRaw(unsigned char* buffer, unsigned bufferSize, BaseLibrary::Event& event);
    bool waitFlashInterval();
    const std::vector<float>& getFrameRates();
    void onShotAutoWhiteBalance();
    niBayerConversions::BayerTileFormat getBayerTileFormat();
    std::string getSerialNumber() const;  // the camera number it was opened with, in decimal

    // Settings
    const lmParameters& getParameters() const;
    void setParameters(const lmParameters& parameters);
    void setAutoWhiteBalance(bool on);
    bool isAutoWhiteBalance() const;
    void setTuneAutoExposureOnStart(bool on);
    bool isTuneAutoExposureOnStart() const;

    void setShutterSpeed(float value);
    float getShutterSpeed() const;
    void setGain(float value);
    float getGain() const;
    void setGainR(float value);
    float getGainR() const;
    void setGainB(float value);
    float getGainB() const;
    void setGainG1(float value);
    float getGainG1() const;
    void setGainG2(float value);
    float getGainG2() const;
    void setLum(float value);
    float getLum() const;
    void setDepthBits(eDepth depth);
    eDepth getDepthBits() const;
    void setClockSpeed(float value);
    float getClockSpeed() const;
    void setStrobeDelay(float value);
    float getStrobeDelay() const;
    void setExposureDelay(float value);
    float getExposureDelay() const;
    void setAutoExposure(bool on);
    bool isAutoExposure() const;
    void setAutoGain(bool on);
    bool isAutoGain() const;
    void setAutoExposurePriority(bool on);
    bool isAutoExposurePriority() const;
    void setStrobeLength(float value);
    float getStrobeLength() const;
    void setStrobeEnable(bool on);
    bool getStrobeEnable() const;
    void setUseHwTrigger(bool on);
    bool getUseHwTrigger() const;
    void setHue(int value);
    int getHue() const;
    void setSaturation(float value);
    float getSaturation() const;
    void setGamma(float value);
    float getGamma() const;
    void setContrast(float value);
    float getContrast() const;
    void setBrightness(float value);
    float getBrightness() const;
    void setWhiteBalanceCorr(eWhiteBalanceCorrection value);
    eWhiteBalanceCorrection getWhiteBalanceCorr() const;
    void setDemosaicMethod(eDemosaicMethod value);
    eDemosaicMethod getDemosaicMethod() const;
    void setColorCorrMatrix(const float* matrix);  // nine floats
    void getColorCorrMatrix(float* matrix) const;
    void setDigitalGain(float value);
    float getDigitalGain() const;
    void setDigitalWbU(float value);
    float getDigitalWbU() const;
    void setDigitalWbV(float value);
    float getDigitalWbV() const;

    // GPIO: values are masked to their low four bits, one per line.
    void readGpio(unsigned char& outputs, unsigned char& inputs);
    void writeGpio(unsigned char outputs);
    void configureGpio(unsigned char directions);
    void selectGpio(unsigned char selection);

private:
    friend struct lmGrabberAccess;  // the library's cw functions
    void connect2Camera(int number, bool start);

    lmGrabberImpl* impl;
};

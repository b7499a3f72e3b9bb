#pragma once
// What the USB and GigE camera kinds share: connecting a camera into a known state, properties and their
// ranges, white balance, strobe, trigger, frame rate, power, firmware, and frame capture.
#include <boost/circular_buffer.hpp>
#include <boost/thread/condition_variable.hpp>
#include <boost/thread/mutex.hpp>

#include <chrono>
#include <vector>

#include "capture/pggrabber/iCameraBase.h"
#include "platform/flycapture2/FlyCapture2.h"

class niPgGrabberBase : public iCameraBase {
public:
    niPgGrabberBase();
    ~niPgGrabberBase() override;

    void connect2Camera(unsigned int serial) override;
    void disconnect() override;
    void setFrameRate(float fps) override;
    void setFrameRate(pgGrabber::FrameRate rate) override;
    pgGrabber::FrameRate getFrameRate() override;
    unsigned int getSerialNumber() override;
    const pgGrabber::sFirmwareVersion& getFirmwareVersion() override;
    void setStrobeEnable(bool on) override;
    void setStrobeLength(float ms) override;
    float getStrobeLength() override;
    void setStrobeDelay(float ms) override;
    float getStrobeDelay() override;
    void captureFrame(niTypes::niImage<unsigned char>& out) override;
    void captureRawFrame(niTypes::niImage<unsigned char>& out) override;
    void convertTextureRawToRgb(const niTypes::niImage<unsigned char>& raw,
                                niTypes::niImage<unsigned char>& rgb) override;
    pgGrabber::pgParameters& getParameters() override;
    void setParameters(const pgGrabber::pgParameters& p) override;
    void setColorMethod(pgGrabber::ColorMethod method) override;
    void getCameraInfo(pgGrabber::CamInfo& info) override;
    void setBrightness(float v) override;
    void setGamma(float v) override;
    void setGammaOn(bool on) override;
    void setSharpness(float v) override;
    void setShutterSpeed(float ms) override;
    float readShutterSpeed() override;
    void setShutterSpeedAuto(bool on) override;
    void setTriggerDelay(float v) override;
    void setExposure(float v) override;
    float readExposure() override;
    void setExposureOn(bool on) override;
    void setExposureAuto(bool on) override;
    void setGain(float v) override;
    float readGain() override;
    void setGainAuto(bool on) override;
    float getTemperature() override;
    void setHue(float v) override;
    void setHueOn(bool on) override;
    void setSaturation(float v) override;
    void setSaturationOn(bool on) override;
    void setUseHwInTrigger(bool on) override;
    void setWbR(int v) override;
    void setWbB(int v) override;
    void setWbOn(bool on) override;
    bool isStrobeAvailable() override;
    bool isButtonPressed() override;
    void checkTriggerReady() override;
    niBayerConversions::BayerTileFormat getBayerTileFormat() override;
    void setBusMutex(boost::mutex* mutex) override;
    void setBusManager(FlyCapture2::BusManager* manager) override;
    void triggerOnOff(bool on) override;
    void setCameraPower(bool on) override;

    virtual FlyCapture2::CameraBase* getCamera() = 0;

    // The SDK's image event callback; data is the camera object.
    static void imageEventCallback(FlyCapture2::Image* image, const void* data);

protected:
    // Helpers of the connect and parameter steps.
    void setPropertyAbs(FlyCapture2::PropertyType type, bool on, float value, bool autoMode);
    void setPropertyValueA(FlyCapture2::PropertyType type, unsigned int valueA);
    float readPropertyAbs(FlyCapture2::PropertyType type);
    float readPropertyAbs(FlyCapture2::PropertyType type, bool& on, bool& autoMode);
    bool getPropertyRange(FlyCapture2::PropertyType type, float& min, float& max);
    void readPropertyRanges();
    void readWhiteBalanceRange();
    void switchStrobesOff();
    void sendWhiteBalance();
    bool readStrobeOn();
    bool checkSoftwareTriggerPresence();
    void updateFirmwareVersion();
    void lookUpAndConnect(unsigned int serial);
    void startCapture(FlyCapture2::CameraBase& camera);
    void readExposureRanges();

    // Frame capture.
    void waitFrameInterval();
    bool grabImage(FlyCapture2::Image& image);
    void saveCapturedImage(niTypes::niImage<unsigned char>& out, FlyCapture2::Image& image);
    void checkFrameIsCorrupted(const FlyCapture2::Image& image);
    void pushCallbackFrame(const FlyCapture2::Image* image);
    void popCallbackFrame(FlyCapture2::Image& image);

    pgGrabber::sFirmwareVersion firmwareVersion;
    FlyCapture2::CameraInfo cameraInfo;
    FlyCapture2::FrameRate sdkFrameRate = FlyCapture2::FRAMERATE_15;
    FlyCapture2::StrobeControl strobeControl;
    unsigned int hardwareTriggerSource = 0;
    bool started = false;
    boost::mutex frameMutex;
    boost::circular_buffer<FlyCapture2::Image> callbackFrames;
    boost::condition_variable frameReady;
    boost::circular_buffer<std::vector<unsigned char>> rowSamples;
    boost::mutex* busMutex = nullptr;
    FlyCapture2::BusManager* busManager = nullptr;
    pgGrabber::pgParameters parameters;
    // Pacing runs on a steady clock; no paced grab yet while it holds no value.
    bool paced = false;
    std::chrono::steady_clock::time_point lastGrabClock;

private:
    bool ownsBusManager = false;
    bool ownsBusMutex = false;
};

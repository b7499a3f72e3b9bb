#pragma once
// The interface of one FlyCapture2 camera as the exported class sees it.
#include <boost/thread/mutex.hpp>

#include "capture/pggrabber/pgGrabber.h"

namespace FlyCapture2 {
class BusManager;
}

class iCameraBase {
public:
    virtual ~iCameraBase() = default;
    virtual void start() = 0;
    virtual void connect2Camera(unsigned int serial) = 0;
    virtual void disconnect() = 0;
    virtual void releaseCamera() = 0;
    virtual void setVideoMode(pgGrabber::VideoMode mode) = 0;
    virtual pgGrabber::VideoMode getVideoMode() = 0;
    virtual void setFrameRate(float fps) = 0;
    virtual void setFrameRate(pgGrabber::FrameRate rate) = 0;
    virtual pgGrabber::FrameRate getFrameRate() = 0;
    virtual unsigned int getSerialNumber() = 0;
    virtual bool checkVideoMode(pgGrabber::VideoMode mode, pgGrabber::FrameRate rate) = 0;
    virtual const pgGrabber::sFirmwareVersion& getFirmwareVersion() = 0;
    virtual void setStrobeEnable(bool on) = 0;
    virtual bool isStrobeAvailable() = 0;
    virtual void setStrobeLength(float ms) = 0;
    virtual float getStrobeLength() = 0;
    virtual void setStrobeDelay(float ms) = 0;
    virtual float getStrobeDelay() = 0;
    virtual void captureFrame(niTypes::niImage<unsigned char>& out) = 0;
    virtual void captureRawFrame(niTypes::niImage<unsigned char>& out) = 0;
    virtual void convertTextureRawToRgb(const niTypes::niImage<unsigned char>& raw,
                                        niTypes::niImage<unsigned char>& rgb) = 0;
    virtual pgGrabber::pgParameters& getParameters() = 0;
    virtual void setParameters(const pgGrabber::pgParameters& p) = 0;
    virtual void setColorMethod(pgGrabber::ColorMethod method) = 0;
    virtual void getCameraInfo(pgGrabber::CamInfo& info) = 0;
    virtual void setBrightness(float v) = 0;
    virtual void setGamma(float v) = 0;
    virtual void setGammaOn(bool on) = 0;
    virtual void setSharpness(float v) = 0;
    virtual void setShutterSpeed(float ms) = 0;
    virtual float readShutterSpeed() = 0;
    virtual void setShutterSpeedAuto(bool on) = 0;
    virtual void setTriggerDelay(float v) = 0;
    virtual void setExposure(float v) = 0;
    virtual float readExposure() = 0;
    virtual void setExposureOn(bool on) = 0;
    virtual void setExposureAuto(bool on) = 0;
    virtual void setGain(float v) = 0;
    virtual float readGain() = 0;
    virtual void setGainAuto(bool on) = 0;
    virtual float getTemperature() = 0;
    virtual void setHue(float v) = 0;
    virtual void setHueOn(bool on) = 0;
    virtual void setSaturation(float v) = 0;
    virtual void setSaturationOn(bool on) = 0;
    virtual void setUseHwInTrigger(bool on) = 0;
    virtual void setWbR(int v) = 0;
    virtual void setWbB(int v) = 0;
    virtual void setWbOn(bool on) = 0;
    virtual bool isButtonPressed() = 0;
    virtual void checkTriggerReady() = 0;
    virtual niBayerConversions::BayerTileFormat getBayerTileFormat() = 0;
    virtual void setBusMutex(boost::mutex* mutex) = 0;
    virtual void setBusManager(FlyCapture2::BusManager* manager) = 0;
    virtual void triggerOnOff(bool) {}
    virtual void setCameraPower(bool) {}
};

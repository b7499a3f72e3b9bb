#pragma once
// A camera on a GigE bus: power-up wait, packet size and delay, imaging mode and image area, and a capture
// loop that triggers by register and retries dropped frames.
#include <boost/shared_ptr.hpp>

#include "capture/pggrabber/niPgGrabberBase.h"

extern const Resolution defaultImageArea;

class niPgGrabberGig : public niPgGrabberBase {
public:
    niPgGrabberGig();
    ~niPgGrabberGig() override;

    void start() override;
    void connect2Camera(unsigned int serial) override;
    void releaseCamera() override;
    void setVideoMode(pgGrabber::VideoMode) override {}
    pgGrabber::VideoMode getVideoMode() override { return static_cast<pgGrabber::VideoMode>(-1); }
    bool checkVideoMode(pgGrabber::VideoMode, pgGrabber::FrameRate) override { return false; }
    void captureFrame(niTypes::niImage<unsigned char>& out) override;
    void setParameters(const pgGrabber::pgParameters& p) override;
    FlyCapture2::CameraBase* getCamera() override;

private:
    void waitForTriggerReady();
    void fireSoftwareTrigger();
    void setImagingMode(unsigned int mode);
    // The area to use: the record's when both its width and height are set, else the default one.
    static Resolution imageArea(const Resolution& resolution);
    void writeImageSettings(FlyCapture2::GigEImageSettings& settings, const Resolution& area);

    boost::shared_ptr<FlyCapture2::GigECamera> camera;
};

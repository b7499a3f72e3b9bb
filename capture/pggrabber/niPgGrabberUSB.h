#pragma once
// A camera on a USB 2 or USB 3 bus: a fixed video mode and frame rate, or a Format7 image area.
#include <boost/shared_ptr.hpp>

#include "capture/pggrabber/niPgGrabberBase.h"

class niPgGrabberUSB : public niPgGrabberBase {
public:
    niPgGrabberUSB();
    ~niPgGrabberUSB() override;

    void start() override;
    void releaseCamera() override;
    void setVideoMode(pgGrabber::VideoMode mode) override;
    pgGrabber::VideoMode getVideoMode() override;
    bool checkVideoMode(pgGrabber::VideoMode mode, pgGrabber::FrameRate rate) override;
    FlyCapture2::CameraBase* getCamera() override;

private:
    void startFormat7();

    boost::shared_ptr<FlyCapture2::Camera> camera;
    FlyCapture2::VideoMode sdkVideoMode = FlyCapture2::VIDEOMODE_1280x960Y8;
};

#pragma once
// The per-scanner record of the Lumenera library: the shared fields plus the frames armed for the SDK's callback
// and the events it sets.
#include "capture/CameraRecord.h"
#include "capture/Event.h"
#include "capture/lmgrabber/lmGrabber.h"
#include "capture/niImage.h"

struct lmCameraRecord : capture::CameraRecordFields<lmGrabber, lmGrabber::lmParameters> {
    niTypes::niImage<unsigned char> mainFrame;  // the main camera's next raw frame
    niTypes::niImageHeader mainFormat;           // layout of the main camera's delivered frame
    BaseLibrary::Event mainFrameReady{false};
    niTypes::niImage<unsigned char> textureFrame;
    niTypes::niImageHeader textureFormat;
    BaseLibrary::Event textureFrameReady{false};
};

using lmCameraMap = capture::CameraMap<lmCameraRecord>;

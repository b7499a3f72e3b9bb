#pragma once
// The library's record of one open scanner, and the global map from handle to record.
#include "capture/CameraRecord.h"
#include "capture/pggrabber/pgGrabber.h"

struct pgCameraRecord : capture::CameraRecordFields<pgGrabber, pgGrabber::pgParameters> {
    bool rotate = false;
    int rotation = 0;
    bool textureRotate = false;
    int textureRotation = 0;
};

extern capture::CameraMap<pgCameraRecord> cameraMap;

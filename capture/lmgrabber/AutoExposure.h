#pragma once
// The histogram-based auto-exposure step: moves shutter and gain so that the frame's median level comes to 64.

namespace lmgrabber {

struct AutoExposureState {
    bool skipNext = false;
    float minShutterSpeed = 0;
    float minGain = 0;
    float maxShutterSpeed = 0;
    float maxGain = 0;
};

struct ExposureValues {
    float shutter;
    float gain;
};

// Every second call after a new state changes nothing. The frame is width x height packed bytes.
ExposureValues tuneAutoExposure(const unsigned char* frame, int width, int height, AutoExposureState& state,
                                bool autoShutter, bool autoGain, bool priority, float shutter, float gain);

}  // namespace lmgrabber

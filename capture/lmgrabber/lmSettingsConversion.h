#pragma once
// Conversions between a camera's parameter record and the settings block of the cw interface.
#include "capture/CameraSettings.h"
#include "capture/lmgrabber/lmGrabber.h"

namespace lmgrabber {

// Fills bounds first, then values through the range-checked setters (a value outside its bounds throws).
// width, height, hwTrigger, useTextureCamera and callbackMode are not written; channels only for colour.
void settingsFromParameters(const lmGrabber::lmParameters& parameters, CameraSettings& settings);

// Checks every value against the record's ranges (capture::InvalidProperty); fields assigned before a failure
// stay changed in parameters.
void parametersFromSettings(const CameraSettings& settings, lmGrabber::lmParameters& parameters);

}  // namespace lmgrabber

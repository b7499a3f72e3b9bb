#include "capture/CameraSettings.h"

#include "capture/CaptureErrors.h"

float CameraSettings::checkedValue(float value, float min, float max)
{
    capture::checkPropertyRange(value, min, max);
    return value;
}

#pragma once
// Conversions between a camera's parameter record and the settings block of the cw interface.
#include "capture/CameraSettings.h"
#include "capture/pggrabber/pgGrabber.h"

void settingsFromParameters(const pgGrabber::pgParameters& p, CameraSettings& s);
void parametersFromSettings(const CameraSettings& s, pgGrabber::pgParameters& p);
// 640 x 480 stays and gives video mode 5; any other size becomes 1280 x 960 with mode 10.
pgGrabber::VideoMode chooseVideoMode(CameraSettings& s, bool color);
// 90, -90 and 180 turn rotation on; any other value turns it off and keeps the rotation.
void parseRotation(int value, bool& rotate, int& rotation);
// A white-balance value from the settings as an int; a NaN or a value beyond int fails the range check.
int whiteBalanceValue(float value, const pgGrabber::pgParameters& p);

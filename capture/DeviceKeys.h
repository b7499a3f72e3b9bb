#pragma once
// Key strings of the device description tree, held alike by the camera libraries and their host.
#include <string>

namespace capture {
namespace keys {

extern const std::string device;          // "Device"
extern const std::string deviceCamera;    // "Device.Camera"
extern const std::string deviceCamera2;   // "Device.Camera2"
extern const std::string deviceInfo;      // "Device.Info"
extern const std::string camera;          // "camera"
extern const std::string cameraId;        // "camera_id"
extern const std::string cameraClrId;     // "camera_clr_id"
extern const std::string date;            // "date"
extern const std::string infoDate;        // "info_date"
extern const std::string cid;             // "cid"
extern const std::string version;         // "version"
extern const std::string flipImage;       // "flip_image"
extern const std::string flash;           // "flash"

extern const std::string mirrorX;         // "mirror_x", in a camera section
extern const std::string mirrorY;         // "mirror_y", in a camera section

}  // namespace keys

// "Device.Camera.<kind>": the main camera's section; kind is the library's ("Lumenera", "PgGrabber").
std::string mainCameraSection(const std::string& kind);
// "Device.Camera2.<kind>": the texture camera's section.
std::string textureCameraSection(const std::string& kind);

}  // namespace capture

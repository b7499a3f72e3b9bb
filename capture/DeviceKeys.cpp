#include "capture/DeviceKeys.h"

namespace capture {
namespace keys {

const std::string device = "Device";
const std::string deviceCamera = "Device.Camera";
const std::string deviceCamera2 = "Device.Camera2";
const std::string deviceInfo = "Device.Info";
const std::string camera = "camera";
const std::string cameraId = "camera_id";
const std::string cameraClrId = "camera_clr_id";
const std::string date = "date";
const std::string infoDate = "info_date";
const std::string cid = "cid";
const std::string version = "version";
const std::string flipImage = "flip_image";
const std::string flash = "flash";

const std::string mirrorX = "mirror_x";
const std::string mirrorY = "mirror_y";

}  // namespace keys

std::string mainCameraSection(const std::string& kind)
{
    return keys::deviceCamera + "." + kind;
}

std::string textureCameraSection(const std::string& kind)
{
    return keys::deviceCamera2 + "." + kind;
}

}  // namespace capture

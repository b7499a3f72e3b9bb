#include "capture/CameraConfig.h"

#include <exception>

#include "capture/DeviceKeys.h"

namespace capture {

TextureCameraConfig readTextureCameraConfig(const niTypes::niPtree* config, const std::string& kind)
{
    TextureCameraConfig texture;
    if (!config)
        return texture;
    try {
        const niTypes::niPtree& info = config->get_child(keys::deviceInfo);
        const std::string id = info.get<niTypes::niString>(keys::cameraClrId, niTypes::niString()).str();
        texture.section = &config->get_child(textureCameraSection(kind));
        texture.id = id;
    } catch (const std::exception&) {
        texture = TextureCameraConfig();
    }
    return texture;
}

const niTypes::niPtree& mainCameraConfig(const niTypes::niPtree& config, const std::string& kind)
{
    return config.get_child(mainCameraSection(kind));
}

void readMirrorFlags(const niTypes::niPtree& section, bool& mirrorX, bool& mirrorY)
{
    mirrorX = section.get<bool>(keys::mirrorX, false);
    mirrorY = section.get<bool>(keys::mirrorY, false);
}

}  // namespace capture

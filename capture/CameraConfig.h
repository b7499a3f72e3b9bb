#pragma once
// Reading the configuration tree a host passes to cwInitialize: the texture camera's id and section, and the
// mirror flags of a camera section. <kind> is the library's section name ("Lumenera", "PgGrabber").
#include <string>

#include "capture/DeviceKeys.h"
#include "nitypes/niPtree.h"

namespace capture {

struct TextureCameraConfig {
    std::string id;                             // "Device.Info" / "camera_clr_id"; empty: no texture camera
    const niTypes::niPtree* section = nullptr;  // "Device.Camera2.<kind>"
};

// Any failure on this road (no config, no "Device.Info", a value that is not text, no texture section) gives an
// empty id and no section.
TextureCameraConfig readTextureCameraConfig(const niTypes::niPtree* config, const std::string& kind);

// "Device.Camera.<kind>"; throws (the tree's error) when the section is missing.
const niTypes::niPtree& mainCameraConfig(const niTypes::niPtree& config, const std::string& kind);

// "mirror_x" and "mirror_y" of a camera section (bool, false when missing); a value of another type throws.
void readMirrorFlags(const niTypes::niPtree& section, bool& mirrorX, bool& mirrorY);

}  // namespace capture

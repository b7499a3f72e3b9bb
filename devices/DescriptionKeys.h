#pragma once
// Keys of a stored scanner description that only the host reads (the shared ones are in capture/DeviceKeys.h).
#include <string>

namespace devices {
namespace keys {

extern const std::string belmo;   // "Belmo": the description's root key
extern const std::string serial;  // "serial", under "Device.Info"

}  // namespace keys
}  // namespace devices

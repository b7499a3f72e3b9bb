#include "devices/DescriptionKeys.h"

namespace devices {
namespace keys {

const std::string belmo = "Belmo";
const std::string serial = "serial";

}  // namespace keys
}  // namespace devices

#pragma once
#include <QString>
#include <string>

namespace platform {

// A stable identifier of this computer: derived from /etc/machine-id (else QSysInfo::machineUniqueId), or the value
// of KESTRUNE_MACHINE_ID when set. With an install folder, the identifier of that installation on this computer.
// The result holds only hexadecimal digits unless KESTRUNE_MACHINE_ID says otherwise.
std::string machineIdentifier(const QString& installFolder = QString());

}  // namespace platform

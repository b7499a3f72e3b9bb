#pragma once
#include <QString>

namespace platform {

// Base of the per-user data folders: APPDATA when set and non-empty, else $XDG_DATA_HOME, else ~/.local/share.
// No trailing separator; nothing is created.
QString userDataBase();

}  // namespace platform

#pragma once
#include <QString>

#include <sys/types.h>

namespace platform {

// Makes sure path is a folder that only its owner can use: creates it with mode 0700 when missing, and refuses it
// (false, with a reason in *error) when it is a symbolic link, not a folder, or owned by another user than owner.
// An existing folder of the right owner whose mode lets others in is tightened to 0700.
bool ensurePrivateFolder(const QString& path, QString* error = nullptr, uid_t owner = static_cast<uid_t>(-1));

// The per-user folder that holds downloaded installers, below the temporary folder; the name carries the user id,
// so users sharing one temporary folder never meet each other's folder. Not created here.
QString installerCacheFolderPath();

}  // namespace platform

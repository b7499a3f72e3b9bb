#pragma once
#include <QString>

namespace platform {

// Starts a file the way the desktop shell would, without waiting for it: an executable file is started detached,
// anything else is handed to the desktop's default handler. KESTRUNE_SHELL_OPEN=<program> runs that program,
// detached, with the path as its only argument instead. True when the start succeeded.
bool shellOpen(const QString& path);

}  // namespace platform

#pragma once
// File time stamps of the operating system.

#include <QDateTime>
#include <QString>

namespace platform {

// Gives an existing file the modification time (milliseconds kept); its access time is left alone.
// An empty path succeeds without action; an invalid time or a missing file fails.
bool setFileModificationTime(const QString& path, const QDateTime& time);
// The same for the open file descriptor fd.
bool setFileModificationTime(int fd, const QDateTime& time);

}  // namespace platform

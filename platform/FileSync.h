#pragma once
// Making file-system changes durable: a flush of everything written to a file system, a flush of one folder's
// entries, and an atomic exchange of two paths.

#include <QString>

namespace platform {

// Writes every change cached for the file system that holds path (file data and folder entries) to the disk.
bool syncFileSystem(const QString& path);

// Writes the entries of the folder at path (names created, renamed or removed in it) to the disk.
bool syncFolder(const QString& path);

// Swaps the two existing paths in one step, so that each name at every moment names one of the two
// complete objects. Fails where the file system cannot do it; nothing is changed then.
bool exchangePaths(const QString& a, const QString& b);

}  // namespace platform

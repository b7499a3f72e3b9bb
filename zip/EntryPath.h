#pragma once
// Entry names read as relative paths below an extraction folder.

#include <QString>

namespace EntryPath {

// The name with "\" read as "/".
QString withSlashes(const QString& name);

// False for names that could leave the extraction folder: empty, absolute, starting with a drive letter,
// holding a ".." segment or a NUL (with "\" read as "/"), or whose cleaned path below root leaves root.
bool isSafe(const QString& name, const QString& root);

// True when path is root or lies below it (both clean absolute paths).
bool isWithin(const QString& path, const QString& root);

}  // namespace EntryPath

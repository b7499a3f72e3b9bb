#pragma once
// A folder under /tmp made once per fuzzing process that stands in for the user's home: HOME, the XDG folders,
// APPDATA and the registry folder point into it, so nothing a target does reaches the real per-user files. It is
// removed when the process exits normally.
#include <QString>

class ThrowAwayHome {
public:
    // Makes the folder and sets the environment on the first call; later calls return the same path. Aborts when
    // the folder cannot be made.
    static const QString& path(const char* name);
};

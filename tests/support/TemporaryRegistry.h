#pragma once
#include <QFile>
#include <QString>
#include <QTemporaryDir>

#include "tests/support/ScopedEnvironmentVariable.h"

namespace ktest {

// An empty registry folder of its own (KESTRUNE_REGISTRY_DIR points at it) for the life of the object.
class TemporaryRegistry {
public:
    bool isValid() const { return dir_.isValid(); }
    QString path() const { return dir_.path(); }
    QString filePath(const QString& name) const { return dir_.filePath(name); }

private:
    QTemporaryDir dir_;
    ScopedEnv variable_{"KESTRUNE_REGISTRY_DIR", QFile::encodeName(dir_.path())};
};

}  // namespace ktest

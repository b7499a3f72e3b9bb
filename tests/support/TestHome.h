#pragma once
#include <QString>

namespace ktest {

// Points HOME, the XDG folders, TMPDIR and KESTRUNE_REGISTRY_DIR below root (creating them) and unsets APPDATA.
void setTestHome(const QString& root);

// The root given to setTestHome (the test main sets one per process).
QString testHome();

}  // namespace ktest

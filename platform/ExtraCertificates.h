#pragma once

class QString;

namespace platform {

// Adds the CA certificates of the PEM file named by KESTRUNE_CA_FILE to the default SSL configuration, beside the
// system's. Called at start-up (and by tests after they set the variable). Returns false when the variable is set
// but the file gives no certificate, with problem (when given) saying why: "cannot be read: <reason>" or "holds no
// certificate"; true otherwise. Certificates already present are not added twice.
bool installExtraCaCertificates(QString* problem = nullptr);

}  // namespace platform

#pragma once
#include <QString>

namespace platform {

// The account service as host (for comparisons and texts) and as authority (host and port, for URLs). The built-in
// host is overridden by the environment variable KESTRUNE_SERVICE_HOST ("host" or "host:port").
QString serviceHost();
QString serviceAuthority();

}  // namespace platform

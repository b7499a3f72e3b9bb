#pragma once

namespace platform {

// Waits for the account service, in milliseconds: 100000 for a request, 60000 for the blocking calibration wait.
// KESTRUNE_REQUEST_TIMEOUT_MS and KESTRUNE_CALIBRATION_TIMEOUT_MS can only shorten them (read on every call).
int requestTimeoutMs();
int calibrationTimeoutMs();

}  // namespace platform

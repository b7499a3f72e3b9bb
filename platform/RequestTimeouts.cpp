#include "platform/RequestTimeouts.h"

#include <QByteArray>

namespace platform {

namespace {
int shortened(const char* variable, int builtIn)
{
    bool ok = false;
    const int value = qEnvironmentVariableIntValue(variable, &ok);
    return ok && value > 0 && value < builtIn ? value : builtIn;
}
}  // namespace

int requestTimeoutMs()
{
    return shortened("KESTRUNE_REQUEST_TIMEOUT_MS", 100000);
}

int calibrationTimeoutMs()
{
    return shortened("KESTRUNE_CALIBRATION_TIMEOUT_MS", 60000);
}

}  // namespace platform

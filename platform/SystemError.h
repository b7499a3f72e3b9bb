#pragma once
// The calling thread's last system error number, as the camera libraries and their loader report it.
#include <cerrno>

namespace platform {

// errno, or 1 when errno is 0 (a failure always carries a non-zero code).
inline unsigned long lastSystemError()
{
    const int code = errno;
    return code != 0 ? static_cast<unsigned long>(code) : 1ul;
}

}  // namespace platform

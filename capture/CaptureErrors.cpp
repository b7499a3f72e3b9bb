#include "capture/CaptureErrors.h"

#include <cmath>
#include <sstream>

#include "platform/SystemError.h"

namespace capture {
namespace {

std::string orEmpty(const char* text)
{
    return text ? std::string(text) : std::string();
}

template <class T>
std::string rangeText(T value, T min, T max)
{
    std::ostringstream out;
    out << "Invalid property value " << value << ", available diapason " << min << ".." << max;
    return out.str();
}

std::string withDetail(const char* head, const char* separator, const char* detail)
{
    std::string text(head);
    if (detail && *detail) {
        text += separator;
        text += detail;
    }
    return text;
}

}  // namespace

BaseError::BaseError(const char* message) : message_(orEmpty(message)) {}
BaseError::BaseError(std::string message) : message_(std::move(message)) {}

const char* BaseError::what() const noexcept
{
    return message_.c_str();
}

InvalidProperty::InvalidProperty(float value, float min, float max) : BaseError(rangeText(value, min, max)) {}
InvalidProperty::InvalidProperty(int value, int min, int max) : BaseError(rangeText(value, min, max)) {}

PropertyNotAvailable::PropertyNotAvailable(const char* name)
    : BaseError("Property '" + orEmpty(name) + "' is not available."), propertyName_(orEmpty(name))
{
}

NotInitialized::NotInitialized(const char* where)
    : BaseError("Error at '" + orEmpty(where) + "': daZavizev don't initialized.")
{
}

MethodNotSupported::MethodNotSupported(const char* module, const char* function)
    : BaseError("SetProcAddress '" + orEmpty(function) + "' failed: " +
                formatErrorCode(platform::lastSystemError()) + "\nModule: " + orEmpty(module))
{
}

FrameCaptureTimeout::FrameCaptureTimeout() : BaseError("Frame capture timeout expired") {}
FrameCaptureTimeout::FrameCaptureTimeout(const char* message) : BaseError(message) {}
FrameCaptureTimeout::FrameCaptureTimeout(std::string message) : BaseError(std::move(message)) {}

Frame3dCaptureTimeout::Frame3dCaptureTimeout(const char* detail)
    : FrameCaptureTimeout(withDetail("3D frame capture timeout", " : ", detail))
{
}

FrameTextureCaptureTimeout::FrameTextureCaptureTimeout(const char* detail)
    : FrameCaptureTimeout(withDetail("Texture frame capture timeout", ": ", detail))
{
}

InvalidFirmwareVersion::InvalidFirmwareVersion(const char* message, const char* current, const char* required)
    : BaseError(message), current_(orEmpty(current)), required_(orEmpty(required))
{
}

FrameCorrupted::FrameCorrupted(const char* message) : BaseError(message) {}

std::string formatErrorCode(unsigned long code)
{
    return "error code = " + std::to_string(code);
}

void checkPropertyRange(int value, int min, int max)
{
    if (value < min || value > max)
        throw InvalidProperty(value, min, max);
}

void checkPropertyRange(float value, float min, float max)
{
    if (std::isnan(value) || value < min || value > max)
        throw InvalidProperty(value, min, max);
}

void checkPropertyAvailable(const char* name, bool available)
{
    if (!available)
        throw PropertyNotAvailable(name);
}

void checkInitialized(const char* where, bool initialized)
{
    if (!initialized)
        throw NotInitialized(where);
}

void checkMethodSupported(const char* module, const char* function, bool supported)
{
    if (!supported)
        throw MethodNotSupported(module, function);
}

}  // namespace capture

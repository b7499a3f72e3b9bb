#pragma once
// Exceptions thrown by the camera libraries to their hosts; every message is built once, at construction.
#include <exception>
#include <string>

namespace capture {

class BaseError : public std::exception {
public:
    BaseError() = default;
    explicit BaseError(const char* message);
    const char* what() const noexcept override;

protected:
    explicit BaseError(std::string message);

private:
    std::string message_;
};

class InvalidProperty : public BaseError {
public:
    InvalidProperty(float value, float min, float max);
    InvalidProperty(int value, int min, int max);
};

class PropertyNotAvailable : public BaseError {
public:
    explicit PropertyNotAvailable(const char* name);
    const std::string& propertyName() const { return propertyName_; }

private:
    std::string propertyName_;
};

class NotInitialized : public BaseError {
public:
    explicit NotInitialized(const char* where);
};

class MethodNotSupported : public BaseError {
public:
    // Reads the calling thread's last system error.
    MethodNotSupported(const char* module, const char* function);
};

class FrameCaptureTimeout : public BaseError {
public:
    FrameCaptureTimeout();
    explicit FrameCaptureTimeout(const char* message);

protected:
    explicit FrameCaptureTimeout(std::string message);
};

class Frame3dCaptureTimeout : public FrameCaptureTimeout {
public:
    explicit Frame3dCaptureTimeout(const char* detail);
};

class FrameTextureCaptureTimeout : public FrameCaptureTimeout {
public:
    explicit FrameTextureCaptureTimeout(const char* detail);
};

class InvalidFirmwareVersion : public BaseError {
public:
    InvalidFirmwareVersion() = default;
    InvalidFirmwareVersion(const char* message, const char* current, const char* required);
    const std::string& currentVersion() const { return current_; }
    const std::string& requiredVersion() const { return required_; }

private:
    std::string current_;
    std::string required_;
};

class FrameCorrupted : public BaseError {
public:
    explicit FrameCorrupted(const char* message);
};

// "error code = " followed by the code in unsigned decimal.
std::string formatErrorCode(unsigned long code);

// Throw InvalidProperty when value lies outside [min, max]; a NaN never passes.
void checkPropertyRange(int value, int min, int max);
void checkPropertyRange(float value, float min, float max);
void checkPropertyAvailable(const char* name, bool available);
void checkInitialized(const char* where, bool initialized);
void checkMethodSupported(const char* module, const char* function, bool supported);

}  // namespace capture

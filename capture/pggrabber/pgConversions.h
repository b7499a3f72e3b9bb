#pragma once
// Conversions between the library's enumerations and the SDK's numbers, SDK error checks, the firmware read.
#include <exception>
#include <string>
#include <utility>

#include "capture/pggrabber/pgGrabber.h"
#include "platform/flycapture2/FlyCapture2.h"

FlyCapture2::VideoMode toSdkVideoMode(pgGrabber::VideoMode mode);
pgGrabber::VideoMode fromSdkVideoMode(FlyCapture2::VideoMode mode);
FlyCapture2::FrameRate toSdkFrameRate(pgGrabber::FrameRate rate);
pgGrabber::FrameRate fromSdkFrameRate(FlyCapture2::FrameRate rate);
FlyCapture2::ColorProcessingAlgorithm toSdkColorProcessing(pgGrabber::ColorMethod method);
float sdkFrameRateToFloat(FlyCapture2::FrameRate rate);
int toInterfaceType(FlyCapture2::InterfaceType type);

// Throws std::runtime_error "Capture module, <name> error. Description: <description>Error code: <type>".
[[noreturn]] void raiseSdkError(FlyCapture2::Error error, const std::string& name);
// Raises the SDK error above, named label, unless error is PGRERROR_OK.
void check(const FlyCapture2::Error& error, const char* label);

// The firmware register's version: major in bits 24-31, minor in 16-23, revision in 12-15.
pgGrabber::sFirmwareVersion readFirmwareVersion(FlyCapture2::CameraBase& camera);

// A failure reported as a plain std::exception (not a runtime_error): the GigE-only steps' SDK failures
// with the SDK's description, and a camera that cannot be found or made.
class PlainError : public std::exception {
public:
    explicit PlainError(std::string message) : message_(std::move(message)) {}
    const char* what() const noexcept override { return message_.c_str(); }

private:
    std::string message_;
};

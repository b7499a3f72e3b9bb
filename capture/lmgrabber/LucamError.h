#pragma once
// Turning the camera SDK's last error code into a capture exception.
#include <cstdint>
#include <string>

namespace lmgrabber {

// The message for an SDK error code: the SDK's description, prefixed with "Error code <n>" for most codes.
std::string lucamErrorMessage(uint32_t code);

// Throws the exception for code: capture::FrameCaptureTimeout for the SDK's time-out code 19, else
// capture::BaseError with lucamErrorMessage(code).
[[noreturn]] void throwLucamError(uint32_t code);

}  // namespace lmgrabber

// Reads LucamGetLastError and throws its exception; called right after an SDK call failed.
[[noreturn]] void translateLucamError();

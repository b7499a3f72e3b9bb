#pragma once
// Texts of the cw functions' not-initialised failures; name is always the raising export's name.
#include <string>

namespace capture {

// "<name>: camera hasn't been initialized!"
std::string cameraNotInitializedText(const char* name);
// "Error at <name> - camera hasn't been initialized!"
std::string errorAtNotInitializedText(const char* name);
// "Error at <name> - camera hasn't support this property."
std::string propertyNotSupportedText(const char* name);

extern const char* const textureDeviceNotInitializedText;  // "cwGetFrameTexture: device hasn't been initialized!"
extern const char* const textureCameraNotInitializedText;  // "cwGetFrameTexture: texture camera hasn't been initialized!"

// How an export reports a handle that is not in the library's map.
enum class LookupForm {
    Short,    // cameraNotInitializedText
    Texture,  // the two texture texts: no record, or a record without texture camera
    ErrorAt,  // errorAtNotInitializedText
};

// Throws std::runtime_error with the form's text for a missing record (Texture: the device text).
[[noreturn]] void throwNotInitialized(LookupForm form, const char* name);

}  // namespace capture

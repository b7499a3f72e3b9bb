#include "capture/cwErrorTexts.h"

#include <sstream>
#include <stdexcept>

namespace capture {

const char* const textureDeviceNotInitializedText = "cwGetFrameTexture: device hasn't been initialized!";
const char* const textureCameraNotInitializedText = "cwGetFrameTexture: texture camera hasn't been initialized!";

std::string cameraNotInitializedText(const char* name)
{
    return std::string(name) + ": camera hasn't been initialized!";
}

std::string errorAtNotInitializedText(const char* name)
{
    std::ostringstream text;
    text << "Error at " << name << " - camera hasn't been initialized!";
    return text.str();
}

std::string propertyNotSupportedText(const char* name)
{
    std::ostringstream text;
    text << "Error at " << name << " - camera hasn't support this property.";
    return text.str();
}

void throwNotInitialized(LookupForm form, const char* name)
{
    switch (form) {
    case LookupForm::Short: throw std::runtime_error(cameraNotInitializedText(name));
    case LookupForm::Texture: throw std::runtime_error(textureDeviceNotInitializedText);
    case LookupForm::ErrorAt: break;
    }
    throw std::runtime_error(errorAtNotInitializedText(name));
}

}  // namespace capture

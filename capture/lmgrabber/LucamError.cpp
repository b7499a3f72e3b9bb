#include "capture/lmgrabber/LucamError.h"

#include <sstream>

#include "capture/CaptureErrors.h"
#include "platform/lucam/LucamApi.h"

namespace lmgrabber {
namespace {

const uint32_t timeoutCode = 19;

// The SDK's descriptions of its codes 1 to 99, in order.
const char* const descriptions[99] = {
    "Camera error - NoSuchIndex. The index passed to CameraOpen was 0. It must be >= 1.",
    "Camera error: snapshots or fast frames does not support",
    ". The pixel format parameter passed to the function is invalid.",
    ". A subsampling of zero was passed to a function.",
    ". The function is unavailable because the camera is busy with streaming or capturing fast frames.",
    ". The API failed to set the requested subsampling. This can be due to the camera being disconnected. It can also be due to a filter not being there.",
    ". The API failed to set the requested subsampling. This can be due to the camera being disconnected.",
    ". The camera does not support the pixel format passed to the function.",
    ". The format passed to the function does not pass the camera requirements. Verify that (xOffset + width) is not greater than the camera's maximum width. Verify that (width / subSamplingX) is a multiple of some 'nice' value. Do the same for the y.",
    ". The API failed to prepare the camera for streaming or snapshot. This can due to the camera being disconnected. If START_STREAMING succeeds and START_DISPLAY fails with this error, this can be due to a filter not being there or registered.",
    ". The API failed to get the camera running. This can be due to a bandwidth problem.",
    "Camera error - NoTriggerControl.",
    "Camera error - NoPin.",
    ". The function failed because it requires the camera to be running, and it is not.",
    "Camera error - trigger failed.",
    ". The camera does not support that its frame format get setup. This will happen if your camera is plugged to a USB 1 port and it does not support it.",
    ". Direct Show initialization error. This may happen if you run the API before having installed a DS compatible camera ever before. The camera is DS compatible.",
    ". The function CameraOpen did not find the camera # index.",
    "Capture timeout error.",
    ". The API does not know the property passed to GetProperty, SetProperty or LucamGetPropertyRange. You may be using an old dll.",
    ". The camera does not support that property.",
    ". The API failed to access the property. Most likely, the reason is that the camera does not support that property.",
    ". The lucustom.ax filter was not found.",
    ". The function failed because preview is not running.",
    ". The function failed because lutf.ax is not loaded.",
    ". An error related to the operation of DirectShow occured.",
    ". The function AddStreamingCallback failed because the API cannot support any more callbacks.",
    ". The API does not know what is the frame format of the camera.",
    ". An parameter has an obviously wrong value.",
    ". Resource allocation failed.",
    ". One of the members of the CAM_CONVERSION structure passed is either unknown or inappropriate.",
    ". A parameter representing a quantity is outside the allowed boundaries.",
    ". An error occured creating a file or writing to it. Verify that the path exists.",
    "Camera error - gdiplus.dll is needed and was not found.",
    "Camera, gdiplus.dll reported an error. This may happen if there is a file io error",
    "Camera error - UnknownFormatType.",
    ". The API failed to create the display window. The reason could be unsufficient resources.",
    "Camera error - deltapolation.dll is needed and was not found.",
    ". The deltapolation command is not supported by the delta polation library.",
    ". The deltapolation command is unknown or invalid.",
    ". The function cannot be performed when the camera is in paused state.",
    "Camera error - CaptureFailed.",
    "Camera error - DpError.",
    "Camera error - NoSuchFrameRate.",
    ". One of the target parameters is wrong. This error code is used when startX + width > (frameFormat.width / frameFormat.subSampleX) or startY + height > (frameFormat.height / frameFormat.subSampleY) or if any of those parameter is odd (not a multiple of 2) or if width or height is 0.",
    ". The frame is too dark to perform white balance.",
    ". A DirectShow interface necessary to carry out the operation was not found.",
    ". The user cancelled the operation.",
    ". The DirectShow IKsControl interface is not supported (did you unplugged the camera?).",
    ". Some module attempted to register an unsupported event.",
    ". The function failed because preview was not setup.",
    ". A function setting window position failed (invalid parameters?\?).",
    ". The frame rate list is not available.",
    ". There was an error building the frame rate list.",
    ". The camera does not support that particular command.",
    ". The graph is not ready.",
    ". Callback setup error.",
    ". You cannot cause a soft trigger when hw trigger is enabled.",
    ". The API was asked to return soomething that is not there.",
    ". The onboard EEPROM is too small.",
    ". The API failed to write to the onboard eeprom.",
    ". The API failed because it failed to recognize the file type of a file name passed to it..",
    ". RegisterEventNotification failed because the event is not supported.",
    ". The API found that the EEPROM was corrupted.",
    ". The VPD section to write to the eeprom is too big.",
    ". The frame is too bright to perform white balance.",
    ". The camera is configured to have no correction matrix (CAM_PROP_CORRECTION_MATRIX is AM_CM_NONE).",
    ". The API failed because it needs to know the camera model and it is not available.",
    ". The API failed because it needs to be upgraded to access a feature of the camera.",
    ". The API failed because the saturation is currently 0.",
    ". The API failed because the object was already initialised.",
    ". The API failed because the object was already initialised.",
    ". The API failed because the file conversion was not completed.",
    ". The API failed because the file is already converted in the desired format.",
    ". The API failed to display the property page.",
    ". The API failed to create the property page.",
    ". The API did not find the required direct show filter.",
    ". The camera does not support that different LUTs are applied to each color.",
    ". Unexpected error.",
    ". TakeFastFrame or TakeVideo failed because another thread interrupted the streaming by a call to DisableFastFrames or StreamVideoControl.",
    ". ForceTakeFastFrame was called while the camera is in hardware trigger still mode and the camera does not support taking a sw trigger snapshot while in that state.",
    ". The target is too flaky to perform auto focus.",
    ". The auto lens needs to be initialized before the function is used.",
    ". The function failed because the lens were not installed correctly. Verify that changing the focus has any effect.",
    ". The function failed because of an unknoen error.",
    ". There is no feedback available for focus.",
    ". LuTF.ax is too old for this feature.",
    ". Unknown or invalid AVI format for input file.",
    ". Unknown AVI type. Verify the AVI type parameter.",
    ". The AVI conversion is invalid.",
    ". The seeking operation failed.",
    ". The function cannot be performed while an AVI is being captured.",
    ". An attempt was made to open a camera for streaming-related reasons while it is already opened for such.",
    ". The API cannot take a high resolution image in subsampled mode or binning mode.",
    ". The API function is only available on monochrome cameras.",
    ". Building a 48 bpp image from an 8 bpp image is invalid.",
    ". Use 12 bits lut instead.",
    ". That functionnality is not supported.",
    ". Property access failed due to a retry limit.",
};

// Codes whose message is the description alone.
bool standsAlone(uint32_t code)
{
    switch (code) {
    case 1: case 2: case 12: case 13: case 15: case 19: case 34: case 35: case 36: case 38: case 42: case 43: case 44:
        return true;
    default:
        return false;
    }
}

}  // namespace

std::string lucamErrorMessage(uint32_t code)
{
    std::ostringstream message;
    if (code >= 1 && code <= 99) {
        if (!standsAlone(code))
            message << "Error code " << code;
        message << descriptions[code - 1];
    } else {
        message << "Error code " << code << ".";
    }
    return message.str();
}

void throwLucamError(uint32_t code)
{
    if (code == timeoutCode)
        throw capture::FrameCaptureTimeout(lucamErrorMessage(code).c_str());
    throw capture::BaseError(lucamErrorMessage(code).c_str());
}

}  // namespace lmgrabber

void translateLucamError()
{
    lmgrabber::throwLucamError(LucamGetLastError());
}

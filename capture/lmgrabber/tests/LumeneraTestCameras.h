#pragma once
// Simulated cameras and configuration trees for the Lumenera library's tests.
#include <cstdint>
#include <exception>
#include <functional>
#include <string>
#include <vector>

#include "nitypes/niPtree.h"
#include "platform/lucam/LucamSimulator.h"

namespace lmtest {

// The text of what call throws, or "no exception".
inline std::string errorOf(const std::function<void()>& call)
{
    try {
        call();
    } catch (const std::exception& e) {
        return e.what();
    }
    return "no exception";
}

const uint32_t mainSerial = 1001;
const uint32_t textureSerial = 1002;
const int frameWidth = 16;
const int frameHeight = 8;

// Row r of a frame is all bytes 10 * r + 1.
inline std::vector<unsigned char> rowFrame()
{
    std::vector<unsigned char> frame(frameWidth * frameHeight);
    for (int i = 0; i < frameWidth * frameHeight; ++i)
        frame[static_cast<std::size_t>(i)] = static_cast<unsigned char>(10 * (i / frameWidth) + 1);
    return frame;
}

inline lucamsim::CameraSpec camera(uint32_t serial, uint32_t model, float colorFormat)
{
    lucamsim::CameraSpec cameraSpec;
    cameraSpec.serial = serial;
    cameraSpec.model = model;
    cameraSpec.width = frameWidth;
    cameraSpec.height = frameHeight;
    cameraSpec.properties[lucamsim::colorFormat].value = colorFormat;
    cameraSpec.properties[lucamsim::colorFormat].defaultValue = colorFormat;
    cameraSpec.frame = rowFrame();
    return cameraSpec;
}

// A monochrome main camera (serial 1001) and a colour texture camera (serial 1002), nothing else.
inline void connectScanner()
{
    lucamsim::reset();
    lucamsim::addCamera(camera(mainSerial, 140, 0));
    lucamsim::addCamera(camera(textureSerial, 149, 8));
}

// Main section with exposure 20 ms and gain 4; texture section of a colour camera.
inline niTypes::niPtree scannerConfig()
{
    niTypes::niPtree tree;
    tree.put("Device.Info.camera_clr_id", niTypes::niString("1002"));
    tree.put("Device.Camera.Lumenera.exposure", 20.0f);
    tree.put("Device.Camera.Lumenera.gain", 4.0f);
    tree.put("Device.Camera2.Lumenera.rgb", true);
    tree.put("Device.Camera2.Lumenera.white_balance", 2);
    tree.put("Device.Camera2.Lumenera.gain_red", 1.5f);
    return tree;
}

inline bool anyCameraOpen()
{
    for (uint32_t serial : {mainSerial, textureSerial})
        if (lucamsim::cameraState(serial).open)
            return true;
    return false;
}

}  // namespace lmtest

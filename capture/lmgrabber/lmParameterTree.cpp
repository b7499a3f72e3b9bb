#include "capture/lmgrabber/lmParameterTree.h"

#include <stdexcept>
#include <vector>

#include "capture/CaptureErrors.h"

namespace lmgrabber {
namespace {

template <class T>
bool read(const niTypes::niPtree& section, const char* key, T& target)
{
    const auto child = section.get_child_optional(key);
    if (!child)
        return false;
    target = child->data().get<T>();
    return true;
}

template <class T>
T required(const niTypes::niPtree& section, const char* key)
{
    T value{};
    if (!read(section, key, value))
        throw std::runtime_error(std::string("No such node (") + key + ")");
    return value;
}

}  // namespace

void loadParametersFromTree(lmGrabber::lmParameters& p, const niTypes::niPtree& section)
{
    int bpp = static_cast<int>(p.depth) * 8;
    if (read(section, "bpp", bpp))
        p.depth = static_cast<lmGrabber::eDepth>(bpp / 8);
    float value = 0;
    if (read(section, "exposure", value))
        p.setShutterSpeed(value);
    if (read(section, "gain", value))
        p.setGain(value);
    read(section, "strobe_delay", p.strobeDelay);
    read(section, "exposure_delay", p.exposureDelay);
    read(section, "strobe_length", p.strobeLength);
    read(section, "auto_exposure", p.shutterSpeedAuto);
    read(section, "auto_gain", p.autoGain);
    read(section, "exposure_priority", p.autoExposurePriority);
    read(section, "tune_auto_exposure_on_start", p.tuneAutoExposureOnStart);
    read(section, "rgb", p.rgb);
    if (p.rgb) {
        read(section, "gain_red", p.gainR);
        read(section, "gain_blue", p.gainB);
        read(section, "gain_green", p.gainG1);
        read(section, "gain_green2", p.gainG2);
        p.whiteBalanceCorr = static_cast<lmGrabber::eWhiteBalanceCorrection>(required<int>(section, "white_balance"));
        if (p.whiteBalanceCorr == lmGrabber::wbCustom) {
            const std::vector<float> matrix = required<std::vector<float>>(section, "color_correction");
            if (matrix.size() < 9)
                throw std::runtime_error("color_correction needs nine values");
            for (int i = 0; i < 9; ++i)
                p.colorCorrMatrix[i] = matrix[static_cast<std::size_t>(i)];
        }
        int demosaic = 0;
        if (read(section, "demosaic_method", demosaic))
            p.demosaicMethod = static_cast<lmGrabber::eDemosaicMethod>(demosaic);
        read(section, "digital_gain", p.digitalGain);
        read(section, "digital_wb_u", p.digitalWbU);
        read(section, "digital_wb_v", p.digitalWbV);
    }
    int hue = 0;
    if (read(section, "hue", hue))
        p.setHue(hue);
    if (read(section, "saturation", value))
        p.setSaturation(value);
    if (read(section, "gamma", value))
        p.setGamma(value);
    if (read(section, "brightness", value))
        p.setBrightness(value);
    if (read(section, "contrast", value))
        p.setContrast(value);
    read(section, "has_flash", p.hasFlash);
    read(section, "min_flash_strobe_interval", p.minFlashStrobeInterval);
}

}  // namespace lmgrabber

#include <gtest/gtest.h>

#include <cerrno>
#include <cmath>
#include <functional>
#include <limits>

#include "capture/CaptureErrors.h"

using namespace capture;

namespace {

struct ErrorCase {
    const char* label;
    std::function<void()> raise;
    const char* text;
};

void PrintTo(const ErrorCase& c, std::ostream* out)
{
    *out << c.label;
}

class ErrorTextTest : public ::testing::TestWithParam<ErrorCase> {};

TEST_P(ErrorTextTest, CarriesItsText)
{
    try {
        GetParam().raise();
        FAIL() << "nothing thrown";
    } catch (const BaseError& e) {
        EXPECT_STREQ(GetParam().text, e.what());
    }
}

INSTANTIATE_TEST_SUITE_P(
    All, ErrorTextTest,
    ::testing::Values(
        ErrorCase{"base empty", [] { throw BaseError(); }, ""},
        ErrorCase{"base text", [] { throw BaseError("sdk: bad thing"); }, "sdk: bad thing"},
        ErrorCase{"float range", [] { throw InvalidProperty(5.5f, 0.0f, 2.0f); },
                  "Invalid property value 5.5, available diapason 0..2"},
        ErrorCase{"float six digits", [] { throw InvalidProperty(3000.0f, 0.5f, 1234567.0f); },
                  "Invalid property value 3000, available diapason 0.5..1.23457e+06"},
        ErrorCase{"int range", [] { throw InvalidProperty(200, -180, 180); },
                  "Invalid property value 200, available diapason -180..180"},
        ErrorCase{"not available", [] { throw PropertyNotAvailable("exposure"); },
                  "Property 'exposure' is not available."},
        ErrorCase{"not initialized", [] { throw NotInitialized("bad key 'gain'"); },
                  "Error at 'bad key 'gain'': daZavizev don't initialized."},
        ErrorCase{"method not supported", [] { errno = 22; throw MethodNotSupported("lmGrabber", "cwSetTriggerDelay"); },
                  "SetProcAddress 'cwSetTriggerDelay' failed: error code = 22\nModule: lmGrabber"},
        ErrorCase{"method not supported without errno", [] { errno = 0; throw MethodNotSupported("m", "f"); },
                  "SetProcAddress 'f' failed: error code = 1\nModule: m"},
        ErrorCase{"timeout default", [] { throw FrameCaptureTimeout(); }, "Frame capture timeout expired"},
        ErrorCase{"timeout text", [] { throw FrameCaptureTimeout("Capture timeout error."); }, "Capture timeout error."},
        ErrorCase{"3d with detail", [] { throw Frame3dCaptureTimeout("x"); }, "3D frame capture timeout : x"},
        ErrorCase{"3d null", [] { throw Frame3dCaptureTimeout(nullptr); }, "3D frame capture timeout"},
        ErrorCase{"texture null", [] { throw FrameTextureCaptureTimeout(nullptr); }, "Texture frame capture timeout"},
        ErrorCase{"texture empty", [] { throw FrameTextureCaptureTimeout(""); }, "Texture frame capture timeout"},
        ErrorCase{"texture detail", [] { throw FrameTextureCaptureTimeout("Capture timeout error."); },
                  "Texture frame capture timeout: Capture timeout error."},
        ErrorCase{"firmware", [] { throw InvalidFirmwareVersion("old firmware", "1.2.0", "1.4.3"); }, "old firmware"},
        ErrorCase{"firmware empty", [] { throw InvalidFirmwareVersion(); }, ""},
        ErrorCase{"corrupted", [] { throw FrameCorrupted("Image is corrupted"); }, "Image is corrupted"},
        ErrorCase{"range check int", [] { checkPropertyRange(-181, -180, 180); },
                  "Invalid property value -181, available diapason -180..180"},
        ErrorCase{"range check float", [] { checkPropertyRange(2.5f, 0.0f, 2.0f); },
                  "Invalid property value 2.5, available diapason 0..2"},
        ErrorCase{"range check nan", [] { checkPropertyRange(std::nanf(""), 0.0f, 2.0f); },
                  "Invalid property value nan, available diapason 0..2"},
        ErrorCase{"available check", [] { checkPropertyAvailable("hue", false); }, "Property 'hue' is not available."},
        ErrorCase{"initialized check", [] { checkInitialized("here", false); },
                  "Error at 'here': daZavizev don't initialized."},
        ErrorCase{"supported check", [] { errno = 2; checkMethodSupported("pg", "cwX", false); },
                  "SetProcAddress 'cwX' failed: error code = 2\nModule: pg"}));

TEST(CaptureErrors, ChecksPassAtBoundsAndWhenFlagsAreSet)
{
    EXPECT_NO_THROW(checkPropertyRange(-180, -180, 180));
    EXPECT_NO_THROW(checkPropertyRange(180, -180, 180));
    EXPECT_NO_THROW(checkPropertyRange(0.0f, 0.0f, 2.0f));
    EXPECT_NO_THROW(checkPropertyRange(2.0f, 0.0f, 2.0f));
    EXPECT_NO_THROW(checkPropertyAvailable("hue", true));
    EXPECT_NO_THROW(checkInitialized("x", true));
    EXPECT_NO_THROW(checkMethodSupported("m", "f", true));
}

TEST(CaptureErrors, TextureTimeoutIsCaughtAsEveryBase)
{
    auto raise = [] { throw FrameTextureCaptureTimeout("d"); };
    EXPECT_THROW(raise(), FrameCaptureTimeout);
    EXPECT_THROW(raise(), BaseError);
    EXPECT_THROW(raise(), std::exception);
}

TEST(CaptureErrors, CopiesKeepTheirFields)
{
    const PropertyNotAvailable original("gamma");
    const PropertyNotAvailable copy(original);
    EXPECT_EQ("gamma", copy.propertyName());
    EXPECT_STREQ(original.what(), copy.what());
    const InvalidFirmwareVersion firmware("m", "1.2.0", "1.4.3");
    const InvalidFirmwareVersion firmwareCopy(firmware);
    EXPECT_EQ("1.2.0", firmwareCopy.currentVersion());
    EXPECT_EQ("1.4.3", firmwareCopy.requiredVersion());
}

TEST(CaptureErrors, ErrorCodeIsUnsignedDecimal)
{
    EXPECT_EQ("error code = 5", formatErrorCode(5));
    EXPECT_EQ("error code = 4294967295", formatErrorCode(4294967295ul));
}

}  // namespace

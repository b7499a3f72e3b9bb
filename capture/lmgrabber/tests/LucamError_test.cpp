#include <gtest/gtest.h>

#include <string>

#include "capture/CaptureErrors.h"
#include "capture/lmgrabber/LucamError.h"
#include "platform/lucam/LucamSimulator.h"

namespace {

struct ErrorCase {
    uint32_t code;
    const char* message;
    bool timeout;
};

class LucamErrorText : public ::testing::TestWithParam<ErrorCase> {};

TEST_P(LucamErrorText, ThrowsTheSdkDescription)
{
    const ErrorCase& c = GetParam();
    EXPECT_EQ(c.message, lmgrabber::lucamErrorMessage(c.code));
    try {
        lmgrabber::throwLucamError(c.code);
        FAIL() << "no exception";
    } catch (const capture::FrameCaptureTimeout& e) {
        EXPECT_TRUE(c.timeout);
        EXPECT_STREQ(c.message, e.what());
    } catch (const capture::BaseError& e) {
        EXPECT_FALSE(c.timeout);
        EXPECT_STREQ(c.message, e.what());
    }
}

INSTANTIATE_TEST_SUITE_P(
    Codes, LucamErrorText,
    ::testing::Values(
        ErrorCase{0, "Error code 0.", false},
        ErrorCase{1, "Camera error - NoSuchIndex. The index passed to CameraOpen was 0. It must be >= 1.", false},
        ErrorCase{2, "Camera error: snapshots or fast frames does not support", false},
        ErrorCase{3, "Error code 3. The pixel format parameter passed to the function is invalid.", false},
        ErrorCase{19, "Capture timeout error.", true},
        ErrorCase{21, "Error code 21. The camera does not support that property.", false},
        ErrorCase{35, "Camera, gdiplus.dll reported an error. This may happen if there is a file io error", false},
        ErrorCase{44, "Camera error - NoSuchFrameRate.", false},
        ErrorCase{52, "Error code 52. A function setting window position failed (invalid parameters?\?).", false},
        ErrorCase{71, "Error code 71. The API failed because the object was already initialised.", false},
        ErrorCase{72, "Error code 72. The API failed because the object was already initialised.", false},
        ErrorCase{99, "Error code 99. Property access failed due to a retry limit.", false},
        ErrorCase{100, "Error code 100.", false},
        ErrorCase{4294967295u, "Error code 4294967295.", false}));

TEST(LucamErrorTranslation, ReadsTheLastErrorOfTheFailedCall)
{
    lucamsim::reset();
    lucamsim::failCall("LucamNumCameras", 19);
    ASSERT_EQ(-1, LucamNumCameras());
    EXPECT_THROW(translateLucamError(), capture::FrameCaptureTimeout);

    lucamsim::addCamera(lucamsim::CameraSpec{});
    ASSERT_EQ(nullptr, LucamCameraOpen(0));
    try {
        translateLucamError();
    } catch (const capture::BaseError& e) {
        EXPECT_STREQ("Camera error - NoSuchIndex. The index passed to CameraOpen was 0. It must be >= 1.", e.what());
    }
    lucamsim::reset();
}

}  // namespace

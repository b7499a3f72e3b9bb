#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <fstream>
#include <functional>
#include <memory>
#include <stdexcept>
#include <thread>

#include "capture/CaptureErrors.h"
#include "capture/pggrabber/iCameraBase.h"
#include "capture/pggrabber/niPgGrabberUSB.h"
#include "capture/pggrabber/pgBus.h"
#include "capture/pggrabber/pgGrabber.h"
#include "capture/pggrabber/tests/MessageOf.h"
#include "capture/pggrabber/tests/SimCameras.h"

namespace {

using namespace FlyCapture2;
using pgtest::callsStartingWith;
using pgtest::countCalls;
using pgtest::messageOf;

// The message of a plain std::exception thrown by f; a std::runtime_error is marked as such.
std::string plainMessageOf(const std::function<void()>& f)
{
    try {
        f();
    } catch (const std::runtime_error& e) {
        return std::string("runtime_error: ") + e.what();
    } catch (const std::exception& e) {
        return e.what();
    }
    return "(no exception)";
}

class PgCamera : public testing::Test {
protected:
    void SetUp() override { fc2sim::reset(); }
    void TearDown() override
    {
        releaseBusManager();
        fc2sim::reset();
    }

    static std::unique_ptr<pgGrabber> open(const fc2sim::CameraSpec& cameraSpec)
    {
        fc2sim::addCamera(cameraSpec);
        return std::make_unique<pgGrabber>(std::to_string(cameraSpec.serial));
    }

    static void change(pgGrabber& camera, const std::function<void(pgGrabber::pgParameters&)>& edit)
    {
        pgGrabber::pgParameters p = camera.getParameters();
        edit(p);
        camera.setParameters(p);
    }
};

TEST_F(PgCamera, ConnectBringsTheCameraIntoAKnownState)
{
    fc2sim::CameraSpec cameraSpec = fc2sim::defaultCamera(100);
    cameraSpec.properties[SHUTTER].autoMode = true;
    cameraSpec.properties[AUTO_EXPOSURE].autoMode = true;
    const auto camera = open(cameraSpec);

    const TriggerMode trigger = fc2sim::triggerMode(100);
    EXPECT_TRUE(trigger.onOff);
    EXPECT_EQ(7u, trigger.source);
    EXPECT_EQ(1u, trigger.polarity);
    EXPECT_EQ(0x80000000u, fc2sim::registerValue(100, 0x610));
    EXPECT_EQ(3000, fc2sim::configuration(100).grabTimeout);
    EXPECT_FALSE(fc2sim::property(100, SHUTTER).autoManualMode);
    EXPECT_FALSE(fc2sim::property(100, AUTO_EXPOSURE).autoManualMode);
    EXPECT_EQ(8u, fc2sim::property(100, PAN).valueA);
    EXPECT_EQ(2u, fc2sim::property(100, TILT).valueA);
    for (unsigned int source = 0; source < 4; ++source)
        EXPECT_FALSE(fc2sim::strobe(100, source).onOff);
    EXPECT_EQ(4, countCalls(100, "SetGPIOPinDirection"));

    const pgGrabber::pgParameters& p = camera->getParameters();
    EXPECT_TRUE(p.shutterSpeedAvailable && p.shutterSpeedOn);
    EXPECT_FALSE(p.shutterSpeedAuto);
    EXPECT_FLOAT_EQ(66.0f, p.maxShutterSpeed);
    EXPECT_FLOAT_EQ(10.0f, p.shutterSpeed);
    EXPECT_TRUE(p.gainAvailable && p.gainOn);
    EXPECT_TRUE(p.temperatureAvailable);
    EXPECT_FALSE(p.hueAvailable);
    EXPECT_FALSE(p.useHwTrigger);
    EXPECT_FALSE(p.exposureOn);
    EXPECT_EQ(100u, camera->getSerialNumber());
    // a monochrome camera sets no colour processing and keeps the record's white balance
    EXPECT_EQ(0, countCalls(0, "SetDefaultColorProcessing"));
    EXPECT_FALSE(p.wbAvailable);
    EXPECT_EQ(1023, p.maxWb);
    EXPECT_EQ("Property 'ColorProcessingMethod' is not available.",
              messageOf([&] { camera->setColorMethod(pgGrabber::CM_EDGE_SENSING); }));
    EXPECT_NEAR(26.85f, camera->getTemperature(), 0.005f);
}

TEST_F(PgCamera, TemperatureIsWholeKelvinsInCelsius)
{
    // value A in tenths of a kelvin; the tenths are dropped before the conversion
    const std::pair<unsigned int, float> cases[] = {{3000, 26.85f}, {3005, 26.85f}, {3009, 26.85f}, {2745, 0.85f}};
    unsigned int serial = 150;
    for (auto [tenths, celsius] : cases) {
        fc2sim::CameraSpec cameraSpec = fc2sim::defaultCamera(++serial);
        cameraSpec.properties[TEMPERATURE].valueA = tenths;
        EXPECT_NEAR(celsius, open(cameraSpec)->getTemperature(), 0.005f) << tenths;
    }
}

TEST_F(PgCamera, ACameraMakesOnlyTheBusObjectsItWasNotGiven)
{
    fc2sim::addCamera(fc2sim::defaultCamera(160));
    {
        niPgGrabberUSB camera;
        camera.setBusMutex(&busMutex);  // the library's mutex, but no bus manager
        camera.connect2Camera(160);
        EXPECT_TRUE(fc2sim::isConnected(160));
        EXPECT_EQ(1, fc2sim::busManagerCount());
    }
    EXPECT_EQ(0, fc2sim::busManagerCount());  // its own bus manager went with it, the library's mutex stays
    EXPECT_TRUE(busMutex.try_lock());
    busMutex.unlock();
    EXPECT_FALSE(fc2sim::isConnected(160));
}

TEST_F(PgCamera, ColourCameraGetsItsProcessingAndWhiteBalanceRange)
{
    const auto camera = open(fc2sim::defaultCamera(101, INTERFACE_USB3, true));
    EXPECT_EQ(1, countCalls(0, "SetDefaultColorProcessing 4"));
    const pgGrabber::pgParameters& p = camera->getParameters();
    EXPECT_TRUE(p.wbAvailable && p.wbOn && p.hueAvailable && p.saturationAvailable && p.hueOn);
    camera->setWbR(700);
    EXPECT_EQ(700u, fc2sim::property(101, WHITE_BALANCE).valueA);
    EXPECT_EQ(810u, fc2sim::property(101, WHITE_BALANCE).valueB);
    EXPECT_THROW(camera->setWbB(5000), std::runtime_error);
    EXPECT_EQ(810, camera->getWbB());
    const pgGrabber::CamInfo info = camera->getCameraInfo();
    EXPECT_EQ("101", info.serialNumber);
    EXPECT_EQ(1, info.isColor);
    EXPECT_EQ(niBayerConversions::RGGB, camera->getBayerTileFormat());
}

TEST_F(PgCamera, BusListsAndFindsCamerasByExactSerial)
{
    std::vector<std::string> names = {"stale"};
    EXPECT_EQ(0u, pgGrabber::enumerateCameras(names));
    EXPECT_TRUE(names.empty());
    pgGrabber::forceIpForGigeCameras();  // a bus manager exists now: the SDK is asked
    EXPECT_EQ(1, countCalls(0, "RescanBus"));

    fc2sim::addCamera(fc2sim::defaultCamera(12345));
    fc2sim::addCamera(fc2sim::defaultCamera(678, INTERFACE_GIGE));
    EXPECT_EQ(2u, pgGrabber::enumerateCameras(names));
    EXPECT_EQ((std::vector<std::string>{"12345", "678"}), names);
    EXPECT_EQ(2u, pgGrabber::getNumCameras());
    for (const char* text : {"0678", " 678", "67", ""})
        EXPECT_EQ("Camera not found", messageOf([&] { pgGrabber camera(text); })) << text;
    EXPECT_FALSE(fc2sim::isConnected(678));

    std::vector<pgGrabber::CamInfo> infos;
    EXPECT_EQ(2u, pgGrabber::enumerateCameras(infos));
    EXPECT_EQ(3, infos[1].interfaceType);
    EXPECT_EQ("678", infos[1].serialNumber);

    pgGrabber camera("678");
    EXPECT_TRUE(fc2sim::isConnected(678));
    EXPECT_FALSE(fc2sim::isConnected(12345));
}

TEST_F(PgCamera, DescribingBusCamerasLeavesAnOpenCameraCapturing)
{
    const auto usb = open(fc2sim::defaultCamera(130));
    const auto gige = open(fc2sim::defaultCamera(131, INTERFACE_GIGE));
    usb->start();
    gige->start();
    niTypes::niImage<unsigned char> frame;
    usb->captureFrame(frame);

    fc2sim::clearCalls();
    std::vector<pgGrabber::CamInfo> cameras;
    ASSERT_EQ(2u, pgGrabber::enumerateCameras(cameras));
    EXPECT_EQ(1, countCalls(130, "Connect"));  // the describing object's own connection
    EXPECT_EQ(1, countCalls(130, "Disconnect"));
    EXPECT_TRUE(fc2sim::isCapturing(130));
    EXPECT_TRUE(fc2sim::isCapturing(131));
    usb->captureFrame(frame);
    EXPECT_EQ(1280, frame.width);
    gige->captureFrame(frame);
    EXPECT_EQ(1280, frame.width);

    // a second object on the same camera connects and lets go without touching the first one's capture
    {
        const pgGrabber second("130");
        EXPECT_EQ(130u, second.getSerialNumber());
    }
    EXPECT_TRUE(fc2sim::isConnected(130));
    usb->captureFrame(frame);
    EXPECT_EQ(960, frame.height);
}

TEST_F(PgCamera, OnlyUsbAndGigeInterfacesAreOpened)
{
    fc2sim::addCamera(fc2sim::defaultCamera(7));
    for (int type : {0, 4}) {
        pgGrabber::CamInfo info;
        info.serialNumber = "7";
        info.interfaceType = type;
        EXPECT_EQ("Error init", messageOf([&] { pgGrabber camera(info); }));
    }
    EXPECT_EQ(0, countCalls(7, "Connect"));
}

TEST_F(PgCamera, AFailedConnectReleasesTheCamera)
{
    fc2sim::CameraSpec cameraSpec = fc2sim::defaultCamera(8);
    cameraSpec.softwareTrigger = false;
    fc2sim::addCamera(cameraSpec);
    EXPECT_EQ("This camera does not support external trigger.", messageOf([] { pgGrabber camera("8"); }));
    EXPECT_FALSE(fc2sim::isConnected(8));

    fc2sim::addCamera(fc2sim::defaultCamera(9));
    fc2sim::failNext(9, "GetCameraInfo", PGRERROR_FAILED, 2, "no info");
    EXPECT_EQ("Capture module, GetCameraInfo error. Description: no infoError code: 1",
              messageOf([] { pgGrabber camera("9"); }));
}

struct FirmwareCase {
    unsigned int registerValue;
    unsigned int major, minor, revision;
    bool passes;
};

class PgFirmware : public PgCamera, public testing::WithParamInterface<FirmwareCase> {};

TEST_P(PgFirmware, ReadFromTheRegisterAndCheckedNumberByNumber)
{
    fc2sim::CameraSpec cameraSpec = fc2sim::defaultCamera(200);
    cameraSpec.firmwareRegister = GetParam().registerValue;
    const auto camera = open(cameraSpec);
    const pgGrabber::sFirmwareVersion& v = camera->getFirmwareVersion();
    EXPECT_EQ(GetParam().major, v.major);
    EXPECT_EQ(GetParam().minor, v.minor);
    EXPECT_EQ(GetParam().revision, v.revision);
    EXPECT_EQ(GetParam().passes, camera->checkFirmwareVersion());
}

INSTANTIATE_TEST_SUITE_P(Versions, PgFirmware,
                         testing::Values(FirmwareCase{0x01043FFF, 1, 4, 3, true}, FirmwareCase{0x0206A000, 2, 6, 10, true},
                                         FirmwareCase{0x02000000, 2, 0, 0, false},
                                         FirmwareCase{0x01053000, 1, 5, 3, true}, FirmwareCase{0x01050000, 1, 5, 0, false},
                                         FirmwareCase{0x010A2000, 1, 10, 2, false}));

TEST_F(PgCamera, FrameRateByValueIsKeptInTheCameraRange)
{
    const auto camera = open(fc2sim::defaultCamera(300));
    for (auto [fps, sent] : {std::pair{1000.0f, "60"}, {0.5f, "60"}, {30.0f, "30"}}) {
        fc2sim::clearCalls();
        camera->setFrameRate(fps);
        EXPECT_EQ(1, countCalls(300, std::string("SetProperty FRAME_RATE absControl=1 on=1 auto=0 abs=") + sent)) << fps;
    }
    fc2sim::CameraSpec cameraSpec = fc2sim::defaultCamera(301);
    cameraSpec.properties.erase(FRAME_RATE);
    const auto noRate = open(cameraSpec);
    fc2sim::clearCalls();
    EXPECT_EQ("PgGrabber, property FRAME_RATE unavailable", messageOf([&] { noRate->setFrameRate(30.0f); }));
    EXPECT_EQ(0, countCalls(301, "SetProperty"));
}

TEST_F(PgCamera, TriggerModeAndReadyWait)
{
    const auto camera = open(fc2sim::defaultCamera(400));
    fc2sim::clearCalls();
    camera->setUseHwInTrigger(false);
    EXPECT_TRUE(fc2sim::calls(400).empty());

    camera->setUseHwInTrigger(true);
    EXPECT_EQ(0u, fc2sim::triggerMode(400).source);
    EXPECT_TRUE(camera->isUseHwInTrigger());

    fc2sim::setTriggerBusyReads(400, -1);
    fc2sim::clearCalls();
    EXPECT_EQ("Error at checkTriggerReady, timeout operation", messageOf([&] { camera->setUseHwInTrigger(false); }));
    EXPECT_EQ(1001, countCalls(400, "ReadRegister 62c"));
    EXPECT_TRUE(camera->isUseHwInTrigger());

    fc2sim::setTriggerBusyReads(400, 3);
    EXPECT_TRUE(camera->checkTriggerReady());
    camera->triggerOnOff(false);
    EXPECT_FALSE(fc2sim::triggerMode(400).onOff);
    EXPECT_TRUE(camera->isUseHwInTrigger());
}

TEST_F(PgCamera, PropertySettersCheckAvailabilityAndRange)
{
    fc2sim::CameraSpec cameraSpec = fc2sim::defaultCamera(500);
    cameraSpec.properties.erase(GAIN);
    const auto camera = open(cameraSpec);
    fc2sim::clearCalls();
    EXPECT_EQ("Property 'Gain' is not available.", messageOf([&] { camera->setGain(1.0f); }));
    EXPECT_EQ("Invalid property value 70, available diapason 0.01..66",
              messageOf([&] { camera->setShutterSpeed(70.0f); }));
    EXPECT_EQ(0, countCalls(500, "SetProperty"));
    EXPECT_FLOAT_EQ(10.0f, camera->getParameters().shutterSpeed);

    camera->setShutterSpeed(20.0f);
    EXPECT_FLOAT_EQ(20.0f, fc2sim::property(500, SHUTTER).absValue);
    camera->setTriggerDelay(80.0f);  // not range-guarded
    EXPECT_FLOAT_EQ(80.0f, camera->getTriggerDelay());
    EXPECT_FALSE(camera->isTriggerDelayOn());
    EXPECT_TRUE(fc2sim::property(500, TRIGGER_DELAY).onOff);

    // automatic shutter reads the camera's live value; manual shutter asks nothing
    fc2sim::setPropertyValue(500, SHUTTER, 33.0f);
    fc2sim::clearCalls();
    EXPECT_FLOAT_EQ(20.0f, camera->getShutterSpeed());
    EXPECT_EQ(0, countCalls(500, "GetProperty"));
    camera->setShutterSpeedAuto(true);
    fc2sim::setPropertyValue(500, SHUTTER, 33.0f);
    EXPECT_FLOAT_EQ(33.0f, camera->getShutterSpeed());

    EXPECT_EQ("Capture module, SetProperty error. Description: busyError code: 1", messageOf([&] {
                  fc2sim::failNext(500, "SetProperty", PGRERROR_FAILED, 1, "busy");
                  camera->setBrightness(2.0f);
              }));
}

TEST_F(PgCamera, AnUnchangedParameterSetSendsOnlyTheExposure)
{
    const auto camera = open(fc2sim::defaultCamera(600));
    fc2sim::clearCalls();
    camera->setParameters(pgGrabber::pgParameters(camera->getParameters()));
    const auto sets = callsStartingWith(600, "Set");
    ASSERT_EQ(1u, sets.size());
    EXPECT_EQ(0u, sets[0].find("SetProperty AUTO_EXPOSURE"));

    fc2sim::clearCalls();
    change(*camera, [](pgGrabber::pgParameters& p) {
        p.strobeEnable = true;
        p.gain = 5.0f;
        p.useHwTrigger = true;
    });
    EXPECT_EQ(1, countCalls(600, "SetStrobe 1 on=1"));
    EXPECT_EQ(1, countCalls(600, "SetProperty GAIN absControl=1 on=1 auto=0 abs=5"));
    EXPECT_EQ(0u, fc2sim::triggerMode(600).source);
}

TEST_F(PgCamera, StrobeMembersNeedAStrobe)
{
    fc2sim::CameraSpec cameraSpec = fc2sim::defaultCamera(700);
    cameraSpec.strobe = false;
    const auto camera = open(cameraSpec);
    for (const auto& call : std::vector<std::function<void()>>{[&] { camera->getStrobeEnable(); },
                                                               [&] { camera->setStrobeDelay(1.0f); },
                                                               [&] { camera->getStrobeLength(); }})
        EXPECT_EQ("Property 'strobe' is not available.", messageOf(call));

    const auto strobed = open(fc2sim::defaultCamera(701));
    strobed->setStrobeEnable(true);
    strobed->setStrobeLength(2.5f);
    EXPECT_TRUE(strobed->getStrobeEnable());
    EXPECT_TRUE(fc2sim::strobe(701, 1).onOff);
    EXPECT_FLOAT_EQ(2.5f, fc2sim::strobe(701, 1).duration);
}

TEST_F(PgCamera, UsbStartInAFixedVideoMode)
{
    fc2sim::CameraSpec cameraSpec = fc2sim::defaultCamera(800);
    cameraSpec.properties[FRAME_RATE].absMax = 30.0f;
    const auto camera = open(cameraSpec);
    change(*camera, [](pgGrabber::pgParameters& p) { p.frameRate = pgGrabber::FR_60; });
    fc2sim::clearCalls();
    camera->start();
    EXPECT_EQ(1, countCalls(800, "SetVideoModeAndFrameRate 17 3"));
    EXPECT_EQ(1, countCalls(800, "SetProperty FRAME_RATE absControl=1 on=1 auto=0 abs=60"));
    EXPECT_TRUE(fc2sim::isCapturing(800));
    EXPECT_NEAR(1000.0f / 60.0f, camera->getParameters().maxShutterSpeed, 1e-4);
    EXPECT_EQ(pgGrabber::FR_60, camera->getFrameRate());
    EXPECT_FLOAT_EQ(-1.0f, camera->getParameters().fpsMax);
    EXPECT_EQ(pgGrabber::VM_1280x960Y8, camera->getVideoMode());

    fc2sim::clearCalls();
    camera->start();
    EXPECT_TRUE(fc2sim::calls(800).empty());

    std::vector<std::pair<pgGrabber::VideoMode, std::vector<pgGrabber::FrameRate>>> modes;
    camera->getAvailableVideoModes(modes);
    ASSERT_EQ(2u, modes.size());
    EXPECT_EQ(pgGrabber::VM_640x480Y8, modes[0].first);
    EXPECT_EQ(pgGrabber::VM_1280x960Y8, modes[1].first);
    EXPECT_EQ((std::vector<pgGrabber::FrameRate>{pgGrabber::FR_15, pgGrabber::FR_30}), modes[1].second);

    fc2sim::CameraSpec slow = fc2sim::defaultCamera(801);
    slow.properties[FRAME_RATE].absMin = 3.75f;
    const auto slowCamera = open(slow);
    change(*slowCamera, [](pgGrabber::pgParameters& p) { p.frameRate = pgGrabber::FR_1_875; });
    slowCamera->start();
    EXPECT_EQ(1, countCalls(801, "SetProperty FRAME_RATE absControl=1 on=1 auto=0 abs=3.75"));
    EXPECT_NEAR(66.0f, slowCamera->getParameters().maxShutterSpeed, 1e-4);  // 266.7 ms is above the range

    fc2sim::addCamera(fc2sim::defaultCamera(802));
    fc2sim::failNext(802, "SetVideoModeAndFrameRate", PGRERROR_FAILED);
    pgGrabber failing("802");
    EXPECT_THROW(failing.start(), std::runtime_error);
    EXPECT_FALSE(fc2sim::isCapturing(802));
    failing.start();  // started stayed false: the next start tries again
    EXPECT_TRUE(fc2sim::isCapturing(802));
}

TEST_F(PgCamera, UsbStartInFormat7)
{
    struct Case {
        unsigned int width, height, factor;
        const char* error;  // null: starts
    };
    const Case cases[] = {{2000, 1000, 1, "Error in resolution settings."},
                          {640, 480, 3, "Invalid packet size factor"},
                          {640, 480, 2, nullptr}};
    unsigned int serial = 900;
    for (const Case& c : cases) {
        fc2sim::CameraSpec cameraSpec = fc2sim::defaultCamera(++serial);
        cameraSpec.packetUnitBytes = 4;
        cameraSpec.packetMaxBytes = 8;
        const auto camera = open(cameraSpec);
        change(*camera, [&](pgGrabber::pgParameters& p) {
            p.useFormat7 = true;
            p.packetSize = c.factor;
            p.resolution = Resolution(0, 0, c.width, c.height);
        });
        if (c.error) {
            EXPECT_EQ(std::string("Capture module, ") + c.error + " error. Description: Ok.Error code: 0",
                      messageOf([&] { camera->start(); }));
            EXPECT_FALSE(fc2sim::isCapturing(serial));
        } else {
            camera->start();
            EXPECT_EQ(1, countCalls(serial, "SetFormat7Configuration 0 0 640 480 80000000 packet=8"));
            niTypes::niImage<unsigned char> frame;
            camera->captureFrame(frame);
            EXPECT_EQ(640, frame.width);
        }
    }
}

TEST_F(PgCamera, FramesBecomeImagesOfTheirPixelFormat)
{
    const auto camera = open(fc2sim::defaultCamera(1000));
    camera->setVideoMode(pgGrabber::VM_640x480Y8);
    camera->start();
    niTypes::niImage<unsigned char> frame;
    camera->captureFrame(frame);
    EXPECT_EQ(640, frame.width);
    EXPECT_EQ(480, frame.height);
    EXPECT_EQ(1, frame.channels);
    EXPECT_EQ(640, frame.step);
    EXPECT_EQ(1, frame.format);
    const unsigned char* buffer = frame.data;
    camera->getFrame(frame);
    EXPECT_EQ(buffer, frame.data);  // same size: buffer reused
    EXPECT_EQ(1, countCalls(1000, "FireSoftwareTrigger") - 1);
    EXPECT_EQ("Unknown bayer tile format", messageOf([&] { camera->captureRawFrame(frame); }));

    const auto colour = open(fc2sim::defaultCamera(1001, INTERFACE_USB2, true));
    colour->start();
    colour->captureFrame(frame);
    EXPECT_EQ(3, frame.channels);
    EXPECT_EQ(3 * 1280, frame.step);
    EXPECT_EQ(2, frame.format);
    colour->captureRawFrame(frame);
    EXPECT_EQ(1, frame.channels);
    EXPECT_EQ(6, frame.format);

    niTypes::niImage<unsigned char> raw, rgb;
    raw.create(4, 2, 1, 4, 7);
    colour->convertTextureRawToRgb(raw, rgb);
    EXPECT_EQ(4, rgb.width);
    EXPECT_EQ(2, rgb.height);
    EXPECT_EQ(3, rgb.channels);
    EXPECT_EQ(12, rgb.step);
    EXPECT_EQ(2, rgb.format);
    fc2sim::failNext(0, "Convert", PGRERROR_FAILED);
    EXPECT_EQ("Failed convert row data to RGB", messageOf([&] { colour->convertTextureRawToRgb(raw, rgb); }));
    EXPECT_EQ(nullptr, rgb.data);
    EXPECT_EQ(0, rgb.width);
    raw.format = 1;
    EXPECT_EQ("Unknown bayer tile format", messageOf([&] { colour->convertTextureRawToRgb(raw, rgb); }));

    // rows laid out with their own step are read as they lie; a step beyond the buffer is refused
    niTypes::niImage<unsigned char> aligned;
    aligned.create(3, 2, 1, -4, 7);
    colour->convertTextureRawToRgb(aligned, rgb);
    EXPECT_EQ(3, rgb.width);
    EXPECT_EQ(9, rgb.step);
    raw.format = 7;
    raw.step = 8;
    EXPECT_THROW(colour->convertTextureRawToRgb(raw, rgb), std::invalid_argument);
}

TEST_F(PgCamera, ColourFramesKeepTheirChannelOrderAndOtherFormatsAreRefused)
{
    const struct {
        PixelFormat pixelFormat;
        int format;
    } cases[] = {{PIXEL_FORMAT_RGB8, 4}, {PIXEL_FORMAT_BGR, 2}};
    unsigned int serial = 1050;
    for (const auto& c : cases) {
        fc2sim::CameraSpec cameraSpec = fc2sim::defaultCamera(++serial, INTERFACE_USB2, true);
        cameraSpec.pixelFormat = c.pixelFormat;
        const auto camera = open(cameraSpec);
        camera->setVideoMode(pgGrabber::VM_640x480Y8);
        camera->start();
        std::vector<unsigned char> pixels(size_t(480) * 640 * 3);
        for (size_t i = 0; i < pixels.size(); ++i)
            pixels[i] = static_cast<unsigned char>(i % 253);
        fc2sim::queueFrame(serial, pixels);
        niTypes::niImage<unsigned char> frame;
        camera->captureFrame(frame);
        EXPECT_EQ(640, frame.width);
        EXPECT_EQ(480, frame.height);
        EXPECT_EQ(3, frame.channels);
        EXPECT_EQ(3 * 640, frame.step);
        EXPECT_EQ(c.format, frame.format);
        ASSERT_EQ(static_cast<int32_t>(pixels.size()), frame.dataSize);
        EXPECT_TRUE(std::equal(pixels.begin(), pixels.end(), frame.data)) << c.format;
    }

    fc2sim::CameraSpec wide = fc2sim::defaultCamera(1059);
    wide.pixelFormat = static_cast<PixelFormat>(0x40000000u);  // sixteen-bit grey
    const auto camera = open(wide);
    camera->start();
    niTypes::niImage<unsigned char> frame;
    EXPECT_EQ("Failed save image", messageOf([&] { camera->captureFrame(frame); }));
}

TEST_F(PgCamera, RetrieveFailures)
{
    const auto camera = open(fc2sim::defaultCamera(1100));
    camera->start();
    niTypes::niImage<unsigned char> frame;
    fc2sim::corruptFrames(1100, 1);
    try {
        camera->captureFrame(frame);
        ADD_FAILURE() << "no exception";
    } catch (const capture::FrameCorrupted& e) {
        EXPECT_STREQ("Corrupted frame detected (SDK detection)", e.what());
    }
    fc2sim::dropFrames(1100, 1);
    EXPECT_EQ("Capture timeout", messageOf([&] { camera->captureFrame(frame); }));
    fc2sim::failNext(1100, "FireSoftwareTrigger", PGRERROR_FAILED);
    EXPECT_EQ("FireSoftwareTrigger failed", messageOf([&] { camera->captureFrame(frame); }));
    camera->captureFrame(frame);
    EXPECT_EQ(1280, frame.width);
}

TEST_F(PgCamera, RepeatedLastRowsAreRefused)
{
    const auto camera = open(fc2sim::defaultCamera(1200));
    camera->start();
    niTypes::niImage<unsigned char> frame;
    const unsigned int rows = 960, cols = 1280;
    const auto grab = [&] { camera->captureFrame(frame); };
    const auto manual = "Corrupted frame detected (manual detection)";

    const auto same = pgtest::flatFrame(rows, cols, 7);
    fc2sim::queueFrame(1200, same);
    fc2sim::queueFrame(1200, same);
    grab();
    EXPECT_EQ(manual, messageOf(grab));
    grab();  // a different row passes

    // equal to the frame 19 grabs earlier: refused; 20 grabs earlier: passes
    for (int gap : {19, 20}) {
        const auto marked = pgtest::flatFrame(rows, cols, static_cast<unsigned char>(gap));
        fc2sim::queueFrame(1200, marked);
        grab();
        for (int i = 1; i < gap; ++i)
            grab();
        fc2sim::queueFrame(1200, marked);
        EXPECT_EQ(gap == 19 ? manual : "(no exception)", messageOf(grab)) << gap;
    }

    // a mostly white row (more than 95 of 100 bytes 0xFF) is never stored or compared
    for (int white : {96, 95}) {
        auto pixels = pgtest::flatFrame(rows, cols, 0);
        std::fill_n(pixels.begin() + (rows - 1) * cols, white, 0xFF);
        fc2sim::queueFrame(1200, pixels);
        fc2sim::queueFrame(1200, pixels);
        grab();
        EXPECT_EQ(white == 96 ? "(no exception)" : manual, messageOf(grab)) << white;
    }
}

TEST_F(PgCamera, PacingKeepsGrabsApart)
{
    const auto camera = open(fc2sim::defaultCamera(1300));
    camera->start();
    change(*camera, [](pgGrabber::pgParameters& p) { p.fpsMax = 10.0f; });
    niTypes::niImage<unsigned char> frame;
    // the first paced grab does not wait; each later one waits until 100 ms have passed since the previous
    const auto first = std::chrono::steady_clock::now();
    for (int i = 0; i < 3; ++i)
        camera->captureFrame(frame);
    EXPECT_GE(std::chrono::steady_clock::now() - first, std::chrono::milliseconds(200));
}

TEST_F(PgCamera, HardwareTriggerWaitsForThePulse)
{
    const auto camera = open(fc2sim::defaultCamera(1400));
    camera->setUseHwInTrigger(true);
    camera->start();
    std::thread pulse([] {
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
        fc2sim::pulseHardwareTrigger(1400);
    });
    niTypes::niImage<unsigned char> frame;
    camera->captureFrame(frame);
    pulse.join();
    EXPECT_EQ(1280, frame.width);
    EXPECT_EQ(0, countCalls(1400, "FireSoftwareTrigger"));
}

TEST_F(PgCamera, CallbackModeQueuesFiveFramesFromTheSdkThread)
{
    const auto camera = open(fc2sim::defaultCamera(1500));
    change(*camera, [](pgGrabber::pgParameters& p) {
        p.callbackMode = true;
        p.useHwTrigger = true;
    });
    camera->start();
    for (unsigned char i = 1; i <= 7; ++i)
        fc2sim::queueFrame(1500, pgtest::flatFrame(960, 1280, i));
    fc2sim::pulseHardwareTrigger(1500, 7);
    ASSERT_TRUE(fc2sim::waitCallbackFrames(1500, 7, std::chrono::seconds(10)));
    niTypes::niImage<unsigned char> frame;
    for (unsigned char expected = 3; expected <= 7; ++expected) {
        camera->captureFrame(frame);
        EXPECT_EQ(expected, frame.data[0]);
    }

    const auto start = std::chrono::steady_clock::now();
    try {
        camera->captureFrame(frame);
        ADD_FAILURE() << "no exception";
    } catch (const capture::FrameCaptureTimeout& e) {
        EXPECT_STREQ("Capture timeout (callback mode)", e.what());
    }
    EXPECT_GE(std::chrono::steady_clock::now() - start, std::chrono::milliseconds(990));

    // a frame that arrives during the wait ends it
    std::thread pulse([] {
        std::this_thread::sleep_for(std::chrono::milliseconds(100));
        fc2sim::queueFrame(1500, pgtest::flatFrame(960, 1280, 42));
        fc2sim::pulseHardwareTrigger(1500);
    });
    camera->captureFrame(frame);
    pulse.join();
    EXPECT_EQ(42, frame.data[0]);
}

TEST_F(PgCamera, GigeConnectSetsPacketsAreaAndTimeout)
{
    fc2sim::CameraSpec cameraSpec = fc2sim::defaultCamera(1600, INTERFACE_GIGE);
    cameraSpec.powerUpReads = 2;
    cameraSpec.firmwareRegister = 0x02000000;
    const auto camera = open(cameraSpec);
    EXPECT_EQ(3, countCalls(1600, "ReadRegister 610"));
    const TriggerMode trigger = fc2sim::triggerMode(1600);
    EXPECT_TRUE(trigger.onOff);
    EXPECT_EQ(0u, trigger.polarity);
    EXPECT_EQ(7u, trigger.source);
    EXPECT_EQ(1, countCalls(1600, "WriteGVCPRegister 954 1"));
    EXPECT_EQ(1, countCalls(1600, "SetGigEProperty 2 9000"));
    EXPECT_EQ(1, countCalls(1600, "SetGigEProperty 3 400"));
    EXPECT_EQ(1, countCalls(1600, "SetGigEImagingMode 0"));
    EXPECT_EQ(1, countCalls(1600, "SetGigEImageSettings 4 2 1280 960 80000000"));
    EXPECT_EQ(1000, fc2sim::configuration(1600).grabTimeout);
    // the register says 2.0.0; the GigE connect does not read it and keeps 1.4.3
    EXPECT_EQ(1u, camera->getFirmwareVersion().major);
    EXPECT_EQ(3u, camera->getFirmwareVersion().revision);
    EXPECT_EQ(-1, static_cast<int>(camera->getVideoMode()));
    EXPECT_FALSE(camera->checkVideoMode(pgGrabber::VM_1280x960Y8, pgGrabber::FR_15));
    std::vector<std::pair<pgGrabber::VideoMode, std::vector<pgGrabber::FrameRate>>> modes;
    camera->getAvailableVideoModes(modes);
    EXPECT_TRUE(modes.empty());

    fc2sim::clearCalls();
    change(*camera, [](pgGrabber::pgParameters& p) {
        p.mode = 1;
        p.resolution = Resolution(0, 0, 0, 600);  // no area: the default one, as the camera has it
    });
    EXPECT_EQ(1, countCalls(1600, "SetGigEImagingMode 1"));
    EXPECT_EQ(0, countCalls(1600, "SetGigEImageSettings"));
    change(*camera, [](pgGrabber::pgParameters& p) { p.resolution = Resolution(0, 0, 640, 480); });
    EXPECT_EQ(1, countCalls(1600, "SetGigEImageSettings 0 0 640 480 80000000"));

    fc2sim::CameraSpec noDiscovery = fc2sim::defaultCamera(1601, INTERFACE_GIGE);
    noDiscovery.discoveredPacketSize = 0;
    const auto second = open(noDiscovery);
    EXPECT_EQ(1, countCalls(1601, "SetGigEProperty 2 1400"));
}

TEST_F(PgCamera, GigeConnectFailuresReleaseTheCamera)
{
    const struct {
        const char* call;
        std::string message;
    } cases[] = {
        {"ReadRegister", "runtime_error: Camera power error."},
        {"GetTriggerMode", "runtime_error: Error read camera trigger register."},
        {"SetTriggerMode", "Refused by the camera."},
        {"WriteGVCPRegister", "Refused by the camera."},
        {"SetGigEProperty", "Refused by the camera."},
        {"SetGigEImagingMode", "Refused by the camera."},
        {"GetGigEImageSettings", "Refused by the camera."},
        {"SetConfiguration", "Refused by the camera."},
    };
    fc2sim::addCamera(fc2sim::defaultCamera(1650, INTERFACE_GIGE));
    pgGrabber::CamInfo info;  // as the bus describes it, so that only the camera's own connect runs
    info.serialNumber = "1650";
    info.interfaceType = 3;
    for (const auto& c : cases) {
        fc2sim::failNext(1650, c.call, PGRERROR_FAILED, 1, "Refused by the camera.");
        EXPECT_EQ(c.message, plainMessageOf([&] { pgGrabber camera(info); })) << c.call;
        EXPECT_FALSE(fc2sim::isConnected(1650)) << c.call;
    }

    // a camera whose power never comes up is given up after a bounded wait
    fc2sim::CameraSpec dead = fc2sim::defaultCamera(1651, INTERFACE_GIGE);
    dead.powerUpReads = 1000000;
    fc2sim::addCamera(dead);
    info.serialNumber = "1651";
    const auto begin = std::chrono::steady_clock::now();
    EXPECT_EQ("runtime_error: Camera power error.", plainMessageOf([&] { pgGrabber camera(info); }));
    EXPECT_GE(std::chrono::steady_clock::now() - begin, std::chrono::seconds(5));
    EXPECT_FALSE(fc2sim::isConnected(1651));
}

TEST_F(PgCamera, GigeCaptureRetriesDroppedFrames)
{
    const auto camera = open(fc2sim::defaultCamera(1700, INTERFACE_GIGE));
    camera->start();
    EXPECT_EQ(0, countCalls(1700, "SetProperty FRAME_RATE"));
    niTypes::niImage<unsigned char> frame;

    fc2sim::dropFrames(1700, 3);
    testing::internal::CaptureStdout();
    camera->captureFrame(frame);
    std::string out = testing::internal::GetCapturedStdout();
    EXPECT_EQ(1280, frame.width);
    EXPECT_EQ("Error detected: Timeout error.\nError detected: Timeout error.\nError detected: Timeout error.\n", out);

    fc2sim::corruptFrames(1700, 31);
    testing::internal::CaptureStdout();
    try {
        camera->captureFrame(frame);
        ADD_FAILURE() << "no exception";
    } catch (const std::runtime_error&) {
        ADD_FAILURE() << "a runtime_error";
    } catch (const std::exception& e) {
        EXPECT_STREQ("Drop limit for RetrieveBuffer exceeded", e.what());
    }
    out = testing::internal::GetCapturedStdout();
    EXPECT_EQ(31, std::count(out.begin(), out.end(), '\n'));

    fc2sim::failNext(1700, "RetrieveBuffer", PGRERROR_FAILED, 1, "Cable pulled.");
    testing::internal::CaptureStdout();
    EXPECT_EQ("Cable pulled.", messageOf([&] { camera->captureFrame(frame); }));
    EXPECT_EQ("", testing::internal::GetCapturedStdout());
}

TEST_F(PgCamera, SimulationFileDescribesCameras)
{
    const std::string path = testing::TempDir() + "pggrabber-cameras.json";
    {
        std::ofstream file(path);
        file << R"({"cameras": [{"serial": 4242, "interface": "gige", "color": true, "model": "Texture",
                    "firmware": "2.6.10", "strobe": false,
                    "properties": {"gain": {"min": 0, "max": 12, "value": 4}, "hue": "absent"}}]})";
    }
    fc2sim::loadCameras(path);
    std::vector<pgGrabber::CamInfo> cameras;
    ASSERT_EQ(1u, pgGrabber::enumerateCameras(cameras));
    EXPECT_EQ("Texture", cameras[0].model);
    EXPECT_EQ(3, cameras[0].interfaceType);
    EXPECT_EQ(1, cameras[0].isColor);
    EXPECT_EQ(10u, cameras[0].firmware.revision);
    pgGrabber::CamInfo info = cameras[0];
    info.interfaceType = 3;
    const auto camera = std::make_unique<pgGrabber>(info);
    EXPECT_FALSE(camera->isStrobeAvailable());
    EXPECT_FALSE(camera->getParameters().hueAvailable);
    EXPECT_FLOAT_EQ(12.0f, camera->getParameters().maxGain);

    std::ofstream(path) << R"({"cameras": [{"serial": 1, "interface": "serial port"}]})";
    EXPECT_THROW(fc2sim::loadCameras(path), std::runtime_error);
}

TEST_F(PgCamera, ReleaseDisconnectsAndSwitchesTheStrobeOff)
{
    auto camera = open(fc2sim::defaultCamera(1800));
    camera->start();
    camera->setStrobeEnable(true);
    camera.reset();
    EXPECT_FALSE(fc2sim::isConnected(1800));
    EXPECT_FALSE(fc2sim::isCapturing(1800));
    EXPECT_FALSE(fc2sim::strobe(1800, 1).onOff);
}

}  // namespace

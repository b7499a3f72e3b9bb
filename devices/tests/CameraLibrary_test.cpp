// The camera-library table with real shared libraries: each case copies the probe program and the chosen
// stand-in libraries into a folder of its own (the loader looks beside the executable first) and runs it.
#include <gtest/gtest.h>

#include <QDir>
#include <QFile>
#include <QRegularExpression>
#include <QStringList>

#include "devices/CameraLibraryTable.h"
#include "platform/DynamicLibrary.h"
#include "tests/support/TestHome.h"
#include "tests/support/TestProcess.h"

namespace {

struct LoaderCase {
    const char* name;
    const char* pgVariant;  // stand-in copied as libpgGrabber.so; null: none
    const char* lmVariant;  // as liblmGrabber.so
    const char* pgCameras;
    const char* lmCameras;
    QStringList args;       // "%case" stands for the case folder, "%modules" for the stand-ins' folder
    QStringList out;        // probe output; error numbers read as N
    QStringList log;        // cwDeinitialize calls and unloads, in order
};

void PrintTo(const LoaderCase& c, std::ostream* out)
{
    *out << c.name;
}

std::vector<std::string> lines(const QStringList& list)
{
    std::vector<std::string> out;
    for (const QString& s : list)
        out.push_back(s.toStdString());
    return out;
}

const QString lumenera = "Lumenera camera";
const QString pg = "Pg grabber";
const QStringList bothReleased = {"lmGrabber cwDeinitialize 0 alive", "lmGrabber unloaded",
                                  "pgGrabber cwDeinitialize 0 alive", "pgGrabber unloaded"};
const QStringList pgReleased = {"pgGrabber cwDeinitialize 0 alive", "pgGrabber unloaded"};

QString warning(const QString& kind, const QString& description)
{
    return "warning [Warning]: failed get list available " + kind + "'s \\n Error description: " + description;
}

class CameraLibraryTableTest : public ::testing::TestWithParam<LoaderCase> {};

TEST_P(CameraLibraryTableTest, ListsThroughTheTable)
{
    const LoaderCase& c = GetParam();
    const QString folder = ktest::testHome() + "/loader/" + c.name;
    ASSERT_TRUE(QDir().mkpath(folder));
    const QString probe = folder + "/probe";
    ASSERT_TRUE(QFile::copy(CAMERA_LIST_PROBE, probe));
    const QString modules = CAMERA_MODULE_DIR;
    auto place = [&](const char* variant, const QString& file) {
        if (variant) {
            ASSERT_TRUE(QFile::copy(modules + "/libtestcamera_" + variant + ".so", folder + "/" + file));
        }
    };
    place(c.pgVariant, "libpgGrabber.so");
    place(c.lmVariant, "liblmGrabber.so");
    const QString log = folder + "/calls.log";
    qputenv("KESTRUNE_TEST_CAMERA_LOG", log.toLocal8Bit());
    qputenv("KESTRUNE_TEST_CAMERAS_pgGrabber", c.pgCameras);
    qputenv("KESTRUNE_TEST_CAMERAS_lmGrabber", c.lmCameras);

    QStringList args;
    for (QString arg : c.args)
        args << arg.replace("%case", folder).replace("%modules", modules);
    const ktest::ProcessResult run = ktest::runProgram(probe, args, folder);
    ASSERT_TRUE(run.ok()) << run.exitCode << "\n" << run.err.toStdString();

    QStringList out = QString::fromUtf8(run.out).split('\n', Qt::SkipEmptyParts);
    out.replaceInStrings(QRegularExpression("error code = [1-9][0-9]*$"), "error code = N");
    EXPECT_EQ(lines(c.out), lines(out));

    QFile calls(log);
    const QStringList logged =
        calls.open(QIODevice::ReadOnly) ? QString::fromUtf8(calls.readAll()).split('\n', Qt::SkipEmptyParts)
                                        : QStringList();
    EXPECT_EQ(lines(c.log), lines(logged));
}

INSTANTIATE_TEST_SUITE_P(
    Cases, CameraLibraryTableTest,
    ::testing::Values(
        LoaderCase{"table_order_and_ids", "list", "list", "12345;678",
                   "Lumenera LU075C #9001;Lumenera LU165 #;a#b#c",
                   {"list:Lumenera camera|Pg grabber"},
                   {"camera Pg grabber|12345|12345", "camera Pg grabber|678|678",
                    "camera Lumenera camera|9001|Lumenera LU075C #9001", "camera Lumenera camera||Lumenera LU165 #",
                    "camera Lumenera camera|b#c|a#b#c", "end"},
                   bothReleased},
        // without the program's own release the libraries are still released before their globals go
        LoaderCase{"released_at_exit", "list", "list", "1", "Lumenera X #2",
                   {"--no-release", "list:Pg grabber|Lumenera camera"},
                   {"camera Pg grabber|1|1", "camera Lumenera camera|2|Lumenera X #2", "end"},
                   bothReleased},
        LoaderCase{"each_row_once", "list", nullptr, "7", "",
                   {"list:Pg grabber|Pg grabber|Nothing"}, {"camera Pg grabber|7|7", "end"}, pgReleased},
        LoaderCase{"no_kinds_loads_nothing", "list", "list", "7", "Lumenera X #2",
                   {"list:", "list:Avi file|Unknown"}, {"end", "end"}, {}},
        LoaderCase{"neither_library_present", nullptr, nullptr, "", "",
                   {"list:Lumenera camera|Pg grabber", "warn:Pg grabber", "warn:Lumenera camera"},
                   {"end", warning(pg, "Load 'pgGrabber.dll' failed: error code = N"), "end",
                    warning(lumenera, "Load 'lmGrabber.dll' failed: error code = N"), "end"},
                   {}},
        LoaderCase{"library_put_in_place_later", nullptr, nullptr, "777", "",
                   {"list:Pg grabber", "copy:%modules/libtestcamera_list.so:%case/libpgGrabber.so",
                    "list:Pg grabber"},
                   {"end", "camera Pg grabber|777|777", "end"}, pgReleased},
        LoaderCase{"export_missing", "list", "noexport", "5", "",
                   {"warn:Lumenera camera", "warn:Lumenera camera", "list:Lumenera camera|Pg grabber"},
                   {warning(lumenera, "GetProcAddress 'availableCameras' failed: error code = N"), "end",
                    warning(lumenera, "GetProcAddress 'availableCameras' failed: error code = N"), "end",
                    "camera Pg grabber|5|5", "end"},
                   bothReleased},
        // a library without the release export is unloaded at exit all the same
        LoaderCase{"release_export_missing", "list", "nodeinit", "5", "Lumenera X #2",
                   {"list:Lumenera camera|Pg grabber"},
                   {"camera Pg grabber|5|5", "camera Lumenera camera|2|Lumenera X #2", "end"},
                   {"lmGrabber unloaded", "pgGrabber cwDeinitialize 0 alive", "pgGrabber unloaded"}},
        LoaderCase{"library_throws_std_exception", "list", "throwstd", "5", "",
                   {"warn:Lumenera camera", "list:Lumenera camera|Pg grabber"},
                   {warning(lumenera, "camera bus failed"), "end", "camera Pg grabber|5|5", "end"}, bothReleased},
        LoaderCase{"library_throws_something_else", "list", "throwother", "5", "",
                   {"warn:Lumenera camera", "list:Lumenera camera|Pg grabber"},
                   {warning(lumenera, "unknown exception"), "end", "camera Pg grabber|5|5", "end"},
                   bothReleased}),
    [](const ::testing::TestParamInfo<LoaderCase>& info) { return std::string(info.param.name); });

TEST(DynamicLibrary, MapsWindowsFileNames)
{
    EXPECT_EQ("libpgGrabber.so", platform::DynamicLibrary::platformFileName("pgGrabber.dll"));
    EXPECT_EQ("libX.so", platform::DynamicLibrary::platformFileName("X.DLL"));
    EXPECT_EQ("libz.so.1", platform::DynamicLibrary::platformFileName("libz.so.1"));
    EXPECT_EQ("dir/a.dll", platform::DynamicLibrary::platformFileName("dir/a.dll"));
    EXPECT_EQ(".dll", platform::DynamicLibrary::platformFileName(".dll"));
}

TEST(CameraLibraryTable, RowsInTableOrder)
{
    const auto& rows = CameraLibraryTable::rows();
    EXPECT_STREQ("pgGrabber.dll", rows[0].fileName);
    EXPECT_STREQ("Pg grabber", rows[0].kind);
    EXPECT_STREQ("lmGrabber.dll", rows[1].fileName);
    EXPECT_STREQ("Lumenera camera", rows[1].kind);
    EXPECT_STREQ("clipGrabber.dll", rows[2].fileName);
    EXPECT_STREQ("Avi file", rows[2].kind);
    EXPECT_EQ("error code = 4294967295", errorCodeText(4294967295ul));
}

}  // namespace

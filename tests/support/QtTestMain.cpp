// gtest entry for tests that need a Qt application object. Every test process gets its own throw-away home
// (XDG folders and TMPDIR), so no test reads or writes the user's real settings, caches or per-user folders.
#include <gtest/gtest.h>

#include <QDir>
#include <QTemporaryDir>
#include <clocale>

#include "tests/support/TestHome.h"

#ifdef KTEST_WIDGETS
#include <QApplication>
using TestApplication = QApplication;
#else
#include <QCoreApplication>
using TestApplication = QCoreApplication;
#endif

int main(int argc, char** argv)
{
    std::setlocale(LC_ALL, "C.UTF-8");
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QTemporaryDir home(QDir::tempPath() + QStringLiteral("/ktest-home-XXXXXX"));
    if (!home.isValid())
        return 3;
    ktest::setTestHome(home.path());
    ::testing::InitGoogleTest(&argc, argv);
    TestApplication app(argc, argv);
    app.setOrganizationName(QStringLiteral("Belmo Group"));
    app.setApplicationName(QStringLiteral("Kestrune"));
    return RUN_ALL_TESTS();
}

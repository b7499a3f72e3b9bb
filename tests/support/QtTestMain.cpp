// gtest entry for tests that need a Qt application object.
#include <gtest/gtest.h>

#include <clocale>
#include <cstdlib>

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
    ::testing::InitGoogleTest(&argc, argv);
    TestApplication app(argc, argv);
    app.setOrganizationName(QStringLiteral("Belmo Group"));
    app.setApplicationName(QStringLiteral("Kestrune"));
    return RUN_ALL_TESTS();
}

// The program kyb: start-up, the two silent modes (--install, --update) that answer through the exit code, and
// the interactive mode with the main window.
#include <QApplication>
#include <QColor>
#include <QCoreApplication>
#include <QDir>
#include <QMessageBox>
#include <QPixmap>
#include <QSplashScreen>
#include <QString>
#include <QTranslator>

#include <cstdio>
#include <exception>
#include <ios>

#include "devices/CameraLibraryTable.h"
#include "kyb/account/AccountState.h"
#include "kyb/app/HighDpiScaling.h"
#include "kyb/app/QtSingleApplication.h"
#include "kyb/catalogue/ProductData.h"
#include "kyb/catalogue/RequestedProduct.h"
#include "kyb/dialogs/DialogImages.h"
#include "kyb/logs/PerformanceLogUpload.h"
#include "kyb/scanners/ScannerData.h"
#include "kyb/signin/SignIn.h"
#include "kyb/storage/AppDataFolders.h"
#include "kyb/storage/CacheFile.h"
#include "kyb/ui/QKestrune.h"
#include "kyb/updates/UpdatePrompts.h"
#include "platform/ExtraCertificates.h"
#include "qtarg/QtArg.h"
#include "qtarg/QtArgCmdLine.h"
#include "qtarg/QtArgExceptions.h"
#include "qtarg/QtXorArg.h"

namespace {

// Exit codes.
enum : int {
    ExitNormal = 0,
    ExitAlreadyRunning = 1,
    ExitNoSignIn = 2,        // sign-in cancelled or a list could not be fetched
    ExitSilentFailure = 2,   // a silent run that failed
    ExitNoApplications = 6,
    ExitOtherVersion = 7,
    ExitNotInstalled = 8,
};

void showSplashMessage(QSplashScreen& splash, const char* text)
{
    splash.showMessage(QCoreApplication::translate("SplashScreen", text), Qt::AlignBottom, QColor(51, 55, 58, 255));
    QCoreApplication::processEvents();
}

QString textOf(const QtArg& argument)
{
    return argument.isDefined() ? argument.value().toString() : QString();
}

// The silent steps after sign-in and the list fetches.
int runSilent(const QtArg& install, const QtArg& product, const QtArg& version, const QtArg& processId,
              ProductData& products, ScannerData& scanners, QSplashScreen& splash)
{
    if (!accountState.offlineMode && products.applications.empty())
        return ExitNoApplications;

    const QString productName = textOf(product);
    const QString productVersion = textOf(version);
    const RequestedProduct requested = findRequestedProduct(products, productName, productVersion, textOf(processId));

    splash.show();
    showSplashMessage(splash, "Downloading scanner calibration files...");
    scanners.downloadCalibrations(true);

    if (install.isDefined()) {
        if (requested.status == ProductData::OtherVersion)
            return ExitOtherVersion;
        if (requested.status == ProductData::NotInstalled)
            return ExitNotInstalled;
        return ExitNormal;
    }

    if (!accountState.offlineMode) {
        if (InstalledProduct* installed =
                products.findInstalledProduct(productName.toStdString(), productVersion.toStdString()))
            uploadPerformanceLogs(*installed);
    }
    if (!accountState.offlineMode && requested.status == ProductData::OtherVersion)
        askProductUpdate(requested.application, products.findInstalled(requested.application, true));
    return ExitNormal;
}

// Everything after the set-up; its failures reach main's handlers. silent is set once the mode is known.
int run(int argc, char** argv, QtSingleApplication& app, bool& silent)
{
    QtArg install(QStringLiteral("install"), QStringLiteral("silent installation"), false, false);
    QtArg update(QStringLiteral("update"), QStringLiteral("silent update calibration"), false, false);
    QtArg product(QStringLiteral("product"), QStringLiteral("product name"), false, true);
    QtArg version(QStringLiteral("version"), QStringLiteral("product version"), false, true);
    QtArg processId(QStringLiteral("processId"), QStringLiteral("process ID"), false, true);
    QtXorArg mainSwitch({&install, &update}, QStringLiteral("main switch"), false);

    QtArgCmdLine commandLine(argc, argv);
    commandLine.addArg(mainSwitch);
    commandLine.addArg(product);
    commandLine.addArg(version);
    commandLine.addArg(processId);
    commandLine.parse();

    if (app.isRunning())
        return ExitAlreadyRunning;

    silent = install.isDefined() || update.isDefined();

    ProductData products;
    products.rescanInstalled();

    if (signIn(silent ? 1 : 0) == 0)
        return ExitNoSignIn;

    const QPixmap pixmap(QStringLiteral(":/QKestrune/SplashScreen"));
    QSplashScreen splash(pixmap);
    if (!update.isDefined())
        splash.show();
    QCoreApplication::processEvents();

    showSplashMessage(splash, "Retrieving user applications list...");
    if (!products.refresh(false))
        return ExitNoSignIn;

    showSplashMessage(splash, "Retrieving user scanners list...");
    ScannerData scanners;
    if (!scanners.retrieveScanners())
        return ExitNoSignIn;

    if (silent)
        return runSilent(install, product, version, processId, products, scanners, splash);

    accountState.selfUpdateAvailable = false;
    if (checkSelfUpdate())
        return ExitNormal;

    QKestrune window(&scanners, &products, nullptr, Qt::WindowFlags());
    splash.finish(&window);
    QApplication::setActiveWindow(&window);
    window.show();
    return QApplication::exec();
}

// The last-resort handler. A silent run answers an installer through its exit code, where 0 means "installed and
// current": it ends with 2 and shows nothing. An interactive run shows the failure and ends normally.
int reportFailure(const std::exception& failure, bool silent)
{
    if (silent)
        return ExitSilentFailure;
    QMessageBox box(QMessageBox::Critical, QStringLiteral("Kestrune"), QString::fromUtf8(failure.what()),
                    QMessageBox::Ok);
    box.exec();
    return ExitNormal;
}

}  // namespace

int main(int argc, char** argv)
{
    registerDialogImages();
    enableHighDpiScaling();

    int code = ExitNormal;
    {
        QtSingleApplication app(argc, argv, true);
        QCoreApplication::setOrganizationName(QStringLiteral("Belmo Group"));
        QCoreApplication::setApplicationName(QStringLiteral("Kestrune"));
        QString caProblem;
        if (!platform::installExtraCaCertificates(&caProblem))
            std::fprintf(stderr, "kyb: KESTRUNE_CA_FILE \"%s\" %s\n", qgetenv("KESTRUNE_CA_FILE").constData(),
                         caProblem.toLocal8Bit().constData());

        appDataPath();
        const QString language = CacheFile().language();
        QTranslator translator;
        translator.load(QStringLiteral("kyb_") + language,
                        QDir(QCoreApplication::applicationDirPath()).filePath(QStringLiteral("Locale")));
        QCoreApplication::installTranslator(&translator);

        bool silent = false;
        try {
            code = run(argc, argv, app, silent);
        } catch (const std::ios_base::failure& failure) {
            code = reportFailure(failure, silent);
        } catch (const QtArgHelpHasPrintedEx&) {
            code = ExitNormal;
        } catch (const QtArgBaseException&) {
            code = ExitNormal;
        } catch (const std::exception& failure) {
            code = reportFailure(failure, silent);
        }
        // Everything of the guarded block is gone by now; the camera libraries are released before their own
        // globals go at exit.
        CameraLibraryTable::release();
        QCoreApplication::removeTranslator(&translator);
    }
    return code;
}

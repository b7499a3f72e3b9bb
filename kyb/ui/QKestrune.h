#pragma once
// The program's main window: the account's applications with a button to install, update or buy each, the
// scanners with their calibration state, the link to the program's own update, Refresh and Close. It holds
// pointers to main's ScannerData and ProductData, which outlive it, and rebuilds its tables from them.

#include <QMainWindow>
#include <QObject>
#include <QPointer>
#include <QSignalMapper>
#include <QString>

#include <memory>

struct ApplicationInfo;
class ProductData;
class ScannerData;

namespace Ui {
class QKestruneClass;
}

class QKestrune : public QMainWindow {
    Q_OBJECT
public:
    // The row object of a software row: which application its button stands for.
    class ApplicationRow : public QObject {
    public:
        ApplicationRow(ApplicationInfo* application, QObject* parent) : QObject(parent), application(application) {}
        ApplicationInfo* application;
    };

    QKestrune(ScannerData* scannerData, ProductData* productData, QWidget* parent = nullptr,
              Qt::WindowFlags flags = Qt::WindowFlags());
    ~QKestrune() override;

    void fillProductTable();
    void fillScannerTable();
    void addActionButton(int status, ApplicationRow* row, ApplicationInfo* application);
    static QString actionText(int status);

public slots:
    void refresh();
    void showInstalledCalibration(QString scannerId, bool rented);
    void getCalibration(QString scannerId);
    void upgradeScanner(QString url);
    void installSoftware(QObject* row);
    void updateKYB(QString link);
    void buySoftware(QString link);

    // True while the window waits on one of its own requests (a refresh, a calibration, a download, its own
    // update): no other action of the window starts meanwhile.
    bool isBusy() const { return busy; }

    // The first show keeps the window on its screen.
    void setVisible(bool visible) override;

private:
    class BusyScope;

    void setBusy(bool on);
    void refetchApplications();

    std::unique_ptr<Ui::QKestruneClass> ui;
    ScannerData* scannerData;
    ProductData* productData;
    QSignalMapper installMapper;
    QSignalMapper buyMapper;
    QPointer<QSignalMapper> calibrationMapper;
    QPointer<QSignalMapper> upgradeMapper;
    bool busy = false;
    bool fittedToScreen = false;
};

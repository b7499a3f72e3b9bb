#include "kyb/ui/QKestrune.h"

#include "kyb/dialogs/ScreenFit.h"

#include "ui_QKestrune.h"

#include "kyb/account/AccountState.h"
#include "kyb/catalogue/ProductData.h"
#include "kyb/dialogs/ExternalLinks.h"
#include "kyb/dialogs/GuardedSlot.h"
#include "kyb/downloads/DownloadManagerDialog.h"
#include "kyb/scanners/ScannerData.h"
#include "kyb/ui/QSizeHintedButton.h"
#include "kyb/updates/UpdatePrompts.h"

#include <QCoreApplication>
#include <QHeaderView>
#include <QMessageBox>
#include <QPushButton>
#include <QTableWidgetItem>
#include <QUrl>

#include <ios>

namespace {

enum SoftwareColumn { NameColumn = 0, VersionColumn = 1, ActionColumn = 2 };
enum HardwareColumn { ScannerNameColumn = 0, StateColumn = 1 };

// Runs fetch, then fill, also when fetch throws: the rows never outlive the records they were made from.
template <typename Fetch, typename Fill>
void fetchThenFill(Fetch fetch, Fill fill)
{
    try {
        fetch();
    } catch (...) {
        fill();
        throw;
    }
    fill();
}

}  // namespace

// Keeps the window busy for the length of a scope, whatever leaves it.
class QKestrune::BusyScope {
public:
    explicit BusyScope(QKestrune* window) : window_(window) { window_->setBusy(true); }
    ~BusyScope()
    {
        if (window_)
            window_->setBusy(false);
    }
    BusyScope(const BusyScope&) = delete;
    BusyScope& operator=(const BusyScope&) = delete;

private:
    QPointer<QKestrune> window_;
};

QKestrune::QKestrune(ScannerData* scannerData, ProductData* productData, QWidget* parent, Qt::WindowFlags flags)
    : QMainWindow(parent, flags), ui(std::make_unique<Ui::QKestruneClass>()), scannerData(scannerData),
      productData(productData)
{
    ui->setupUi(this);

    QHeaderView* software = ui->softwareTableWidget->horizontalHeader();
    software->setSectionResizeMode(NameColumn, QHeaderView::Stretch);
    software->setSectionResizeMode(VersionColumn, QHeaderView::Stretch);
    software->setSectionResizeMode(ActionColumn, QHeaderView::ResizeToContents);
    QHeaderView* hardware = ui->hardwareTableWidget->horizontalHeader();
    hardware->setSectionResizeMode(ScannerNameColumn, QHeaderView::Stretch);
    hardware->setSectionResizeMode(StateColumn, QHeaderView::ResizeToContents);

    connect(scannerData, &ScannerData::calibrationInstalled, this, &QKestrune::showInstalledCalibration);
    connect(ui->pbRefresh, &QPushButton::clicked, this, &QKestrune::refresh);
    connect(ui->updateVersion, &QLabel::linkActivated, this, &QKestrune::updateKYB);
    connect(&installMapper, &QSignalMapper::mappedObject, this, &QKestrune::installSoftware);
    connect(&buyMapper, &QSignalMapper::mappedString, this, &QKestrune::buySoftware);

    scannerData->downloadCalibrations(false);
    fillScannerTable();
    fillProductTable();
    ui->updateVersion->setVisible(accountState.selfUpdateAvailable);
}

QKestrune::~QKestrune() = default;

QString QKestrune::actionText(int status)
{
    switch (status) {
    case ProductData::NotInstalled:
        return tr("Install");
    case ProductData::OtherVersion:
        return tr("Update");
    case ProductData::Current:
        return tr("Buy");
    default:
        return QString();
    }
}

void QKestrune::fillProductTable()
{
    QTableWidget* table = ui->softwareTableWidget;
    table->setRowCount(0);
    for (ApplicationInfo& application : productData->applications) {
        table->insertRow(0);
        QString name = QString::fromStdString(application.productName);
        if (application.productType == 2)
            name += tr(" (subscription)");
        auto* nameItem = new QTableWidgetItem(name);
        nameItem->setData(Qt::UserRole, QString::fromStdString(application.versionName));
        table->setItem(0, NameColumn, nameItem);
        table->setItem(0, VersionColumn,
                       new QTableWidgetItem(tr("Version") + QLatin1Char(' ') +
                                            QString::fromStdString(application.versionName)));
        const int status =
            ProductData::applicationStatus(&application, productData->findInstalled(&application, true));
        addActionButton(status, new ApplicationRow(&application, this), &application);
    }
    table->resizeColumnsToContents();
}

void QKestrune::addActionButton(int status, ApplicationRow* row, ApplicationInfo* application)
{
    auto* button = new QSizeHintedButton(actionText(status));
    row->setParent(button);   // goes when the next fill replaces the button
    if (status == ProductData::Current) {
        buyMapper.setMapping(button, QString::fromStdString(application->upgradeUrl));
        connect(button, &QPushButton::clicked, &buyMapper, qOverload<>(&QSignalMapper::map));
    } else {
        installMapper.setMapping(button, row);
        connect(button, &QPushButton::clicked, &installMapper, qOverload<>(&QSignalMapper::map));
        button->setEnabled(!application->downloadLink.empty());
    }
    if (accountState.offlineMode)
        button->setEnabled(false);
    ui->softwareTableWidget->setCellWidget(0, ActionColumn, button);
}

void QKestrune::fillScannerTable()
{
    QTableWidget* table = ui->hardwareTableWidget;
    table->setRowCount(0);

    // The mappers of the previous fill go with the buttons they served.
    if (calibrationMapper)
        calibrationMapper->deleteLater();
    if (upgradeMapper)
        upgradeMapper->deleteLater();
    calibrationMapper = new QSignalMapper(this);
    upgradeMapper = new QSignalMapper(this);
    connect(calibrationMapper.data(), &QSignalMapper::mappedString, this, &QKestrune::getCalibration);
    connect(upgradeMapper.data(), &QSignalMapper::mappedString, this, &QKestrune::upgradeScanner);

    const int count = scannerData->scannerCount();
    bool accountListEmpty = true;
    for (int r = 0; r < count; ++r)
        accountListEmpty = accountListEmpty && scannerData->scannerKind(r) != 2;
    const bool noStates = accountState.offlineMode && accountListEmpty;

    for (int r = 0; r < count; ++r) {
        const AccountScanner* record = scannerData->scannerAt(r);
        const QString serial = QString::fromStdString(record->serialNumber);
        table->insertRow(0);
        table->setItem(0, ScannerNameColumn, new QTableWidgetItem(QStringLiteral("Belmo Scanner ") + serial));
        if (noStates)
            continue;

        QPushButton* button = nullptr;
        switch (scannerData->scannerKind(r)) {
        case 2:
            if (scannerData->hasDeviceData(r) && !record->upgradeUrl.empty()) {
                button = new QPushButton(tr("Upgrade"));
                upgradeMapper->setMapping(button, QString::fromStdString(record->upgradeUrl));
                connect(button, &QPushButton::clicked, upgradeMapper.data(), qOverload<>(&QSignalMapper::map));
            }
            break;
        case 1:
            if (record->calibrationState == 2) {
                table->setItem(0, StateColumn, new QTableWidgetItem(tr("Rented")));
            } else if (record->calibrationState == 1 || record->calibrationState == 0) {
                button = new QPushButton(record->calibrationState == 1 ? tr("Update") : tr("Rent"));
                calibrationMapper->setMapping(button, serial);
                connect(button, &QPushButton::clicked, calibrationMapper.data(), qOverload<>(&QSignalMapper::map));
            }
            break;
        default:
            break;
        }
        if (button)
            table->setCellWidget(0, StateColumn, button);
    }
    table->sortItems(ScannerNameColumn, Qt::AscendingOrder);

    const bool shown = table->rowCount() > 0 || productData->applications.empty();
    ui->lblHardware->setVisible(shown);
    table->setVisible(shown);
    table->resizeColumnsToContents();
}

void QKestrune::setBusy(bool on)
{
    busy = on;
    // The row buttons are children of the tables' viewports: turning a viewport off turns off every button in it,
    // those a fill makes meanwhile included, and turning it on gives each button back its own state.
    ui->softwareTableWidget->viewport()->setEnabled(!on);
    ui->hardwareTableWidget->viewport()->setEnabled(!on);
    ui->pbRefresh->setEnabled(!on);
    ui->updateVersion->setEnabled(!on);
}

void QKestrune::refetchApplications()
{
    fetchThenFill([this] { productData->refresh(true); }, [this] { fillProductTable(); });
}

void QKestrune::refresh()
{
    guardedSlot(this, [this] {
        if (busy)
            return;
        BusyScope busyScope(this);
        accountState.offlineMode = false;
        refetchApplications();
        fetchThenFill(
            [this] {
                scannerData->retrieveScanners();
                scannerData->downloadCalibrations(false);
            },
            [this] { fillScannerTable(); });
        checkSelfUpdate();
        ui->updateVersion->setVisible(accountState.selfUpdateAvailable);
    });
}

void QKestrune::showInstalledCalibration(QString scannerId, bool rented)
{
    guardedSlot(this, [&] {
        QTableWidget* table = ui->hardwareTableWidget;
        for (int row = 0; row < table->rowCount(); ++row) {
            const QTableWidgetItem* name = table->item(row, ScannerNameColumn);
            if (!name || !name->text().contains(scannerId, Qt::CaseSensitive))
                continue;
            table->removeCellWidget(row, StateColumn);
            if (!rented)
                continue;
            if (QTableWidgetItem* state = table->item(row, StateColumn))
                state->setText(tr("Rented"));
            else
                table->setItem(row, StateColumn, new QTableWidgetItem(tr("Rented")));
        }
    });
}

void QKestrune::getCalibration(QString scannerId)
{
    auto* mapper = qobject_cast<QSignalMapper*>(sender());
    guardedSlot(this, [&] {
        if (busy)
            return;
        try {
            if (mapper) {
                if (auto* button = qobject_cast<QWidget*>(mapper->mapping(scannerId)))
                    button->setEnabled(false);   // until the table is rebuilt
            }
            BusyScope busyScope(this);
            scannerData->requestCalibration(scannerId);
            accountState.offlineMode = false;
            refetchApplications();
        } catch (const std::ios_base::failure& failure) {
            QMessageBox box(QMessageBox::NoIcon, QStringLiteral("Kestrune"), QString::fromUtf8(failure.what()),
                            QMessageBox::Ok, this);
            box.exec();
        }
    });
}

void QKestrune::upgradeScanner(QString url)
{
    guardedSlot(this, [&] {
        if (!busy)
            openExternalLink(QUrl(url));
    });
}

void QKestrune::buySoftware(QString link)
{
    guardedSlot(this, [&] {
        if (!busy)
            openExternalLink(QUrl(link));
    });
}

void QKestrune::installSoftware(QObject* row)
{
    guardedSlot(this, [&] {
        auto* applicationRow = dynamic_cast<ApplicationRow*>(row);
        if (busy || !applicationRow || !applicationRow->application ||
            applicationRow->application->downloadLink.empty())
            return;
        // Copied: the dialog must not depend on the record once it runs.
        const QString name = QString::fromStdString(applicationRow->application->productName);
        const QString link = QString::fromStdString(applicationRow->application->downloadLink);
        BusyScope busyScope(this);
        DownloadManagerDialog dialog(name, link, this);
        if (dialog.startDownload())
            QCoreApplication::exit(0);
    });
}

void QKestrune::updateKYB(QString)
{
    guardedSlot(this, [this] {
        if (busy)
            return;
        bool started = false;
        {
            BusyScope busyScope(this);
            started = runSelfUpdate();
        }
        if (started)
            QCoreApplication::exit(0);
        else
            ui->updateVersion->hide();
    });
}

void QKestrune::setVisible(bool visible)
{
    if (visible && !fittedToScreen) {
        fittedToScreen = true;
        fitIntoScreen(*this);
    }
    QMainWindow::setVisible(visible);
}

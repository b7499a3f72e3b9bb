#include "updates/UpdatePrompts.h"

#include "account/AccountState.h"
#include "account/ServerAPI.h"
#include "downloads/DownloadManagerDialog.h"
#include "updates/UpdateOfferRule.h"

#include <QCoreApplication>
#include <QMessageBox>
#include <QSettings>
#include <QStringList>

#include <algorithm>
#include <climits>

const char* const programVersion = "1.4.4.1";

int compareVersionStrings(const std::string& a, const std::string& b)
{
    const QStringList left = QString::fromStdString(a).split(QLatin1Char('.'), Qt::KeepEmptyParts, Qt::CaseSensitive);
    const QStringList right = QString::fromStdString(b).split(QLatin1Char('.'), Qt::KeepEmptyParts, Qt::CaseSensitive);
    for (int i = 0; i < 4; ++i) {
        const int x = i < left.size() ? left[i].toInt(nullptr, 10) : 0;
        const int y = i < right.size() ? right[i].toInt(nullptr, 10) : 0;
        if (x != y) {
            const long long difference = static_cast<long long>(x) - y;   // kept within int at the extremes
            return static_cast<int>(std::clamp<long long>(difference, INT_MIN, INT_MAX));
        }
    }
    return 0;
}

bool askUpdateQuestion(const QString& name)
{
    const QString text = QCoreApplication::translate(
        "HelperClass", "A new version of %1 is available to download.\nWould you like to update?").arg(name);
    return QMessageBox::question(nullptr, QStringLiteral("Kestrune"), text, QMessageBox::Yes | QMessageBox::No) ==
           QMessageBox::Yes;
}

bool runSelfUpdate()
{
    DownloadManagerDialog dialog(QStringLiteral("Kestrune"), QString::fromStdString(accountState.selfUpdateLink));
    return dialog.startDownload();
}

bool checkSelfUpdate()
{
    accountState.selfUpdateAvailable = false;
    if (accountState.offlineMode)
        return false;
    ApplicationInfo answer;
    if (!ServerAPI::instance()->updateRequired(QString::fromStdString(accountState.authToken), &answer,
                                               QString::fromLatin1(programVersion)))
        return false;
    if (answer.downloadLink.empty())
        return false;
    accountState.selfUpdateAvailable = compareVersionStrings(answer.versionName, programVersion) > 0;
    accountState.selfUpdateLink = answer.downloadLink;
    if (!accountState.selfUpdateAvailable)
        return false;

    QSettings defaultScope;
    SettingsOfferStore store(defaultScope);
    if (!takeUpdateOffer(store, QString::fromStdString(answer.versionName)))
        return false;
    if (!askUpdateQuestion(QStringLiteral("Kestrune")))
        return false;
    return runSelfUpdate();
}

bool askProductUpdate(const ApplicationInfo* application, const InstalledProduct* installed)
{
    if (!application)
        return false;
    const QString name = QString::fromStdString(application->productName);
    const QString version = QString::fromStdString(application->versionName);
    const QString versionKey = installed ? QString::fromStdString(installed->version) : version;
    RegistryOfferStore store(name, versionKey);
    if (!takeUpdateOffer(store, version))
        return false;
    if (!askUpdateQuestion(name))
        return false;
    DownloadManagerDialog dialog(name, QString::fromStdString(application->downloadLink));
    return dialog.startDownload();
}

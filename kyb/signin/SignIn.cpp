#include "kyb/signin/SignIn.h"

#include <QSettings>
#include <QVariant>

#include "kyb/account/AccountState.h"
#include "kyb/storage/AppDataFolders.h"
#include "kyb/account/ServerAPI.h"
#include "kyb/dialogs/LoginDialog.h"
#include "kyb/signin/SavedLoginFile.h"
#include "platform/MachineIdentifier.h"

namespace {
const QString loginKey = QStringLiteral("Login");

QSettings defaultScope()
{
    return QSettings(QStringLiteral("Belmo Group"), QStringLiteral("Kestrune"));
}
}  // namespace

QString savedLoginPath()
{
    return appDataPath() + QStringLiteral("kyb.dat");
}

bool loadSavedLogin()
{
    SavedLogin saved;
    if (!SavedLoginFile(savedLoginPath()).read(&saved))
        return false;
    const std::string passphrase = platform::machineIdentifier();
    accountState.login = saved.login.toStdWString();
    accountState.machineRecordId = saved.machineRecordId;
    accountState.uok = ServerAPI::decryptString(saved.uok, passphrase);
    accountState.authToken = ServerAPI::decryptString(saved.authToken, passphrase);
    return !accountState.authToken.empty();
}

int runLoginDialog(std::string machineIdentifier, QString* login, int mode)
{
    LoginDialog dialog(std::move(machineIdentifier), login, mode);
    if (dialog.exec() != QDialog::Accepted)
        return 1;
    *login = dialog.login();
    return 0;
}

int signIn(int mode)
{
    if (mode != 2 && loadSavedLogin())
        return 1;

    const std::string machineIdentifier = platform::machineIdentifier();
    QString login = defaultScope().value(loginKey).toString();
    const SavedLoginFile savedFile(savedLoginPath());
    if (runLoginDialog(machineIdentifier, &login, mode) != 0) {
        savedFile.remove();
        return 0;
    }

    accountState.login = login.toStdWString();
    defaultScope().setValue(loginKey, login);

    SavedLogin saved;
    saved.login = login;
    saved.machineRecordId = accountState.machineRecordId;
    saved.uok = accountState.uok;
    saved.authToken = accountState.authToken;
    accountState.uok = ServerAPI::decryptString(saved.uok, machineIdentifier);
    accountState.authToken = ServerAPI::decryptString(saved.authToken, machineIdentifier);
    // A file that cannot be written only means the next start asks again.
    savedFile.write(saved);
    return 1;
}

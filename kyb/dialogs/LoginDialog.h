#pragma once
// Asks for the account's login and password and signs in with the login request, or signs in on the service's
// web page and completes that with the info request. Accepted once AccountState holds the new sign-in.

#include <QDialog>
#include <QString>
#include <memory>
#include <string>

namespace Ui {
class LoginDialog;
}

class LoginDialog : public QDialog {
    Q_OBJECT
public:
    // mode as for signIn: 1 keeps the dialog above other windows; 2 locks a known login.
    LoginDialog(std::string machineIdentifier, QString* login, int mode, QWidget* parent = nullptr);
    ~LoginDialog() override;

    // The text of the login field (after a web sign-in, the account's e-mail).
    QString login() const;

    // Cancel, Escape and the window's close button: also while a request waits, which is then abandoned (its
    // answer is never read, so it signs nobody in).
    void reject() override;

public slots:
    void signInOk();
    void signInOnline();

private:
    void fitTexts();
    void setRequestWaiting(bool waiting);
    void showBusy(bool busy);
    void showServerError(const char* what);

    std::unique_ptr<Ui::LoginDialog> ui_;
    std::string machineIdentifier_;
    bool requestWaiting_ = false;
    int waitsBeforeRequest_ = 0;  // the service client's waits when the dialog's request started
};

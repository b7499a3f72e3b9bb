#include "kyb/dialogs/LoginDialog.h"

#include <QCoreApplication>
#include <QMessageBox>
#include <algorithm>
#include <exception>

#include "kyb/account/AccountState.h"
#include "kyb/account/RequestFailure.h"
#include "kyb/account/ServerAPI.h"
#include "kyb/dialogs/DialogImages.h"
#include "kyb/dialogs/GuardedSlot.h"
#include "kyb/dialogs/WebLoginDialog.h"
#include "platform/ServiceEndpoint.h"
#include "ui_LoginDialog.h"

LoginDialog::LoginDialog(std::string machineIdentifier, QString* login, int mode, QWidget* parent)
    : QDialog(parent), ui_(new Ui::LoginDialog), machineIdentifier_(std::move(machineIdentifier))
{
    registerDialogImages();
    ui_->setupUi(this);
    // The texts name the service this build talks to; it is escaped where it lands in rich text.
    ui_->label_4->setText(ui_->label_4->text().arg(platform::serviceHost()));
    const QString authority = platform::serviceAuthority().toHtmlEscaped();
    ui_->lblCreateAnAccount->setText(ui_->lblCreateAnAccount->text().arg(authority));
    ui_->lblForgotYourPassword->setText(ui_->lblForgotYourPassword->text().arg(authority));

    // The form's width for "Sign in online" is too narrow for some fonts: the button grows to the right, up to the
    // dialog's edge, to fit its text.
    QPushButton* online = ui_->btSignInOnline;
    const int fitting = std::min(std::max(online->width(), online->sizeHint().width()), width() - online->x());
    online->resize(fitting, online->height());

    ui_->progressBar->hide();
    ui_->lblConnectToServer->hide();
    ui_->lblLoginOrPasswordIncorrect->hide();
    ui_->lblForgotYourPassword->hide();

    Qt::WindowFlags flags = windowFlags() & ~Qt::WindowContextHelpButtonHint;
    if (mode == 1)
        flags |= Qt::WindowStaysOnTopHint;
    setWindowFlags(flags);
    setFocus(Qt::OtherFocusReason);

    connect(ui_->btSignIn, &QPushButton::clicked, this, &LoginDialog::signInOk);
    connect(ui_->btSignInOnline, &QPushButton::clicked, this, &LoginDialog::signInOnline);

    const QString known = login ? *login : QString();
    ui_->loginEdit->setText(known);
    if (!known.isEmpty()) {
        if (mode == 2)
            ui_->loginEdit->setEnabled(false);
        ui_->passEdit->setFocus(Qt::OtherFocusReason);
    }
}

LoginDialog::~LoginDialog() = default;

QString LoginDialog::login() const
{
    return ui_->loginEdit->text();
}

void LoginDialog::reject()
{
    QDialog::reject();
    // The request's loop sits above the dialog's own: ending its wait lets the dialog return at once.
    if (requestWaiting_)
        ServerAPI::instance()->abandonWaitsFrom(waitsBeforeRequest_);
}

void LoginDialog::setRequestWaiting(bool waiting)
{
    // A second sign-in must not start inside the first one's wait; Cancel stays available.
    requestWaiting_ = waiting;
    if (waiting) {
        waitsBeforeRequest_ = ServerAPI::instance()->waitCount();
        // Disabling the focused button would pass the focus, and with it the Return key, on to Cancel.
        QWidget* focused = focusWidget();
        if (focused == ui_->btSignIn || focused == ui_->btSignInOnline)
            ui_->passEdit->setFocus(Qt::OtherFocusReason);
    }
    ui_->btSignIn->setEnabled(!waiting);
    ui_->btSignInOnline->setEnabled(!waiting);
}

void LoginDialog::showBusy(bool busy)
{
    setCursor(busy ? Qt::WaitCursor : Qt::ArrowCursor);
    ui_->progressBar->setVisible(busy);
    ui_->lblConnectToServer->setVisible(busy);
}

void LoginDialog::showServerError(const char* what)
{
    QMessageBox box(QMessageBox::NoIcon, QStringLiteral("Kestrune"),
                    QCoreApplication::translate("HelperClass", "Server error:") + QLatin1Char(' ') +
                        QString::fromLocal8Bit(what),
                    QMessageBox::Ok, this,
                    Qt::Dialog | Qt::MSWindowsFixedSizeDialogHint | Qt::WindowStaysOnTopHint);
    box.exec();
}

void LoginDialog::signInOk()
{
    guardedSlot(this, [&] {
        if (requestWaiting_ || ui_->loginEdit->text().isEmpty() || ui_->passEdit->text().isEmpty())
            return;
        showBusy(true);
        setRequestWaiting(true);
        bool ok = false;
        try {
            ok = ServerAPI::instance()->login(ui_->loginEdit->text(), ui_->passEdit->text(), machineIdentifier_,
                                              &accountState);
        } catch (const RequestAbandoned&) {
            setRequestWaiting(false);
            showBusy(false);
            return;   // the dialog was closed meanwhile
        } catch (const std::exception& e) {
            setRequestWaiting(false);
            showBusy(false);
            showServerError(e.what());
            return;
        } catch (...) {
            setRequestWaiting(false);
            showBusy(false);
            throw;
        }
        setRequestWaiting(false);
        showBusy(false);
        if (ok) {
            accept();
        } else {
            ui_->lblLoginOrPasswordIncorrect->show();
            ui_->lblForgotYourPassword->show();
        }
    });
}

void LoginDialog::signInOnline()
{
    guardedSlot(this, [&] {
        if (requestWaiting_)
            return;
        QString token;
        if (!runWebLogin(&token, this))
            return;
        QString email;
        setRequestWaiting(true);
        bool ok = false;
        try {
            ok = ServerAPI::instance()->info(token, machineIdentifier_, &email, &accountState);
        } catch (const RequestAbandoned&) {
            setRequestWaiting(false);
            return;   // the dialog was closed meanwhile
        } catch (const std::exception& e) {
            setRequestWaiting(false);
            showServerError(e.what());
            return;
        } catch (...) {
            setRequestWaiting(false);
            throw;
        }
        setRequestWaiting(false);
        if (ok) {
            ui_->loginEdit->setText(email);
            accept();
        }
    });
}

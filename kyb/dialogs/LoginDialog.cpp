#include "kyb/dialogs/LoginDialog.h"

#include <QCoreApplication>
#include <QLabel>
#include <QStringList>
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

namespace {

const QChar breakOpportunity(0x200B);  // zero-width space

enum class Grow { Evenly, Down };

// A one-line label made as large as its text, growing to the right up to rightLimit, and down or evenly up and down
// (so it stays on the line of the field beside it).
void growToText(QLabel* label, int rightLimit, Grow grow = Grow::Evenly)
{
    const QSize needed = label->sizeHint();
    QRect place = label->geometry();
    place.setWidth(std::min(std::max(place.width(), needed.width()), rightLimit - place.x()));
    if (needed.height() > place.height()) {
        if (grow == Grow::Evenly)
            place.translate(0, -(needed.height() - place.height()) / 2);
        place.setHeight(needed.height());
    }
    label->setGeometry(place);
}

// The host with break opportunities after its dots, and between the letters of a part too wide for a line of its
// own, so that a long host wraps instead of running past the dialog.
QString breakableHost(const QString& host, const QFontMetrics& metrics, int lineWidth)
{
    QStringList parts = host.split(QLatin1Char('.'));
    for (QString& part : parts) {
        if (metrics.horizontalAdvance(part + QLatin1Char('.')) <= lineWidth)
            continue;
        QString spread;
        for (const QChar c : part)
            spread += QString(c) + breakOpportunity;
        spread.chop(1);
        part = spread;
    }
    return parts.join(QString(QLatin1Char('.')) + breakOpportunity);
}

}  // namespace

// The form's sizes suit one font only: the texts get the room they need at the fonts of the platform and for a host
// of any length, with the form's places and order kept.
void LoginDialog::fitTexts()
{
    const int right = width() - 10;  // the form's margin

    // The header: the bold title, then the line naming the host, as wide as it needs to stay on as few lines as it
    // can, the strip growing under it when those are more than it holds.
    QLabel* title = ui_->label_3;
    growToText(title, right);
    QLabel* hostLine = ui_->label_4;
    hostLine->setWordWrap(true);
    const QString format = hostLine->text();
    const QString host = platform::serviceHost();
    hostLine->setText(format.arg(host));
    const int widest = right - hostLine->x();
    if (hostLine->minimumSizeHint().width() > widest)
        hostLine->setText(format.arg(breakableHost(host, hostLine->fontMetrics(), widest)));
    const int fewestLinesHeight = hostLine->heightForWidth(widest);
    int lineWidth = std::min(std::max(hostLine->width(), hostLine->minimumSizeHint().width()), widest);
    while (lineWidth < widest && hostLine->heightForWidth(lineWidth) > fewestLinesHeight)
        ++lineWidth;
    hostLine->setGeometry(hostLine->x(), std::max(hostLine->y(), title->geometry().bottom() + 1), lineWidth,
                          std::max(hostLine->height(), fewestLinesHeight));
    QWidget* header = ui_->graphicsView;
    header->resize(header->width(), std::max(header->height(), hostLine->geometry().bottom() + 4));

    // The field names and the one-line texts beside and below the fields.
    growToText(ui_->label, ui_->loginEdit->x());
    growToText(ui_->label_2, ui_->passEdit->x());
    growToText(ui_->lblCreateAnAccount, right);
    growToText(ui_->lblConnectToServer, right);

    // The two lines of the refused sign-in, and the password link under them.
    QLabel* refused = ui_->lblLoginOrPasswordIncorrect;
    refused->setWordWrap(true);
    refused->resize(refused->width(), std::max(refused->height(), refused->heightForWidth(refused->width())));
    QLabel* forgot = ui_->lblForgotYourPassword;
    forgot->move(forgot->x(), std::max(forgot->y(), refused->geometry().bottom() + 1));
    growToText(forgot, right, Grow::Down);
}

LoginDialog::LoginDialog(std::string machineIdentifier, QString* login, int mode, QWidget* parent)
    : QDialog(parent), ui_(new Ui::LoginDialog), machineIdentifier_(std::move(machineIdentifier))
{
    registerDialogImages();
    ui_->setupUi(this);
    // The texts name the service this build talks to; it is escaped where it lands in rich text.
    const QString authority = platform::serviceAuthority().toHtmlEscaped();
    ui_->lblCreateAnAccount->setText(ui_->lblCreateAnAccount->text().arg(authority));
    ui_->lblForgotYourPassword->setText(ui_->lblForgotYourPassword->text().arg(authority));

    // The form's width for "Sign in online" is too narrow for some fonts: the button grows to the right, up to the
    // dialog's edge, to fit its text.
    QPushButton* online = ui_->btSignInOnline;
    const int fitting = std::min(std::max(online->width(), online->sizeHint().width()), width() - online->x());
    online->resize(fitting, online->height());
    fitTexts();

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

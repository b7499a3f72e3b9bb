#include "kyb/dialogs/WebLoginDialog.h"

#include "kyb/dialogs/ScreenFit.h"

#include <QNetworkAccessManager>
#include <QNetworkReply>
#include <QSslError>
#include <QUrlQuery>
#include <QWebPage>
#include <QtGlobal>

#include "kyb/dialogs/DialogImages.h"
#include "kyb/dialogs/ExternalLinks.h"
#include "kyb/dialogs/GuardedSlot.h"
#include "platform/ServiceEndpoint.h"
#include "ui_WebLoginDialog.h"

WebLoginDialog::WebLoginDialog(QWidget* parent) : QDialog(parent), ui_(new Ui::WebLoginDialog)
{
    registerDialogImages();
    ui_->setupUi(this);
    connect(ui_->webView, &QWebView::urlChanged, this, &WebLoginDialog::urlWasChanged);
    connect(ui_->webView, &QWebView::linkClicked, this, &WebLoginDialog::linkClicked);
    connect(ui_->webView->page()->networkAccessManager(), &QNetworkAccessManager::sslErrors, this,
            &WebLoginDialog::handleSslErrors);
    connect(ui_->btnGoHome, &QPushButton::clicked, this, &WebLoginDialog::loadStartPage);
    ui_->btnGoHome->hide();
    loadStartPage();
    ui_->webView->page()->setLinkDelegationPolicy(QWebPage::DelegateAllLinks);
}

WebLoginDialog::~WebLoginDialog() = default;

QString WebLoginDialog::accountHost()
{
    return platform::serviceHost().toLower();
}

QUrl WebLoginDialog::startPage()
{
    return QUrl(QStringLiteral("https://") + platform::serviceAuthority() + QStringLiteral("/services?kyb=true"));
}

void WebLoginDialog::loadStartPage()
{
    guardedSlot(this, [&] { ui_->webView->load(startPage()); });
}

void WebLoginDialog::urlWasChanged(const QUrl& url)
{
    guardedSlot(this, [&] {
        if (tokenTaken_)
            return;
        const bool onAccountHost = url.host().toLower() == accountHost();
        ui_->btnGoHome->setVisible(!onAccountHost);
        // A token travels only over a verified https connection to the account host.
        if (!onAccountHost || url.scheme() != QLatin1String("https"))
            return;
        const QUrlQuery query(url);
        if (!query.hasQueryItem(QStringLiteral("auth_token")))
            return;
        token_ = query.queryItemValue(QStringLiteral("auth_token"), QUrl::FullyDecoded);
        if (token_.isNull())
            token_ = QLatin1String("");  // found, though empty
        tokenTaken_ = true;
        ui_->webView->stop();
        accept();
    });
}

void WebLoginDialog::linkClicked(const QUrl& url)
{
    guardedSlot(this, [&] {
        // Decided by the page the view shows: links on the account's pages stay in the view.
        if (ui_->webView->url().host() == accountHost())
            ui_->webView->load(url);
        else
            openExternalLink(url);
    });
}

void WebLoginDialog::handleSslErrors(QNetworkReply* reply, const QList<QSslError>& errors)
{
    // Certificate errors are not ignored: the page does not load. Only the extra CA of the default SSL
    // configuration is trusted beside the system's.
    for (const QSslError& error : errors)
        qWarning("Web sign-in: %s: %s", qUtf8Printable(reply->url().host()), qUtf8Printable(error.errorString()));
}

bool runWebLogin(QString* token, QWidget* parent)
{
    WebLoginDialog dialog(parent);
    const int result = dialog.exec();
    *token = dialog.token();
    return result != 0;
}

void WebLoginDialog::setVisible(bool visible)
{
    if (visible && !fittedToScreen_) {
        fittedToScreen_ = true;
        fitIntoScreen(*this);
    }
    QDialog::setVisible(visible);
}

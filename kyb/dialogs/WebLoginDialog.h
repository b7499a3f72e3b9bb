#pragma once
// The account service's own sign-in page in an embedded web view. The dialog ends accepted when the page
// navigates to an https address on the account host that carries the query item "auth_token".

#include <QDialog>
#include <QList>
#include <QString>
#include <QUrl>
#include <memory>

class QNetworkReply;
class QSslError;

namespace Ui {
class WebLoginDialog;
}

class WebLoginDialog : public QDialog {
    Q_OBJECT
public:
    explicit WebLoginDialog(QWidget* parent);
    ~WebLoginDialog() override;

    // Null until a token is found.
    QString token() const { return token_; }

    // The lower-case host of the account service, and the page the dialog starts on.
    static QString accountHost();
    static QUrl startPage();

public slots:
    void linkClicked(const QUrl& url);
    void urlWasChanged(const QUrl& url);
    void handleSslErrors(QNetworkReply* reply, const QList<QSslError>& errors);
    void loadStartPage();

    // The first show keeps the window on its screen.
    void setVisible(bool visible) override;

private:
    std::unique_ptr<Ui::WebLoginDialog> ui_;
    QString token_;
    bool tokenTaken_ = false;
    bool fittedToScreen_ = false;
};

// Runs the dialog modally; *token gets its token (null when none was found). True when it was accepted.
bool runWebLogin(QString* token, QWidget* parent);

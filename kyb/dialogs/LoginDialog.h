#pragma once
// Asks for the account's login and password and signs in with the login request, or signs in on the service's
// web page and completes that with the info request. Accepted once AccountState holds the new sign-in.

#include <QDialog>
#include <QHash>
#include <QMargins>
#include <QRect>
#include <QSize>
#include <QString>
#include <QWidgetList>
#include <memory>
#include <string>

class QScrollArea;

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

    // Lays the form out for a screen whose free room for the dialog is room: at the form's places where they fit,
    // else compact (closer together); where even that is larger than the room, the dialog takes the room with its
    // row of buttons at the bottom and everything above it in a scroll area. Done on the first show for the
    // dialog's screen.
    void fitInto(const QSize& room);

    void setVisible(bool visible) override;

public slots:
    void signInOk();
    void signInOnline();

private:
    void fitTexts(bool compact, int leastWidth);
    bool fits(const QSize& room) const;
    void scrollInto(const QSize& room);
    void unscroll();
    void keepInView(QWidget* widget);
    void setRequestWaiting(bool waiting);
    void showBusy(bool busy);
    void showServerError(const char* what);

    std::unique_ptr<Ui::LoginDialog> ui_;
    std::string machineIdentifier_;
    // The form as designed, before anything was fitted.
    QHash<const QWidget*, QRect> form_;
    QWidgetList formOrder_;  // the form's widgets, bottom-most first
    QScrollArea* scroller_ = nullptr;  // only while the dialog scrolls
    QMetaObject::Connection focusFollower_;
    QSize formSize_;
    QString hostLineFormat_;
    QMargins formButtonMargins_;
    bool fittedToScreen_ = false;
    bool requestWaiting_ = false;
    int waitsBeforeRequest_ = 0;  // the service client's waits when the dialog's request started
};

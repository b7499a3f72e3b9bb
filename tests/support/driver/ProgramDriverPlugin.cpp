// A generic Qt plugin that drives a program's windows from inside its own process, for tests that run the built
// program: loaded through QT_PLUGIN_PATH and QT_QPA_GENERIC_PLUGINS=kybdriver, it polls the top-level widgets on
// the GUI thread, writes what it sees to KESTRUNE_DRIVER_LOG (one line each) and answers:
//   message boxes     the button named by KESTRUNE_DRIVER_ANSWER ("Yes" or "No"; Ok when the box has no such)
//   download dialog   Install once it is enabled
//   main window       KESTRUNE_DRIVER_WINDOW: "close" closes it, a number N ends its loop with exit(N),
//                     "install" clicks the first enabled Install or Update button of the software table,
//                     "refresh-close" clicks Refresh and closes the window while the refresh waits (Refresh has
//                     been disabled for a second), then logs the tables' names once the program quits
//   login dialog      KESTRUNE_DRIVER_LOGIN "login:password": signs in with it twice, expecting refusals, and closes
//                     the dialog; logs whether it shows whole in its first, refused and retry states
//   KESTRUNE_DRIVER_LAYOUT=1 also logs, for message boxes and the main window, whether they show whole and lie
//   on the screen; every window it logs is shot to KESTRUNE_DRIVER_SHOTS/<name>.png (the screen) when that is set
#include <QAbstractButton>
#include <QApplication>
#include <QFile>
#include <QGenericPlugin>
#include <QGraphicsView>
#include <QLabel>
#include <QMessageBox>
#include <QPointer>
#include <QLineEdit>
#include <QPixmap>
#include <QPushButton>
#include <QScreen>
#include <QStringList>
#include <QTableWidget>
#include <QTimer>
#include <QWidget>

#include <functional>

#include "WindowLayout.h"

namespace {

class ProgramDriver : public QObject {
public:
    ProgramDriver()
        : log_(QString::fromLocal8Bit(qgetenv("KESTRUNE_DRIVER_LOG"))),
          answer_(QString::fromLatin1(qgetenv("KESTRUNE_DRIVER_ANSWER"))),
          windowAction_(QString::fromLatin1(qgetenv("KESTRUNE_DRIVER_WINDOW"))),
          login_(QString::fromUtf8(qgetenv("KESTRUNE_DRIVER_LOGIN"))),
          shots_(QString::fromLocal8Bit(qgetenv("KESTRUNE_DRIVER_SHOTS"))),
          layout_(qgetenv("KESTRUNE_DRIVER_LAYOUT") == "1")
    {
        timer_.setInterval(50);
        connect(&timer_, &QTimer::timeout, this, [this] { poll(); });
        timer_.start();
    }

private:
    void write(const QString& line)
    {
        QFile file(log_);
        if (log_.isEmpty() || !file.open(QIODevice::Append))
            return;
        QString text = line;
        text.replace(QLatin1Char('\n'), QLatin1String("\\n"));
        file.write(text.toUtf8() + '\n');
    }

    void poll()
    {
        if (!qobject_cast<QApplication*>(QCoreApplication::instance()))
            return;
        if (refreshing_) {
            // Closed once the refresh has waited a second, so that its request has reached the service.
            auto* refresh = refreshing_->findChild<QPushButton*>(QStringLiteral("pbRefresh"));
            disabledPolls_ = refresh && !refresh->isEnabled() ? disabledPolls_ + 1 : 0;
            if (disabledPolls_ >= 20) {
                write(QStringLiteral("main window: closed while refreshing"));
                const QPointer<QWidget> window = refreshing_;
                refreshing_.clear();
                connect(qApp, &QCoreApplication::aboutToQuit, this, [this, window] {
                    if (window)
                        writeTables(window);
                });
                window->close();
                return;
            }
        }
        if (loginDialog_ && loginStage_ != LoginStage::Closed) {
            driveLogin();
            return;
        }
        for (QWidget* widget : QApplication::topLevelWidgets()) {
            if (!widget->isVisible() || handled_.contains(widget))
                continue;
            if (widget->metaObject()->className() == QByteArray("LoginDialog") && !login_.isEmpty()) {
                handle(widget);
                loginDialog_ = widget;
                loginStage_ = LoginStage::First;
                driveLogin();
                return;
            }
            if (auto* box = qobject_cast<QMessageBox*>(widget)) {
                handle(widget);
                if (!layout_) {
                    answerBox(box);
                    return;
                }
                const QPointer<QMessageBox> guard = box;
                reportWindow(box, QStringLiteral("message box"), [this, guard] {
                    if (guard)
                        answerBox(guard);
                });
                return;
            }
            const QByteArray kind = widget->metaObject()->className();
            if (kind == "DownloadManagerDialog") {
                auto* install = widget->findChild<QPushButton*>(QStringLiteral("installButton"));
                if (!install || !install->isEnabled())
                    continue;
                handle(widget);
                write(QStringLiteral("download ready: ") + labelText(widget, "label"));
                QTimer::singleShot(0, install, [install] { install->click(); });
                return;
            }
            if (kind == "QKestrune") {
                handle(widget);
                const auto* link = widget->findChild<QLabel*>(QStringLiteral("updateVersion"));
                write(QStringLiteral("main window: update link ") +
                      (link && link->isVisible() ? QStringLiteral("shown") : QStringLiteral("hidden")));
                if (layout_)
                    write(QStringLiteral("main window: scale ") + QString::number(widget->devicePixelRatioF(), 'f', 2) +
                          QStringLiteral(", ") + placeOnScreen(widget));
                const QPointer<QWidget> window = widget;
                shoot(widget, QStringLiteral("main-window"), [this, window] {
                    if (window)
                        endMainWindow(window);
                });
                return;
            }
        }
    }

    void handle(QWidget* widget) { handled_ << QPointer<QWidget>(widget); }

    // The login dialog's states, each logged once it shows: the first, the refused one after a sign-in, the retry
    // while a second sign-in waits; after the second refusal the dialog is closed.
    enum class LoginStage { First, SignedIn, Refused, Retrying, Retried, Closed };

    void driveLogin()
    {
        QWidget* dialog = loginDialog_;
        if (!dialog->isVisible() || shooting_)
            return;
        const auto shown = [dialog](const char* name) {
            const auto* widget = dialog->findChild<QWidget*>(QString::fromLatin1(name));
            return widget && widget->isVisible();
        };
        const bool busy = shown("progressBar");
        const bool refused = shown("lblLoginOrPasswordIncorrect");
        switch (loginStage_) {
        case LoginStage::First:
            reportWindow(dialog, QStringLiteral("login dialog first"), [this] {
                if (loginDialog_)
                    signIn(loginDialog_);
                loginStage_ = LoginStage::SignedIn;
            });
            break;
        case LoginStage::SignedIn:
            if (refused && !busy) {
                reportWindow(dialog, QStringLiteral("login dialog refused"), [this] {
                    if (loginDialog_)
                        signIn(loginDialog_);
                    loginStage_ = LoginStage::Refused;
                });
            }
            break;
        case LoginStage::Refused:
            if (busy) {
                loginStage_ = LoginStage::Retrying;
                reportWindow(dialog, QStringLiteral("login dialog retry"), [this] { loginStage_ = LoginStage::Retried; });
            }
            break;
        case LoginStage::Retrying:
            break;
        case LoginStage::Retried:
            if (!busy) {
                loginStage_ = LoginStage::Closed;
                write(QStringLiteral("login dialog: closed"));
                QTimer::singleShot(0, dialog, [dialog] { dialog->close(); });
            }
            break;
        case LoginStage::Closed:
            break;
        }
    }

    void signIn(QWidget* dialog)
    {
        auto* login = dialog->findChild<QLineEdit*>(QStringLiteral("loginEdit"));
        auto* password = dialog->findChild<QLineEdit*>(QStringLiteral("passEdit"));
        auto* signIn = dialog->findChild<QPushButton*>(QStringLiteral("btSignIn"));
        if (!login || !password || !signIn)
            return;
        login->setText(login_.section(QLatin1Char(':'), 0, 0));
        password->setText(login_.section(QLatin1Char(':'), 1));
        QTimer::singleShot(0, signIn, [signIn] { signIn->click(); });
    }

    // Where the window lies on its screen: "inside the screen", or its place and the screen's.
    static QString placeOnScreen(QWidget* window)
    {
        const QRect screen = window->screen()->geometry();
        const QRect place = window->frameGeometry();
        if (screen.contains(place))
            return QStringLiteral("inside the screen");
        return QStringLiteral("leaves the screen (%1,%2 %3x%4 on %5x%6)")
            .arg(place.x()).arg(place.y()).arg(place.width()).arg(place.height())
            .arg(screen.width()).arg(screen.height());
    }

    // Logs "<what>: scale <device pixel ratio>, whole" or the faults that keep the window from showing whole; then
    // shoots the screen when asked to, and goes on.
    void reportWindow(QWidget* window, const QString& what, const std::function<void()>& then)
    {
        QStringList faults = ktest::layoutFaults(*window, true, window->findChild<QGraphicsView*>());
        const QString place = placeOnScreen(window);
        if (place != QLatin1String("inside the screen"))
            faults << place;
        write(what + QStringLiteral(": scale ") + QString::number(window->devicePixelRatioF(), 'f', 2) +
              (faults.isEmpty() ? QStringLiteral(", whole") : QStringLiteral(", ") + faults.join(QStringLiteral("; "))));
        QString name = what;
        shoot(window, name.replace(QLatin1Char(' '), QLatin1Char('-')), then);
    }

    // The screen as the X server holds it, once the window had time to paint.
    void shoot(QWidget* window, const QString& name, const std::function<void()>& then)
    {
        if (shots_.isEmpty()) {
            then();
            return;
        }
        shooting_ = true;
        const QPointer<QWidget> guard = window;
        QTimer::singleShot(700, this, [this, guard, name, then] {
            shooting_ = false;
            if (guard)
                guard->screen()->grabWindow(0).save(shots_ + QLatin1Char('/') + name + QStringLiteral(".png"));
            then();
        });
    }

    static QString labelText(QWidget* window, const char* name)
    {
        const auto* label = window->findChild<QLabel*>(QString::fromLatin1(name));
        return label ? label->text() : QString();
    }

    void answerBox(QMessageBox* box)
    {
        write(QStringLiteral("box: ") + box->windowTitle() + QStringLiteral(" | ") + box->text());
        QAbstractButton* chosen = nullptr;
        if (answer_ == QLatin1String("Yes"))
            chosen = box->button(QMessageBox::Yes);
        else if (answer_ == QLatin1String("No"))
            chosen = box->button(QMessageBox::No);
        if (!chosen)
            chosen = box->button(QMessageBox::Ok);
        if (!chosen)
            chosen = box->buttons().value(0);
        if (chosen)
            QTimer::singleShot(0, chosen, [chosen] { chosen->click(); });
    }

    // The name column of each table, top row first.
    void writeTables(QWidget* window)
    {
        for (const char* name : {"softwareTableWidget", "hardwareTableWidget"}) {
            const auto* table = window->findChild<QTableWidget*>(QString::fromLatin1(name));
            QStringList rows;
            for (int row = 0; table && row < table->rowCount(); ++row)
                rows << (table->item(row, 0) ? table->item(row, 0)->text() : QString());
            write(QString::fromLatin1(name) + QStringLiteral(": ") + rows.join(QStringLiteral(", ")));
        }
    }

    void endMainWindow(QWidget* window)
    {
        if (windowAction_ == QLatin1String("install")) {
            const auto* table = window->findChild<QTableWidget*>(QStringLiteral("softwareTableWidget"));
            for (int row = 0; table && row < table->rowCount(); ++row) {
                auto* button = qobject_cast<QPushButton*>(table->cellWidget(row, 2));
                if (!button || !button->isEnabled() ||
                    (button->text() != QLatin1String("Install") && button->text() != QLatin1String("Update")))
                    continue;
                write(QStringLiteral("main window: ") + button->text() + QLatin1Char(' ') + table->item(row, 0)->text());
                QTimer::singleShot(0, button, [button] { button->click(); });
                return;
            }
            write(QStringLiteral("main window: nothing to install"));
            return;
        }
        if (windowAction_ == QLatin1String("refresh-close")) {
            auto* refresh = window->findChild<QPushButton*>(QStringLiteral("pbRefresh"));
            if (refresh) {
                refreshing_ = window;
                QTimer::singleShot(0, refresh, [refresh] { refresh->click(); });
            }
            return;
        }
        if (windowAction_ == QLatin1String("close")) {
            QTimer::singleShot(0, window, [window] { window->close(); });
            return;
        }
        bool ok = false;
        const int code = windowAction_.toInt(&ok);
        if (ok)
            QTimer::singleShot(0, this, [code] { QCoreApplication::exit(code); });
    }

    QTimer timer_;
    QString log_;
    QString answer_;
    QString windowAction_;
    QString login_;
    QString shots_;
    bool layout_;
    QList<QPointer<QWidget>> handled_;
    QPointer<QWidget> loginDialog_;
    LoginStage loginStage_ = LoginStage::First;
    bool shooting_ = false;
    QPointer<QWidget> refreshing_;  // the main window whose Refresh was clicked, until it is closed
    int disabledPolls_ = 0;         // polls in a row that found its Refresh disabled
};

}  // namespace

class ProgramDriverPlugin : public QGenericPlugin {
    Q_OBJECT
    Q_PLUGIN_METADATA(IID QGenericPluginFactoryInterface_iid FILE "ProgramDriver.json")
public:
    QObject* create(const QString& name, const QString&) override
    {
        if (name.compare(QLatin1String("kybdriver"), Qt::CaseInsensitive) != 0)
            return nullptr;
        return new ProgramDriver;   // the application deletes its generic plugins' objects
    }
};

#include "ProgramDriverPlugin.moc"

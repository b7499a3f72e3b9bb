// A generic Qt plugin that drives a program's windows from inside its own process, for tests that run the built
// program: loaded through QT_PLUGIN_PATH and QT_QPA_GENERIC_PLUGINS=kybdriver, it polls the top-level widgets on
// the GUI thread, writes what it sees to KESTRUNE_DRIVER_LOG (one line each) and answers:
//   message boxes     the button named by KESTRUNE_DRIVER_ANSWER ("Yes" or "No"; Ok when the box has no such)
//   download dialog   Install once it is enabled
//   main window       KESTRUNE_DRIVER_WINDOW: "close" closes it, a number N ends its loop with exit(N),
//                     "install" clicks the first enabled Install or Update button of the software table,
//                     "refresh-close" clicks Refresh and closes the window while the refresh waits (Refresh is
//                     disabled, and the file KESTRUNE_DRIVER_AWAIT_LOG names, when given, has one more line
//                     holding KESTRUNE_DRIVER_AWAIT_TEXT: the request reached the server), then logs the tables'
//                     names once the program quits,
//                     "tables" logs every row of both tables with its buttons and closes it,
//                     "watch" answers nothing: the first window that waits for the user (any visible top-level
//                     widget but the splash screen) is logged as "up: <class> | <title> | <text>", its screen
//                     area first grabbed into the PNG file KESTRUNE_DRIVER_SHOT when that is set (after
//                     KESTRUNE_DRIVER_SETTLE_MS; "shot failed: <file>" when it could not be written); then the
//                     driver stops
//   login dialog      KESTRUNE_DRIVER_LOGIN "login:password": signs in with it twice, expecting refusals, and closes
//                     the dialog; logs whether it shows whole in its first, refused and retry states, with its
//                     fields and its Sign in and Cancel buttons wholly on the screen;
//                     or KESTRUNE_DRIVER_SIGNIN "login:password": signs in with it whenever a login dialog shows,
//                     and again after each of its message boxes ("Server error: ...") is answered, at most
//                     KESTRUNE_DRIVER_SIGNIN_TIMES times in all (default 2); a sign-in after such a box waits until
//                     the file KESTRUNE_DRIVER_SIGNIN_AFTER exists, when that is set
//   KESTRUNE_DRIVER_LAYOUT=1 also logs, for message boxes and the main window, whether they show whole and lie
//   on the screen; every window it logs is shot to KESTRUNE_DRIVER_SHOTS/<name>.png (the screen) when that is set
#include <QAbstractButton>
#include <QAbstractScrollArea>
#include <QApplication>
#include <QFile>
#include <QGenericPlugin>
#include <QGraphicsView>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QPixmap>
#include <QPointer>
#include <QPushButton>
#include <QScreen>
#include <QSplashScreen>
#include <QStringList>
#include <QTableWidget>
#include <QTimer>
#include <QWidget>
#include <QWindow>

#include <functional>
#include <initializer_list>

#include "WindowLayout.h"

namespace {

class ProgramDriver : public QObject {
public:
    ProgramDriver()
        : log_(QString::fromLocal8Bit(qgetenv("KESTRUNE_DRIVER_LOG"))),
          answer_(QString::fromLatin1(qgetenv("KESTRUNE_DRIVER_ANSWER"))),
          windowAction_(QString::fromLatin1(qgetenv("KESTRUNE_DRIVER_WINDOW"))),
          shot_(QString::fromLocal8Bit(qgetenv("KESTRUNE_DRIVER_SHOT"))),
          awaitLog_(QString::fromLocal8Bit(qgetenv("KESTRUNE_DRIVER_AWAIT_LOG"))),
          awaitText_(qgetenv("KESTRUNE_DRIVER_AWAIT_TEXT")),
          login_(QString::fromUtf8(qgetenv("KESTRUNE_DRIVER_LOGIN"))),
          signInAs_(QString::fromUtf8(qgetenv("KESTRUNE_DRIVER_SIGNIN"))),
          signInAfter_(QString::fromLocal8Bit(qgetenv("KESTRUNE_DRIVER_SIGNIN_AFTER"))),
          signInsLeft_(qEnvironmentVariableIsSet("KESTRUNE_DRIVER_SIGNIN_TIMES")
                           ? qEnvironmentVariableIntValue("KESTRUNE_DRIVER_SIGNIN_TIMES")
                           : 2),
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
        if (windowAction_ == QLatin1String("watch")) {
            watch();
            return;
        }
        if (refreshing_) {
            auto* refresh = refreshing_->findChild<QPushButton*>(QStringLiteral("pbRefresh"));
            if (refresh && !refresh->isEnabled() && lineCount() > linesBeforeRefresh_) {
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
        if (retryDialog_ && signInAgain())
            return;
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
            if (widget->metaObject()->className() == QByteArray("LoginDialog") && !signInAs_.isEmpty()) {
                handle(widget);
                signInOnce(widget);
                return;
            }
            if (auto* box = qobject_cast<QMessageBox*>(widget)) {
                handle(widget);
                QWidget* owner = box->parentWidget();
                if (!signInAs_.isEmpty() && owner && owner->metaObject()->className() == QByteArray("LoginDialog"))
                    retryDialog_ = owner;   // signed in again once the box is gone
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

    // A window is up once the platform shows it. After KESTRUNE_DRIVER_SETTLE_MS it is painted again, so the grab
    // that follows (a request to the display after the painting's own) sees it drawn.
    void watch()
    {
        for (QWidget* widget : QApplication::topLevelWidgets()) {
            if (!widget->isVisible() || qobject_cast<QSplashScreen*>(widget) ||
                (widget->windowType() != Qt::Window && widget->windowType() != Qt::Dialog))
                continue;
            const QWindow* window = widget->windowHandle();
            if (!window || !window->isExposed())
                continue;
            timer_.stop();
            const QPointer<QWidget> shown(widget);
            QTimer::singleShot(qMax(0, qEnvironmentVariableIntValue("KESTRUNE_DRIVER_SETTLE_MS")), this,
                               [this, shown] {
                                   if (!shown)
                                       return;
                                   shown->repaint();
                                   QTimer::singleShot(0, this, [this, shown] {
                                       if (shown)
                                           report(shown);
                                   });
                               });
            return;
        }
    }

    void report(QWidget* widget)
    {
        if (!shot_.isEmpty()) {
            const QRect area = widget->frameGeometry();
            QScreen* screen = widget->screen();
            const QPixmap shot =
                screen ? screen->grabWindow(0, area.x(), area.y(), area.width(), area.height()) : QPixmap();
            if (shot.isNull() || !shot.save(shot_, "PNG")) {
                write(QStringLiteral("shot failed: ") + shot_);
                return;
            }
        }
        const auto* box = qobject_cast<QMessageBox*>(widget);
        write(QStringLiteral("up: ") + QString::fromLatin1(widget->metaObject()->className()) +
              QStringLiteral(" | ") + widget->windowTitle() + QStringLiteral(" | ") +
              (box ? box->text() : QString()));
    }

    // Whole lines of the awaited log that hold the awaited text; 1 when no log is named, so nothing is awaited.
    int lineCount() const
    {
        if (awaitLog_.isEmpty())
            return 1;
        QFile file(awaitLog_);
        if (!file.open(QIODevice::ReadOnly))
            return 0;
        int count = 0;
        for (const QByteArray& line : file.readAll().split('\n'))
            count += line.contains(awaitText_) ? 1 : 0;
        return count;
    }

    // The login dialog's states, each logged once it shows: the first, the refused one after a sign-in, the retry
    // while a second sign-in waits; after the second refusal the dialog is closed.
    enum class LoginStage { First, SignedIn, Refused, Retrying, Retried, Closed };
    static constexpr std::initializer_list<const char*> loginControls = {"loginEdit", "passEdit", "btSignIn",
                                                                        "btCancel"};

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
        // Logs the dialog's state, then signs in and goes on to the next stage.
        const auto reportThenSignIn = [this, dialog](const char* state, LoginStage next) {
            reportWindow(
                dialog, QStringLiteral("login dialog ") + QLatin1String(state),
                [this, next] {
                    if (loginDialog_)
                        signIn(loginDialog_);
                    loginStage_ = next;
                },
                loginControls);
        };
        switch (loginStage_) {
        case LoginStage::First:
            reportThenSignIn("first", LoginStage::SignedIn);
            break;
        case LoginStage::SignedIn:
            if (refused && !busy)
                reportThenSignIn("refused", LoginStage::Refused);
            break;
        case LoginStage::Refused:
            if (busy) {
                loginStage_ = LoginStage::Retrying;
                reportWindow(
                    dialog, QStringLiteral("login dialog retry"), [this] { loginStage_ = LoginStage::Retried; },
                    loginControls);
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

    // KESTRUNE_DRIVER_SIGNIN: one sign-in while any are left.
    void signInOnce(QWidget* dialog)
    {
        if (signInsLeft_ <= 0)
            return;
        --signInsLeft_;
        write(QStringLiteral("login dialog: sign in"));
        signIn(dialog, signInAs_);
    }

    // The dialog whose box was answered is signed in again once it is idle (no box over it, Sign in enabled) and
    // the awaited file exists. false while it waits, so that the other windows are still answered.
    bool signInAgain()
    {
        QWidget* dialog = retryDialog_;
        const auto* button = dialog->findChild<QPushButton*>(QStringLiteral("btSignIn"));
        if (!dialog->isVisible() || !button || !button->isEnabled())
            return false;
        for (QWidget* widget : QApplication::topLevelWidgets()) {
            if (widget->isVisible() && qobject_cast<QMessageBox*>(widget))
                return false;
        }
        if (!signInAfter_.isEmpty() && !QFile::exists(signInAfter_))
            return false;
        retryDialog_.clear();
        signInOnce(dialog);
        return true;
    }

    void signIn(QWidget* dialog)
    {
        signIn(dialog, login_);
    }

    void signIn(QWidget* dialog, const QString& credentials)
    {
        auto* login = dialog->findChild<QLineEdit*>(QStringLiteral("loginEdit"));
        auto* password = dialog->findChild<QLineEdit*>(QStringLiteral("passEdit"));
        auto* signIn = dialog->findChild<QPushButton*>(QStringLiteral("btSignIn"));
        if (!login || !password || !signIn)
            return;
        login->setText(credentials.section(QLatin1Char(':'), 0, 0));
        password->setText(credentials.section(QLatin1Char(':'), 1));
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

    // Why the named control of the window cannot be reached whole on its screen: hidden, cut off by a widget it
    // lies in (the window too), or outside the screen; empty when it can. Inside a scroll area it only has to lie
    // whole in the scrolled content and fit the view it is scrolled into; the view then has to show whole.
    static QString controlFault(QWidget* window, const char* name)
    {
        const QWidget* control = window->findChild<QWidget*>(QString::fromLatin1(name));
        if (!control || !control->isVisible())
            return QString::fromLatin1(name) + QStringLiteral(": not shown");
        QRect shown = control->rect();
        QSize whole = control->size();
        for (const QWidget* w = control; w != window; w = w->parentWidget()) {
            const QWidget* parent = w->parentWidget();
            shown.translate(w->pos());
            shown &= parent->rect();
            const QWidget* view = parent->parentWidget();
            const auto* area = view ? qobject_cast<const QAbstractScrollArea*>(view->parentWidget()) : nullptr;
            if (area && area->viewport() == view) {  // parent is what the area scrolls
                if (shown.size() != whole)
                    return QString::fromLatin1(name) + QStringLiteral(": cut off");
                if (whole.width() > view->width() || whole.height() > view->height())
                    return QString::fromLatin1(name) + QStringLiteral(": larger than its scroll view");
                whole = view->size();  // from here on the view stands for the control
                shown = QRect(-parent->pos(), whole);
            }
        }
        if (shown.size() != whole)
            return QString::fromLatin1(name) + QStringLiteral(": cut off");
        if (!window->screen()->geometry().contains(QRect(window->mapToGlobal(shown.topLeft()), shown.size())))
            return QString::fromLatin1(name) + QStringLiteral(": off the screen");
        return QString();
    }

    // Logs "<what>: scale <device pixel ratio>, whole" or the faults that keep the window from showing whole, the
    // controls named among them; then shoots the screen when asked to, and goes on.
    void reportWindow(QWidget* window, const QString& what, const std::function<void()>& then,
                      std::initializer_list<const char*> controls = {})
    {
        QStringList faults = ktest::layoutFaults(*window, true, window->findChild<QGraphicsView*>());
        const QString place = placeOnScreen(window);
        if (place != QLatin1String("inside the screen"))
            faults << place;
        for (const char* name : controls) {
            const QString fault = controlFault(window, name);
            if (!fault.isEmpty())
                faults << fault;
        }
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

    // Every row of both tables, top row first: its cells' texts, a button as "[Text]" or "[Text, disabled]".
    void writeRows(QWidget* window)
    {
        for (const char* name : {"softwareTableWidget", "hardwareTableWidget"}) {
            const auto* table = window->findChild<QTableWidget*>(QString::fromLatin1(name));
            if (table && table->rowCount() == 0)
                write(QString::fromLatin1(name) + QStringLiteral(": no rows"));
            for (int row = 0; table && row < table->rowCount(); ++row) {
                QStringList cells;
                for (int column = 0; column < table->columnCount(); ++column) {
                    if (const auto* button = qobject_cast<QAbstractButton*>(table->cellWidget(row, column)))
                        cells << QStringLiteral("[") + button->text() +
                                     (button->isEnabled() ? QString() : QStringLiteral(", disabled")) +
                                     QStringLiteral("]");
                    else
                        cells << (table->item(row, column) ? table->item(row, column)->text() : QString());
                }
                write(QString::fromLatin1(name) + QStringLiteral(": ") + cells.join(QStringLiteral(" | ")));
            }
        }
    }

    void endMainWindow(QWidget* window)
    {
        if (windowAction_ == QLatin1String("tables")) {
            writeRows(window);
            QTimer::singleShot(0, window, [window] { window->close(); });
            return;
        }
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
                linesBeforeRefresh_ = awaitLog_.isEmpty() ? 0 : lineCount();
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
    QString shot_;
    QString awaitLog_;
    QByteArray awaitText_;
    int linesBeforeRefresh_ = 0;
    QString login_;
    QString signInAs_;
    QString signInAfter_;
    int signInsLeft_;
    QPointer<QWidget> retryDialog_;   // KESTRUNE_DRIVER_SIGNIN: the dialog to sign in again
    QString shots_;
    bool layout_;
    QList<QPointer<QWidget>> handled_;
    QPointer<QWidget> loginDialog_;
    LoginStage loginStage_ = LoginStage::First;
    bool shooting_ = false;
    QPointer<QWidget> refreshing_;  // the main window whose Refresh was clicked, until it is closed
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

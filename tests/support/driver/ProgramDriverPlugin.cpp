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
#include <QAbstractButton>
#include <QApplication>
#include <QFile>
#include <QGenericPlugin>
#include <QLabel>
#include <QMessageBox>
#include <QPointer>
#include <QPixmap>
#include <QPushButton>
#include <QScreen>
#include <QSplashScreen>
#include <QStringList>
#include <QTableWidget>
#include <QTimer>
#include <QWidget>
#include <QWindow>

namespace {

class ProgramDriver : public QObject {
public:
    ProgramDriver()
        : log_(QString::fromLocal8Bit(qgetenv("KESTRUNE_DRIVER_LOG"))),
          answer_(QString::fromLatin1(qgetenv("KESTRUNE_DRIVER_ANSWER"))),
          windowAction_(QString::fromLatin1(qgetenv("KESTRUNE_DRIVER_WINDOW"))),
          shot_(QString::fromLocal8Bit(qgetenv("KESTRUNE_DRIVER_SHOT"))),
          awaitLog_(QString::fromLocal8Bit(qgetenv("KESTRUNE_DRIVER_AWAIT_LOG"))),
          awaitText_(qgetenv("KESTRUNE_DRIVER_AWAIT_TEXT"))
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
        for (QWidget* widget : QApplication::topLevelWidgets()) {
            if (!widget->isVisible() || handled_.contains(widget))
                continue;
            if (auto* box = qobject_cast<QMessageBox*>(widget)) {
                handle(widget);
                answerBox(box);
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
                endMainWindow(widget);
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
    QList<QPointer<QWidget>> handled_;
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

#pragma once
// Drives modal dialogs from tests: modal widgets run their own event loops, so the test acts on them from timers
// that keep firing inside those loops.

#include <QApplication>
#include <QCoreApplication>
#include <QDeadlineTimer>
#include <QList>
#include <QMessageBox>
#include <QPointer>
#include <QString>
#include <QTimer>
#include <QWidget>
#include <functional>
#include <memory>

namespace ktest {

// Processes events until done() holds or timeoutMs pass; true when it held.
inline bool waitUntil(const std::function<bool()>& done, int timeoutMs = 15000)
{
    QDeadlineTimer deadline(timeoutMs);
    while (!done()) {
        if (deadline.hasExpired())
            return false;
        QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
    }
    return true;
}

// Runs action once on every new modal widget of type T that becomes the active modal widget, from a timer that
// polls every 20 ms for as long as this object lives.
template <typename T>
class OnModal {
public:
    explicit OnModal(std::function<void(T*)> action) : action_(std::move(action)), timer_(new QTimer)
    {
        timer_->setInterval(20);
        QObject::connect(timer_.get(), &QTimer::timeout, [this] { poll(); });
        timer_->start();
    }
    int count() const { return handled_.size(); }

private:
    void poll()
    {
        T* widget = qobject_cast<T*>(QApplication::activeModalWidget());
        if (!widget || !widget->isVisible())
            return;
        for (const QPointer<T>& seen : handled_) {
            if (seen == widget)
                return;
        }
        handled_.append(widget);
        action_(widget);
    }

    std::function<void(T*)> action_;
    std::unique_ptr<QTimer> timer_;
    QList<QPointer<T>> handled_;
};

// Closes every message box that comes up, keeping what it showed.
struct SeenBox {
    QString title;
    QString text;
    QMessageBox::Icon icon = QMessageBox::NoIcon;
    Qt::WindowFlags flags;
    QWidget* parent = nullptr;
};

class MessageBoxCloser {
public:
    MessageBoxCloser()
        : watcher_([this](QMessageBox* box) {
              boxes.append({box->windowTitle(), box->text(), box->icon(), box->windowFlags(), box->parentWidget()});
              box->done(QMessageBox::Ok);
          })
    {
    }
    QList<SeenBox> boxes;

private:
    OnModal<QMessageBox> watcher_;
};

}  // namespace ktest

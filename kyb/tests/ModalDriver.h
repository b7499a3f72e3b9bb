#pragma once
// Drives modal windows from tests: a timer on the event loop waits until a visible top-level widget of type T shows
// and then runs the action on it once, while the code under test sits in the window's own modal loop.

#include <QAbstractButton>
#include <QApplication>
#include <QMessageBox>
#include <QObject>
#include <QPointer>
#include <QStringList>
#include <QTimer>
#include <QWidget>

#include <functional>
#include <memory>

namespace ktest {

template <typename T>
class WhenShown : public QObject {
public:
    // accept picks the window (all of type T when empty); action runs once on the first one that shows.
    explicit WhenShown(std::function<void(T*)> action, std::function<bool(T*)> accept = {})
        : action_(std::move(action)), accept_(std::move(accept))
    {
        timer_.setInterval(10);
        QObject::connect(&timer_, &QTimer::timeout, this, [this] { poll(); });
        timer_.start();
    }
    int count() const { return count_; }
    void setRepeating(bool repeating) { repeating_ = repeating; }

private:
    void poll()
    {
        for (QWidget* widget : QApplication::topLevelWidgets()) {
            T* window = qobject_cast<T*>(widget);
            if (!window || !window->isVisible() || handled_.contains(window) || (accept_ && !accept_(window)))
                continue;
            handled_ << window;
            ++count_;
            if (!repeating_)
                timer_.stop();
            action_(window);
            return;
        }
    }

    QTimer timer_;
    std::function<void(T*)> action_;
    std::function<bool(T*)> accept_;
    QList<QPointer<T>> handled_;
    int count_ = 0;
    bool repeating_ = false;
};

// Answers every message box with button and records the texts shown.
class MessageBoxAnswerer {
public:
    explicit MessageBoxAnswerer(QMessageBox::StandardButton button = QMessageBox::Ok)
        : driver_([this, button](QMessageBox* box) {
              texts << box->text();
              titles << box->windowTitle();
              QAbstractButton* chosen = box->button(button);
              if (!chosen)
                  chosen = box->buttons().value(0);
              QTimer::singleShot(0, chosen, [chosen] { chosen->click(); });
          })
    {
        driver_.setRepeating(true);
    }
    QStringList texts;
    QStringList titles;

private:
    WhenShown<QMessageBox> driver_;
};

}  // namespace ktest

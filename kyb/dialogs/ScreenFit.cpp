#include "kyb/dialogs/ScreenFit.h"

#include <QGuiApplication>
#include <QRect>
#include <QScreen>
#include <QWidget>

#include <algorithm>

namespace {

const QScreen* screenOf(const QWidget& window)
{
    return window.screen() ? window.screen() : QGuiApplication::primaryScreen();
}

}  // namespace

QSize screenRoom(QWidget& window)
{
    const QScreen* screen = screenOf(window);
    if (!screen)
        return QSize();
    // The frame, which the platform may know once the window exists, counts too.
    window.winId();
    return screen->availableGeometry().size() - (window.frameGeometry().size() - window.size());
}

void fitIntoScreen(QWidget& window)
{
    const QScreen* screen = screenOf(window);
    if (!screen)
        return;
    window.resize(window.size().boundedTo(screenRoom(window)));
    // move() places the frame.
    const QRect room = screen->availableGeometry();
    const QRect frame = window.frameGeometry();
    const int x = std::max(room.left(), std::min(frame.x(), room.x() + room.width() - frame.width()));
    const int y = std::max(room.top(), std::min(frame.y(), room.y() + room.height() - frame.height()));
    if (x != frame.x() || y != frame.y())
        window.move(x, y);
}

#include "kyb/dialogs/ScreenFit.h"

#include <QGuiApplication>
#include <QRect>
#include <QScreen>
#include <QWidget>

#include <algorithm>

void fitIntoScreen(QWidget& window)
{
    const QScreen* screen = window.screen() ? window.screen() : QGuiApplication::primaryScreen();
    if (!screen)
        return;
    // The frame, which the platform may know once the window exists, counts too; move() places the frame.
    window.winId();
    const QRect room = screen->availableGeometry();
    const QSize frameExtra = window.frameGeometry().size() - window.size();
    window.resize(window.size().boundedTo(room.size() - frameExtra));
    const QRect frame = window.frameGeometry();
    const int x = std::max(room.left(), std::min(frame.x(), room.x() + room.width() - frame.width()));
    const int y = std::max(room.top(), std::min(frame.y(), room.y() + room.height() - frame.height()));
    if (x != frame.x() || y != frame.y())
        window.move(x, y);
}

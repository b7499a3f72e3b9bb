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
    const QRect room = screen->availableGeometry();
    window.resize(window.size().boundedTo(room.size()));
    const QRect place = window.geometry();
    const int x = std::max(room.left(), std::min(place.x(), room.x() + room.width() - place.width()));
    const int y = std::max(room.top(), std::min(place.y(), room.y() + room.height() - place.height()));
    if (x != place.x() || y != place.y())
        window.move(x, y);
}

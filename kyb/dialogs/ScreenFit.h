#pragma once
// Keeps a window of a fixed design size whole on a small or strongly scaled screen (1280 x 800 at 200 % leaves
// 640 x 400): made no larger than the screen's free area, and moved into it.

#include <QSize>

class QWidget;

// The largest size the window may take on its screen: the screen's free area less the window's frame. Invalid
// when there is no screen.
QSize screenRoom(QWidget& window);

void fitIntoScreen(QWidget& window);

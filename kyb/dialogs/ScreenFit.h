#pragma once
// Keeps a window of a fixed design size whole on a small or strongly scaled screen (1280 x 800 at 200 % leaves
// 640 x 400): made no larger than the screen's free area, and moved into it.

class QWidget;

void fitIntoScreen(QWidget& window);

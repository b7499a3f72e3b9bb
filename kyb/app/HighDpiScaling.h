#pragma once
// Qt's own scaling for dense screens: the fixed-geometry windows scale whole by the desktop's factor (125 %, 150 %,
// 200 %, unrounded). Must run before the application object is made.

void enableHighDpiScaling();

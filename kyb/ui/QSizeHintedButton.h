#pragma once
#include <QPushButton>

// A push button whose size hint is 10 pixels wider than QPushButton's: the software table's row button.
class QSizeHintedButton : public QPushButton {
    Q_OBJECT
public:
    using QPushButton::QPushButton;

    QSize sizeHint() const override;
};

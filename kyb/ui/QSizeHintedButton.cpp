#include "kyb/ui/QSizeHintedButton.h"

QSize QSizeHintedButton::sizeHint() const
{
    QSize hint = QPushButton::sizeHint();
    hint.rwidth() += 10;
    return hint;
}

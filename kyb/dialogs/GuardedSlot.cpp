#include "kyb/dialogs/GuardedSlot.h"

#include <QCoreApplication>
#include <QMessageBox>
#include <QString>

void showFailureBox(QWidget* parent, const char* text)
{
    try {
        QMessageBox::critical(parent, QCoreApplication::translate("HelperClass", "Kestrune"),
                              QString::fromUtf8(text));
    } catch (...) {
        // Nothing more can be shown.
    }
}

#pragma once
// Runs the body of a slot so that no exception leaves it: a failure is shown in the "Kestrune" message box.

#include <exception>

class QWidget;

void showFailureBox(QWidget* parent, const char* text);

template <typename Body>
void guardedSlot(QWidget* parent, Body&& body)
{
    try {
        body();
    } catch (const std::exception& e) {
        showFailureBox(parent, e.what());
    } catch (...) {
        showFailureBox(parent, "Unknown error");
    }
}

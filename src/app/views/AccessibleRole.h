#pragma once

#include <QAccessible>

class QWidget;

namespace skyloom::app {

// Gives the widget this role for assistive technologies (a heading, an
// alert) where Qt's own interface would report a plain label or frame. Its
// name is its accessible name, else a label's text. Call before the widget
// is first asked about.
void setAccessibleRole(QWidget* widget, QAccessible::Role role);

} // namespace skyloom::app

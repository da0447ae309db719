#pragma once

#include <QAccessible>

class QString;
class QWidget;

namespace skyloom::app {

// Gives the widget this role for assistive technologies (a heading, an
// alert) where Qt's own interface would report a plain label or frame. Its
// name is its accessible name, else a label's text. Call before the widget
// is first asked about.
void setAccessibleRole(QWidget* widget, QAccessible::Role role);

// Puts `text` on an alert (a label also shows it) as its name, shows `shown`
// (the alert itself unless given), and tells screen readers once when it is
// on screen: one name change, which AT-SPI readers follow, and one alert
// event, which the other platforms' follow; the same text again is said
// again. An empty text hides `shown` without a word.
void showAlert(QWidget* alert, const QString& text, QWidget* shown = nullptr);

} // namespace skyloom::app

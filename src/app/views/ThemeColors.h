#pragma once

#include <QColor>
#include <QPalette>

class QPushButton;
class QWidget;

namespace skyloom::app {

// WCAG contrast ratio of two opaque colours (1 to 21).
double contrastRatio(const QColor& a, const QColor& b);

// `wanted`, moved towards black or white (whichever the background allows)
// just far enough to stand out `ratio`:1 against `background`.
QColor withContrast(const QColor& wanted, const QColor& background, double ratio);

// Colours of the active palette for the things the palette has no role for.
// Text colours reach 4.5:1 against their background, symbol colours 3:1.
QColor errorInk(const QPalette& palette, const QColor& background, double ratio = 4.5);
QColor noticeInk(const QPalette& palette, const QColor& background, double ratio = 3.0);
QColor accentInk(const QPalette& palette, const QColor& background);
// A quieter text colour than WindowText that still reads at 4.5:1.
QColor secondaryText(const QPalette& palette, const QColor& background);

// The face a style is likely to draw for the palette's button colour
// (Fusion lightens it, more so on a dark one).
QColor styledButtonFace(const QPalette& palette);

// A banner's background: its colour faintly over the window.
QColor bannerBackground(const QPalette& palette, bool error);

// Draws a keyboard focus ring inside `rect` in the palette's highlight,
// moved to stand out 3:1 from the window.
void paintFocusRing(QWidget* widget, const QRect& rect);

// Draws that ring over the widget's own painting whenever it has the focus
// (the style's own ring can be too faint on a light button).
void showFocusRing(QWidget* widget);

// Gives a label the secondary text colour of its palette.
void makeSecondary(QWidget* label);

// The prominent (default) button: the accent as its face, its text at 4.5:1
// on it, and a focus ring in the text colour that shows on the accent.
QPushButton* prominentButton(const QString& text, QWidget* parent);

} // namespace skyloom::app

#pragma once

#include <QColor>
#include <QIcon>
#include <QPixmap>
#include <QString>

class QToolButton;
class QWidget;

namespace skyloom::app {

// Side of the square label of every icon-only button of the list and its rows.
inline constexpr int iconLabelSide = 28;

// The image for a symbol name of the interface ("pin", "xmark", "gearshape"...),
// taken from the icon theme, with the style's own icons where the theme has none.
QIcon symbolImage(const QString& systemName);

// The symbol drawn in one colour (symbolic icons are monochrome), `side`
// device pixels square.
QPixmap tintedSymbol(const QString& systemName, int side, const QColor& color);

// The symbol in one colour, `side` logical pixels square, drawn for the
// device pixel ratio (crisp at 2x).
QPixmap symbolPixmap(const QString& systemName, int side, const QColor& color, qreal ratio);

// The symbol as an icon in one colour, with images for 1x, 2x and 3x screens.
QIcon tintedIcon(const QString& systemName, int side, const QColor& color);

// A borderless icon-only button showing the symbol in a 28 by 28 frame, in
// the palette's text colour (again when the palette changes). Its
// help tag (shown on hover) and accessible name are `help`; its accessible
// description stays empty.
QToolButton* iconLabel(const QString& systemName, const QString& help, QWidget* parent);

} // namespace skyloom::app

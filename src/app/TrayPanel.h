#pragma once

#include <QPoint>
#include <QRect>
#include <QSize>
#include <QWidget>

namespace skyloom::app {

// The panel that drops down from the tray icon. It holds one content widget
// (the pin list in its menu-bar style), has no frame and no taskbar entry,
// and behaves like a menu: it takes the keyboard and pointer itself rather
// than wait for a window manager to focus it, and hides on Escape, a click
// outside (the tray icon included) or another window taking the focus. Its
// window role is "panel".
class TrayPanel : public QWidget {
    Q_OBJECT
public:
    explicit TrayPanel(QWidget* content, QWidget* parent = nullptr);

    // Shows the panel at the icon when its geometry is known, else at the
    // cursor, and gives it the focus.
    void popUp(const QRect& iconGeometry);
    // Hides a shown panel, shows a hidden one.
    void toggle(const QRect& iconGeometry);

    // Where a panel of `size` goes for an icon at `icon` (empty when unknown,
    // then the cursor stands in for it), kept inside `available`: below an
    // icon in the upper half of the screen, above one in the lower half.
    static QPoint placement(const QRect& icon, const QPoint& cursor, const QSize& size,
                            const QRect& available);

protected:
    bool event(QEvent* event) override;

private:
    QWidget* content_;
};

} // namespace skyloom::app

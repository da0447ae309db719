#pragma once

#include <QIcon>
#include <QObject>
#include <QRect>
#include <QSystemTrayIcon>

namespace skyloom::app {

// The app's one permanent presence: the pin icon in the panel's tray. A click
// asks for the pin-list panel; the label has no behaviour of its own beyond
// saying where it sits.
class MenuBarLabel : public QObject {
    Q_OBJECT
public:
    explicit MenuBarLabel(QObject* parent = nullptr);

    // The "pin.fill" icon of our own, drawn for small tray sizes.
    static QIcon pinIcon();

    // False where the desktop has no tray (stock GNOME without the
    // AppIndicator extension).
    static bool isTrayAvailable();

    void show();
    bool isVisible() const { return tray_.isVisible(); }
    // Where the icon is on screen; empty where the tray does not say.
    QRect geometry() const { return tray_.geometry(); }
    QSystemTrayIcon& trayIcon() { return tray_; }

signals:
    // The icon was clicked (or activated from the keyboard).
    void clicked();

private:
    QSystemTrayIcon tray_;
};

} // namespace skyloom::app

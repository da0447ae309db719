#pragma once

#include "app/StatusNotifierRelay.h"

#include <QIcon>
#include <QMenu>
#include <QObject>
#include <QPoint>
#include <QRect>
#include <QSystemTrayIcon>

#include <memory>

class QDBusServiceWatcher;

namespace skyloom::app {

// The app's one permanent presence: the pin icon in the panel's tray, on
// either protocol Qt speaks (StatusNotifierItem over D-Bus: KDE, GNOME's
// AppIndicator extension, waybar; XEmbed: trayer, stalonetray, older
// panels). A click asks for the pin-list panel; the item's menu reaches
// everything else, for trays that show the menu on a click. A
// StatusNotifierItem tray says where it was clicked rather than where the
// icon is: the panel drops down at that point.
class MenuBarLabel : public QObject {
    Q_OBJECT
public:
    explicit MenuBarLabel(QObject* parent = nullptr);
    ~MenuBarLabel() override;

    // The "pin.fill" icon of our own, drawn for small tray sizes.
    static QIcon pinIcon();

    // False where the desktop has no tray (stock GNOME without the
    // AppIndicator extension, a panel that has not started yet).
    static bool isTrayAvailable();

    void show();
    bool isVisible() const { return tray_.isVisible(); }
    // Where the icon is on screen (XEmbed). While a click of a
    // StatusNotifierItem tray is handled, a pixel at the point it gave.
    // Empty where the tray says neither.
    QRect geometry() const;
    QSystemTrayIcon& trayIcon() { return tray_; }
    QMenu& menu() { return menu_; }

signals:
    // The icon was clicked (or activated from the keyboard).
    void clicked();
    // The item's menu entries.
    void pinFoldersRequested();
    void managerRequested();
    void settingsRequested();
    void quitRequested();
    // A StatusNotifierItem tray started after the app, which has no tray
    // icon to show there: Qt picks the tray protocol once per process, so
    // only a new process can show the icon in it.
    void trayNeedsRestart();

private slots:
    // The watcher of a StatusNotifierItem tray appeared, or a host (the
    // tray itself) registered with it.
    void statusNotifierTrayChanged();
    // A StatusNotifierItem tray (re)started while the icon is shown there.
    void registerAgain();

private:
    QMenu menu_;
    QSystemTrayIcon tray_;
    // Gone before the icon whose item it stands in for.
    StatusNotifierRelay relay_;
    QPoint clickPoint_;
    std::unique_ptr<QDBusServiceWatcher> watcher_;
};

} // namespace skyloom::app

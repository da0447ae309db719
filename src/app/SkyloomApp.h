#pragma once

#include "app/MenuBarLabel.h"
#include "app/TrayPanel.h"
#include "app/views/AppActions.h"

#include <QGuiApplication>
#include <QHash>
#include <QObject>
#include <QPointer>
#include <QString>
#include <QWidget>

#include <functional>

namespace skyloom {
class PinStore;
}

namespace skyloom::app {

// The whole app: the tray icon with its panel, the single-instance windows
// "manager" and "welcome", the settings window, and the launch routine that
// decides which of them opens at start. Every scene shares the one pin store.
class SkyloomApp : public QObject {
    Q_OBJECT
public:
    // Builds the content of a scene: "panel" (the pin list for the tray),
    // "manager", "welcome" or "settings".
    using SceneContent =
        std::function<QWidget*(const QString& scene, PinStore& store, const AppActions& actions)>;

    struct Options {
        // Read once by the launch routine: did the user start the app?
        std::function<bool()> wasLaunchedByUser = [] { return true; };
        // The app's own views unless a caller brings others.
        SceneContent content;
        // Where there is no tray the windows must keep the app reachable.
        bool hasTray = MenuBarLabel::isTrayAvailable();
        // Whether the app may put its own windows where it wants: not on
        // Wayland, where the compositor places every window.
        bool canPlaceWindows =
            !QGuiApplication::platformName().startsWith(QLatin1String("wayland"));
    };

    SkyloomApp(PinStore& store, Options options, QObject* parent = nullptr);
    ~SkyloomApp() override;

    // The views' own scene contents.
    static QWidget* makeSceneContent(const QString& scene, PinStore& store,
                                     const AppActions& actions);

    // False while "XCTestConfigurationFilePath" is set; otherwise whether
    // the welcome window has not yet been dealt with.
    static bool shouldShowOnboarding();

    // Runs once, right after the tray icon is shown: installs the store's
    // openManager, shows pending messages, then opens the welcome window
    // when it is due, else the pin-list window when the user started the app.
    void openInitialWindows();

    // Opens the window with this id, or brings the open one forward
    // (restored, raised, focused) with the launcher's activation token.
    void openWindowAndActivate(const QString& id, const QByteArray& activationToken = {});
    void openSettings() { openWindowAndActivate(QStringLiteral("settings")); }
    // The tray icon was clicked: the panel drops down at the icon, or where
    // the app cannot place it, the pin-list window opens.
    void togglePanel();

    // The open window with this id ("manager", "welcome", "settings",
    // "panel"), or null.
    QWidget* window(const QString& id) const;
    const AppActions& actions() const { return actions_; }
    MenuBarLabel& label() { return label_; }

    // Filled in by the parts that provide them.
    void setCheckForUpdates(std::function<void()> check) { checkForUpdates_ = std::move(check); }
    void setIntegrateFileManagers(std::function<QString(bool remove)> integrate) {
        integrateFileManagers_ = std::move(integrate);
    }

signals:
    void windowOpened(const QString& id);

private:
    QWidget* makeWindow(const QString& id);

    PinStore& store_;
    Options options_;
    AppActions actions_;
    MenuBarLabel label_;
    QPointer<TrayPanel> panel_;
    QHash<QString, QPointer<QWidget>> windows_;
    std::function<void()> checkForUpdates_;
    std::function<QString(bool)> integrateFileManagers_;
    bool launched_ = false;
};

} // namespace skyloom::app

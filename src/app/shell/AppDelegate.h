#pragma once

#include "app/shell/ActivationWatcher.h"
#include "app/shell/CommandService.h"
#include "app/shell/DirectUpdater.h"
#include "app/shell/FolderWatcher.h"
#include "core/command/CommandHandler.h"

#include <QObject>
#include <QStringList>

#include <functional>
#include <string>
#include <vector>

namespace skyloom {
class PinStore;
}

namespace skyloom::app {

// The app's meeting point with the session: how it was started, what it
// does once started, the verbs the command line and the file-manager entries
// hand it, a second start, and the watches that put pins back.
class AppDelegate : public QObject {
    Q_OBJECT
public:
    explicit AppDelegate(PinStore& store, QObject* parent = nullptr);
    ~AppDelegate() override;

    // Hands a start to the app already running in this session, if any:
    // true when one took it (this process should exit with status 0),
    // false when none runs (this process becomes the app). `arguments` are
    // QCoreApplication::arguments() (the program first); "--login-item"
    // makes it a quiet start, any other argument is ignored. `activationToken`
    // is the launcher's token, read before Qt takes it from the environment.
    static bool handOffToRunningApp(const QStringList& arguments,
                                    const std::string& activationToken = {});

    // The launcher's activation token of this process's start:
    // XDG_ACTIVATION_TOKEN, else DESKTOP_STARTUP_ID.
    static std::string launcherActivationToken();

    // Before any window opens: a start by the autostart entry
    // (--login-item) is not a start by the user.
    void applicationWillFinishLaunching(const QStringList& arguments);
    bool wasLaunchedByUser() const { return wasLaunchedByUser_; }

    // Runs performLaunchTasks(), then serves the command channel, then
    // watches file-manager activation and the pinned folders.
    void applicationDidFinishLaunching();
    // Starts the updater, posts the store-reset notice, re-applies every pin.
    void performLaunchTasks();

    // The app ends: the command channel's socket and lock go first, so that
    // a command line started meanwhile works on the store itself.
    void applicationWillTerminate();

    // A second start by the user: the pin-list window comes forward,
    // whatever else is on screen.
    void applicationShouldHandleReopen(const std::string& activationToken = {});

    // The file managers' "pin" and "unpin" entries, fed by the command
    // channel: the store operation, then showMessagesIfNeeded(); returns
    // what the command line prints.
    CommandResult pinFolders(const std::vector<std::string>& paths);
    CommandResult unpinFolders(const std::vector<std::string>& paths);

    // Every request of the command channel.
    CommandResult handle(const CommandRequest& request);

    DirectUpdater& updater() { return updater_; }
    // False when another app serves this session's channel already (this
    // one lost a simultaneous start) or the channel's folder is unsafe.
    bool isServingCommands() const { return commands_.isListening(); }
    bool isWatchingActivation() const { return activation_.isWatching(); }
    bool isWatchingFolders() const { return folders_.isWatching(); }

    // Opens the pin-list window or brings it forward with the launcher's
    // token; by default the store's openManager.
    std::function<void(const std::string& activationToken)> bringManagerForward;

private:
    PinStore& store_;
    CommandHandler handler_;
    DirectUpdater updater_;
    CommandService commands_;
    ActivationWatcher activation_;
    FolderWatcher folders_;
    ObserverList<>::Token idleToken_ = 0;
    bool wasLaunchedByUser_ = false;
};

} // namespace skyloom::app

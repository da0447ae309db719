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
    // makes it a quiet start, any other argument is ignored.
    static bool handOffToRunningApp(const QStringList& arguments);

    // Before any window opens: a start by the autostart entry
    // (--login-item) is not a start by the user.
    void applicationWillFinishLaunching(const QStringList& arguments);
    bool wasLaunchedByUser() const { return wasLaunchedByUser_; }

    // Runs performLaunchTasks(), then serves the command channel, then
    // watches file-manager activation and the pinned folders.
    void applicationDidFinishLaunching();
    // Starts the updater, posts the store-reset notice, re-applies every pin.
    void performLaunchTasks();

    // A second start: with no window visible, the pin-list window opens.
    void applicationShouldHandleReopen(bool hasVisibleWindows);

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

    // Whether a window of the app is on screen; by default any visible
    // top-level widget.
    std::function<bool()> hasVisibleWindows;

private:
    PinStore& store_;
    CommandHandler handler_;
    DirectUpdater updater_;
    CommandService commands_;
    ActivationWatcher activation_;
    FolderWatcher folders_;
    bool wasLaunchedByUser_ = false;
};

} // namespace skyloom::app

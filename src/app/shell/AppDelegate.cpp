#include "app/shell/AppDelegate.h"

#include "app/Logging.h"
#include "app/shell/EventLoopPacing.h"

#include "core/command/CommandChannel.h"
#include "core/store/PinStore.h"
#include "core/store/StoreRecovery.h"

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <utility>

#include <unistd.h>

namespace skyloom::app {
namespace {

constexpr auto loginItemArgument = "--login-item";

// A running app answers a start at once; one that does not within this
// time is stuck, and a second app could not take its place anyway.
constexpr std::chrono::seconds handOffTimeout{10};

} // namespace

AppDelegate::AppDelegate(PinStore& store, QObject* parent)
    : QObject(parent), bringManagerForward([this](const std::string&) { store_.openManager(); }),
      store_(store), handler_(store, /*inApp=*/true), updater_(this),
      commands_([this](const CommandRequest& request) { return handle(request); }, this),
      activation_([this] { store_.reapplyAll(); }, this), folders_(store, this) {
    // The window answers while the store works; a command that arrives
    // meanwhile waits until the store is free.
    store_.setPacing(EventLoopPacing::make());
    commands_.setReady([this] { return !store_.isBusy(); });
    idleToken_ = store_.becameIdle().add([this] { commands_.resume(); });
}

AppDelegate::~AppDelegate() {
    store_.becameIdle().remove(idleToken_);
    store_.setPacing({});
}

std::string AppDelegate::launcherActivationToken() {
    for (const char* variable : {"XDG_ACTIVATION_TOKEN", "DESKTOP_STARTUP_ID"}) {
        const char* value = std::getenv(variable);
        if (value && *value)
            return value;
    }
    return {};
}

bool AppDelegate::handOffToRunningApp(const QStringList& arguments,
                                      const std::string& activationToken) {
    CommandRequest request;
    if (arguments.mid(1).contains(QLatin1String(loginItemArgument)))
        request.arguments.push_back(loginItemArgument);
    request.activationToken = activationToken;
    request.fromTerminal = ::isatty(STDERR_FILENO) == 1;
    std::string socket;
    try {
        socket = CommandChannel::socketPath();
    } catch (const CommandChannelError& error) {
        // No safe place to meet another app: this one runs without the channel.
        qCWarning(lcShell).noquote() << error.what();
        return false;
    }
    try {
        return CommandChannel::send(socket, request, handOffTimeout).has_value();
    } catch (const CommandChannelError& error) {
        qCWarning(lcShell).noquote() << error.what();
        // Nothing went out (the socket leads to another program, say): no
        // app of ours has the start, so this one runs. Otherwise an app took
        // it and did not answer: a second one would fight it over the store.
        return !error.nothingSent();
    }
}

void AppDelegate::applicationWillFinishLaunching(const QStringList& arguments) {
    wasLaunchedByUser_ = !arguments.mid(1).contains(QLatin1String(loginItemArgument));
}

void AppDelegate::performLaunchTasks() {
    updater_.startUpdater();
    if (storeWasReset())
        store_.setNoticeMessage(storeResetMessage());
    store_.reapplyAll();
}

void AppDelegate::applicationDidFinishLaunching() {
    performLaunchTasks();
    try {
        const std::string socket = CommandChannel::socketPath();
        if (!commands_.listen(socket))
            qCWarning(lcShell).noquote()
                << "cannot serve commands at" << QString::fromStdString(socket);
    } catch (const CommandChannelError& error) {
        // The channel's folder is not safe; the app still runs, and the
        // command line works on the store when the app is not running.
        qCWarning(lcShell).noquote() << error.what();
    }
    activation_.start();
    folders_.start();
}

void AppDelegate::applicationWillTerminate() {
    commands_.close();
}

void AppDelegate::applicationShouldHandleReopen(const std::string& activationToken) {
    bringManagerForward(activationToken);
}

CommandResult AppDelegate::pinFolders(const std::vector<std::string>& paths) {
    ParsedCommand command;
    command.verb = ParsedCommand::Verb::pin;
    command.paths = paths;
    return handler_.run(command);
}

CommandResult AppDelegate::unpinFolders(const std::vector<std::string>& paths) {
    ParsedCommand command;
    command.verb = ParsedCommand::Verb::unpin;
    command.paths = paths;
    return handler_.run(command);
}

CommandResult AppDelegate::handle(const CommandRequest& request) {
    using Verb = ParsedCommand::Verb;
    // No window is on the stack here: the window may take clicks meanwhile.
    EventLoopPacing::OpenToInput openToInput;
    ParsedCommand command = CommandHandler::parse(request.arguments);
    switch (command.verb) {
    case Verb::start:
        applicationShouldHandleReopen(request.activationToken);
        return {};
    case Verb::loginItem:
        return {}; // the autostart entry again: the app runs already
    default:
        break;
    }
    // A terminal prints the failures itself: the window stays shut rather
    // than take the keyboard from the terminal.
    struct QuietWindow {
        PinStore& store;
        std::function<void()> saved;
        ~QuietWindow() {
            if (saved)
                store.openManager = std::move(saved);
        }
    } quiet{store_, request.fromTerminal ? std::exchange(store_.openManager, [] {})
                                         : std::function<void()>()};
    if (command.verb == Verb::pin)
        return pinFolders(command.paths);
    if (command.verb == Verb::unpin)
        return unpinFolders(command.paths);
    return handler_.run(command);
}

} // namespace skyloom::app

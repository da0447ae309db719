#include "app/shell/AppDelegate.h"

#include "core/command/CommandChannel.h"
#include "core/store/PinStore.h"
#include "core/store/StoreRecovery.h"

#include <QApplication>
#include <QWidget>

#include <chrono>
#include <cstdio>

namespace skyloom::app {
namespace {

constexpr auto loginItemArgument = "--login-item";

// A running app answers a start at once; one that does not within this
// time is stuck, and a second app could not take its place anyway.
constexpr std::chrono::seconds handOffTimeout{10};

bool anyWindowVisible() {
    for (QWidget* widget : QApplication::topLevelWidgets())
        if (widget->isVisible() && widget->windowType() != Qt::ToolTip)
            return true;
    return false;
}

} // namespace

AppDelegate::AppDelegate(PinStore& store, QObject* parent)
    : QObject(parent), hasVisibleWindows(anyWindowVisible), store_(store),
      handler_(store, /*inApp=*/true), updater_(this),
      commands_([this](const CommandRequest& request) { return handle(request); }, this),
      activation_([this] { store_.reapplyAll(); }, this), folders_(store, this) {}

AppDelegate::~AppDelegate() = default;

bool AppDelegate::handOffToRunningApp(const QStringList& arguments) {
    CommandRequest request;
    if (arguments.mid(1).contains(QLatin1String(loginItemArgument)))
        request.arguments.push_back(loginItemArgument);
    std::string socket;
    try {
        socket = CommandChannel::socketPath();
    } catch (const CommandChannelError& error) {
        // No safe place to meet another app: this one runs without the channel.
        std::fprintf(stderr, "skyloom-app: %s\n", error.what());
        return false;
    }
    try {
        return CommandChannel::send(socket, request, handOffTimeout).has_value();
    } catch (const CommandChannelError& error) {
        // An app holds the channel but did not answer: a second one would
        // fight it over the store.
        std::fprintf(stderr, "skyloom-app: %s\n", error.what());
        return true;
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
            std::fprintf(stderr, "skyloom-app: cannot serve commands at %s\n", socket.c_str());
    } catch (const CommandChannelError& error) {
        // The channel's folder is not safe; the app still runs, and the
        // command line works on the store when the app is not running.
        std::fprintf(stderr, "skyloom-app: %s\n", error.what());
    }
    activation_.start();
    folders_.start();
}

void AppDelegate::applicationShouldHandleReopen(bool hasVisibleWindows) {
    if (!hasVisibleWindows)
        store_.openManager();
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
    ParsedCommand command = CommandHandler::parse(request.arguments);
    switch (command.verb) {
    case Verb::start:
        applicationShouldHandleReopen(hasVisibleWindows && hasVisibleWindows());
        return {};
    case Verb::loginItem:
        return {}; // the autostart entry again: the app runs already
    case Verb::pin:
        return pinFolders(command.paths);
    case Verb::unpin:
        return unpinFolders(command.paths);
    default:
        return handler_.run(command);
    }
}

} // namespace skyloom::app

// The `skyloom` command line: hands its verb to the running app when there is
// one, else runs it here on the same store.

#include "cli/CommandLineLanguage.h"
#include "core/PinError.h"
#include "core/Translate.h"
#include "core/command/CommandChannel.h"
#include "core/command/CommandHandler.h"
#include "core/integration/EntrySelection.h"
#include "core/platform/LocalSocket.h"
#include "core/record/FolderPath.h"
#include "core/store/PinStore.h"
#include "core/store/StoreRecovery.h"

#include <chrono>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <fcntl.h>
#include <filesystem>
#include <optional>
#include <spawn.h>
#include <string>
#include <sys/file.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>
#include <vector>

extern char** environ;

using namespace skyloom;

namespace {

// A command that pins a thousand folders may take a while; an app that does
// not answer at all is reported rather than waited for forever.
constexpr std::chrono::minutes replyTimeout{10};

// How long a file-manager entry waits for the app it started to listen, and
// a second start for the running app to take it: it answers a start at once.
constexpr std::chrono::seconds appStartTimeout{10};

int finish(const CommandResult& result) {
    std::fwrite(result.standardOutput.data(), 1, result.standardOutput.size(), stdout);
    std::fflush(stdout);
    std::fwrite(result.standardError.data(), 1, result.standardError.size(), stderr);
    std::fflush(stderr);
    return result.exitStatus;
}

int printError(const std::string& text, int status = 1) {
    return finish({status, "", text + "\n"});
}

const char* verbName(ParsedCommand::Verb verb) {
    using Verb = ParsedCommand::Verb;
    switch (verb) {
    case Verb::pin:
        return "pin";
    case Verb::unpin:
        return "unpin";
    case Verb::list:
        return "list";
    case Verb::remove:
        return "remove";
    case Verb::unpinAll:
        return "unpin-all";
    case Verb::reapply:
        return "reapply";
    default:
        return "";
    }
}

// A path as this process sees it, for a process that has another working
// folder and another /proc/self: made absolute, its links resolved here as
// the app would resolve them. A path that does not resolve (a folder that is
// away) keeps its words, with this process's own names spelled out.
std::string resolvedHere(const std::string& absolute) {
    std::string resolved = FolderPath::normalized(absolute);
    const std::string self = "/proc/" + std::to_string(::getpid());
    for (const char* own : {"/proc/self", "/proc/thread-self", "/dev/fd"}) {
        std::string_view prefix = own;
        if (resolved.starts_with(prefix) &&
            (resolved.size() == prefix.size() || resolved[prefix.size()] == '/')) {
            std::string rest = resolved.substr(prefix.size());
            return self + (prefix == "/dev/fd" ? "/fd" : "") + rest;
        }
    }
    return resolved;
}

// What the app needs to know of its caller: the launcher's token lets it
// raise its window; a caller with a terminal reads its failures there.
CommandRequest describeCaller(CommandRequest request) {
    for (const char* variable : {"XDG_ACTIVATION_TOKEN", "DESKTOP_STARTUP_ID"}) {
        if (const char* token = std::getenv(variable); token && *token) {
            request.activationToken = token;
            break;
        }
    }
    request.fromTerminal = ::isatty(STDERR_FILENO) == 1;
    return request;
}

// The request the app receives: paths resolved here, since the app has
// another working directory and another /proc/self; "--" keeps paths that
// start with "-" as paths. An empty path stays empty: it names no folder,
// not the working directory. Absent, with the failure lines in `failures`,
// when a relative path is given while the working directory no longer
// exists: it names no folder either.
std::optional<CommandRequest> requestFor(const ParsedCommand& command, std::string& failures) {
    CommandRequest request{{verbName(command.verb)}};
    if (command.json)
        request.arguments.push_back("--json");
    if (!command.paths.empty())
        request.arguments.push_back("--");
    std::optional<std::string> cwd;
    for (const auto& path : command.paths) {
        if (path.empty()) {
            request.arguments.push_back(path);
            continue;
        }
        if (path.starts_with('/')) {
            request.arguments.push_back(resolvedHere(path));
            continue;
        }
        if (!cwd) {
            std::error_code error;
            auto current = std::filesystem::current_path(error);
            cwd = error ? std::string() : current.string();
        }
        if (cwd->empty()) {
            failures += FolderPath::displayName(path) + " \u2014 " +
                        PinError::notFound().errorDescription() + "\n";
            continue;
        }
        request.arguments.push_back(resolvedHere((*cwd == "/" ? "" : *cwd) + "/" + path));
    }
    if (!failures.empty())
        return std::nullopt;
    return describeCaller(std::move(request));
}

// The app's program beside this one, when it is there to run.
std::optional<std::filesystem::path> appProgram() {
    std::error_code error;
    auto self = std::filesystem::read_symlink("/proc/self/exe", error);
    auto app = self.parent_path() / platform::appProgramName;
    if (error || ::access(app.c_str(), X_OK) != 0)
        return std::nullopt;
    return app;
}

// Starts the app for a file-manager entry, on its own (a session of its
// own, no terminal, not our child once we are gone) as the autostart entry
// would, and waits until it listens at `socket`. False when it cannot be
// started or does not listen in time.
bool startAppAndWait(const std::string& socket) {
    auto app = appProgram();
    if (!app)
        return false;
    const std::string program = app->string();
    pid_t child = ::fork();
    if (child < 0)
        return false;
    if (child == 0) {
        ::setsid();
        int null = ::open("/dev/null", O_RDWR);
        if (null >= 0) {
            ::dup2(null, STDIN_FILENO);
            ::dup2(null, STDOUT_FILENO);
            ::dup2(null, STDERR_FILENO);
        }
        char* arguments[] = {const_cast<char*>(program.c_str()), const_cast<char*>("--login-item"),
                             nullptr};
        ::execv(program.c_str(), arguments);
        ::_exit(127);
    }
    const auto deadline = std::chrono::steady_clock::now() + appStartTimeout;
    bool running = true;
    while (std::chrono::steady_clock::now() < deadline) {
        if (CommandChannel::isListening(socket))
            return true;
        int status = 0;
        // An app that ends at once may have handed over to another that
        // started at the same moment; one that failed will not listen.
        if (running && ::waitpid(child, &status, WNOHANG) == child) {
            running = false;
            if (!WIFEXITED(status) || WEXITSTATUS(status) != 0)
                return CommandChannel::isListening(socket);
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
    return false;
}

// Runs `arguments` on its own with no input or output, not waited for.
bool spawnQuietly(std::vector<std::string> arguments) {
    std::vector<char*> argv;
    for (auto& argument : arguments)
        argv.push_back(argument.data());
    argv.push_back(nullptr);
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    for (int fd : {STDIN_FILENO, STDOUT_FILENO, STDERR_FILENO})
        posix_spawn_file_actions_addopen(&actions, fd, "/dev/null", O_RDWR, 0);
    pid_t child = 0;
    int failed = ::posix_spawnp(&child, argv[0], &actions, nullptr, argv.data(), environ);
    posix_spawn_file_actions_destroy(&actions);
    return failed == 0;
}

// A string in GVariant's text form, as gdbus reads its arguments.
std::string variantText(const std::string& text) {
    std::string quoted = "'";
    for (char c : text) {
        if (c == '\\' || c == '\'')
            quoted += '\\';
        if (c == '\n')
            quoted += "\\n";
        else
            quoted += c;
    }
    return quoted + "'";
}

// A desktop notification, for an entry whose failures no window can show.
void notifyDesktop(const std::string& body) {
    const std::string title = "Skyloom";
    if (spawnQuietly({"notify-send", "--app-name=Skyloom", title, body}))
        return;
    spawnQuietly({"gdbus", "call", "--session", "--timeout", "5", "--dest",
                  "org.freedesktop.Notifications", "--object-path",
                  "/org/freedesktop/Notifications", "--method",
                  "org.freedesktop.Notifications.Notify", variantText(title), "0", "''",
                  variantText(title), variantText(body), "[]", "{}", "-1"});
}

// The one line that says what is wrong with the way to the app.
std::string channelTrouble(const CommandChannelError& error) {
    using Reason = CommandChannelError::Reason;
    switch (error.reason()) {
    case Reason::folderIsNotADirectory:
        return translate(SKYLOOM_TRANSLATE_NOOP(
                             "Skyloom", "Skyloom 앱과 연결하는 폴더가 링크이거나 폴더가 아니라서 "
                                        "쓰지 않았어요: %1"),
                         error.place());
    case Reason::folderOfAnotherUser:
        return translate(
            SKYLOOM_TRANSLATE_NOOP(
                "Skyloom", "Skyloom 앱과 연결하는 폴더가 다른 사용자의 것이라서 쓰지 않았어요: %1"),
            error.place());
    case Reason::folderOpenToOthers:
        return translate(SKYLOOM_TRANSLATE_NOOP(
                             "Skyloom", "Skyloom 앱과 연결하는 폴더를 다른 사용자도 열 수 있어서 "
                                        "쓰지 않았어요: %1"),
                         error.place());
    case Reason::untrustedPeer:
        return translate(
            SKYLOOM_TRANSLATE_NOOP("Skyloom",
                                   "Skyloom 앱과 연결하는 소켓 너머에 이 사용자의 Skyloom 앱이 "
                                   "없어서 명령을 보내지 않았어요: %1"),
            error.place());
    default:
        return translate(
            SKYLOOM_TRANSLATE_NOOP("Skyloom", "Skyloom 앱과 연결하는 폴더를 쓸 수 없어요: %1"),
            error.place());
    }
}

// Whether this user's app holds the store now: working on it here would
// only wait for it.
bool appHoldsStore() {
    const std::string lock = StoreLock::lockPath(defaultStoreURL());
    UniqueFd fd(::open(lock.c_str(), O_RDONLY | O_CLOEXEC | O_NOFOLLOW | O_NONBLOCK));
    if (!fd || ::flock(fd.get(), LOCK_SH | LOCK_NB) == 0)
        return false; // nobody holds it (our shared lock goes with the descriptor)
    auto holder = platform::lockHolder(fd.get());
    if (!holder)
        return false;
    std::string program = platform::processExecutable(*holder);
    return std::filesystem::path(program).filename() == platform::appProgramName;
}

// A start while the app runs goes to it with the launcher's token, so that
// it brings its window forward; otherwise the app starts here.
int startApp(char** argv, bool loginItem) {
    CommandRequest request;
    if (loginItem)
        request.arguments.push_back("--login-item");
    try {
        if (CommandChannel::send(describeCaller(std::move(request)), appStartTimeout))
            return 0;
    } catch (const CommandChannelError& error) {
        // An app took the start and did not answer: a second one would
        // fight it over the store. Any other trouble the app itself reports.
        if (!error.nothingSent())
            return finish({1, "",
                           translate(SKYLOOM_TRANSLATE_NOOP(
                               "Skyloom", "실행 중인 Skyloom 앱이 답하지 않았어요. 앱을 다시 "
                                          "시작한 뒤 시도하세요.")) +
                               "\n"});
    }
    if (auto app = appProgram()) {
        argv[0] = const_cast<char*>(app->c_str());
        ::execv(app->c_str(), argv);
    }
    return finish({1, "",
                   translate(SKYLOOM_TRANSLATE_NOOP("Skyloom", "Skyloom 앱을 찾을 수 없어요.")) +
                       "\n" + CommandHandler::usage()});
}

} // namespace

int main(int argc, char** argv) {
    std::signal(SIGPIPE, SIG_IGN);
    // Nothing Skyloom writes may be writable by others, whatever the umask.
    ::umask(::umask(0) | 022);
    useSessionLanguage();
    std::vector<std::string> arguments(argv + 1, argv + argc);
    ParsedCommand command = CommandHandler::parse(arguments);
    if (command.verb == ParsedCommand::Verb::start ||
        command.verb == ParsedCommand::Verb::loginItem)
        return startApp(argv, command.verb == ParsedCommand::Verb::loginItem);
    if (!CommandHandler::needsStore(command.verb))
        return finish(CommandHandler::answerWithoutStore(command));

    // Run from a file-manager entry: the selection as that file manager tells it.
    EntrySelection selection = EntrySelection::read(command.paths);
    command.paths = selection.paths;
    std::string failures = selection.failures;
    // Set by the file-manager entries: their failures must be seen, so an
    // app is started to show them.
    const char* entry = std::getenv("SKYLOOM_ENTRY");
    const bool fromEntry = entry && *entry;
    std::optional<CommandRequest> made = requestFor(command, failures);
    if (!made) {
        // Nothing reaches the app (the Trash, a network place): the file
        // manager drops what the command prints, so the desktop says it.
        if (fromEntry)
            notifyDesktop(failures);
        return finish({1, "", failures});
    }
    CommandRequest& request = *made;
    bool appDidNotStart = false;
    std::optional<CommandChannelError> trouble;
    std::optional<std::string> socket;
    try {
        socket = CommandChannel::socketPath();
    } catch (const CommandChannelError& error) {
        trouble = error;
    }
    const std::string noAnswer = translate(SKYLOOM_TRANSLATE_NOOP(
        "Skyloom", "실행 중인 Skyloom 앱이 답하지 않았어요. 앱을 다시 시작한 뒤 시도하세요."));
    // Runs the verb in the app when one listens: its exit status, or none
    // when no app takes it.
    auto handOver = [&]() -> std::optional<int> {
        try {
            if (auto answer = CommandChannel::send(*socket, request, replyTimeout))
                return finish(*answer);
        } catch (const CommandChannelError& error) {
            if (!error.nothingSent())
                return printError(noAnswer);
            trouble = error;
        }
        return std::nullopt;
    };
    if (socket) {
        if (auto status = handOver())
            return *status;
        if (!trouble && fromEntry) {
            if (startAppAndWait(*socket)) {
                if (auto status = handOver())
                    return *status;
            } else {
                appDidNotStart = true;
            }
        }
    }
    std::string troubleLine;
    if (trouble) {
        // No window can show an entry's failures.
        appDidNotStart = fromEntry;
        const bool appHolds = appHoldsStore();
        // A folder that is simply not there to be made (no home, say) is no
        // danger: only worth a word when the app is out of reach because of it.
        if (appHolds || trouble->reason() != CommandChannelError::Reason::folderUnusable) {
            // Told at once, not after a wait on a store the app holds.
            troubleLine = channelTrouble(*trouble) + "\n";
            std::fwrite(troubleLine.data(), 1, troubleLine.size(), stderr);
            std::fflush(stderr);
        }
        if (appHolds) {
            std::string fix =
                translate(SKYLOOM_TRANSLATE_NOOP(
                              "Skyloom", "실행 중인 Skyloom 앱이 고정 목록을 쓰고 있어 명령을 "
                                         "실행하지 않았어요. 이 경로를 지우고 Skyloom 앱을 다시 "
                                         "시작해 주세요: %1"),
                          trouble->place());
            if (fromEntry)
                notifyDesktop(troubleLine + fix);
            return printError(fix);
        }
    }

    // No app runs: this process owns the store while the verb runs. Commands
    // started together take turns; a long wait is explained, not failed. An
    // app starting just now takes the store for its whole session: once it
    // listens the wait ends and the app answers instead.
    bool appCameUp = false;
    StoreRecovery::setLockWait(
        StoreLock::commandLineWait,
        [] {
            std::string text = translate(SKYLOOM_TRANSLATE_NOOP(
                                   "Skyloom", "다른 Skyloom 명령이 끝나기를 기다리는 중이에요…")) +
                               "\n";
            std::fwrite(text.data(), 1, text.size(), stderr);
            std::fflush(stderr);
        },
        [&] { return socket && !trouble && (appCameUp = CommandChannel::isListening(*socket)); });
    sharedModelContainer();
    if (appCameUp) {
        if (auto status = handOver())
            return *status;
    }
    std::string storeNotice;
    if (storeWasReset())
        storeNotice = storeResetMessage() + "\n";

    CommandHandler handler(PinStore::shared());
    CommandResult result = handler.handle(request);
    result.standardError = storeNotice + result.standardError;
    if (appDidNotStart && !(troubleLine + result.standardError + result.standardOutput).empty())
        notifyDesktop(
            translate(SKYLOOM_TRANSLATE_NOOP("Skyloom", "Skyloom 앱을 시작하지 못해 여기서 "
                                                        "처리했어요.")) +
            "\n" + troubleLine + result.standardError + result.standardOutput);
    // Every change is committed and folded into the store file by now; what
    // the destructors would do (closing the store, freeing every record) the
    // exit does at once, and the lock goes with the process.
    std::_Exit(finish(result));
}

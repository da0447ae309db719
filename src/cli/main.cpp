// The `skyloom` command line: hands its verb to the running app when there is
// one, else runs it here on the same store.

#include "cli/CommandLineLanguage.h"
#include "core/Translate.h"
#include "core/command/CommandChannel.h"
#include "core/command/CommandHandler.h"
#include "core/engine/FolderPath.h"
#include "core/engine/PinError.h"
#include "core/integration/EntrySelection.h"
#include "core/store/PinStore.h"
#include "core/store/StoreRecovery.h"

#include <chrono>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <optional>
#include <string>
#include <unistd.h>
#include <vector>

using namespace skyloom;

namespace {

// A command that pins a thousand folders may take a while; an app that does
// not answer at all is reported rather than waited for forever.
constexpr std::chrono::minutes replyTimeout{10};

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

// The request the app receives: paths made absolute here, since the app has
// another working directory; "--" keeps paths that start with "-" as paths.
// An empty path stays empty: it names no folder, not the working directory.
// Absent, with the failure lines in `failures`, when a relative path is given
// while the working directory no longer exists: it names no folder either.
std::optional<CommandRequest> requestFor(const ParsedCommand& command, std::string& failures) {
    CommandRequest request{{verbName(command.verb)}};
    if (command.json)
        request.arguments.push_back("--json");
    if (!command.paths.empty())
        request.arguments.push_back("--");
    std::optional<std::string> cwd;
    for (const auto& path : command.paths) {
        if (path.empty() || path.starts_with('/')) {
            request.arguments.push_back(path);
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
        request.arguments.push_back(*cwd + "/" + path);
    }
    if (!failures.empty())
        return std::nullopt;
    return request;
}

int startApp(char** argv) {
    std::error_code error;
    auto self = std::filesystem::read_symlink("/proc/self/exe", error);
    auto app = self.parent_path() / "skyloom-app";
    if (!error && ::access(app.c_str(), X_OK) == 0) {
        argv[0] = const_cast<char*>(app.c_str());
        ::execv(app.c_str(), argv);
    }
    return finish({1, "",
                   translate(SKYLOOM_TRANSLATE_NOOP("Skyloom", "Skyloom 앱을 찾을 수 없어요.")) +
                       "\n" + CommandHandler::usage()});
}

} // namespace

int main(int argc, char** argv) {
    std::signal(SIGPIPE, SIG_IGN);
    useSessionLanguage();
    std::vector<std::string> arguments(argv + 1, argv + argc);
    ParsedCommand command = CommandHandler::parse(arguments);
    if (command.verb == ParsedCommand::Verb::start ||
        command.verb == ParsedCommand::Verb::loginItem)
        return startApp(argv);
    if (!CommandHandler::needsStore(command.verb))
        return finish(CommandHandler::answerWithoutStore(command));

    // Run from a file-manager entry: the selection as that file manager tells it.
    EntrySelection selection = EntrySelection::read(command.paths);
    command.paths = selection.paths;
    std::string failures = selection.failures;
    std::optional<CommandRequest> made = requestFor(command, failures);
    if (!made)
        return finish({1, "", failures});
    CommandRequest& request = *made;
    std::optional<std::string> socket;
    try {
        socket = CommandChannel::socketPath();
    } catch (const CommandChannelError&) {
        // No safe place to reach an app; the store's lock still keeps two
        // processes from writing it at once.
    }
    if (socket) {
        try {
            if (auto answer = CommandChannel::send(*socket, request, replyTimeout))
                return finish(*answer);
        } catch (const CommandChannelError&) {
            return printError(translate(SKYLOOM_TRANSLATE_NOOP(
                "Skyloom", "실행 중인 Skyloom 앱이 답하지 않았어요. 앱을 다시 시작한 뒤 "
                           "시도하세요.")));
        }
    }

    // No app runs: this process owns the store while the verb runs. Commands
    // started together take turns; a long wait is explained, not failed.
    StoreRecovery::setLockWait(StoreLock::commandLineWait, [] {
        std::string text = translate(SKYLOOM_TRANSLATE_NOOP(
                               "Skyloom", "다른 Skyloom 명령이 끝나기를 기다리는 중이에요…")) +
                           "\n";
        std::fwrite(text.data(), 1, text.size(), stderr);
        std::fflush(stderr);
    });
    ModelContainer& container = sharedModelContainer();
    std::string storeNotice;
    if (storeWasReset())
        storeNotice = storeResetMessage() + "\n";

    CommandHandler handler(PinStore::shared());
    CommandResult result = handler.handle(request);
    // The pin store refuses every change itself; a list from the in-memory
    // store is not the user's list, which says so.
    if (container.isStoredInMemoryOnly() && command.verb == ParsedCommand::Verb::list) {
        storeNotice += storeUnavailableMessage() + "\n";
        result.exitStatus = 1;
    }
    result.standardError = storeNotice + result.standardError;
    // Every change is committed and folded into the store file by now; what
    // the destructors would do (closing the store, freeing every record) the
    // exit does at once, and the lock goes with the process.
    std::_Exit(finish(result));
}

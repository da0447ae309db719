#pragma once

#include "core/command/CommandMessage.h"

#include <string>
#include <vector>

namespace skyloom {

class PinStore;

// A command line, parsed.
struct ParsedCommand {
    enum class Verb {
        start,     // no verb: start (or bring forward) the app
        loginItem, // started by the autostart entry
        pin,
        unpin,
        list,
        remove,
        unpinAll,
        reapply,
        integrate,
        help,
        version,
        usageError,
    };

    Verb verb = Verb::start;
    std::vector<std::string> paths;
    bool json = false;
    bool remove = false; // integrate --remove
    std::string problem; // what was wrong, for usageError (translated)
};

// Runs one command on a pin store and returns what the command line prints.
// The command line and the running app both use it, so their answers match.
class CommandHandler {
public:
    // `inApp`: pin and unpin end by bringing up the pin-list window when a
    // message is set, as the file-manager entries do.
    explicit CommandHandler(PinStore& store, bool inApp = false);

    CommandResult handle(const CommandRequest& request);
    // Any answer given from an in-memory store says so and fails.
    CommandResult run(const ParsedCommand& command);

    static ParsedCommand parse(const std::vector<std::string>& arguments);
    // The answer to commands that need no store (help, version, bad usage,
    // integrate).
    static CommandResult answerWithoutStore(const ParsedCommand& command);
    static bool needsStore(ParsedCommand::Verb verb);
    static std::string usage();

private:
    CommandResult runVerb(const ParsedCommand& command);
    static CommandResult integrate(bool remove);
    CommandResult messagesResult(bool withNotice) const;
    CommandResult list(bool json);
    CommandResult remove(const std::vector<std::string>& paths);

    PinStore& store_;
    bool inApp_;
};

} // namespace skyloom

#pragma once

#include "core/command/CommandMessage.h"

#include <chrono>
#include <optional>
#include <stdexcept>
#include <string>

namespace skyloom {

// The channel failed in a way that forbids handing the verb to an app: the
// socket's folder is not safe to use, the socket leads to something other
// than this user's app, or an app took the request but its answer did not
// come or made no sense (it may have acted already).
class CommandChannelError : public std::runtime_error {
public:
    enum class Reason {
        folderIsNotADirectory, // a link, a file, ...
        folderOfAnotherUser,
        folderOpenToOthers,
        folderUnusable, // cannot be created or inspected, or too long a path
        untrustedPeer,  // something other than this user's app answers
        noAnswer,       // the app took the request and gave no usable answer
    };

    CommandChannelError(Reason reason, std::string place, const std::string& what)
        : std::runtime_error(what), reason_(reason), place_(std::move(place)) {}

    Reason reason() const { return reason_; }
    // The folder or socket the trouble is with.
    const std::string& place() const { return place_; }
    // Whether no request was sent: the verb may still run somewhere else.
    bool nothingSent() const { return reason_ != Reason::noAnswer; }

private:
    Reason reason_;
    std::string place_;
};

// The command line's side of the channel to a running app.
class CommandChannel {
public:
    using Clock = std::chrono::steady_clock;

    // $XDG_RUNTIME_DIR/skyloom/command.socket; when XDG_RUNTIME_DIR is unset
    // or not absolute, a "skyloom" folder in the user's cache folder
    // ($XDG_CACHE_HOME, else ~/.cache), which no other user can create first
    // as they could a name in /tmp. Creates the folder with mode 0700.
    // Throws CommandChannelError when the folder is not a directory of ours
    // that only we can reach (another user could otherwise pose as the app),
    // or when the path is too long for a socket address.
    static std::string socketPath();

    // Hands the request to the app listening at socketPath() (or at `path`)
    // and returns its answer. Returns nullopt when no app listens there (no
    // socket file, a stale one, connection refused): the caller runs the verb
    // itself. Before anything is sent, the process at the other end must be
    // ours and run the program named `appProgram` (the app's, unless a test
    // names its own here, or in SKYLOOM_TEST_APP_PROGRAM in builds with
    // tests); else untrustedPeer is thrown. A connection the app ends before
    // it has taken the request (it is flooded) is tried again until
    // replyTimeout: a busy app makes a command slower, never fail. Throws
    // noAnswer once the app took the request and the answer does not arrive
    // within replyTimeout, the app hangs up, or the answer is malformed; the
    // caller must not run the verb then.
    static std::optional<CommandResult> send(const CommandRequest& request,
                                             std::chrono::milliseconds replyTimeout);
    static std::optional<CommandResult> send(const std::string& path, const CommandRequest& request,
                                             std::chrono::milliseconds replyTimeout,
                                             const std::string& appProgram = {});

    // Whether something accepts connections at `path` now (the app has
    // started listening).
    static bool isListening(const std::string& path);

    // Framing over a connected non-blocking stream socket, shared with
    // CommandServer. writeFrame returns false when not everything was written
    // by the deadline; readFrame returns one whole frame (prefix included),
    // or nullopt on a declared length beyond the limit, an early hang-up, an
    // error, or the deadline passing. Neither raises SIGPIPE.
    static bool writeFrame(int socket, const std::string& frame, Clock::time_point deadline);
    static std::optional<std::string> readFrame(int socket, Clock::time_point deadline);
};

} // namespace skyloom

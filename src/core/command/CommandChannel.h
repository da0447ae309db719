#pragma once

#include "core/command/CommandMessage.h"

#include <chrono>
#include <optional>
#include <stdexcept>
#include <string>

namespace skyloom {

// The channel failed in a way that forbids running the verb in-process: an
// app took the request but its answer did not come or made no sense (it may
// have acted already), or the socket's folder is not safe to use.
class CommandChannelError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

// The command line's side of the channel to a running app.
class CommandChannel {
public:
    using Clock = std::chrono::steady_clock;

    // $XDG_RUNTIME_DIR/skyloom/command.socket, or /tmp/skyloom-<uid>/command.socket
    // when XDG_RUNTIME_DIR is unset or not absolute. Creates the folder with
    // mode 0700. Throws CommandChannelError when the folder is not a
    // directory of ours that only we can reach (another user could otherwise
    // pose as the app), or when the path is too long for a socket address.
    static std::string socketPath();

    // Hands the request to the app listening at socketPath() (or at `path`)
    // and returns its answer. Returns nullopt when no app listens there (no
    // socket file, a stale one, connection refused): the caller runs the verb
    // itself. Throws CommandChannelError once a connection was made and the
    // answer does not arrive within replyTimeout, the app hangs up, or the
    // answer is malformed; the caller must not run the verb then.
    static std::optional<CommandResult> send(const CommandRequest& request,
                                             std::chrono::milliseconds replyTimeout);
    static std::optional<CommandResult> send(const std::string& path, const CommandRequest& request,
                                             std::chrono::milliseconds replyTimeout);

    // Framing over a connected non-blocking stream socket, shared with
    // CommandServer. writeFrame returns false when not everything was written
    // by the deadline; readFrame returns one whole frame (prefix included),
    // or nullopt on a declared length beyond the limit, an early hang-up, an
    // error, or the deadline passing. Neither raises SIGPIPE.
    static bool writeFrame(int socket, const std::string& frame, Clock::time_point deadline);
    static std::optional<std::string> readFrame(int socket, Clock::time_point deadline);
};

} // namespace skyloom

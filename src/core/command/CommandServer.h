#pragma once

#include "core/UniqueFd.h"
#include "core/command/CommandMessage.h"

#include <chrono>
#include <functional>
#include <string>

namespace skyloom {

// The running app's side of the command channel. It does not run a loop of
// its own: the owner watches fileDescriptor() (the app with its event loop,
// a test with a thread) and calls serveOne() when it becomes readable.
class CommandServer {
public:
    using Handler = std::function<CommandResult(const CommandRequest&)>;

    // How long one client may take to send its request, and to take the
    // answer, so a stalled client holds the app up only briefly.
    static constexpr std::chrono::milliseconds clientDeadline{2000};

    CommandServer() = default;
    ~CommandServer();
    CommandServer(const CommandServer&) = delete;
    CommandServer& operator=(const CommandServer&) = delete;

    // Listens at `path` (socket mode 0600). Refuses (false) when another
    // server is live there or the path is taken by something other than a
    // socket; a socket file left by a server that is gone is replaced. A
    // lock file beside the socket (path + ".lock", kept afterwards) makes
    // two servers starting at once agree on one winner.
    bool listen(const std::string& path);

    // The listening socket (non-blocking), or -1 when not listening.
    int fileDescriptor() const { return listener_.get(); }

    // Serves one pending connection, if any: only a peer running as our user
    // is served; a request that is malformed, oversized or not complete
    // within clientDeadline is dropped without calling the handler. A
    // current client is sent the accepted frame before the handler runs. The
    // handler's answer is written back (a handler that throws gets the
    // connection closed, which the client reports as no answer).
    void serveOne(const Handler& handler);

    // Stops listening and removes the socket file.
    void close();

private:
    UniqueFd listener_;
    UniqueFd lock_;
    std::string path_;
};

} // namespace skyloom

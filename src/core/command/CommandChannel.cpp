#include "core/command/CommandChannel.h"

#include "core/command/CommandCodec.h"
#include "core/platform/LocalSocket.h"

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <poll.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <unistd.h>

namespace skyloom {
namespace {

std::string systemMessage(const std::string& what, int error) {
    return what + ": " + std::strerror(error);
}

// Creates the folder when missing and accepts it only as a real directory of
// ours closed to everyone else: the socket in it is trusted to be our app.
void ensurePrivateDirectory(const std::string& directory) {
    if (::mkdir(directory.c_str(), 0700) != 0 && errno != EEXIST)
        throw CommandChannelError(systemMessage("cannot create " + directory, errno));
    struct stat info {};
    if (::lstat(directory.c_str(), &info) != 0)
        throw CommandChannelError(systemMessage("cannot inspect " + directory, errno));
    if (!S_ISDIR(info.st_mode))
        throw CommandChannelError(directory + " is not a directory");
    if (info.st_uid != ::geteuid())
        throw CommandChannelError(directory + " belongs to another user");
    if ((info.st_mode & 077) != 0)
        throw CommandChannelError(directory + " is open to other users");
}

// Milliseconds left until the deadline, rounded up; 0 once it has passed.
int millisecondsLeft(CommandChannel::Clock::time_point deadline) {
    auto left =
        std::chrono::ceil<std::chrono::milliseconds>(deadline - CommandChannel::Clock::now());
    if (left.count() <= 0)
        return 0;
    return left.count() > 60'000'000 ? 60'000'000 : static_cast<int>(left.count());
}

// Waits until the socket is ready for `events`; false on the deadline or an
// error.
bool waitFor(int socket, short events, CommandChannel::Clock::time_point deadline) {
    for (;;) {
        int timeout = millisecondsLeft(deadline);
        if (timeout == 0)
            return false;
        pollfd entry{socket, events, 0};
        int ready = ::poll(&entry, 1, timeout);
        if (ready > 0)
            return true; // errors and hang-ups show in the following read or write
        if (ready < 0 && errno != EINTR)
            return false;
    }
}

// Appends exactly `count` bytes to `out`; false on hang-up, error or deadline.
bool readExactly(int socket, std::size_t count, std::string& out,
                 CommandChannel::Clock::time_point deadline) {
    // Grows with what actually arrives, so a declared length alone costs no
    // memory.
    char buffer[64 * 1024];
    while (count > 0) {
        ssize_t got = ::recv(socket, buffer, count < sizeof buffer ? count : sizeof buffer, 0);
        if (got > 0) {
            out.append(buffer, static_cast<std::size_t>(got));
            count -= static_cast<std::size_t>(got);
        } else if (got == 0) {
            return false;
        } else if (errno == EAGAIN || errno == EWOULDBLOCK) {
            if (!waitFor(socket, POLLIN, deadline))
                return false;
        } else if (errno != EINTR) {
            return false;
        }
    }
    return true;
}

} // namespace

std::string CommandChannel::socketPath() {
    const char* runtime = std::getenv("XDG_RUNTIME_DIR");
    std::string directory = runtime && runtime[0] == '/'
                                ? std::string(runtime) + "/skyloom"
                                : "/tmp/skyloom-" + std::to_string(::geteuid());
    ensurePrivateDirectory(directory);
    std::string path = directory + "/command.socket";
    if (path.size() >= sizeof(sockaddr_un::sun_path))
        throw CommandChannelError("socket path too long: " + path);
    return path;
}

std::optional<CommandResult> CommandChannel::send(const CommandRequest& request,
                                                  std::chrono::milliseconds replyTimeout) {
    return send(socketPath(), request, replyTimeout);
}

std::optional<CommandResult> CommandChannel::send(const std::string& path,
                                                  const CommandRequest& request,
                                                  std::chrono::milliseconds replyTimeout) {
    Clock::time_point deadline = Clock::now() + replyTimeout;
    sockaddr_un address{};
    address.sun_family = AF_UNIX;
    if (path.empty() || path.size() >= sizeof address.sun_path)
        throw CommandChannelError("socket path too long: " + path);
    std::memcpy(address.sun_path, path.data(), path.size());

    UniqueFd socket = platform::makeStreamSocket(false);
    if (!socket)
        throw CommandChannelError(systemMessage("cannot create a socket", errno));
    // Bounds the wait when the app's backlog is full (it is alive but busy).
    auto connectTimeout = std::chrono::duration_cast<std::chrono::microseconds>(replyTimeout);
    timeval limit{static_cast<time_t>(connectTimeout.count() / 1'000'000),
                  static_cast<suseconds_t>(connectTimeout.count() % 1'000'000)};
    ::setsockopt(socket.get(), SOL_SOCKET, SO_SNDTIMEO, &limit, sizeof limit);
    int connected;
    do {
        connected =
            ::connect(socket.get(), reinterpret_cast<const sockaddr*>(&address), sizeof address);
    } while (connected != 0 && errno == EINTR);
    if (connected != 0) {
        // Nobody there: no socket file, or one left behind by an app that is gone.
        if (errno == ENOENT || errno == ECONNREFUSED || errno == ENOTDIR)
            return std::nullopt;
        throw CommandChannelError(systemMessage("cannot reach the running app", errno));
    }
    int flags = ::fcntl(socket.get(), F_GETFL);
    if (flags < 0 || ::fcntl(socket.get(), F_SETFL, flags | O_NONBLOCK) != 0)
        throw CommandChannelError(systemMessage("cannot configure the socket", errno));

    // From here on an app is there: every failure is an error, never a
    // reason to run the verb here as well.
    auto frame = CommandCodec::encode(request);
    if (!frame)
        throw CommandChannelError("the command is too large to hand to the running app");
    if (!writeFrame(socket.get(), *frame, deadline))
        throw CommandChannelError("the running app did not take the command");
    auto reply = readFrame(socket.get(), deadline);
    if (!reply)
        throw CommandChannelError("the running app did not answer");
    auto result = CommandCodec::decodeResult(*reply);
    if (!result)
        throw CommandChannelError("the running app gave a malformed answer");
    return result;
}

bool CommandChannel::writeFrame(int socket, const std::string& frame, Clock::time_point deadline) {
    std::size_t written = 0;
    while (written < frame.size()) {
        ssize_t sent =
            platform::sendWithoutSignal(socket, frame.data() + written, frame.size() - written);
        if (sent >= 0) {
            written += static_cast<std::size_t>(sent);
        } else if (errno == EAGAIN || errno == EWOULDBLOCK) {
            if (!waitFor(socket, POLLOUT, deadline))
                return false;
        } else if (errno != EINTR) {
            return false;
        }
    }
    return true;
}

std::optional<std::string> CommandChannel::readFrame(int socket, Clock::time_point deadline) {
    std::string frame;
    if (!readExactly(socket, CommandCodec::prefixSize, frame, deadline))
        return std::nullopt;
    auto length = CommandCodec::payloadLength(frame);
    if (!length || !readExactly(socket, *length, frame, deadline))
        return std::nullopt;
    return frame;
}

} // namespace skyloom

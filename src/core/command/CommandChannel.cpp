#include "core/command/CommandChannel.h"

#include "core/command/CommandCodec.h"
#include "core/platform/LocalSocket.h"

#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <filesystem>
#include <poll.h>
#include <pwd.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <thread>
#include <unistd.h>

namespace skyloom {
namespace {

using Reason = CommandChannelError::Reason;

std::string systemMessage(const std::string& what, int error) {
    return what + ": " + std::strerror(error);
}

// The folder that holds ours must not let anyone else swap ours for theirs:
// its owner is us or the system, and others may not write to it unless it is
// sticky (as /tmp is).
void checkParent(const std::string& parent) {
    struct stat info {};
    if (::stat(parent.c_str(), &info) != 0)
        throw CommandChannelError(Reason::folderUnusable, parent,
                                  systemMessage("cannot inspect " + parent, errno));
    if (!S_ISDIR(info.st_mode))
        throw CommandChannelError(Reason::folderIsNotADirectory, parent,
                                  parent + " is not a directory");
    if (info.st_uid != ::geteuid() && info.st_uid != 0)
        throw CommandChannelError(Reason::folderOfAnotherUser, parent,
                                  parent + " belongs to another user");
    if ((info.st_mode & 022) != 0 && (info.st_mode & S_ISVTX) == 0)
        throw CommandChannelError(Reason::folderOpenToOthers, parent,
                                  parent + " is open to other users");
}

// Creates the folder when missing and accepts it only as a real directory of
// ours closed to everyone else: the socket in it is trusted to be our app.
void ensurePrivateDirectory(const std::string& directory) {
    if (::mkdir(directory.c_str(), 0700) != 0 && errno != EEXIST)
        throw CommandChannelError(Reason::folderUnusable, directory,
                                  systemMessage("cannot create " + directory, errno));
    struct stat info {};
    if (::lstat(directory.c_str(), &info) != 0)
        throw CommandChannelError(Reason::folderUnusable, directory,
                                  systemMessage("cannot inspect " + directory, errno));
    if (!S_ISDIR(info.st_mode))
        throw CommandChannelError(Reason::folderIsNotADirectory, directory,
                                  directory + " is not a directory");
    if (info.st_uid != ::geteuid())
        throw CommandChannelError(Reason::folderOfAnotherUser, directory,
                                  directory + " belongs to another user");
    if ((info.st_mode & 077) != 0)
        throw CommandChannelError(Reason::folderOpenToOthers, directory,
                                  directory + " is open to other users");
}

// The user's cache folder, created private when missing.
std::string cacheFolder() {
    std::string folder;
    if (const char* cache = std::getenv("XDG_CACHE_HOME"); cache && cache[0] == '/') {
        folder = cache;
    } else {
        std::string home;
        if (const char* variable = std::getenv("HOME"); variable && variable[0] == '/')
            home = variable;
        else if (const passwd* entry = ::getpwuid(::geteuid()); entry && entry->pw_dir)
            home = entry->pw_dir;
        if (home.empty() || home[0] != '/')
            throw CommandChannelError(Reason::folderUnusable, "~/.cache", "no home folder");
        folder = (home == "/" ? "" : home) + "/.cache";
    }
    ::mkdir(folder.c_str(), 0700); // one that exists is checked as it is
    return folder;
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
    std::string parent = runtime && runtime[0] == '/' ? std::string(runtime) : cacheFolder();
    while (parent.size() > 1 && parent.ends_with('/'))
        parent.pop_back();
    checkParent(parent);
    std::string directory = (parent == "/" ? "" : parent) + "/skyloom";
    ensurePrivateDirectory(directory);
    std::string path = directory + "/command.socket";
    if (path.size() >= sizeof(sockaddr_un::sun_path))
        throw CommandChannelError(Reason::folderUnusable, directory,
                                  "socket path too long: " + path);
    return path;
}

std::optional<CommandResult> CommandChannel::send(const CommandRequest& request,
                                                  std::chrono::milliseconds replyTimeout) {
    return send(socketPath(), request, replyTimeout);
}

namespace {

enum class Connected { yes, nobody, busy };

Connected connectTo(int socket, const sockaddr_un& address,
                    CommandChannel::Clock::time_point deadline, const std::string& path) {
    // Bounds the wait when the app's backlog is full (it is alive but busy).
    auto left = std::chrono::duration_cast<std::chrono::microseconds>(deadline -
                                                                      CommandChannel::Clock::now());
    if (left.count() < 1000)
        left = std::chrono::microseconds(1000);
    timeval limit{static_cast<time_t>(left.count() / 1'000'000),
                  static_cast<suseconds_t>(left.count() % 1'000'000)};
    ::setsockopt(socket, SOL_SOCKET, SO_SNDTIMEO, &limit, sizeof limit);
    int connected;
    do {
        connected = ::connect(socket, reinterpret_cast<const sockaddr*>(&address), sizeof address);
    } while (connected != 0 && errno == EINTR);
    if (connected == 0)
        return Connected::yes;
    // Nobody there: no socket file, or one left behind by an app that is gone.
    if (errno == ENOENT || errno == ECONNREFUSED || errno == ENOTDIR)
        return Connected::nobody;
    if (errno == EAGAIN || errno == EWOULDBLOCK || errno == EINPROGRESS || errno == ETIMEDOUT)
        return Connected::busy;
    throw CommandChannelError(Reason::folderUnusable, path,
                              systemMessage("cannot reach the running app", errno));
}

// Whether the process at the other end is this user's app: a link at the
// socket may lead to another program's socket, which must not see the
// request nor have its answer printed as ours.
bool trustedPeer(int socket, const std::string& appProgram) {
    auto peer = platform::peerProcess(socket);
    if (!peer || peer->userId != ::geteuid())
        return false;
    std::string program = platform::processExecutable(peer->processId);
    return !program.empty() && std::filesystem::path(program).filename() == appProgram;
}

} // namespace

std::optional<CommandResult> CommandChannel::send(const std::string& path,
                                                  const CommandRequest& request,
                                                  std::chrono::milliseconds replyTimeout,
                                                  const std::string& appProgram) {
    const Clock::time_point deadline = Clock::now() + replyTimeout;
    sockaddr_un address{};
    address.sun_family = AF_UNIX;
    if (path.empty() || path.size() >= sizeof address.sun_path)
        throw CommandChannelError(Reason::folderUnusable, path, "socket path too long: " + path);
    std::memcpy(address.sun_path, path.data(), path.size());
    auto frame = CommandCodec::encode(request);
    if (!frame)
        throw CommandChannelError(Reason::noAnswer, path,
                                  "the command is too large to hand to the running app");
    std::string program = !appProgram.empty() ? appProgram : platform::appProgramName;
#ifdef SKYLOOM_TEST_PEER_OVERRIDE
    // Test builds: a test that serves the channel from its own program names
    // it. Packaged builds have no such door.
    if (const char* tested = std::getenv("SKYLOOM_TEST_APP_PROGRAM");
        appProgram.empty() && tested && *tested)
        program = tested;
#endif

    // A flooded app pushes out connections that have not handed over their
    // request yet; those are tried again, a little later each time.
    auto pause = std::chrono::milliseconds(2);
    for (bool first = true;; first = false) {
        if (!first) {
            if (Clock::now() + pause >= deadline)
                throw CommandChannelError(Reason::noAnswer, path,
                                          "the running app did not take the command");
            std::this_thread::sleep_for(pause);
            pause = std::min(pause * 2, std::chrono::milliseconds(100));
        }
        UniqueFd socket = platform::makeStreamSocket(false);
        if (!socket)
            throw CommandChannelError(Reason::folderUnusable, path,
                                      systemMessage("cannot create a socket", errno));
        Connected connected = connectTo(socket.get(), address, deadline, path);
        if (connected == Connected::nobody)
            return std::nullopt;
        if (connected == Connected::busy)
            continue;
        if (!trustedPeer(socket.get(), program))
            throw CommandChannelError(Reason::untrustedPeer, path,
                                      path + " does not lead to this user's Skyloom app");
        int flags = ::fcntl(socket.get(), F_GETFL);
        if (flags < 0 || ::fcntl(socket.get(), F_SETFL, flags | O_NONBLOCK) != 0)
            throw CommandChannelError(Reason::folderUnusable, path,
                                      systemMessage("cannot configure the socket", errno));

        // Until the app says it has the request, it has not run it: any
        // failure up to there is tried again.
        if (!writeFrame(socket.get(), *frame, deadline))
            continue;
        auto reply = readFrame(socket.get(), deadline);
        if (!reply)
            continue;
        if (!CommandCodec::isAccepted(*reply))
            throw CommandChannelError(Reason::noAnswer, path,
                                      "the running app gave a malformed answer");
        // From here on the app has the command: every failure is an error,
        // never a reason to run the verb again, here or there.
        reply = readFrame(socket.get(), deadline);
        if (!reply)
            throw CommandChannelError(Reason::noAnswer, path, "the running app did not answer");
        auto result = CommandCodec::decodeResult(*reply);
        if (!result)
            throw CommandChannelError(Reason::noAnswer, path,
                                      "the running app gave a malformed answer");
        return result;
    }
}

bool CommandChannel::isListening(const std::string& path) {
    sockaddr_un address{};
    address.sun_family = AF_UNIX;
    if (path.empty() || path.size() >= sizeof address.sun_path)
        return false;
    std::memcpy(address.sun_path, path.data(), path.size());
    UniqueFd probe = platform::makeStreamSocket(true);
    if (!probe)
        return false;
    // A full backlog (EAGAIN) means a busy listener, not a missing one.
    return ::connect(probe.get(), reinterpret_cast<const sockaddr*>(&address), sizeof address) ==
               0 ||
           errno == EAGAIN;
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

#include "core/platform/LocalSocket.h"

#include <cerrno>
#include <fcntl.h>
#include <libproc.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

namespace skyloom::platform {

const char* const appProgramName = "Skyloom";

namespace {

// macOS has neither SOCK_CLOEXEC/SOCK_NONBLOCK nor accept4: the flags are set
// right after. The app starts no processes, so the gap leaks nothing.
UniqueFd configured(int fd, bool nonBlocking) {
    UniqueFd socket(fd);
    if (!socket)
        return socket;
    int flags = ::fcntl(fd, F_GETFL);
    if (::fcntl(fd, F_SETFD, FD_CLOEXEC) != 0 ||
        (nonBlocking && (flags < 0 || ::fcntl(fd, F_SETFL, flags | O_NONBLOCK) != 0)))
        socket.reset();
    return socket;
}

} // namespace

UniqueFd makeStreamSocket(bool nonBlocking) {
    return configured(::socket(AF_UNIX, SOCK_STREAM, 0), nonBlocking);
}

UniqueFd acceptConnection(int listener) {
    int connection;
    do {
        connection = ::accept(listener, nullptr, nullptr);
    } while (connection < 0 && errno == EINTR);
    return configured(connection, true);
}

std::optional<uid_t> peerUserId(int socket) {
    uid_t uid = 0;
    gid_t gid = 0;
    if (::getpeereid(socket, &uid, &gid) != 0)
        return std::nullopt;
    return uid;
}

std::optional<PeerProcess> peerProcess(int socket) {
    auto uid = peerUserId(socket);
    pid_t pid = 0;
    socklen_t size = sizeof pid;
    if (!uid || ::getsockopt(socket, SOL_LOCAL, LOCAL_PEERPID, &pid, &size) != 0 || pid <= 0)
        return std::nullopt;
    return PeerProcess{*uid, pid};
}

std::string processExecutable(pid_t process) {
    char path[PROC_PIDPATHINFO_MAXSIZE];
    int length = ::proc_pidpath(process, path, sizeof path);
    return length > 0 ? std::string(path, static_cast<std::size_t>(length)) : std::string();
}

std::optional<pid_t> lockHolder(int) {
    return std::nullopt; // macOS does not list who holds a flock
}

ssize_t sendWithoutSignal(int socket, const void* data, std::size_t size) {
    // macOS has no MSG_NOSIGNAL; the socket option does the same.
    int on = 1;
    ::setsockopt(socket, SOL_SOCKET, SO_NOSIGPIPE, &on, sizeof on);
    return ::send(socket, data, size, 0);
}

} // namespace skyloom::platform

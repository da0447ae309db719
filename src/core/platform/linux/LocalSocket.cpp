#include "core/platform/LocalSocket.h"

#include <cerrno>
#include <cstdio>
#include <fstream>
#include <sstream>
#include <string>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <unistd.h>

namespace skyloom::platform {

const char* const appProgramName = "skyloom-app";

UniqueFd makeStreamSocket(bool nonBlocking) {
    return UniqueFd(
        ::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC | (nonBlocking ? SOCK_NONBLOCK : 0), 0));
}

UniqueFd acceptConnection(int listener) {
    int connection;
    do {
        connection = ::accept4(listener, nullptr, nullptr, SOCK_NONBLOCK | SOCK_CLOEXEC);
    } while (connection < 0 && errno == EINTR);
    return UniqueFd(connection);
}

std::optional<uid_t> peerUserId(int socket) {
    ucred peer{};
    socklen_t size = sizeof peer;
    if (::getsockopt(socket, SOL_SOCKET, SO_PEERCRED, &peer, &size) != 0 || size != sizeof peer)
        return std::nullopt;
    return peer.uid;
}

std::optional<PeerProcess> peerProcess(int socket) {
    ucred peer{};
    socklen_t size = sizeof peer;
    if (::getsockopt(socket, SOL_SOCKET, SO_PEERCRED, &peer, &size) != 0 || size != sizeof peer ||
        peer.pid <= 0)
        return std::nullopt;
    return PeerProcess{peer.uid, peer.pid};
}

std::string processExecutable(pid_t process) {
    std::string link = "/proc/" + std::to_string(process) + "/exe";
    char target[4096];
    ssize_t length = ::readlink(link.c_str(), target, sizeof target);
    if (length <= 0 || static_cast<std::size_t>(length) >= sizeof target)
        return {};
    std::string path(target, static_cast<std::size_t>(length));
    // A program replaced by an upgrade while it runs.
    constexpr std::string_view deleted = " (deleted)";
    if (path.ends_with(deleted))
        path.resize(path.size() - deleted.size());
    return path;
}

std::optional<pid_t> lockHolder(int fd) {
    struct stat info {};
    if (::fstat(fd, &info) != 0)
        return std::nullopt;
    // Lines such as "1: FLOCK  ADVISORY  WRITE 1234 08:01:5678 0 EOF"; a
    // waiter's line starts with "->" and holds nothing.
    char device[64];
    std::snprintf(device, sizeof device, "%02x:%02x:%lu", ::major(info.st_dev),
                  ::minor(info.st_dev), static_cast<unsigned long>(info.st_ino));
    std::ifstream locks("/proc/locks");
    std::string line;
    while (std::getline(locks, line)) {
        std::istringstream words(line);
        std::string number, kind, mode, access, where;
        long pid = 0;
        if (!(words >> number >> kind) || kind == "->" || kind != "FLOCK")
            continue;
        if (words >> mode >> access >> pid >> where && where == device && pid > 0 &&
            pid != ::getpid())
            return static_cast<pid_t>(pid);
    }
    return std::nullopt;
}

ssize_t sendWithoutSignal(int socket, const void* data, std::size_t size) {
    return ::send(socket, data, size, MSG_NOSIGNAL);
}

} // namespace skyloom::platform

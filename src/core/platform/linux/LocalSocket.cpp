#include "core/platform/LocalSocket.h"

#include <cerrno>
#include <sys/socket.h>

namespace skyloom::platform {

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

ssize_t sendWithoutSignal(int socket, const void* data, std::size_t size) {
    return ::send(socket, data, size, MSG_NOSIGNAL);
}

} // namespace skyloom::platform

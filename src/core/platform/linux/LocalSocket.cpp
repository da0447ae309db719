#include "core/platform/LocalSocket.h"

#include <sys/socket.h>

namespace skyloom::platform {

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

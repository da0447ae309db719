#include "core/platform/LocalSocket.h"

#include <sys/socket.h>
#include <unistd.h>

namespace skyloom::platform {

std::optional<uid_t> peerUserId(int socket) {
    uid_t uid = 0;
    gid_t gid = 0;
    if (::getpeereid(socket, &uid, &gid) != 0)
        return std::nullopt;
    return uid;
}

ssize_t sendWithoutSignal(int socket, const void* data, std::size_t size) {
    // macOS has no MSG_NOSIGNAL; the socket option does the same.
    int on = 1;
    ::setsockopt(socket, SOL_SOCKET, SO_NOSIGPIPE, &on, sizeof on);
    return ::send(socket, data, size, 0);
}

} // namespace skyloom::platform

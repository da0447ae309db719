#include "support/Sockets.h"

#include <poll.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

namespace skyloom::test {

int unixSocket(const std::string& path, bool bind, int flags) {
    int fd = ::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC | flags, 0);
    sockaddr_un address{AF_UNIX, {}};
    path.copy(address.sun_path, sizeof address.sun_path - 1);
    auto* to = reinterpret_cast<sockaddr*>(&address);
    if ((bind ? ::bind(fd, to, sizeof address) : ::connect(fd, to, sizeof address)) != 0) {
        ::close(fd);
        return -1;
    }
    return fd;
}

std::jthread serveFromThread(CommandServer& server, CommandServer::Handler handler) {
    return std::jthread([&server, handler = std::move(handler)](std::stop_token stop) {
        while (!stop.stop_requested()) {
            // serveOne returns at once when nobody waits: the thread sleeps
            // until a client comes, waking now and then to see if it must stop.
            pollfd listening{server.fileDescriptor(), POLLIN, 0};
            if (::poll(&listening, 1, 100) == 1)
                server.serveOne(handler);
        }
    });
}

} // namespace skyloom::test

#pragma once

#include <cstddef>
#include <optional>
#include <sys/types.h>

namespace skyloom::platform {

// The user id of the process at the other end of a connected Unix socket;
// absent when the system does not tell.
std::optional<uid_t> peerUserId(int socket);

// send() that never raises SIGPIPE when the peer has gone.
ssize_t sendWithoutSignal(int socket, const void* data, std::size_t size);

} // namespace skyloom::platform

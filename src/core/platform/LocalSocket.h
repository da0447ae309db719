#pragma once

#include "core/UniqueFd.h"

#include <cstddef>
#include <optional>
#include <sys/types.h>

namespace skyloom::platform {

// A new Unix stream socket, closed on exec; non-blocking when asked.
// Not open on failure (errno set).
UniqueFd makeStreamSocket(bool nonBlocking);

// The next connection on a listening socket, non-blocking and closed on exec;
// not open when none is waiting or on failure (errno set). EINTR is retried.
UniqueFd acceptConnection(int listener);

// The user id of the process at the other end of a connected Unix socket;
// absent when the system does not tell.
std::optional<uid_t> peerUserId(int socket);

// send() that never raises SIGPIPE when the peer has gone.
ssize_t sendWithoutSignal(int socket, const void* data, std::size_t size);

} // namespace skyloom::platform

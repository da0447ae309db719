#pragma once

#include "core/UniqueFd.h"

#include <cstddef>
#include <optional>
#include <string>
#include <sys/types.h>

namespace skyloom::platform {

// The file name the app's program has on this system: a peer on the command
// channel must be running it.
extern const char* const appProgramName;

// A new Unix stream socket, closed on exec; non-blocking when asked.
// Not open on failure (errno set).
UniqueFd makeStreamSocket(bool nonBlocking);

// The next connection on a listening socket, non-blocking and closed on exec;
// not open when none is waiting or on failure (errno set). EINTR is retried.
UniqueFd acceptConnection(int listener);

// The user id of the process at the other end of a connected Unix socket;
// absent when the system does not tell.
std::optional<uid_t> peerUserId(int socket);

// The process at the other end of a connected Unix socket, as the kernel
// recorded it when the connection was made; absent when the system does not
// tell.
struct PeerProcess {
    uid_t userId = 0;
    pid_t processId = 0;
};
std::optional<PeerProcess> peerProcess(int socket);

// The file a running process was started from, as the kernel reports it;
// empty when it cannot be read (gone, or another user's).
std::string processExecutable(pid_t process);

// A process holding a flock on the open file `fd` (another process's lock:
// the one this process may hold is not told apart); absent when nobody
// does or the system does not tell.
std::optional<pid_t> lockHolder(int fd);

// send() that never raises SIGPIPE when the peer has gone.
ssize_t sendWithoutSignal(int socket, const void* data, std::size_t size);

} // namespace skyloom::platform

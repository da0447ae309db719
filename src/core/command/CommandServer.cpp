#include "core/command/CommandServer.h"

#include "core/Translate.h"
#include "core/command/CommandChannel.h"
#include "core/command/CommandCodec.h"
#include "core/platform/LocalSocket.h"

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <unistd.h>
#include <utility>

namespace skyloom {
namespace {

// Room for a burst of clients to wait for accept() rather than be refused.
constexpr int listenBacklog = 128;

bool makeAddress(const std::string& path, sockaddr_un& address) {
    address = {};
    address.sun_family = AF_UNIX;
    if (path.empty() || path.size() >= sizeof address.sun_path)
        return false;
    std::memcpy(address.sun_path, path.data(), path.size());
    return true;
}

// True when a server accepts connections at the address.
bool someoneListens(const sockaddr_un& address) {
    UniqueFd probe = platform::makeStreamSocket(true);
    if (!probe)
        return false;
    // A full backlog (EAGAIN) means a busy server, not a dead one.
    return ::connect(probe.get(), reinterpret_cast<const sockaddr*>(&address), sizeof address) ==
               0 ||
           errno == EAGAIN;
}

} // namespace

CommandServer::~CommandServer() {
    close();
}

bool CommandServer::listen(const std::string& path) {
    close();
    sockaddr_un address;
    if (!makeAddress(path, address))
        return false;

    UniqueFd lock(
        ::open((path + ".lock").c_str(), O_RDWR | O_CREAT | O_CLOEXEC | O_NOFOLLOW, 0600));
    if (!lock || ::flock(lock.get(), LOCK_EX | LOCK_NB) != 0)
        return false;
    // A server that ended removes its lock file: a lock taken on a file
    // already removed holds nothing.
    struct stat locked {
    }, named{};
    if (::fstat(lock.get(), &locked) != 0 || ::lstat((path + ".lock").c_str(), &named) != 0 ||
        locked.st_ino != named.st_ino || locked.st_dev != named.st_dev)
        return false;

    if (someoneListens(address))
        return false;
    struct stat info {};
    if (::lstat(path.c_str(), &info) == 0) {
        // Only a dead server's socket is ours to replace.
        if (!S_ISSOCK(info.st_mode) || ::unlink(path.c_str()) != 0)
            return false;
    } else if (errno != ENOENT) {
        return false;
    }

    UniqueFd listener = platform::makeStreamSocket(true);
    if (!listener)
        return false;
    // Linux creates the socket file with the socket's own mode, so it is
    // never open to others, not even between bind and chmod.
    ::fchmod(listener.get(), 0600);
    if (::bind(listener.get(), reinterpret_cast<const sockaddr*>(&address), sizeof address) != 0)
        return false;
    if (::chmod(path.c_str(), 0600) != 0 || ::listen(listener.get(), listenBacklog) != 0) {
        ::unlink(path.c_str());
        return false;
    }
    listener_ = std::move(listener);
    lock_ = std::move(lock);
    path_ = path;
    return true;
}

void CommandServer::close() {
    if (listener_) {
        ::unlink(path_.c_str());
        listener_.reset();
    }
    // Removed while still held, so that no one locks the old file meanwhile.
    if (lock_ && !path_.empty())
        ::unlink((path_ + ".lock").c_str());
    lock_.reset();
    path_.clear();
}

void CommandServer::serveOne(const Handler& handler) {
    if (!listener_)
        return;
    UniqueFd accepted = platform::acceptConnection(listener_.get());
    if (!accepted)
        return;
    const int connection = accepted.get();

    // Only our own user may drive the app.
    if (platform::peerUserId(connection) != ::geteuid())
        return;

    auto frame =
        CommandChannel::readFrame(connection, CommandChannel::Clock::now() + clientDeadline);
    if (!frame)
        return;
    auto request = CommandCodec::decodeRequest(*frame);
    if (!request)
        return;
    // The client may stop retrying: the command runs now.
    if (CommandCodec::requestVersion(*frame) >= 2 &&
        !CommandChannel::writeFrame(connection, CommandCodec::acceptedFrame(),
                                    CommandChannel::Clock::now() + clientDeadline))
        return;

    std::optional<std::string> answer;
    try {
        answer = CommandCodec::encode(handler(*request));
    } catch (...) {
        // Nothing may escape into the owner's event loop.
        return;
    }
    if (!answer) {
        // Too large to send whole; the command has run, so say so rather
        // than hang up.
        CommandResult tooLarge;
        tooLarge.exitStatus = 1;
        tooLarge.standardError =
            translate(SKYLOOM_TRANSLATE_NOOP("Skyloom", "답이 너무 커서 보낼 수 없어요.")) + "\n";
        answer = CommandCodec::encode(tooLarge);
    }
    CommandChannel::writeFrame(connection, *answer, CommandChannel::Clock::now() + clientDeadline);
}

} // namespace skyloom

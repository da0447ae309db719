#pragma once

#include "core/command/CommandServer.h"

#include <string>
#include <thread>

namespace skyloom::test {

// A Unix stream socket bound to (or else connected to) `path`, with extra
// socket() `flags`; -1 when that fails.
int unixSocket(const std::string& path, bool bind, int flags = 0);

// Serves `server` from a thread until the thread object goes, sleeping on
// its socket between clients.
std::jthread serveFromThread(CommandServer& server, CommandServer::Handler handler);

} // namespace skyloom::test

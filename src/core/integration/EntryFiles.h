#pragma once

#include <optional>
#include <string>
#include <sys/types.h>

namespace skyloom {

// Reading and writing the small files that file managers and the session run
// for the user: never through a link, never blocking on a FIFO or a device,
// and never left writable by anyone but the user, whatever the umask.
namespace EntryFiles {

// What reading found at a path.
enum class ReadStatus { read, absent, notRegular, failed };

struct ReadResult {
    ReadStatus status = ReadStatus::failed;
    std::string text;
};

// The whole content of the regular file at `path`. The last component is
// never followed when it is a link, and opening never waits.
ReadResult readRegular(const std::string& path);

// Creates `folder` and any missing parents. Every folder created here, and
// `folder` itself when it belongs to this user, ends up without group and
// world write, whatever the umask. False when a component cannot be created
// or is not a folder.
bool makeFolders(const std::string& folder);

// Replaces `path` with a file holding `content` and exactly `mode` (group and
// world write always taken away): written beside it and renamed over it, so a
// reader never sees half a file and a failure leaves the old one. Throws
// std::system_error.
void replace(const std::string& path, const std::string& content, mode_t mode);

} // namespace EntryFiles

} // namespace skyloom

#pragma once

#include <string>

namespace skyloom::platform {

// The user's home folder: $HOME, else the user database.
std::string homeDirectory();

// Where applications keep their data: $XDG_DATA_HOME (else ~/.local/share)
// on Linux, ~/Library/Application Support on macOS.
std::string applicationSupportDirectory();

} // namespace skyloom::platform

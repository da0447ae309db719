#pragma once

#include <string>
#include <vector>

namespace skyloom {

// A verb handed from the command line to the running app: the arguments after
// the program name, as bytes (paths need not be UTF-8 and may hold newlines).
struct CommandRequest {
    std::vector<std::string> arguments;
    // The launcher's activation token (XDG_ACTIVATION_TOKEN on Wayland,
    // DESKTOP_STARTUP_ID on X11), so that the app may raise its window.
    std::string activationToken{};
    // The caller prints failures on a terminal itself: the app need not open
    // its window for them.
    bool fromTerminal = false;

    friend bool operator==(const CommandRequest&, const CommandRequest&) = default;
};

// What the command line would have printed, and the status it would have
// exited with.
struct CommandResult {
    int exitStatus = 0;
    std::string standardOutput;
    std::string standardError;

    friend bool operator==(const CommandResult&, const CommandResult&) = default;
};

} // namespace skyloom

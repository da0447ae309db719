#pragma once

namespace skyloom::app {

// The app's own settings file (organisation "brindle-engineering",
// application "Skyloom", under $XDG_CONFIG_HOME on Linux).
bool hasSeenOnboarding();
void setHasSeenOnboarding(bool value);

} // namespace skyloom::app

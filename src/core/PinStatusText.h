#pragma once

#include <string>

namespace skyloom {

class PinnedFolder;

// What a pin row says about its folder beside the name. The first that holds
// wins: missing, needs access, locked; else normal.
enum class PinStatus {
    normal,
    missing,
    needsAccess,
    locked,
};

PinStatus pinStatus(const PinnedFolder& pin);
PinStatus pinStatus(bool isMissing, bool needsAccess, bool isLocked);

// The translated status text; empty for a normal pin (the row shows its path).
std::string pinStatusText(PinStatus status);

} // namespace skyloom

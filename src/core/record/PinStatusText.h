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

// The status text of this pin; for one that needs access, what stops the
// write (another owner, no entry, a read-only disk) and the way out, looked
// up on the folder now.
std::string pinStatusText(const PinnedFolder& pin);

} // namespace skyloom

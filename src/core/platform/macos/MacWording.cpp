#include "core/PlatformWording.h"

namespace skyloom::platform {

// The Mac shows one text for every volume that takes no date added.
const bool namesVolumeProblems = false;

// The Korean texts name Finder and the Mac already.
std::span<const Wording> wordings() {
    return {};
}

} // namespace skyloom::platform
